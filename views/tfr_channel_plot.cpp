#include "tfr_channel_plot.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include "chart_widget.h"
#include "hyp_data.h"
#include "selection_sink.h"

TFr_ChannelPlot::TFr_ChannelPlot(QWidget* parent, SelectionSink* sink, const QString& title)
    : TFr_ParentFrame(parent), sink_(sink) {
    resize(451, 304);
    iXYPlot1 = new ChartWidget(ChartWidget::Kind::XY, this);
    iXYPlot1->setObjectName("iXYPlot1");
    iXYPlot1->setTitle(title);
    iXYPlot1->addChannel("Absorption", QColor(214, 39, 40), false, true);
    iXYPlot1->addChannel("Attenuation", QColor(31, 119, 180), false, true);
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
    layout->addLayout(optionRow_);

    connect(SB_cwl, &QScrollBar::valueChanged, this, &TFr_ChannelPlot::SB_cwlChange);
    connect(SB_awl, &QScrollBar::valueChanged, this, &TFr_ChannelPlot::SB_awlChange);
    connect(iXYPlot1, &ChartWidget::dataPointClicked, this,
            &TFr_ChannelPlot::iXYPlot1ClickDataPoint);
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
    if (sink_)
        sink_->ShowSelectedRecord(channel == 0, point);
}

void TFr_ChannelPlot::showFailure(const QString& message) {
    iXYPlot1->setOverlayText(message);
    if (!message.isEmpty())
        iXYPlot1->clearAllChannels();
}
