#include "tfr_time.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "chart_widget.h"
#include "hyp_data.h"
#include "nearest_index.h"
#include "products.h"
#include "selection_sink.h"
#include "series_window.h"

namespace {
constexpr double kLiveSpanMs = 20000.0;

void setPositionQuietly(QScrollBar* bar, int position) {
    const QSignalBlocker block(bar);
    bar->setValue(position);
}
} // namespace

TFr_Time::TFr_Time(QWidget* parent, SelectionSink* sink)
    : TFr_ChannelPlot(parent, sink, "Time Plot"), window_(std::make_unique<SeriesWindow>()) {
    iXYPlot1->setButtonVisible(ChartWidget::Button::ZoomBox, false);
    iXYPlot1->setCursorSnap(true);

    CB_Orientation = new QCheckBox("Switch Axes", this);
    CB_Orientation->setVisible(false);
    CB_StupidCheckBox = new QCheckBox("Scroll Data", this);
    CB_StupidCheckBox->setChecked(true);
    CB_StupidCheckBox->setVisible(false);
    B_Grab = new QPushButton("Grab", this);
    B_Grab->setVisible(false);
    B_Grab->setToolTip("Send the records between the two cursors to the selected-data window");
    QHBoxLayout* row = optionRow();
    row->addWidget(CB_Orientation);
    row->addWidget(CB_StupidCheckBox);
    row->addStretch(1);
    row->addWidget(B_Grab);

    connect(CB_Orientation, &QCheckBox::clicked, this, [this] {
        applyOrientation();
        CB_GenericClick();
        iXYPlot1->fitAll();
    });
    connect(CB_StupidCheckBox, &QCheckBox::clicked, this, &TFr_Time::CB_GenericClick);
    connect(iXYPlot1, &ChartWidget::beforeDataCursorUpdate, this,
            &TFr_Time::iXYPlot1BeforeDataCursorUpdate);
    connect(B_Grab, &QPushButton::clicked, this, &TFr_Time::B_GrabClick);
    applyOrientation();
}

TFr_Time::~TFr_Time() = default;

void TFr_Time::applyOrientation() {
    const bool swapped = CB_Orientation->isChecked();
    // The time axis labels itself in the format chosen in its menu ("Time (ms)" at first).
    iXYPlot1->setTimeAxis(swapped ? ChartWidget::Axis::Y : ChartWidget::Axis::X);
    iXYPlot1->setAxisLabel(swapped ? ChartWidget::Axis::X : ChartWidget::Axis::Y, "1/m");
    // The cursors pick times; with the axes switched they would pick values.
    if (swapped)
        iXYPlot1->releaseCursorButton();
    iXYPlot1->setButtonVisible(ChartWidget::Button::Cursor, !swapped && !live_);
}

void TFr_Time::AttachData(HYP_Data* data) {
    data_ = data;
    drawn_ = Drawn();
    hideProducts();
    iXYPlot1->clearAllChannels();
    showFailure(QString());
    iXYPlot1->setAxisTracking(ChartWidget::Axis::X, ChartWidget::Tracking::Scroll);
    iXYPlot1->setAxisRange(ChartWidget::Axis::X, 0.0, kLiveSpanMs);
    iXYPlot1->setAxisTracking(ChartWidget::Axis::Y, ChartWidget::Tracking::Rescale);
    iXYPlot1->setAxisRange(ChartWidget::Axis::Y, 0.0, 0.1);
    iXYPlot1->resumeTracking();
    iXYPlot1->setTimeOrigin(data && !data->records.empty() ? data->records.front().time : 0.0,
                            data ? data->start_utc : std::nullopt);
    if (!data || data->a_wavelengths.empty()) {
        // Nothing to choose from: no scroll-bar position may point past the new lists.
        setMaximumQuietly(SB_awl, 0);
        setMaximumQuietly(SB_cwl, 0);
        return;
    }
    setBarMaxima();
    setPositionQuietly(SB_awl, 0);
    setPositionQuietly(SB_cwl, 0);
    if (data->records.empty())
        return;
    Refresh();
    iXYPlot1->fitAxis(ChartWidget::Axis::Y);
    iXYPlot1->fitAxis(ChartWidget::Axis::X);
}

void TFr_Time::Refresh() {
    if (!data_ || data_->records.empty())
        return;
    // The lists may have changed under the same data set (a replay refills it in place).
    if (data_->a_wavelengths.empty() || data_->c_wavelengths.empty()) {
        iXYPlot1->clearAllChannels();
        drawn_ = Drawn();
        return;
    }
    setBarMaxima();
    const int a = aChannel();
    const int c = cChannel();
    showChannelLabels();
    const bool swapped = CB_Orientation->isChecked();
    if (drawProducts(!swapped)) {
        // What was processed and flagged, one point per product row; the live append path
        // starts again from a full redraw once the products are gone.
        drawn_ = Drawn();
        iXYPlot1->setTimeOrigin(data_->records.front().time, data_->start_utc);
        if (!iXYPlot1->overlayText().isEmpty())
            iXYPlot1->setOverlayText(QString());
        return;
    }
    const std::vector<double> key = SeriesWindow::settingsKey(*data_, a, c);
    if (appendNewRecords(a, c, swapped, key))
        return;
    drawn_ = Drawn();
    try {
        redrawAll(a, c, swapped);
    } catch (...) {
        iXYPlot1->clearAllChannels();
        throw;
    }
    drawn_.data = data_;
    drawn_.records = data_->records.size();
    drawn_.a = a;
    drawn_.c = c;
    drawn_.swapped = swapped;
    drawn_.firstTime = data_->records.front().time;
    iXYPlot1->setTimeOrigin(drawn_.firstTime, data_->start_utc);
    drawn_.lastTime = data_->records.back().time;
    drawn_.settings = key;
    if (!iXYPlot1->overlayText().isEmpty())
        iXYPlot1->setOverlayText(QString());
}

void TFr_Time::addSeries(std::vector<double> times, std::vector<double> A, std::vector<double> C,
                         bool swapped, bool replace) {
    const int x = swapped ? 1 : 0; // which of (times, value) is the X coordinate
    auto put = [&](int channel, std::vector<double> values, std::vector<double> t) {
        std::vector<double>& px = x == 0 ? t : values;
        std::vector<double>& py = x == 0 ? values : t;
        if (replace)
            iXYPlot1->setPoints(channel, std::move(px), std::move(py));
        else
            iXYPlot1->addPoints(channel, px, py);
    };
    put(0, std::move(A), times);
    put(1, std::move(C), std::move(times));
}

void TFr_Time::redrawAll(int a, int c, bool swapped) {
    std::vector<double> A = data_->correct_series(a, true);
    std::vector<double> C = data_->correct_series(c, false);
    const std::size_t n = std::min({data_->records.size(), A.size(), C.size()});
    A.resize(n);
    C.resize(n);
    // The chart's channels are replaced, not cleared first: same-sized redraws reuse its buffers.
    times_.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        times_[i] = data_->records[i].time;
    if (swapped) {
        iXYPlot1->setPoints(0, A, times_);
        iXYPlot1->setPoints(1, C, times_);
    } else {
        iXYPlot1->setPoints(0, times_, A);
        iXYPlot1->setPoints(1, times_, C);
    }
}

bool TFr_Time::appendNewRecords(int a, int c, bool swapped, const std::vector<double>& key) {
    const std::vector<hyp_data>& records = data_->records;
    const std::size_t first = drawn_.records;
    if (drawn_.data != data_ || drawn_.a != a || drawn_.c != c || drawn_.swapped != swapped ||
        first == 0 || first > records.size() || records.front().time != drawn_.firstTime ||
        records[first - 1].time != drawn_.lastTime || drawn_.settings != key ||
        iXYPlot1->pointCount(0) != static_cast<int>(first) ||
        !SeriesWindow::canCorrectFrom(*data_, first))
        return false;
    if (first == records.size())
        return true; // nothing new, nothing changed
    const std::vector<double> A = window_->correctFrom(*data_, a, true, first);
    const std::vector<double> C = window_->correctFrom(*data_, c, false, first);
    const std::size_t n = std::min({records.size() - first, A.size(), C.size()});
    std::vector<double> times(n);
    for (std::size_t i = 0; i < n; ++i)
        times[i] = records[first + i].time;
    addSeries(std::move(times), std::vector<double>(A.begin(), A.begin() + n),
              std::vector<double>(C.begin(), C.begin() + n), swapped, false);
    drawn_.records = first + n;
    drawn_.lastTime = records[first + n - 1].time;
    return true;
}

void TFr_Time::SetLiveMode(bool live) {
    live_ = live;
    if (live) {
        iXYPlot1->releaseCursorButton();
        iXYPlot1->setButtonVisible(ChartWidget::Button::Select, false);
        iXYPlot1->setButtonVisible(ChartWidget::Button::Cursor, false);
        B_Grab->setVisible(false);
        iXYPlot1->resumeTracking();
    } else {
        iXYPlot1->setButtonVisible(ChartWidget::Button::Cursor, !CB_Orientation->isChecked());
        iXYPlot1->setButtonVisible(ChartWidget::Button::Select, true);
    }
    iXYPlot1->replot();
}

void TFr_Time::NewRecords() {}

void TFr_Time::CB_GenericClick() {
    refreshFromControl();
}

void TFr_Time::iXYPlot1BeforeDataCursorUpdate() {
    B_Grab->setVisible(iXYPlot1->cursorsActive() && !live_);
}

void TFr_Time::B_GrabClick() {
    if (!data_ || data_->records.empty() || !sink_)
        return;
    const double x1 = std::trunc(iXYPlot1->cursorX(0));
    const double x2 = std::trunc(iXYPlot1->cursorX(1));
    auto time = [](const hyp_data& r) { return r.time; };
    const int e = static_cast<int>(nearest_index(data_->records, x1, time));
    const int l = static_cast<int>(nearest_index(data_->records, x2, time));
    sink_->ShowSelectedRange(true, std::min(e, l), std::max(e, l));
}

const std::vector<double>& TFr_Time::productKey(const ProductTable& t) {
    return t.time;
}

void TFr_Time::showFailure(const QString& message) {
    TFr_ChannelPlot::showFailure(message);
    if (!message.isEmpty())
        drawn_ = Drawn();
}
