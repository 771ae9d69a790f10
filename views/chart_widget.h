// A chart on QCustomPlot with what the plot views need: named channels on one X and one Y axis,
// a legend, a toolbar (zoom, zoom box, select, data cursors, live tracking), axis tracking
// (fixed span scrolling with the newest point, or rescaling to the data), reversed axes, two
// data cursors, data-point clicks, tooltips, mouse-wheel zoom, drag pan and an image menu.
#pragma once

#include <QColor>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QAction;
class QCPAxis;
class QCPGraph;
class QCPItemStraightLine;
class QCPItemText;
class QCPLayoutGrid;
class QCustomPlot;
class QLabel;
class QMenu;
class QMouseEvent;
class QToolBar;

class ChartWidget : public QWidget {
    Q_OBJECT
  public:
    // A line chart draws channels against a sorted X (spectra); an XY chart keeps the points in
    // the order they were added, so a clicked point's index is the order it was added in.
    enum class Kind { Line, XY };
    enum class Axis { X, Y };
    // Fixed: the range stays where it was set; Scroll: the span stays and the range moves so
    // that the newest point is in view; Rescale: the range follows the data's minimum and
    // maximum.
    enum class Tracking { Fixed, Scroll, Rescale };
    enum class Button { Resume, ZoomIn, ZoomOut, ZoomBox, Select, Cursor, Fit };
    // What a left-button drag does: pan, draw a zoom box, or nothing.  A click without a drag
    // picks a data point, or moves the nearer data cursor while the cursors are shown.
    enum class Mode { Pan, ZoomBox, Select };
    // How a time axis (values in ms) is labelled: milliseconds, time elapsed since the first
    // point as h:mm:ss, or the UTC time of day (only when the start time is known).
    enum class TimeFormat { Ms = 0, Elapsed = 1, Clock = 2 };
    // Marker shapes a channel can be given instead of the palette's plain disc.
    enum class Marker { Disc, Circle, Triangle, Diamond, Cross, Square };

    explicit ChartWidget(Kind kind, QWidget* parent = nullptr);
    ~ChartWidget() override;

    Kind kind() const { return kind_; }
    void setTitle(const QString& title);
    QString title() const;
    void setAxisLabel(Axis axis, const QString& label);
    // The legend sits in a strip between the title and the plot area, never on the data.
    void setLegendVisible(bool visible);
    bool legendVisible() const { return legendShown_; }
    // Where in its strip the legend sits: left, centre or right (right unless set).
    void setLegendCorner(Qt::Alignment corner);
    // The legend's rectangle in widget pixels (empty while it is not shown).
    QRect legendRect() const;
    QRect plotAreaRect() const;

    // Shown in the middle of the plot area while no channel holds a point, with the axes left
    // without numbers; an empty text shows the bare axes instead.
    void setEmptyText(const QString& text);
    QString emptyText() const { return emptyText_; }
    bool showingEmptyState() const { return emptyShown_; }

    // Makes `axis` the time axis (values in ms; the other axis is a plain value axis again).
    // Its numbers are never in exponent form, and the right-click menu offers the formats.
    void setTimeAxis(Axis axis);
    // The time elapsed time counts from, and the UTC clock time (ms since 1970) of time 0.
    void setTimeOrigin(double originMs, std::optional<std::int64_t> startUtcMs);
    void setTimeFormat(TimeFormat format);
    bool hasTimeAxis() const { return timeAxis_ >= 0; }
    TimeFormat timeFormat() const { return timeFormat_; }
    // The format the labels use: Ms when Clock is asked for without a start time.
    TimeFormat shownTimeFormat() const;
    // The label of one value of the time axis in the shown format.  Clock time names the UTC
    // date instead at midnight once ticks are an hour or more apart (the time of day alone
    // would repeat every day).
    QString timeText(double ms, double step = 1000.0) const;
    // Where the time axis' ticks start for a tick step: whole steps of elapsed time, or of UTC
    // clock time, so that the labels read round.
    double timeTickOrigin(double step) const;
    // The time-axis choices of the right-click menu (null without a time axis).
    QMenu* timeMenu() const { return timeMenu_; }

    // Channels.  An invalid colour picks the next colour of the palette.
    int addChannel(const QString& name, const QColor& colour = QColor(), bool lines = true,
                   bool markers = true);
    // A channel whose line joins its points in Y order instead of X order: a profile against a
    // vertical depth axis.
    int addProfileChannel(const QString& name, const QColor& colour = QColor(), bool lines = true,
                          bool markers = true);
    int channelCount() const { return static_cast<int>(channels_.size()); }
    QString channelName(int channel) const;
    QColor channelColour(int channel) const;
    void setChannelName(int channel, const QString& name);
    void setChannelStyle(int channel, bool lines, bool markers);
    bool channelLines(int channel) const;
    bool channelMarkers(int channel) const;
    // Gives the channel's markers a shape and size (pixels) of their own, drawn with a darker
    // outline.  Such markers stay markers however many points are in view: they mark a few
    // chosen points (QC flags), and a line through them would show nothing real.
    void setChannelMarker(int channel, Marker marker, double size);
    void setChannelVisible(int channel, bool visible);
    bool channelVisible(int channel) const;
    // Whether a visible channel has an entry in the legend (hidden channels never have one).
    void setChannelInLegend(int channel, bool inLegend);
    bool channelInLegend(int channel) const;
    // Fills the area between two channels (a ±SD band) with `fill`; the lower channel leaves
    // the legend, the upper one's entry shows the band.
    void setChannelBand(int upper, int lower, const QColor& fill);
    // Draws the channel against a second Y axis on the right (for two quantities of other units).
    void setChannelOnSecondAxis(int channel, bool second);

    void clearChannel(int channel);
    void clearAllChannels();
    void addPoint(int channel, double x, double y);
    // Appends many points at once; x and y must have the same length.
    void addPoints(int channel, const std::vector<double>& x, const std::vector<double>& y);
    // Replaces the channel's points.
    void setPoints(int channel, const std::vector<double>& x, const std::vector<double>& y);
    int pointCount(int channel) const;
    double pointX(int channel, int point) const;
    double pointY(int channel, int point) const;

    // Axes.
    void setAxisRange(Axis axis, double minimum, double span);
    double axisMinimum(Axis axis) const;
    double axisSpan(Axis axis) const;
    void setAxisTracking(Axis axis, Tracking tracking);
    Tracking axisTracking(Axis axis) const;
    // Fits the axis to the data of the visible channels (a little margin around it).
    void fitAxis(Axis axis);
    void fitAll();
    void setAxisReversed(Axis axis, bool reversed);
    bool axisReversed(Axis axis) const;
    // Factor of one zoom-in/zoom-out step.
    void setZoomFactor(double factor);
    double zoomFactor() const { return zoomFactor_; }

    // Live tracking: paused while the user zooms or pans, resumed by the toolbar button.
    void resumeTracking();
    bool isTracking() const { return tracking_; }
    // Applies the axes' tracking to the current data (after channels were shown or hidden).
    void applyTrackingNow() {
        applyTracking();
        replot();
    }

    // Toolbar.
    void setButtonVisible(Button button, bool visible);
    bool buttonVisible(Button button) const;
    void setToolbarVisible(bool visible);
    void setMode(Mode mode);
    Mode mode() const { return mode_; }

    // Data cursors: two vertical lines "Cursor 1" and "Cursor 2", shown while the cursor button
    // is pressed, labelled with their X value and snapping to the nearest data point.
    void setCursorsActive(bool active);
    bool cursorsActive() const { return cursorsActive_; }
    void releaseCursorButton() { setCursorsActive(false); }
    void setCursorSnap(bool snap) { cursorSnap_ = snap; }
    double cursorX(int cursor) const;
    void setCursorX(int cursor, double x);

    // Drawing and images.
    void replot();
    // Replots at once, also when hidden (benchmarks, image export).
    void replotNow();
    bool saveImage(const QString& path, int width = 0, int height = 0);
    void copyImage();
    void printChart();
    QCustomPlot* plot() const { return plot_; }
    QToolBar* toolBar() const { return toolBar_; }
    QMenu* contextMenu() const { return menu_; }
    // Text shown over the chart (a failure message); empty hides it.
    void setOverlayText(const QString& text);
    QString overlayText() const;

    // Nearest point to a widget position of the plot within `radius` pixels: false if none.
    bool pointAt(const QPointF& pos, double radius, int* channel, int* point) const;

  signals:
    void dataPointClicked(int channel, int point);
    // Before a data cursor moves, and after the cursor button was pressed or released.
    void beforeDataCursorUpdate();
    void trackingChanged(bool tracking);
    // The user chose a time format in the right-click menu.
    void timeFormatChosen(ChartWidget::TimeFormat format);

  private:
    struct Channel {
        QCPGraph* graph = nullptr;
        std::vector<double> x, y; // points in the order added
        bool inOrder = true;      // x never decreased, so graph index == order added
        bool lines = true, markers = true, visible = true, second = false;
        bool dense = false;  // drawn as a thin line because too many points are in view
        bool alongY = false; // the graph's key is Y: its line joins the points in Y order
        bool inLegend = true;
        int marker = -1; // Marker as an int; -1: the plain disc
        double markerSize = 0.0;
        double yMin = 0, yMax = 0, xMin = 0, xMax = 0;
        bool hasRange = false;
    };
    struct AxisState {
        Tracking tracking = Tracking::Fixed;
        double span = 1.0;
        bool reversed = false;
    };

    QCPAxis* axisOf(Axis axis) const;
    AxisState& state(Axis axis) { return axes_[axis == Axis::X ? 0 : 1]; }
    const AxisState& state(Axis axis) const { return axes_[axis == Axis::X ? 0 : 1]; }
    void noteRange(Channel& ch, double x, double y);
    void recomputeRange(Channel& ch);
    int addChannelOn(const QString& name, const QColor& colour, bool lines, bool markers,
                     bool alongY);
    void applyStyle(Channel& ch);
    void chooseDetail();
    void applyTracking();
    bool dataRange(Axis axis, bool second, double* lo, double* hi) const;
    void setRangeOf(QCPAxis* axis, double lo, double hi);
    void onPress(QMouseEvent* event);
    void onMove(QMouseEvent* event);
    void onRelease(QMouseEvent* event);
    void pauseTracking();
    void buildToolBar();
    void buildMenu();
    void updateCursorItems();
    double snapX(double x) const;
    void zoomBy(double factor);
    void showTip(const QPoint& pos);
    int nearestCursor(double pixelX, double* distance) const;
    QCPAxis* valueAxisOf(int channel) const;
    void placeLegend();
    void updateEmptyState();
    void updateTimeAxis();

    Kind kind_;
    QCustomPlot* plot_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QMenu* menu_ = nullptr;
    QCPItemText* overlay_ = nullptr;
    QLabel* position_ = nullptr;
    std::vector<Channel> channels_;
    std::array<AxisState, 2> axes_;
    std::array<QAction*, 7> buttons_{};
    Mode mode_ = Mode::Pan;
    double zoomFactor_ = 2.0;
    bool tracking_ = true;
    bool cursorsActive_ = false;
    bool cursorSnap_ = true;
    std::array<double, 2> cursorX_{0.0, 0.0};
    std::array<QCPItemStraightLine*, 2> cursorLines_{};
    std::array<QCPItemText*, 2> cursorLabels_{};
    int dragCursor_ = -1;
    QPoint pressPos_;
    bool pressed_ = false;
    bool dragged_ = false;
    int paletteNext_ = 0;
    bool secondAxisUsed_ = false;
    QCPLayoutGrid* legendRow_ = nullptr;
    bool legendShown_ = true;
    QCPItemText* emptyNote_ = nullptr;
    QString emptyText_ = QStringLiteral("No data loaded");
    bool emptyShown_ = false;
    int timeAxis_ = -1; // Axis as an int; -1: no time axis
    TimeFormat timeFormat_ = TimeFormat::Ms;
    double timeOrigin_ = 0.0;
    std::optional<std::int64_t> startUtc_;
    QMenu* timeMenu_ = nullptr;
    std::array<QAction*, 3> timeActions_{};
};
