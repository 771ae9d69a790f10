// The QC flag channels a chart draws over its a and c series: values flagged 3 (suspect) in
// orange, 4 (fail) in red, each named in the legend, and a legend entry that says which values
// are not drawn.  The time, depth and spectral views share it, so flags look alike in all.
#pragma once

#include <QColor>
#include <array>
#include <cstddef>
#include <utility>
#include <vector>

class ChartWidget;
struct FlaggedPoints;

class QcOverlay {
  public:
    static const QColor kSuspect, kFail;

    // Adds the channels to `chart`, hidden until there are flags to show.
    void addTo(ChartWidget* chart);
    int suspectChannel() const { return first_; }
    int failChannel() const { return first_ + 1; }
    int noteChannel() const { return first_ + 2; }

    // Draws the flagged points of the a and c series.  `flags`: the values carry QC flags;
    // `hidden`: flagged values are hidden (they are then not among the points).
    void show(const FlaggedPoints& a, const FlaggedPoints& c, bool keyOnX, bool flags, bool hidden);
    // Leaves the chart as it is without products.
    void hide();

    // The series (a or c) and the index (row or channel) of point `point` of `channel`; false
    // when the channel is not one of the overlay's.
    bool pointAt(int channel, int point, bool* isA, std::size_t* index) const;

  private:
    ChartWidget* chart_ = nullptr;
    int first_ = -1;
    bool shown_ = false;
    // Per flag channel, where each point came from: (a series, index).
    std::array<std::vector<std::pair<bool, std::size_t>>, 2> origin_;
};
