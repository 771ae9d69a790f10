// The depth view: corrected a and c of chosen channels against the merged CTD pressure, depth
// growing downwards; a click sends the record to the selected-data window.
#pragma once

#include "tfr_channel_plot.h"

class QCheckBox;

class TFr_Depth : public TFr_ChannelPlot {
    Q_OBJECT
  public:
    explicit TFr_Depth(QWidget* parent = nullptr, SelectionSink* sink = nullptr);
    ~TFr_Depth() override;

    void AttachData(HYP_Data* data) override;
    void Refresh() override;

    QCheckBox* CB_Zoom = nullptr;
};
