#include "tfr_depth.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "chart_widget.h"
#include "hyp_data.h"
#include "selection_sink.h"

TFr_Depth::TFr_Depth(QWidget* parent, SelectionSink* sink) : TFr_ParentFrame(parent), sink_(sink) {
    resize(451, 304);
    iXYPlot1 = new ChartWidget(ChartWidget::Kind::XY, this);
    iXYPlot1->setObjectName("iXYPlot1");
    iXYPlot1->setTitle("Depth vs Time");
    iXYPlot1->addChannel("Absorption", QColor(214, 39, 40), false, true);
    iXYPlot1->addChannel("Attenuation", QColor(31, 119, 180), false, true);
    iXYPlot1->setAxisLabel(ChartWidget::Axis::X, "1/m");
    iXYPlot1->setAxisLabel(ChartWidget::Axis::Y, "Pressure");
    // Depth grows downwards.
    iXYPlot1->setAxisReversed(ChartWidget::Axis::Y, true);
    iXYPlot1->setButtonVisible(ChartWidget::Button::Select, true);
    iXYPlot1->setButtonVisible(ChartWidget::Button::Resume, false);
    iXYPlot1->setButtonVisible(ChartWidget::Button::Cursor, false);
    iXYPlot1->setZoomFactor(2.0);
    iXYPlot1->setLegendCorner(Qt::AlignBottom | Qt::AlignRight);

    L_awl = new QLabel("a wavelength", this);
    L_cwl = new QLabel("c wavelength", this);
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
    CB_Zoom = new QCheckBox("Zoom to fit", this);
    CB_Zoom->setChecked(true);

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
    auto* row = new QHBoxLayout;
    row->addWidget(CB_Sync);
    row->addWidget(CB_Zoom);
    row->addStretch(1);
    layout->addLayout(row);

    connect(SB_cwl, &QScrollBar::valueChanged, this, &TFr_Depth::SB_cwlChange);
    connect(SB_awl, &QScrollBar::valueChanged, this, &TFr_Depth::SB_awlChange);
    connect(iXYPlot1, &ChartWidget::dataPointClicked, this, &TFr_Depth::iXYPlot1ClickDataPoint);
}

TFr_Depth::~TFr_Depth() = default;

void TFr_Depth::AttachData(HYP_Data* data) {
    data_ = data;
    showFailure(QString());
    if (!data) {
        iXYPlot1->clearAllChannels();
        return;
    }
    // Positions are kept; the new maxima clamp them.
    setMaximumQuietly(SB_awl, static_cast<int>(data->a_wavelengths.size()) - 1);
    setMaximumQuietly(SB_cwl, static_cast<int>(data->c_wavelengths.size()) - 1);
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
    setMaximumQuietly(SB_awl, static_cast<int>(data_->a_wavelengths.size()) - 1);
    setMaximumQuietly(SB_cwl, static_cast<int>(data_->c_wavelengths.size()) - 1);
    const int c = SB_cwl->value();
    const int a = SB_awl->value();
    L_awl->setText(QString::asprintf("A wavelength: %4.1f", data_->a_wavelengths[a]));
    L_cwl->setText(QString::asprintf("C wavelength: %4.1f", data_->c_wavelengths[c]));
    iXYPlot1->clearAllChannels();
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

void TFr_Depth::SB_cwlChange() {
    if (!data_ || data_->a_wavelengths.empty())
        return;
    if (CB_Sync->isChecked() && !data_->c_wavelengths.empty())
        synchronizeBar(SB_cwl, data_->c_wavelengths, SB_awl, data_->a_wavelengths);
    refreshFromControl();
}

void TFr_Depth::SB_awlChange() {
    if (!data_ || data_->a_wavelengths.empty())
        return;
    if (CB_Sync->isChecked() && !data_->c_wavelengths.empty())
        synchronizeBar(SB_awl, data_->a_wavelengths, SB_cwl, data_->c_wavelengths);
    refreshFromControl();
}

void TFr_Depth::iXYPlot1ClickDataPoint(int channel, int point) {
    if (sink_)
        sink_->ShowSelectedRecord(channel == 0, point);
}

void TFr_Depth::showFailure(const QString& message) {
    iXYPlot1->setOverlayText(message);
    if (!message.isEmpty())
        iXYPlot1->clearAllChannels();
}
