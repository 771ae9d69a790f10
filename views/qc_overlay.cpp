#include "qc_overlay.h"

#include "chart_widget.h"
#include "product_series.h"

const QColor QcOverlay::kSuspect(255, 150, 0);
const QColor QcOverlay::kFail(200, 0, 0);

void QcOverlay::addTo(ChartWidget* chart) {
    chart_ = chart;
    first_ = chart->addChannel("suspect (QC 3)", kSuspect, false, true);
    chart->setChannelMarker(first_, ChartWidget::Marker::Triangle, 9);
    chart->addChannel("fail (QC 4)", kFail, false, true);
    chart->setChannelMarker(failChannel(), ChartWidget::Marker::Cross, 10);
    // Text only: no line, no marker.
    chart->addChannel("missing (QC 9): not drawn", QColor(120, 120, 120), false, false);
    for (int ch = first_; ch <= noteChannel(); ++ch)
        chart->setChannelVisible(ch, false);
}

void QcOverlay::show(const FlaggedPoints& a, const FlaggedPoints& c, bool keyOnX, bool flags,
                     bool hidden) {
    shown_ = true;
    std::vector<double> key, value;
    auto fill = [&](int slot, const IndexedPoints& pa, const IndexedPoints& pc) {
        key.assign(pa.key.begin(), pa.key.end());
        key.insert(key.end(), pc.key.begin(), pc.key.end());
        value.assign(pa.value.begin(), pa.value.end());
        value.insert(value.end(), pc.value.begin(), pc.value.end());
        auto& origin = origin_[static_cast<std::size_t>(slot)];
        origin.clear();
        for (std::size_t i : pa.index)
            origin.emplace_back(true, i);
        for (std::size_t i : pc.index)
            origin.emplace_back(false, i);
        const int channel = first_ + slot;
        if (keyOnX)
            chart_->setPoints(channel, key, value);
        else
            chart_->setPoints(channel, value, key);
        chart_->setChannelVisible(channel, flags);
    };
    fill(0, a.suspect, c.suspect);
    fill(1, a.fail, c.fail);
    chart_->setChannelName(suspectChannel(), hidden ? "suspect (QC 3): hidden" : "suspect (QC 3)");
    chart_->setChannelName(failChannel(), hidden ? "fail (QC 4): hidden" : "fail (QC 4)");
    chart_->setChannelName(noteChannel(),
                           flags ? "missing (QC 9): not drawn" : "missing values: not drawn");
    chart_->setChannelVisible(noteChannel(), a.missing + c.missing > 0);
}

void QcOverlay::hide() {
    if (!shown_)
        return;
    shown_ = false;
    for (int ch = first_; ch <= noteChannel(); ++ch) {
        chart_->clearChannel(ch);
        chart_->setChannelVisible(ch, false);
    }
    for (auto& origin : origin_)
        origin.clear();
}

bool QcOverlay::pointAt(int channel, int point, bool* isA, std::size_t* index) const {
    if (channel != suspectChannel() && channel != failChannel())
        return false;
    const auto& origin = origin_[static_cast<std::size_t>(channel - first_)];
    if (point < 0 || static_cast<std::size_t>(point) >= origin.size())
        return false;
    *isA = origin[static_cast<std::size_t>(point)].first;
    *index = origin[static_cast<std::size_t>(point)].second;
    return true;
}
