// The depth view: corrected a and c of chosen channels against the merged CTD pressure, depth
// growing downwards; a click sends the record to the selected-data window.  With depth bins
// processed, the binned profile of the same channels is drawn over the points.
#pragma once

#include <vector>

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
    // The binned profile's channels (a, then c).
    int aBinChannel() const { return aBins_; }
    int cBinChannel() const { return aBins_ + 1; }

  protected:
    const std::vector<double>& productKey(const ProductTable& t) override;
    void hideProducts() override;

  private:
    void drawBins();
    void hideBins();

    int aBins_ = -1;
    bool binsShown_ = false;
    std::vector<double> pressure_; // the CTD pressure of the records, when the table has none
    FlaggedPoints binA_, binC_;
};
