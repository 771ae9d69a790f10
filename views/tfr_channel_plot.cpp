#include "tfr_channel_plot.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include "chart_widget.h"
#include "hyp_data.h"
#include "nearest_index.h"
#include "products.h"
#include "selection_sink.h"

TFr_ChannelPlot::TFr_ChannelPlot(QWidget* parent, SelectionSink* sink, const QString& title)
    : TFr_ParentFrame(parent), sink_(sink) {
    resize(451, 304);
    iXYPlot1 = new ChartWidget(ChartWidget::Kind::XY, this);
    iXYPlot1->setObjectName("iXYPlot1");
    iXYPlot1->setTitle(title);
    iXYPlot1->addChannel("Absorption", QColor(214, 39, 40), false, true);
    iXYPlot1->addChannel("Attenuation", QColor(31, 119, 180), false, true);
    qc_.addTo(iXYPlot1);
    iXYPlot1->setButtonVisible(ChartWidget::Button::Select, true);
    iXYPlot1->setZoomFactor(2.0);

    L_awl = new QLabel(this);
    L_cwl = new QLabel(this);
    L_awl->setObjectName("L_awl");
    L_cwl->setObjectName("L_cwl");
    L_awl->setMinimumWidth(150);
    SB_cwl = new QScrollBar(Qt::Horizontal, this);
    SB_awl = new QScrollBar(Qt::Horizontal, this);
    SB_cwl->setObjectName("SB_cwl");
    SB_awl->setObjectName("SB_awl");
    for (QScrollBar* bar : {SB_cwl, SB_awl}) {
        bar->setRange(0, 0);
        bar->setPageStep(1);
    }
    CB_Sync = new QCheckBox("Synchronize Wavelengths", this);
    CB_Sync->setChecked(true);
    CB_HideFlagged = new QCheckBox("Hide flagged", this);
    CB_HideFlagged->setObjectName("CB_HideFlagged");
    CB_HideFlagged->setToolTip("Leave out the values flagged 3 (suspect) and 4 (fail)");
    CB_HideFlagged->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(iXYPlot1, 1);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(1);
    grid->addWidget(L_awl, 0, 0);
    grid->addWidget(SB_awl, 0, 1);
    grid->addWidget(L_cwl, 1, 0);
    grid->addWidget(SB_cwl, 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    optionRow_ = new QHBoxLayout;
    optionRow_->addWidget(CB_Sync);
    optionRow_->addWidget(CB_HideFlagged);
    layout->addLayout(optionRow_);

    connect(SB_cwl, &QScrollBar::valueChanged, this, &TFr_ChannelPlot::SB_cwlChange);
    connect(SB_awl, &QScrollBar::valueChanged, this, &TFr_ChannelPlot::SB_awlChange);
    connect(iXYPlot1, &ChartWidget::dataPointClicked, this,
            &TFr_ChannelPlot::iXYPlot1ClickDataPoint);
    connect(CB_HideFlagged, &QCheckBox::clicked, this, [this] { refreshFromControl(); });
}

TFr_ChannelPlot::~TFr_ChannelPlot() = default;

void TFr_ChannelPlot::setBarMaxima() {
    setMaximumQuietly(SB_awl, data_ ? static_cast<int>(data_->a_wavelengths.size()) - 1 : 0);
    setMaximumQuietly(SB_cwl, data_ ? static_cast<int>(data_->c_wavelengths.size()) - 1 : 0);
}

int TFr_ChannelPlot::aChannel() const {
    return SB_awl->value();
}

int TFr_ChannelPlot::cChannel() const {
    return SB_cwl->value();
}

void TFr_ChannelPlot::showChannelLabels() {
    L_awl->setText(QString::asprintf("A wavelength: %4.1f", data_->a_wavelengths[aChannel()]));
    L_cwl->setText(QString::asprintf("C wavelength: %4.1f", data_->c_wavelengths[cChannel()]));
}

bool TFr_ChannelPlot::drawProducts(bool keyOnX) {
    const ProductTable* t = data_ ? record_products_for(*data_) : nullptr;
    if (!t) {
        hideProducts();
        return false;
    }
    products_ = true;
    const double awl = data_->a_wavelengths[aChannel()];
    const double cwl = data_->c_wavelengths[cChannel()];
    const std::size_t ka = nearest_index(t->a_wavelengths, awl);
    const std::size_t kc = nearest_index(t->c_wavelengths, cwl);
    // The bar picks a channel of the data set; the label names the product column drawn.
    L_awl->setText(
        QString::asprintf("A wavelength: %4.1f (product %4.1f)", awl, t->a_wavelengths[ka]));
    L_cwl->setText(
        QString::asprintf("C wavelength: %4.1f (product %4.1f)", cwl, t->c_wavelengths[kc]));
    const bool flags = !t->a_flags.empty() || !t->c_flags.empty();
    CB_HideFlagged->setVisible(flags);
    const bool hide = flags && CB_HideFlagged->isChecked();
    const std::vector<double>& key = productKey(*t);
    split_column(t->a, t->a_flags, t->a_channels(), ka, key, hide, a_);
    split_column(t->c, t->c_flags, t->c_channels(), kc, key, hide, c_);
    auto put = [&](int channel, const IndexedPoints& p) {
        if (keyOnX)
            iXYPlot1->setPoints(channel, p.key, p.value);
        else
            iXYPlot1->setPoints(channel, p.value, p.key);
    };
    put(kAbsorption, a_.shown);
    put(kAttenuation, c_.shown);
    qc_.show(a_, c_, keyOnX, flags, hide);
    return true;
}

void TFr_ChannelPlot::hideProducts() {
    if (!products_)
        return;
    products_ = false;
    qc_.hide();
    CB_HideFlagged->setVisible(false);
}

void TFr_ChannelPlot::barMoved(bool c_bar) {
    if (!data_)
        return;
    const std::vector<double>& moved = c_bar ? data_->c_wavelengths : data_->a_wavelengths;
    const std::vector<double>& other = c_bar ? data_->a_wavelengths : data_->c_wavelengths;
    if (moved.empty())
        return;
    if (CB_Sync->isChecked() && !other.empty())
        synchronizeBar(c_bar ? SB_cwl : SB_awl, moved, c_bar ? SB_awl : SB_cwl, other);
    refreshFromControl();
}

void TFr_ChannelPlot::SB_cwlChange() {
    barMoved(true);
}

void TFr_ChannelPlot::SB_awlChange() {
    barMoved(false);
}

void TFr_ChannelPlot::iXYPlot1ClickDataPoint(int channel, int point) {
    if (!sink_)
        return;
    if (!products_) {
        sink_->ShowSelectedRecord(channel == kAbsorption, point);
        return;
    }
    // Left-out values make point numbers differ from record numbers.
    bool isA = false;
    std::size_t row = 0;
    const IndexedPoints* series = channel == kAbsorption    ? &a_.shown
                                  : channel == kAttenuation ? &c_.shown
                                                            : nullptr;
    if (series && point >= 0 && static_cast<std::size_t>(point) < series->size()) {
        isA = channel == kAbsorption;
        row = series->index[static_cast<std::size_t>(point)];
    } else if (!qc_.pointAt(channel, point, &isA, &row)) {
        return; // not a record (a bin)
    }
    sink_->ShowSelectedRecord(isA, static_cast<int>(row));
}

void TFr_ChannelPlot::showFailure(const QString& message) {
    iXYPlot1->setOverlayText(message);
    if (!message.isEmpty()) {
        hideProducts();
        iXYPlot1->clearAllChannels();
    }
}
