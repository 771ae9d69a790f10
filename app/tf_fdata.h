// The selected-data window (TF_FData) and its frame (TFr_Data), a view like the plots: it lists
// and plots the records picked on the time and depth views and saves them.
#pragma once

#include <QWidget>
#include <functional>

#include "selected_data_controller.h"
#include "tfr_parent_frame.h"

class ChartWidget;
class QPushButton;
class QTableWidget;

class TFr_Data : public TFr_ParentFrame {
    Q_OBJECT
  public:
    TFr_Data(AppContext ctx, QWidget* parent = nullptr);

    void AttachData(HYP_Data* data) override;
    void Refresh() override;

    // From ShowSelectedRecord / ShowSelectedRange.
    void AddRecord(int index);
    void AddRange(int first, int end);

    SelectedDataController& controller() { return controller_; }
    // The rows of the grid's block selection (the current row when nothing is selected).
    void blockSelection(int& top, int& bottom) const;
    // Every command runs through this (the main window's error report); unset, directly.
    std::function<void(const std::function<void()>&)> run_command;

    ChartWidget* iPlot1 = nullptr;
    QTableWidget* SG_List = nullptr;
    QPushButton* B_RemoveSelected = nullptr;
    QPushButton* B_SaveSelected = nullptr;
    QPushButton* B_RemoveAll = nullptr;
    QPushButton* B_SaveWater = nullptr;
    QPushButton* B_SaveDev = nullptr;

  private:
    void show();
    void command(const std::function<void(int, int)>& f);
    SelectedDataController controller_;
};

class TF_FData : public QWidget {
    Q_OBJECT
  public:
    TF_FData(AppContext ctx, QWidget* parent = nullptr);
    TFr_Data* Fr_Data1 = nullptr;
};
