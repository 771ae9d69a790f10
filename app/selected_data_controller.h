// The selected-data window's logic (TFr_Data): the single records and record ranges picked on
// the plots, the grid rows and curves built from them, and the three save commands.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app_services.h"

class SelectedDataController {
  public:
    explicit SelectedDataController(AppContext ctx) : ctx_(ctx) {}

    struct Row {
        std::string cells[3];
    };
    struct Curve {
        std::string title; // the entry's label and "a" or "c"
        bool in_legend = true;
        int colour = 0; // the two curves of one entry share a colour index
        std::vector<double> x, y;
        bool absorption = true; // drawn in the reds of a, else in the blues of c
    };

    // View operations.
    void AttachData(HYP_Data* data);
    void Refresh();

    // From ShowSelectedRecord / ShowSelectedRange.  A range with equal ends is the single
    // record `first`; indices outside the data set's records are ignored.
    void AddRecord(int index);
    void AddRange(int first, int end);

    // Commands; a block selection is the grid rows top..bottom.
    void B_RemoveSelectedClick(int top, int bottom);
    void B_RemoveAllClick();
    void B_SaveSelectedClick(int top, int bottom);
    void B_SaveWaterClick(int top, int bottom);
    void B_SaveDevClick(int top, int bottom);

    // The record indices of grid rows top..bottom, ascending, without duplicates.
    RecordIndices SelectedIndices(int top, int bottom) const;

    const std::vector<int>& singles() const { return singles_; }
    const std::vector<std::pair<int, int>>& ranges() const { return ranges_; }
    HYP_Data* data() const { return data_; }

    // What Refresh built, for the widgets to show.
    std::vector<Row> rows{Row{}};
    std::vector<Curve> curves;
    bool save_buttons_enabled = false;

  private:
    AppContext ctx_;
    HYP_Data* data_ = nullptr;
    std::vector<int> singles_;
    std::vector<std::pair<int, int>> ranges_; // covers first .. end - 1

    int row_count() const { return static_cast<int>(singles_.size() + ranges_.size()); }
    bool clamp_rows(int& top, int& bottom) const;
};
