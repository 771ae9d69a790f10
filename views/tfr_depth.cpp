#include "tfr_depth.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <algorithm>

#include "chart_widget.h"
#include "hyp_data.h"
#include "nearest_index.h"
#include "products.h"

TFr_Depth::TFr_Depth(QWidget* parent, SelectionSink* sink)
    : TFr_ChannelPlot(parent, sink, "Absorption and Attenuation vs Pressure") {
    iXYPlot1->setAxisLabel(ChartWidget::Axis::X, "1/m");
    iXYPlot1->setAxisLabel(ChartWidget::Axis::Y, "Pressure (dbar)");
    // Pressure grows downwards, as depth does.
    iXYPlot1->setAxisReversed(ChartWidget::Axis::Y, true);
    iXYPlot1->setButtonVisible(ChartWidget::Button::Resume, false);
    iXYPlot1->setButtonVisible(ChartWidget::Button::Cursor, false);
    // The binned profile joins its bins from the surface down.
    aBins_ = iXYPlot1->addProfileChannel("a depth bins", QColor(120, 10, 10), true, true);
    iXYPlot1->addProfileChannel("c depth bins", QColor(10, 50, 110), true, true);
    for (int ch : {aBinChannel(), cBinChannel()}) {
        iXYPlot1->setChannelMarker(ch, ChartWidget::Marker::Square, 7);
        iXYPlot1->setChannelVisible(ch, false);
    }
    L_awl->setText("a wavelength");
    L_cwl->setText("c wavelength");

    CB_Zoom = new QCheckBox("Zoom to fit", this);
    CB_Zoom->setChecked(true);
    optionRow()->addWidget(CB_Zoom);
    optionRow()->addStretch(1);
}

TFr_Depth::~TFr_Depth() = default;

void TFr_Depth::AttachData(HYP_Data* data) {
    data_ = data;
    showFailure(QString());
    if (!data) {
        hideProducts();
        iXYPlot1->clearAllChannels();
        return;
    }
    // Positions are kept; the new maxima clamp them.
    setBarMaxima();
    if (data->records.empty())
        iXYPlot1->clearAllChannels();
    Refresh();
    iXYPlot1->fitAxis(ChartWidget::Axis::Y);
}

void TFr_Depth::Refresh() {
    if (!data_ || data_->records.empty())
        return;
    if (data_->a_wavelengths.empty() || data_->c_wavelengths.empty()) {
        iXYPlot1->clearAllChannels();
        return;
    }
    setBarMaxima();
    const int c = cChannel();
    const int a = aChannel();
    showChannelLabels();
    if (drawProducts(false)) {
        drawBins();
        if (CB_Zoom->isChecked()) {
            iXYPlot1->fitAxis(ChartWidget::Axis::Y);
            iXYPlot1->fitAxis(ChartWidget::Axis::X);
        }
        if (!iXYPlot1->overlayText().isEmpty())
            iXYPlot1->setOverlayText(QString());
        return;
    }
    iXYPlot1->clearAllChannels();
    drawBins();
    const std::vector<double> A = data_->correct_series(a, true);
    const std::vector<double> C = data_->correct_series(c, false);
    // Records without a CTD entry have no depth and are not drawn.
    const std::size_t n =
        std::min({data_->records.size(), A.size(), C.size(), data_->ctd_list.samples.size()});
    std::vector<double> pressure(n);
    for (std::size_t i = 0; i < n; ++i)
        pressure[i] = data_->ctd_list.samples[i].pressure;
    iXYPlot1->setPoints(0, std::vector<double>(A.begin(), A.begin() + n), pressure);
    iXYPlot1->setPoints(1, std::vector<double>(C.begin(), C.begin() + n), pressure);
    if (CB_Zoom->isChecked()) {
        iXYPlot1->fitAxis(ChartWidget::Axis::Y);
        iXYPlot1->fitAxis(ChartWidget::Axis::X);
    }
    if (!iXYPlot1->overlayText().isEmpty())
        iXYPlot1->setOverlayText(QString());
}

const std::vector<double>& TFr_Depth::productKey(const ProductTable& t) {
    if (t.pressure.size() == t.rows())
        return t.pressure;
    // Records without a CTD entry have no depth and are not drawn.
    const std::size_t n = std::min(t.rows(), data_->ctd_list.samples.size());
    pressure_.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        pressure_[i] = data_->ctd_list.samples[i].pressure;
    return pressure_;
}

void TFr_Depth::drawBins() {
    const ProductTable* t = depth_bins_for(*data_);
    if (!t) {
        hideBins();
        return;
    }
    binsShown_ = true;
    const std::size_t ka = nearest_index(t->a_wavelengths, data_->a_wavelengths[aChannel()]);
    const std::size_t kc = nearest_index(t->c_wavelengths, data_->c_wavelengths[cChannel()]);
    // Bins too thin to have a statistic are NaN and left out.
    split_column(t->a, {}, t->a_channels(), ka, t->depth, false, binA_);
    split_column(t->c, {}, t->c_channels(), kc, t->depth, false, binC_);
    iXYPlot1->setPoints(aBinChannel(), binA_.shown.value, binA_.shown.key);
    iXYPlot1->setPoints(cBinChannel(), binC_.shown.value, binC_.shown.key);
    iXYPlot1->setChannelVisible(aBinChannel(), true);
    iXYPlot1->setChannelVisible(cBinChannel(), true);
}

void TFr_Depth::hideBins() {
    if (!binsShown_)
        return;
    binsShown_ = false;
    for (int ch : {aBinChannel(), cBinChannel()}) {
        iXYPlot1->clearChannel(ch);
        iXYPlot1->setChannelVisible(ch, false);
    }
}

void TFr_Depth::hideProducts() {
    TFr_ChannelPlot::hideProducts();
    hideBins();
}
