#include "tfr_binned.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

#include "chart_widget.h"
#include "clock_time.h"
#include "hyp_data.h"
#include "products.h"

namespace {

const QColor kA(214, 39, 40);
const QColor kC(31, 119, 180);

// Channels of the chart, in the order they are added.
enum { kAStat, kCStat, kAHigh, kALow, kCHigh, kCLow };

// One row's values of a matrix, with the finite points only (a bin with too few values is NaN).
void row_points(const std::vector<double>& wl, const std::vector<double>& m,
                const std::vector<double>* sd, std::size_t row, double sign, std::vector<double>& x,
                std::vector<double>& y) {
    x.clear();
    y.clear();
    const std::size_t n = wl.size();
    if (m.size() < (row + 1) * n)
        return;
    for (std::size_t i = 0; i < n; ++i) {
        double v = m[row * n + i];
        if (sd) {
            const double s = (*sd)[row * n + i];
            v = std::isfinite(s) ? v + sign * s : NAN;
        }
        if (!std::isfinite(v))
            continue;
        x.push_back(wl[i]);
        y.push_back(v);
    }
}

QString bin_label(const ProductTable& t, std::size_t row) {
    QString where;
    if (t.bin_kind == BinKind::Depth && row < t.depth.size()) {
        where = QString::asprintf("%.2f m", t.depth[row]);
    } else if (t.start_utc) {
        const auto at = *t.start_utc + static_cast<std::int64_t>(std::llround(t.time[row]));
        where = QString::fromStdString(clock_time::format_iso(at));
    } else {
        where = QString::asprintf("%.0f ms", t.time[row]);
    }
    const int records = row < t.n.size() ? t.n[row] : 0;
    return QString("Bin %1 of %2: %3, %4 records")
        .arg(row + 1)
        .arg(t.rows())
        .arg(where)
        .arg(records);
}

} // namespace

TFr_Binned::TFr_Binned(QWidget* parent) : TFr_ParentFrame(parent) {
    resize(520, 360);
    chart = new ChartWidget(ChartWidget::Kind::Line, this);
    chart->setObjectName("BinnedChart");
    chart->setTitle("Binned Spectra");
    chart->addChannel("a (bin statistic)", kA, true, true);
    chart->addChannel("c (bin statistic)", kC, true, true);
    chart->addChannel("a + SD", kA.lighter(150), true, false);
    chart->addChannel("a − SD", kA.lighter(150), true, false);
    chart->addChannel("c + SD", kC.lighter(150), true, false);
    chart->addChannel("c − SD", kC.lighter(150), true, false);
    chart->setAxisLabel(ChartWidget::Axis::X, "Wavelength (nm)");
    chart->setAxisLabel(ChartWidget::Axis::Y, "1/m");
    chart->setButtonVisible(ChartWidget::Button::Resume, false);
    chart->setButtonVisible(ChartWidget::Button::Cursor, false);

    S_Bin = new QSlider(Qt::Horizontal, this);
    S_Bin->setObjectName("S_Bin");
    S_Bin->setRange(0, 0);
    L_Bin = new QLabel(this);
    L_Bin->setObjectName("L_Bin");
    L_Bin->setMinimumWidth(260);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(chart, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(S_Bin, 1);
    row->addWidget(L_Bin);
    layout->addLayout(row);
    connect(S_Bin, &QSlider::valueChanged, this, [this] { refreshFromControl(); });
}

TFr_Binned::~TFr_Binned() = default;

void TFr_Binned::AttachData(HYP_Data* data) {
    data_ = data;
    {
        const QSignalBlocker block(S_Bin);
        S_Bin->setValue(0);
    }
    Refresh();
}

void TFr_Binned::Refresh() {
    chart->clearAllChannels();
    const ProductTable* t = data_ ? data_->binned_products.get() : nullptr;
    if (!t || t->rows() == 0) {
        L_Bin->setText(QString());
        S_Bin->setEnabled(false);
        chart->setOverlayText("No binned data: choose bins in the Processing group");
        chart->replot();
        return;
    }
    chart->setOverlayText(QString());
    S_Bin->setEnabled(true);
    {
        const QSignalBlocker block(S_Bin);
        S_Bin->setMaximum(static_cast<int>(t->rows()) - 1);
    }
    const auto row = static_cast<std::size_t>(S_Bin->value());
    std::vector<double> x, y;
    row_points(t->a_wavelengths, t->a, nullptr, row, 0, x, y);
    chart->setPoints(kAStat, x, y);
    row_points(t->c_wavelengths, t->c, nullptr, row, 0, x, y);
    chart->setPoints(kCStat, x, y);
    if (!t->a_sd.empty()) {
        row_points(t->a_wavelengths, t->a, &t->a_sd, row, 1, x, y);
        chart->setPoints(kAHigh, x, y);
        row_points(t->a_wavelengths, t->a, &t->a_sd, row, -1, x, y);
        chart->setPoints(kALow, x, y);
        row_points(t->c_wavelengths, t->c, &t->c_sd, row, 1, x, y);
        chart->setPoints(kCHigh, x, y);
        row_points(t->c_wavelengths, t->c, &t->c_sd, row, -1, x, y);
        chart->setPoints(kCLow, x, y);
    }
    L_Bin->setText(bin_label(*t, row));
    chart->fitAll();
    chart->replot();
}
