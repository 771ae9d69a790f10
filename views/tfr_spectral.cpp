#include "tfr_spectral.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "chart_widget.h"
#include "hyp_data.h"
#include "products.h"
#include "text.h"

TFr_Spectral::TFr_Spectral(QWidget* parent, SelectionSink*) : TFr_ParentFrame(parent) {
    resize(451, 304);
    iPlot1 = new ChartWidget(ChartWidget::Kind::Line, this);
    iPlot1->setObjectName("iPlot1");
    iPlot1->setTitle("Spectral View");
    iPlot1->addChannel("Absorption", QColor(214, 39, 40), true, true);
    iPlot1->addChannel("Attenuation", QColor(31, 119, 180), true, true);
    qc_.addTo(iPlot1);
    iPlot1->setAxisLabel(ChartWidget::Axis::X, "Wavelength (nm)");
    iPlot1->setAxisLabel(ChartWidget::Axis::Y, "1/m");
    iPlot1->setButtonVisible(ChartWidget::Button::Resume, false);
    iPlot1->setButtonVisible(ChartWidget::Button::Cursor, false);
    iPlot1->setZoomFactor(2.0);

    SB_Number = new QScrollBar(Qt::Horizontal, this);
    SB_Number->setObjectName("SB_Number");
    SB_Number->setRange(1, 1);
    SB_Number->setValue(1);
    SB_Number->setPageStep(10);
    L_xofxxx = new QLabel(this);
    L_xofxxx->setObjectName("L_xofxxx");
    L_xofxxx->setMinimumWidth(170);
    CB_Zoom = new QCheckBox("Zoom to fit", this);
    CB_Zoom->setChecked(true);
    CB_RealTime = new QCheckBox("Show most recent", this);
    CB_RealTime->setVisible(false);
    L_Temp = new QLabel(this);
    L_Saln = new QLabel(this);
    L_Temp->setObjectName("L_Temp");
    L_Saln->setObjectName("L_Saln");
    L_RecordTime = new QLabel(this);
    L_RecordTime->setObjectName("L_RecordTime");
    CB_HideFlagged = new QCheckBox("Hide flagged", this);
    CB_HideFlagged->setObjectName("CB_HideFlagged");
    CB_HideFlagged->setToolTip("Leave out the values flagged 3 (suspect) and 4 (fail)");
    CB_HideFlagged->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(iPlot1, 1);
    auto* row1 = new QHBoxLayout;
    row1->addWidget(SB_Number, 1);
    row1->addWidget(L_xofxxx);
    layout->addLayout(row1);
    auto* row2 = new QHBoxLayout;
    row2->addWidget(CB_Zoom);
    row2->addWidget(CB_RealTime);
    row2->addWidget(CB_HideFlagged);
    row2->addSpacing(12);
    row2->addWidget(L_Temp);
    row2->addSpacing(12);
    row2->addWidget(L_Saln);
    row2->addStretch(1);
    row2->addWidget(L_RecordTime);
    layout->addLayout(row2);

    connect(SB_Number, &QScrollBar::valueChanged, this, &TFr_Spectral::SB_NumberChange);
    connect(CB_RealTime, &QCheckBox::toggled, this, &TFr_Spectral::CB_RealTimeClick);
    connect(CB_HideFlagged, &QCheckBox::clicked, this, [this] { refreshFromControl(); });
}

TFr_Spectral::~TFr_Spectral() = default;

void TFr_Spectral::AttachData(HYP_Data* data) {
    data_ = data;
    {
        const QSignalBlocker block(SB_Number);
        SB_Number->setValue(1);
    }
    hideProducts();
    iPlot1->clearAllChannels();
    showFailure(QString());
    L_Temp->setText(QString());
    L_Saln->setText(QString());
    L_xofxxx->setText(QString());
    L_RecordTime->setText(QString());
    Refresh();
    iPlot1->fitAxis(ChartWidget::Axis::Y);
}

void TFr_Spectral::Refresh() {
    if (!data_ || data_->records.empty())
        return;
    const int count = static_cast<int>(data_->records.size());
    {
        // The maximum is set before the position is read: a data set refilled in place may
        // have fewer records than the position names.
        const QSignalBlocker block(SB_Number);
        SB_Number->setMaximum(count);
    }
    int k = 0;
    if (CB_RealTime->isChecked()) {
        k = count - 1;
        SB_Number->setVisible(false);
    } else {
        k = SB_Number->value() - 1;
        SB_Number->setVisible(true);
    }
    if (!drawProducts(static_cast<std::size_t>(k))) {
        iPlot1->clearAllChannels();
        const hyp_data r = data_->correct_one_line(static_cast<std::size_t>(k));
        const std::size_t na =
            std::min({data_->a_wavelengths.size(), r.a_values.size(), data_->c_wavelengths.size()});
        const std::size_t nc = std::min(data_->c_wavelengths.size(), r.c_values.size());
        iPlot1->setPoints(
            0, std::vector<double>(data_->a_wavelengths.begin(), data_->a_wavelengths.begin() + na),
            std::vector<double>(r.a_values.begin(), r.a_values.begin() + na));
        iPlot1->setPoints(
            1,
            std::vector<double>(data_->c_wavelengths.begin(),
                                data_->c_wavelengths.begin() + std::min(na, nc)),
            std::vector<double>(r.c_values.begin(), r.c_values.begin() + std::min(na, nc)));
    }
    if (CB_Zoom->isChecked()) {
        iPlot1->fitAxis(ChartWidget::Axis::Y);
        iPlot1->fitAxis(ChartWidget::Axis::X);
    }
    L_xofxxx->setText(QString::asprintf("Line number %i of %i", k + 1, SB_Number->maximum()));
    // The record's time beside its number, as the selected-data window lists it.
    L_RecordTime->setText(QString::fromStdString(
        "Time: " + text::format_g(data_->records[static_cast<std::size_t>(k)].time, 15) + " ms"));
    if (data_->ctd_merged && static_cast<std::size_t>(k) < data_->ctd_list.samples.size()) {
        const ctd_struct& s = data_->ctd_list.samples[static_cast<std::size_t>(k)];
        L_Temp->setText(QString::asprintf("Temp: %.1f C", s.temperature));
        L_Saln->setText(QString::asprintf("Saln: %.1f psu", s.salinity));
        L_Temp->setVisible(true);
        L_Saln->setVisible(true);
    }
    if (!iPlot1->overlayText().isEmpty())
        iPlot1->setOverlayText(QString());
}

bool TFr_Spectral::drawProducts(std::size_t row) {
    const ProductTable* t = record_products_for(*data_);
    if (!t) {
        hideProducts();
        return false;
    }
    products_ = true;
    const bool flags = !t->a_flags.empty() || !t->c_flags.empty();
    CB_HideFlagged->setVisible(flags);
    const bool hide = flags && CB_HideFlagged->isChecked();
    split_row(t->a, t->a_flags, t->a_wavelengths, row, hide, a_);
    split_row(t->c, t->c_flags, t->c_wavelengths, row, hide, c_);
    iPlot1->setPoints(0, a_.shown.key, a_.shown.value);
    iPlot1->setPoints(1, c_.shown.key, c_.shown.value);
    qc_.show(a_, c_, true, flags, hide);
    QString title = "Spectral View";
    if (t->flag.size() == t->rows())
        title += QString::fromUtf8(" \u2014 record QC flag ") +
                 QString::fromStdString(qc_flag_text(t->flag[row]));
    iPlot1->setTitle(title);
    return true;
}

void TFr_Spectral::hideProducts() {
    if (!products_)
        return;
    products_ = false;
    qc_.hide();
    CB_HideFlagged->setVisible(false);
    iPlot1->setTitle("Spectral View");
}

void TFr_Spectral::SetLiveMode(bool live) {
    CB_RealTime->setChecked(live);
    CB_RealTimeClick();
}

void TFr_Spectral::SB_NumberChange() {
    refreshFromControl();
}

void TFr_Spectral::CB_RealTimeClick() {
    SB_Number->setVisible(!CB_RealTime->isChecked());
}

void TFr_Spectral::showFailure(const QString& message) {
    iPlot1->setOverlayText(message);
    if (!message.isEmpty()) {
        hideProducts();
        iPlot1->clearAllChannels();
    }
}
