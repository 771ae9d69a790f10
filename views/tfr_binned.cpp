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

// Channels of the chart, in the order they are added: the bands first, under the lines.
enum { kAHigh, kALow, kCHigh, kCLow, kAStat, kCStat };

QColor band(const QColor& c) {
    QColor fill = c.lighter(150);
    fill.setAlpha(60);
    return fill;
}

// One row's values of a matrix plus `sign` times its SD, with the finite points only (a bin
// with too few values is NaN, one of a single value has no SD).
void row_points(const std::vector<double>& wl, const std::vector<double>& m,
                const std::vector<double>& sd, std::size_t row, double sign, std::vector<double>& x,
                std::vector<double>& y) {
    x.clear();
    y.clear();
    const std::size_t n = wl.size();
    if (m.size() < (row + 1) * n || sd.size() < (row + 1) * n)
        return;
    for (std::size_t i = 0; i < n; ++i) {
        const double s = sd[row * n + i];
        const double v = m[row * n + i] + sign * s;
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
    chart->addChannel(QString::fromUtf8("a \u00b1 SD"), kA.lighter(150), true, false);
    chart->addChannel(QString::fromUtf8("a \u2212 SD"), kA.lighter(150), true, false);
    chart->addChannel(QString::fromUtf8("c \u00b1 SD"), kC.lighter(150), true, false);
    chart->addChannel(QString::fromUtf8("c \u2212 SD"), kC.lighter(150), true, false);
    chart->addChannel("a (bin statistic)", kA, true, true);
    chart->addChannel("c (bin statistic)", kC, true, true);
    chart->setChannelBand(kAHigh, kALow, band(kA));
    chart->setChannelBand(kCHigh, kCLow, band(kC));
    qc_.addTo(chart);
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
        qc_.hide();
        L_Bin->setText(QString());
        S_Bin->setEnabled(false);
        chart->setEmptyText(data_ && !data_->records.empty()
                                ? "No binned data: choose bins in the Processing group"
                                : "No data loaded");
        return;
    }
    S_Bin->setEnabled(true);
    {
        const QSignalBlocker block(S_Bin);
        S_Bin->setMaximum(static_cast<int>(t->rows()) - 1);
    }
    const auto row = static_cast<std::size_t>(S_Bin->value());
    // Flags of the binned values, when they were binned with QC and sized for the table.
    static const std::vector<std::uint8_t> kNone;
    const bool flags =
        !t->a_flags.empty() && t->a_flags.size() == t->a.size() && t->c_flags.size() == t->c.size();
    split_row(t->a, flags ? t->a_flags : kNone, t->a_wavelengths, row, false, a_);
    split_row(t->c, flags ? t->c_flags : kNone, t->c_wavelengths, row, false, c_);
    chart->setPoints(kAStat, a_.shown.key, a_.shown.value);
    chart->setPoints(kCStat, c_.shown.key, c_.shown.value);
    qc_.show(a_, c_, true, flags, false);
    std::vector<double> x, y;
    // A band edge where the SD is known (a bin of one value has none).
    row_points(t->a_wavelengths, t->a, t->a_sd, row, 1, x, y);
    chart->setPoints(kAHigh, x, y);
    row_points(t->a_wavelengths, t->a, t->a_sd, row, -1, x, y);
    chart->setPoints(kALow, x, y);
    row_points(t->c_wavelengths, t->c, t->c_sd, row, 1, x, y);
    chart->setPoints(kCHigh, x, y);
    row_points(t->c_wavelengths, t->c, t->c_sd, row, -1, x, y);
    chart->setPoints(kCLow, x, y);
    chart->setChannelVisible(kAHigh, chart->pointCount(kAHigh) > 0);
    chart->setChannelVisible(kCHigh, chart->pointCount(kCHigh) > 0);
    L_Bin->setText(bin_label(*t, row));
    chart->fitAll();
}
