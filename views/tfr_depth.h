// The depth view: corrected a and c of chosen channels against the merged CTD pressure, depth
// growing downwards; a click sends the record to the selected-data window.
#pragma once

#include "tfr_parent_frame.h"

class ChartWidget;
class QCheckBox;
class QLabel;
class QScrollBar;
class SelectionSink;

class TFr_Depth : public TFr_ParentFrame {
    Q_OBJECT
  public:
    explicit TFr_Depth(QWidget* parent = nullptr, SelectionSink* sink = nullptr);
    ~TFr_Depth() override;

    void AttachData(HYP_Data* data) override;
    void Refresh() override;

    HYP_Data* data() const { return data_; }
    void setSelectionSink(SelectionSink* sink) { sink_ = sink; }

    ChartWidget* iXYPlot1 = nullptr;
    QLabel* L_awl = nullptr;
    QLabel* L_cwl = nullptr;
    QScrollBar* SB_cwl = nullptr;
    QScrollBar* SB_awl = nullptr;
    QCheckBox* CB_Sync = nullptr;
    QCheckBox* CB_Zoom = nullptr;

  public slots:
    void SB_cwlChange();
    void SB_awlChange();
    void iXYPlot1ClickDataPoint(int channel, int point);

  protected:
    void showFailure(const QString& message) override;

  private:
    HYP_Data* data_ = nullptr;
    SelectionSink* sink_ = nullptr;
};
