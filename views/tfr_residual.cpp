#include "tfr_residual.h"

#include <QVBoxLayout>
#include <cmath>

#include "chart_widget.h"
#include "hyp_data.h"
#include "products.h"

TFr_Residual::TFr_Residual(QWidget* parent) : TFr_ParentFrame(parent) {
    resize(520, 320);
    chart = new ChartWidget(ChartWidget::Kind::XY, this);
    chart->setObjectName("ResidualChart");
    chart->setTitle("Residual Temperature vs Time");
    chart->addChannel("ΔT (°C)", QColor(44, 160, 44), true, true);
    // Labelled in the format chosen in the chart's menu, as the time view's axis is.
    chart->setTimeAxis(ChartWidget::Axis::X);
    chart->setAxisLabel(ChartWidget::Axis::Y, "ΔT (°C)");
    chart->setButtonVisible(ChartWidget::Button::Resume, false);
    chart->setButtonVisible(ChartWidget::Button::Cursor, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(chart, 1);
}

TFr_Residual::~TFr_Residual() = default;

void TFr_Residual::AttachData(HYP_Data* data) {
    data_ = data;
    Refresh();
}

void TFr_Residual::Refresh() {
    chart->clearAllChannels();
    const ProductTable* t = data_ ? data_->record_products.get() : nullptr;
    if (!t || t->dT.size() != t->rows() || t->rows() == 0) {
        chart->setEmptyText(
            data_ && !data_->records.empty()
                ? "No residual temperature: choose the residual temperature correction"
                : "No data loaded");
        return;
    }
    // Elapsed time counts from the first record, as in the time view.
    chart->setTimeOrigin(data_->records.empty() ? t->time.front() : data_->records.front().time,
                         t->start_utc ? t->start_utc : data_->start_utc);
    std::vector<double> x, y;
    x.reserve(t->rows());
    y.reserve(t->rows());
    for (std::size_t i = 0; i < t->rows(); ++i) {
        if (!std::isfinite(t->dT[i]))
            continue;
        x.push_back(t->time[i]);
        y.push_back(t->dT[i]);
    }
    chart->setPoints(0, x, y);
    chart->fitAll();
}
