// The binned spectra view: one bin's a and c spectra (the bin statistic) with a band of one
// standard deviation either side, browsed with a slider over the bins; bins flagged by QC are
// marked as in the other views.
#pragma once

#include "product_series.h"
#include "qc_overlay.h"
#include "tfr_parent_frame.h"

class ChartWidget;
class QLabel;
class QSlider;

class TFr_Binned : public TFr_ParentFrame {
    Q_OBJECT
  public:
    explicit TFr_Binned(QWidget* parent = nullptr);
    ~TFr_Binned() override;

    void AttachData(HYP_Data* data) override;
    void Refresh() override;

    ChartWidget* chart = nullptr;
    QSlider* S_Bin = nullptr;
    QLabel* L_Bin = nullptr;
    const QcOverlay& qcOverlay() const { return qc_; }

  private:
    const HYP_Data* data_ = nullptr;
    QcOverlay qc_;
    FlaggedPoints a_, c_; // kept between redraws for their buffers
};
