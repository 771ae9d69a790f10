// The main window's list of views, in the order they were added, driven through the four view
// operations.  The time-shift tool and the reference views follow the data set and the reader
// as well, so none of them keeps a pointer to a destroyed one.
#pragma once

#include <vector>

#include "app_services.h"

class TFr_ParentFrame;
class TFr_Reference;
class TF_TimeShift;

class ViewList : public ViewHub {
  public:
    std::vector<TFr_ParentFrame*> views;
    std::vector<TFr_Reference*> references;
    TF_TimeShift* timeShift = nullptr;

    void add(TFr_ParentFrame* view) { views.push_back(view); }

    // Every view is called even when one fails; the first failure is raised afterwards.
    void AttachData(HYP_Data* data) override;
    void SetLiveMode(bool live) override;
    void NewRecords() override;
    void Refresh() override;
    // Reference views get the new reader when it is an flw_reader, otherwise none.
    void AttachReader(parent_reader* reader);
};
