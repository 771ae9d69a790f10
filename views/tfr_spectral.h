// The spectral view: one record's corrected a and c spectra, browsed with a scroll bar; in live
// mode the newest record.  With record products, the record's processed spectra with their QC
// flags, and the record's flag in the title.
#pragma once

#include "product_series.h"
#include "qc_overlay.h"
#include "tfr_parent_frame.h"

class ChartWidget;
class QCheckBox;
class QLabel;
class QScrollBar;
class SelectionSink;

class TFr_Spectral : public TFr_ParentFrame {
    Q_OBJECT
  public:
    explicit TFr_Spectral(QWidget* parent = nullptr, SelectionSink* sink = nullptr);
    ~TFr_Spectral() override;

    void AttachData(HYP_Data* data) override;
    void Refresh() override;
    void SetLiveMode(bool live) override;

    const HYP_Data* data() const { return data_; }

    ChartWidget* iPlot1 = nullptr;
    QScrollBar* SB_Number = nullptr;
    QLabel* L_xofxxx = nullptr;
    QCheckBox* CB_Zoom = nullptr;
    QCheckBox* CB_RealTime = nullptr;
    QLabel* L_Temp = nullptr;
    // The shown record's time (ms).
    QLabel* L_RecordTime = nullptr;
    QLabel* L_Saln = nullptr;
    // Leaves out values flagged 3 and 4; shown only while the products carry QC flags.
    QCheckBox* CB_HideFlagged = nullptr;
    const QcOverlay& qcOverlay() const { return qc_; }

  public slots:
    void SB_NumberChange();
    void CB_RealTimeClick();

  protected:
    void showFailure(const QString& message) override;

  private:
    // Draws row `row` of the record products; false without them.
    bool drawProducts(std::size_t row);
    void hideProducts();

    const HYP_Data* data_ = nullptr;
    QcOverlay qc_;
    FlaggedPoints a_, c_; // kept between redraws for their buffers
    bool products_ = false;
};
