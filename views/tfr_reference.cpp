#include "tfr_reference.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "chart_widget.h"
#include "parent_reader.h"

namespace {

struct Spectrum {
    std::vector<double> a_wl, a_counts, c_wl, c_counts;
};

// Reference counts of one packet against the device file's wavelengths, ascending.  FLW packets
// carry 18 counts in the device file's channel order; HYP packets one a and one c reference per
// wavelength.
Spectrum referenceSpectrum(const parent_reader& reader, const packet& p) {
    Spectrum s;
    const devfile& dev = reader.dev;
    if (!p.reference_counts.empty() && p.reference_counts.size() == dev.channel_is_a.size()) {
        std::vector<double> file_a, file_c;
        for (std::size_t j = 0; j < p.reference_counts.size(); ++j)
            (dev.channel_is_a[j] ? file_a : file_c).push_back(p.reference_counts[j]);
        for (std::size_t k = 0; k < dev.a_order.size() && k < dev.a_wl.size(); ++k) {
            const auto at = static_cast<std::size_t>(dev.a_order[k]);
            if (at < file_a.size()) {
                s.a_wl.push_back(dev.a_wl[k]);
                s.a_counts.push_back(file_a[at]);
            }
        }
        for (std::size_t k = 0; k < dev.c_order.size() && k < dev.c_wl.size(); ++k) {
            const auto at = static_cast<std::size_t>(dev.c_order[k]);
            if (at < file_c.size()) {
                s.c_wl.push_back(dev.c_wl[k]);
                s.c_counts.push_back(file_c[at]);
            }
        }
        return s;
    }
    const std::size_t na = std::min(p.a_reference.size(), dev.a_wl.size());
    const std::size_t nc = std::min(p.c_reference.size(), dev.c_wl.size());
    s.a_wl.assign(dev.a_wl.begin(), dev.a_wl.begin() + static_cast<std::ptrdiff_t>(na));
    s.a_counts.assign(p.a_reference.begin(),
                      p.a_reference.begin() + static_cast<std::ptrdiff_t>(na));
    s.c_wl.assign(dev.c_wl.begin(), dev.c_wl.begin() + static_cast<std::ptrdiff_t>(nc));
    s.c_counts.assign(p.c_reference.begin(),
                      p.c_reference.begin() + static_cast<std::ptrdiff_t>(nc));
    return s;
}

// Sorted by wavelength, so that the line runs from left to right.
void sortByWavelength(std::vector<double>& wl, std::vector<double>& counts) {
    std::vector<std::size_t> order(wl.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return wl[x] < wl[y]; });
    std::vector<double> w, c;
    for (std::size_t i : order) {
        w.push_back(wl[i]);
        c.push_back(counts[i]);
    }
    wl = std::move(w);
    counts = std::move(c);
}

} // namespace

TFr_Reference::TFr_Reference(QWidget* parent, SelectionSink*) : TFr_ParentFrame(parent) {
    resize(715, 441);
    iPlot1 = new ChartWidget(ChartWidget::Kind::Line, this);
    iPlot1->setObjectName("iPlot1");
    iPlot1->setTitle("Reference Counts");
    iPlot1->addChannel("a reference", QColor(214, 39, 40), true, true);
    iPlot1->addChannel("c reference", QColor(31, 119, 180), true, true);
    iPlot1->setAxisLabel(ChartWidget::Axis::X, "Wavelength (nm)");
    iPlot1->setAxisLabel(ChartWidget::Axis::Y, "Counts");
    iPlot1->setAxisTracking(ChartWidget::Axis::X, ChartWidget::Tracking::Rescale);
    iPlot1->setAxisTracking(ChartWidget::Axis::Y, ChartWidget::Tracking::Rescale);
    iPlot1->setButtonVisible(ChartWidget::Button::Cursor, false);
    iPlot1->setLegendCorner(Qt::AlignBottom | Qt::AlignRight);
    iPlot1->setZoomFactor(2.0);

    SB_Number = new QScrollBar(Qt::Horizontal, this);
    SB_Number->setObjectName("SB_Number");
    SB_Number->setRange(1, 1);
    SB_Number->setValue(1);
    SB_Number->setPageStep(10);
    SB_Number->setToolTip("Record number; at the right end the newest record is shown");
    CheckBox1 = new QCheckBox("Show a", this);
    CheckBox2 = new QCheckBox("Show c", this);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox2->setObjectName("CheckBox2");
    CheckBox1->setChecked(true);
    CheckBox2->setChecked(true);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setMinimumWidth(200);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(iPlot1, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(SB_Number, 1);
    row->addWidget(Label1);
    row->addWidget(CheckBox1);
    row->addWidget(CheckBox2);
    layout->addLayout(row);

    connect(SB_Number, &QScrollBar::valueChanged, this, &TFr_Reference::SB_NumberChange);
    connect(CheckBox1, &QCheckBox::toggled, this, &TFr_Reference::CheckBoxClick);
    connect(CheckBox2, &QCheckBox::toggled, this, &TFr_Reference::CheckBoxClick);
    Refresh();
}

TFr_Reference::~TFr_Reference() = default;

void TFr_Reference::AttachReader(parent_reader* reader) {
    reader_ = reader;
    following_ = true;
    {
        const QSignalBlocker block(SB_Number);
        SB_Number->setRange(1, 1);
        SB_Number->setValue(1);
    }
    iPlot1->clearAllChannels();
    iPlot1->resumeTracking();
    Refresh();
    iPlot1->fitAxis(ChartWidget::Axis::Y);
}

void TFr_Reference::Refresh() {
    const int count = reader_ ? static_cast<int>(reader_->packets.size()) : 0;
    {
        const QSignalBlocker block(SB_Number);
        SB_Number->setMaximum(std::max(1, count));
        if (following_)
            SB_Number->setValue(SB_Number->maximum());
    }
    if (count == 0) {
        iPlot1->clearAllChannels();
        Label1->setText(reader_ ? "No reference data yet" : "No instrument reader");
        return;
    }
    const int k = std::min(SB_Number->value(), count) - 1;
    Spectrum s = referenceSpectrum(*reader_, reader_->packets[static_cast<std::size_t>(k)]);
    sortByWavelength(s.a_wl, s.a_counts);
    sortByWavelength(s.c_wl, s.c_counts);
    iPlot1->setPoints(0, s.a_wl, s.a_counts);
    iPlot1->setPoints(1, s.c_wl, s.c_counts);
    Label1->setText(following_ ? QString::asprintf("Record %i of %i (newest)", k + 1, count)
                               : QString::asprintf("Record %i of %i", k + 1, count));
}

void TFr_Reference::SB_NumberChange() {
    following_ = SB_Number->value() >= SB_Number->maximum();
    Refresh();
}

void TFr_Reference::CheckBoxClick() {
    iPlot1->setChannelVisible(0, CheckBox1->isChecked());
    iPlot1->setChannelVisible(1, CheckBox2->isChecked());
    iPlot1->applyTrackingNow();
}
