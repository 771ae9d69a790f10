// The base of the views that plot one a channel and one c channel (the time and depth views):
// the chart with its two series, a channel bar and label for each kind, "Synchronize
// Wavelengths", the bars' handlers, a click on a point and the failure text.  Both views share
// these, so their handlers cannot drift apart.  With record products (one row per record) they
// draw the processed values of the product column nearest the bars' wavelengths, with their QC
// flags, instead of correcting the records themselves.
#pragma once

#include <vector>

#include "product_series.h"
#include "qc_overlay.h"
#include "tfr_parent_frame.h"

class ChartWidget;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QScrollBar;
class SelectionSink;

class TFr_ChannelPlot : public TFr_ParentFrame {
    Q_OBJECT
  public:
    ~TFr_ChannelPlot() override;

    const HYP_Data* data() const { return data_; }
    void setSelectionSink(SelectionSink* sink) { sink_ = sink; }

    ChartWidget* iXYPlot1 = nullptr;
    QLabel* L_awl = nullptr;
    QLabel* L_cwl = nullptr;
    QScrollBar* SB_cwl = nullptr;
    QScrollBar* SB_awl = nullptr;
    QCheckBox* CB_Sync = nullptr;
    // Leaves out values flagged 3 and 4; shown only while the products carry QC flags.
    QCheckBox* CB_HideFlagged = nullptr;

    // The chart's channels: the two series, then the QC overlay's.
    static constexpr int kAbsorption = 0, kAttenuation = 1;
    const QcOverlay& qcOverlay() const { return qc_; }

  public slots:
    void SB_cwlChange();
    void SB_awlChange();
    // Channel 0 is absorption: the record goes to the selected-data window.
    void iXYPlot1ClickDataPoint(int channel, int point);

  protected:
    // The chart titled `title` with the "Absorption" and "Attenuation" series, the two bars
    // under it and a row of options that starts with "Synchronize Wavelengths".
    TFr_ChannelPlot(QWidget* parent, SelectionSink* sink, const QString& title);

    // The row under the bars; the views add their own options to it.
    QHBoxLayout* optionRow() const { return optionRow_; }
    // Sets both bars' last positions to the data set's channel lists without signalling.
    void setBarMaxima();
    // The channels the bars point at, and the labels naming their wavelengths.  Both lists of
    // the data set must hold channels.
    int aChannel() const;
    int cChannel() const;
    void showChannelLabels();

    // Draws the record products' columns for the bars against productKey (time or pressure)
    // when the data set has record products; otherwise hides what they drew and returns false,
    // and the view draws the records as it always has.
    bool drawProducts(bool keyOnX);
    // The other coordinate of each product row.
    virtual const std::vector<double>& productKey(const ProductTable& t) = 0;
    // Takes away what drawProducts drew (no products, a failure, another data set).
    virtual void hideProducts();

    void showFailure(const QString& message) override;

    const HYP_Data* data_ = nullptr; // the views only read the data set
    SelectionSink* sink_ = nullptr;

  private:
    // A bar was moved: the other one follows when synchronised, and the view redraws.
    void barMoved(bool c_bar);

    QHBoxLayout* optionRow_ = nullptr;
    QcOverlay qc_;
    // What drawProducts drew (kept between redraws for their buffers and for clicks).
    FlaggedPoints a_, c_;
    bool products_ = false;
};
