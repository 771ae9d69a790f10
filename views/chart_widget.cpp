#include "chart_widget.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QSvgGenerator>
#include <QToolBar>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <qcustomplot.h>

#include "clock_time.h"

namespace {

// Distinct colours that stay apart on screen and in print; the second is the blue used for the
// attenuation channel.
const QColor kPalette[] = {QColor(214, 39, 40),   QColor(31, 119, 180),  QColor(44, 160, 44),
                           QColor(255, 127, 14),  QColor(148, 103, 189), QColor(140, 86, 75),
                           QColor(227, 119, 194), QColor(127, 127, 127), QColor(188, 189, 34),
                           QColor(23, 190, 207)};
constexpr int kPaletteSize = sizeof(kPalette) / sizeof(kPalette[0]);
constexpr double kMargin = 0.03; // of the data range, each side, when fitting

QString number(double v) {
    return QString::number(v, 'g', 7);
}

// Steps of a time axis in ms for the h:mm:ss formats: whole seconds, minutes and hours.
constexpr double kTimeSteps[] = {1,       2,       5,        10,       20,       50,      100,
                                 200,     500,     1000,     2000,     5000,     10000,   15000,
                                 30000,   60000,   120000,   300000,   600000,   900000,  1800000,
                                 3600000, 7200000, 10800000, 21600000, 43200000, 86400000};

// "h:mm:ss" of a number of ms, with as many decimals as a tick step below a second needs.
QString hms(double ms, double step) {
    const bool negative = ms < 0;
    const int decimals = step >= 1000 ? 0 : step >= 100 ? 1 : step >= 10 ? 2 : 3;
    double scale = 1.0;
    for (int i = 0; i < decimals; ++i)
        scale *= 10.0;
    const auto units = static_cast<std::int64_t>(std::llround(std::fabs(ms) / 1000.0 * scale));
    const std::int64_t whole = units / static_cast<std::int64_t>(scale);
    QString out = QString::asprintf(
        "%s%lld:%02lld:%02lld", negative ? "-" : "", static_cast<long long>(whole / 3600),
        static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
    if (decimals > 0)
        out += QString::asprintf(".%0*lld", decimals,
                                 static_cast<long long>(units % static_cast<std::int64_t>(scale)));
    return out;
}

} // namespace

// Labels a time axis as the chart's time format says; the numbers never take exponent form.
class TimeTicker : public QCPAxisTicker {
  public:
    explicit TimeTicker(const ChartWidget* chart) : chart_(chart) {}

  protected:
    double getTickStep(const QCPRange& range) override {
        if (chart_->shownTimeFormat() == ChartWidget::TimeFormat::Ms)
            step_ = QCPAxisTicker::getTickStep(range);
        else {
            step_ = kTimeSteps[std::size(kTimeSteps) - 1];
            for (double s : kTimeSteps)
                if (range.size() / s <= tickCount() + 1e-9) {
                    step_ = s;
                    break;
                }
        }
        setTickOrigin(chart_->timeTickOrigin(step_));
        return step_;
    }
    QString getTickLabel(double tick, const QLocale&, QChar, int) override {
        return chart_->timeText(tick, step_);
    }

  private:
    const ChartWidget* chart_;
    double step_ = 1000.0;
};

ChartWidget::ChartWidget(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    plot_ = new QCustomPlot(this);
    plot_->setAntialiasedElements(QCP::aePlottables | QCP::aeItems | QCP::aeLegendItems);
    plot_->setNoAntialiasingOnDrag(true);
    // Wide antialiased polylines of many points are stroked very slowly otherwise.
    plot_->setPlottingHint(QCP::phFastPolylines, true);
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->axisRect()->setRangeZoomFactor(0.85);
    plot_->setBackground(Qt::white);
    plot_->plotLayout()->insertRow(0);
    auto* titleElement =
        new QCPTextElement(plot_, QString(), QFont(font().family(), 10, QFont::Bold));
    titleElement->setObjectName("title");
    plot_->plotLayout()->addElement(0, 0, titleElement);

    const QPen gridPen(QColor(220, 220, 220), 0, Qt::DotLine);
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis, plot_->yAxis2}) {
        axis->grid()->setPen(gridPen);
        axis->setBasePen(QPen(QColor(90, 90, 90)));
        axis->setTickPen(QPen(QColor(90, 90, 90)));
        axis->setSubTickPen(QPen(QColor(140, 140, 140)));
    }
    plot_->xAxis->setRange(0, 1);
    plot_->yAxis->setRange(0, 1);

    plot_->legend->setVisible(true);
    QFont legendFont = font();
    legendFont.setPointSizeF(std::max(6.0, legendFont.pointSizeF() - 1));
    plot_->legend->setFont(legendFont);
    plot_->legend->setBrush(Qt::NoBrush);
    plot_->legend->setBorderPen(Qt::NoPen);
    plot_->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    plot_->legend->setWrap(6);
    plot_->legend->setMargins(QMargins(4, 0, 4, 0));
    // The legend leaves the plot area for a strip of its own under the title; the empty
    // elements either side of it take the width it does not need.
    plot_->axisRect()->insetLayout()->take(plot_->legend);
    plot_->axisRect()->insetLayout()->simplify();
    plot_->plotLayout()->insertRow(1);
    legendRow_ = new QCPLayoutGrid;
    plot_->plotLayout()->addElement(1, 0, legendRow_);
    plot_->plotLayout()->setRowStretchFactor(1, 0.001);
    plot_->plotLayout()->setRowSpacing(0);
    legendRow_->addElement(0, 0, new QCPLayoutElement);
    legendRow_->addElement(0, 1, plot_->legend);
    legendRow_->addElement(0, 2, new QCPLayoutElement);
    setLegendCorner(Qt::AlignTop | Qt::AlignRight);

    emptyNote_ = new QCPItemText(plot_);
    emptyNote_->position->setType(QCPItemPosition::ptAxisRectRatio);
    emptyNote_->position->setCoords(0.5, 0.5);
    emptyNote_->setColor(QColor(120, 120, 120));
    emptyNote_->setFont(QFont(font().family(), 11));
    emptyNote_->setVisible(false);

    overlay_ = new QCPItemText(plot_);
    overlay_->position->setType(QCPItemPosition::ptAxisRectRatio);
    overlay_->position->setCoords(0.5, 0.5);
    overlay_->setColor(QColor(180, 0, 0));
    overlay_->setFont(QFont(font().family(), 10, QFont::Bold));
    overlay_->setBrush(QColor(255, 255, 255, 220));
    overlay_->setPadding(QMargins(6, 4, 6, 4));
    overlay_->setClipToAxisRect(true);
    overlay_->setVisible(false);

    for (int i = 0; i < 2; ++i) {
        auto* line = new QCPItemStraightLine(plot_);
        line->point1->setTypeY(QCPItemPosition::ptAxisRectRatio);
        line->point2->setTypeY(QCPItemPosition::ptAxisRectRatio);
        line->setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
        line->setVisible(false);
        cursorLines_[i] = line;
        auto* label = new QCPItemText(plot_);
        label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        label->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setBrush(QColor(255, 255, 224, 230));
        label->setPen(QPen(QColor(160, 160, 160)));
        label->setPadding(QMargins(3, 1, 3, 1));
        label->setVisible(false);
        cursorLabels_[i] = label;
    }

    buildToolBar();
    buildMenu();
    layout->addWidget(toolBar_);
    layout->addWidget(plot_, 1);

    plot_->setMouseTracking(true);
    connect(plot_, &QCustomPlot::beforeReplot, this, &ChartWidget::chooseDetail);
    connect(plot_, &QCustomPlot::beforeReplot, this, &ChartWidget::updateEmptyState);
    connect(plot_, &QCustomPlot::mousePress, this, &ChartWidget::onPress);
    connect(plot_, &QCustomPlot::mouseMove, this, &ChartWidget::onMove);
    connect(plot_, &QCustomPlot::mouseRelease, this, &ChartWidget::onRelease);
    connect(plot_, &QCustomPlot::mouseWheel, this, [this](QWheelEvent*) { pauseTracking(); });
    connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent*) {
        fitAll();
        replot();
    });
    connect(plot_->selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect&, QMouseEvent*) { pauseTracking(); });
    plot_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { menu_->popup(plot_->mapToGlobal(pos)); });
}

ChartWidget::~ChartWidget() = default;

void ChartWidget::buildToolBar() {
    toolBar_ = new QToolBar(this);
    toolBar_->setIconSize(QSize(14, 14));
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QFont small = toolBar_->font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1));
    toolBar_->setFont(small);
    toolBar_->setStyleSheet("QToolBar { border: 0; padding: 0; spacing: 2px; }");

    auto add = [this](Button b, const QString& text, const QString& tip) {
        QAction* a = toolBar_->addAction(text);
        a->setToolTip(tip);
        buttons_[static_cast<int>(b)] = a;
        return a;
    };
    connect(add(Button::Resume, "Resume", "Resume live tracking"), &QAction::triggered, this,
            [this] {
                resumeTracking();
                replot();
            });
    connect(add(Button::ZoomIn, "Zoom +", "Zoom in"), &QAction::triggered, this,
            [this] { zoomBy(1.0 / zoomFactor_); });
    connect(add(Button::ZoomOut, QString::fromUtf8("Zoom \u2212"), "Zoom out"), &QAction::triggered,
            this, [this] { zoomBy(zoomFactor_); });
    connect(add(Button::Fit, "Fit", "Zoom to fit"), &QAction::triggered, this, [this] {
        fitAll();
        replot();
    });
    QAction* box = add(Button::ZoomBox, "Zoom box", "Drag a box to zoom into");
    QAction* select =
        add(Button::Select, "Select", "Click a point to select it; drag does nothing");
    box->setCheckable(true);
    select->setCheckable(true);
    connect(box, &QAction::toggled, this, [this](bool on) {
        if (on)
            setMode(Mode::ZoomBox);
        else if (mode_ == Mode::ZoomBox)
            setMode(Mode::Pan);
    });
    connect(select, &QAction::toggled, this, [this](bool on) {
        if (on)
            setMode(Mode::Select);
        else if (mode_ == Mode::Select)
            setMode(Mode::Pan);
    });
    QAction* cursor = add(Button::Cursor, "Cursors", "Show two data cursors");
    cursor->setCheckable(true);
    connect(cursor, &QAction::toggled, this, [this](bool on) { setCursorsActive(on); });

    auto* spacer = new QWidget(toolBar_);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolBar_->addWidget(spacer);
    position_ = new QLabel(toolBar_);
    position_->setFont(small);
    position_->setStyleSheet("color: #555; padding-right: 4px;");
    toolBar_->addWidget(position_);
}

void ChartWidget::buildMenu() {
    menu_ = new QMenu(this);
    connect(menu_->addAction("Zoom to fit"), &QAction::triggered, this, [this] {
        fitAll();
        replot();
    });
    connect(menu_->addAction("Resume live tracking"), &QAction::triggered, this, [this] {
        resumeTracking();
        replot();
    });
    menu_->addSeparator();
    connect(menu_->addAction("Copy image"), &QAction::triggered, this, &ChartWidget::copyImage);
    connect(menu_->addAction(QString::fromUtf8("Save image\u2026")), &QAction::triggered, this,
            [this] {
                QString filter;
                const QString path = QFileDialog::getSaveFileName(
                    this, "Save image", QString(),
                    "PNG image (*.png);;PDF document (*.pdf);;SVG drawing (*.svg);;JPEG image "
                    "(*.jpg);;BMP image (*.bmp)",
                    &filter);
                if (path.isEmpty())
                    return;
                QString target = path;
                if (QFileInfo(path).suffix().isEmpty())
                    target += filter.contains("pdf")   ? ".pdf"
                              : filter.contains("svg") ? ".svg"
                              : filter.contains("jpg") ? ".jpg"
                              : filter.contains("bmp") ? ".bmp"
                                                       : ".png";
                saveImage(target);
            });
    connect(menu_->addAction(QString::fromUtf8("Print\u2026")), &QAction::triggered, this,
            &ChartWidget::printChart);

    timeMenu_ = new QMenu("Time axis", menu_);
    auto* group = new QActionGroup(timeMenu_);
    const char* names[] = {"Milliseconds", "Elapsed time (h:mm:ss)", "UTC clock time"};
    for (int i = 0; i < 3; ++i) {
        QAction* a = timeMenu_->addAction(names[i]);
        a->setCheckable(true);
        group->addAction(a);
        timeActions_[i] = a;
        connect(a, &QAction::triggered, this, [this, i] {
            setTimeFormat(static_cast<TimeFormat>(i));
            emit timeFormatChosen(static_cast<TimeFormat>(i));
        });
    }
    menu_->insertMenu(menu_->actions().value(2), timeMenu_);
    timeMenu_->menuAction()->setVisible(false);
}

// ---------------------------------------------------------------- time axis

void ChartWidget::setTimeAxis(Axis axis) {
    timeAxis_ = static_cast<int>(axis);
    QCPAxis* time = axisOf(axis);
    QCPAxis* other = axisOf(axis == Axis::X ? Axis::Y : Axis::X);
    time->setTicker(QSharedPointer<QCPAxisTicker>(new TimeTicker(this)));
    other->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    timeMenu_->menuAction()->setVisible(true);
    updateTimeAxis();
}

void ChartWidget::setTimeOrigin(double originMs, std::optional<std::int64_t> startUtcMs) {
    timeOrigin_ = originMs;
    startUtc_ = startUtcMs;
    updateTimeAxis();
}

void ChartWidget::setTimeFormat(TimeFormat format) {
    timeFormat_ = format;
    updateTimeAxis();
}

ChartWidget::TimeFormat ChartWidget::shownTimeFormat() const {
    return timeFormat_ == TimeFormat::Clock && !startUtc_ ? TimeFormat::Ms : timeFormat_;
}

QString ChartWidget::timeText(double ms, double step) const {
    switch (shownTimeFormat()) {
    case TimeFormat::Elapsed:
        return hms(ms - timeOrigin_, step);
    case TimeFormat::Clock: {
        // The time of day of the UTC clock.
        const double t = static_cast<double>(*startUtc_) + ms;
        const double day = static_cast<double>(clock_time::kMsPerDay);
        const double days = std::floor(t / day);
        if (step >= 3600000.0 && std::llround(t - days * day) == 0) {
            int year = 0, month = 0, date = 0;
            clock_time::civil_from_days(static_cast<std::int64_t>(days), year, month, date);
            return QString::asprintf("%04d-%02d-%02d", year, month, date);
        }
        return hms(t - days * day, step);
    }
    case TimeFormat::Ms:
        break;
    }
    int decimals = 0;
    while (decimals < 6 && step < 1.0 / std::pow(10.0, decimals) - 1e-12)
        ++decimals;
    return QString::number(ms, 'f', decimals);
}

double ChartWidget::timeTickOrigin(double step) const {
    switch (shownTimeFormat()) {
    case TimeFormat::Elapsed:
        return std::fmod(timeOrigin_, step);
    case TimeFormat::Clock:
        return -std::fmod(static_cast<double>(*startUtc_), step);
    case TimeFormat::Ms:
        break;
    }
    return 0.0;
}

void ChartWidget::updateTimeAxis() {
    const TimeFormat shown = shownTimeFormat();
    timeActions_[2]->setEnabled(startUtc_.has_value());
    timeActions_[static_cast<int>(shown)]->setChecked(true);
    if (timeAxis_ < 0)
        return;
    const char* labels[] = {"Time (ms)", "Elapsed time (h:mm:ss)", "Time (UTC)"};
    axisOf(static_cast<Axis>(timeAxis_))->setLabel(labels[static_cast<int>(shown)]);
    replot();
}

// ---------------------------------------------------------------- empty state

void ChartWidget::setEmptyText(const QString& text) {
    emptyText_ = text;
    replot();
}

void ChartWidget::updateEmptyState() {
    const bool empty = !emptyText_.isEmpty() && !overlay_->visible() &&
                       std::none_of(channels_.begin(), channels_.end(),
                                    [](const Channel& ch) { return ch.visible && !ch.x.empty(); });
    emptyNote_->setText(emptyText_);
    emptyNote_->setVisible(empty);
    if (empty == emptyShown_)
        return;
    emptyShown_ = empty;
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis}) {
        axis->setTicks(!empty);
        axis->setTickLabels(!empty);
        axis->grid()->setVisible(!empty);
    }
    placeLegend();
}

// ---------------------------------------------------------------- title, channels

void ChartWidget::setTitle(const QString& title) {
    if (auto* t = qobject_cast<QCPTextElement*>(plot_->plotLayout()->element(0, 0)))
        t->setText(title);
}

QString ChartWidget::title() const {
    if (auto* t = qobject_cast<QCPTextElement*>(plot_->plotLayout()->element(0, 0)))
        return t->text();
    return QString();
}

void ChartWidget::setAxisLabel(Axis axis, const QString& label) {
    axisOf(axis)->setLabel(label);
}

void ChartWidget::setLegendVisible(bool visible) {
    legendShown_ = visible;
    placeLegend();
    replot();
}

void ChartWidget::placeLegend() {
    // A hidden legend leaves its strip, which then takes no height.
    const bool shown = legendShown_ && !emptyShown_;
    plot_->legend->setVisible(shown);
}

void ChartWidget::setLegendCorner(Qt::Alignment corner) {
    const double left = corner & Qt::AlignLeft ? 0.001 : 1.0;
    const double right = corner & Qt::AlignRight ? 0.001 : 1.0;
    legendRow_->setColumnStretchFactors({left, 0.001, right});
}

QRect ChartWidget::legendRect() const {
    if (!plot_->legend->visible() || !legendRow_->element(0, 1))
        return QRect();
    return plot_->legend->outerRect().translated(plot_->pos());
}

QRect ChartWidget::plotAreaRect() const {
    return plot_->axisRect()->rect().translated(plot_->pos());
}

int ChartWidget::addChannel(const QString& name, const QColor& colour, bool lines, bool markers) {
    return addChannelOn(name, colour, lines, markers, false);
}

int ChartWidget::addProfileChannel(const QString& name, const QColor& colour, bool lines,
                                   bool markers) {
    return addChannelOn(name, colour, lines, markers, true);
}

int ChartWidget::addChannelOn(const QString& name, const QColor& colour, bool lines, bool markers,
                              bool alongY) {
    Channel ch;
    ch.alongY = alongY;
    ch.graph = alongY ? plot_->addGraph(plot_->yAxis, plot_->xAxis)
                      : plot_->addGraph(plot_->xAxis, plot_->yAxis);
    ch.graph->setName(name);
    // Sampling thins points by key pixel, which only suits points in key order.
    ch.graph->setAdaptiveSampling(!alongY);
    const QColor c = colour.isValid() ? colour : kPalette[paletteNext_ % kPaletteSize];
    ++paletteNext_;
    ch.graph->setPen(QPen(c, 1.5));
    channels_.push_back(std::move(ch));
    const int index = channelCount() - 1;
    setChannelStyle(index, lines, markers);
    return index;
}

QString ChartWidget::channelName(int channel) const {
    return channels_.at(channel).graph->name();
}

QColor ChartWidget::channelColour(int channel) const {
    return channels_.at(channel).graph->pen().color();
}

void ChartWidget::setChannelName(int channel, const QString& name) {
    channels_.at(channel).graph->setName(name);
}

void ChartWidget::setChannelStyle(int channel, bool lines, bool markers) {
    Channel& ch = channels_.at(channel);
    ch.lines = lines;
    ch.markers = markers;
    ch.dense = false;
    applyStyle(ch);
}

void ChartWidget::applyStyle(Channel& ch) {
    const QColor c = ch.graph->pen().color();
    // Where thousands of points share the plot's width, markers merge into a band anyway: a
    // thin line shows the same and draws many times faster.
    const bool lines = ch.lines || (ch.dense && ch.markers);
    const bool markers = ch.markers && !ch.dense;
    ch.graph->setLineStyle(lines ? QCPGraph::lsLine : QCPGraph::lsNone);
    ch.graph->setPen(QPen(c, ch.dense ? 1.0 : 1.5));
    if (markers && ch.marker >= 0) {
        static const QCPScatterStyle::ScatterShape shapes[] = {
            QCPScatterStyle::ssDisc,    QCPScatterStyle::ssCircle, QCPScatterStyle::ssTriangle,
            QCPScatterStyle::ssDiamond, QCPScatterStyle::ssCross,  QCPScatterStyle::ssSquare};
        const auto shape = shapes[ch.marker];
        // Outline shapes are drawn in the colour itself, filled ones get a darker rim.
        const bool outline =
            shape == QCPScatterStyle::ssCircle || shape == QCPScatterStyle::ssCross;
        ch.graph->setScatterStyle(
            QCPScatterStyle(shape, QPen(outline ? c : c.darker(160), outline ? 2.0 : 1.0),
                            outline ? QBrush(Qt::NoBrush) : QBrush(c), ch.markerSize));
    } else if (markers) {
        ch.graph->setScatterStyle(
            QCPScatterStyle(QCPScatterStyle::ssDisc, c, c, ch.lines ? 5.0 : 4.0));
    } else {
        ch.graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
    }
}

void ChartWidget::setChannelMarker(int channel, Marker marker, double size) {
    Channel& ch = channels_.at(channel);
    ch.marker = static_cast<int>(marker);
    ch.markerSize = size;
    ch.dense = false;
    applyStyle(ch);
}

void ChartWidget::chooseDetail() {
    const QCPRange r = plot_->xAxis->range();
    const int limit = 3 * std::max(100, plot_->axisRect()->width());
    for (Channel& ch : channels_) {
        // Points out of X order cannot be joined by a line.
        bool dense = false;
        if (ch.inOrder && ch.marker < 0 && !ch.alongY) {
            auto first = std::lower_bound(ch.x.begin(), ch.x.end(), r.lower);
            auto last = std::upper_bound(first, ch.x.end(), r.upper);
            dense = last - first > limit;
        }
        if (dense != ch.dense) {
            ch.dense = dense;
            applyStyle(ch);
        }
    }
}

bool ChartWidget::channelLines(int channel) const {
    return channels_.at(channel).lines;
}

bool ChartWidget::channelMarkers(int channel) const {
    return channels_.at(channel).markers;
}

void ChartWidget::setChannelVisible(int channel, bool visible) {
    Channel& ch = channels_.at(channel);
    ch.visible = visible;
    ch.graph->setVisible(visible);
    if (visible && ch.inLegend)
        ch.graph->addToLegend();
    else
        ch.graph->removeFromLegend();
}

bool ChartWidget::channelVisible(int channel) const {
    return channels_.at(channel).visible;
}

void ChartWidget::setChannelInLegend(int channel, bool inLegend) {
    channels_.at(channel).inLegend = inLegend;
    setChannelVisible(channel, channels_.at(channel).visible);
}

bool ChartWidget::channelInLegend(int channel) const {
    return channels_.at(channel).inLegend;
}

void ChartWidget::setChannelBand(int upper, int lower, const QColor& fill) {
    QCPGraph* top = channels_.at(upper).graph;
    top->setBrush(fill);
    top->setChannelFillGraph(channels_.at(lower).graph);
    setChannelInLegend(lower, false);
}

void ChartWidget::setChannelOnSecondAxis(int channel, bool second) {
    Channel& ch = channels_.at(channel);
    if (ch.alongY)
        return; // its value axis is the X axis
    ch.second = second;
    ch.graph->setValueAxis(second ? plot_->yAxis2 : plot_->yAxis);
    secondAxisUsed_ =
        std::any_of(channels_.begin(), channels_.end(), [](const Channel& c) { return c.second; });
    plot_->yAxis2->setVisible(secondAxisUsed_);
    plot_->yAxis2->setTickLabels(secondAxisUsed_);
}

QCPAxis* ChartWidget::valueAxisOf(int channel) const {
    return channels_.at(channel).second ? plot_->yAxis2 : plot_->yAxis;
}

// ---------------------------------------------------------------- points

void ChartWidget::noteRange(Channel& ch, double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    if (!ch.hasRange) {
        ch.xMin = ch.xMax = x;
        ch.yMin = ch.yMax = y;
        ch.hasRange = true;
        return;
    }
    ch.xMin = std::min(ch.xMin, x);
    ch.xMax = std::max(ch.xMax, x);
    ch.yMin = std::min(ch.yMin, y);
    ch.yMax = std::max(ch.yMax, y);
}

void ChartWidget::recomputeRange(Channel& ch) {
    ch.hasRange = false;
    for (std::size_t i = 0; i < ch.x.size(); ++i)
        noteRange(ch, ch.x[i], ch.y[i]);
}

void ChartWidget::clearChannel(int channel) {
    Channel& ch = channels_.at(channel);
    ch.x.clear();
    ch.y.clear();
    ch.inOrder = true;
    ch.hasRange = false;
    ch.graph->data()->clear();
    replot();
}

void ChartWidget::clearAllChannels() {
    for (int i = 0; i < channelCount(); ++i)
        clearChannel(i);
}

void ChartWidget::addPoint(int channel, double x, double y) {
    Channel& ch = channels_.at(channel);
    if (!ch.x.empty() && x < ch.x.back())
        ch.inOrder = false;
    ch.x.push_back(x);
    ch.y.push_back(y);
    noteRange(ch, x, y);
    if (ch.alongY)
        ch.graph->addData(y, x);
    else
        ch.graph->addData(x, y);
    applyTracking();
    replot();
}

void ChartWidget::addPoints(int channel, const std::vector<double>& x,
                            const std::vector<double>& y) {
    Channel& ch = channels_.at(channel);
    const std::size_t n = std::min(x.size(), y.size());
    if (n == 0)
        return;
    bool sorted = true;
    if (!ch.x.empty() && x[0] < ch.x.back())
        ch.inOrder = false;
    const std::vector<double>& key = ch.alongY ? y : x;
    const std::vector<double>& value = ch.alongY ? x : y;
    QVector<QCPGraphData> points(static_cast<int>(n));
    bool keySorted = true;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && x[i] < x[i - 1])
            sorted = false;
        if (i > 0 && key[i] < key[i - 1])
            keySorted = false;
        points[static_cast<int>(i)] = QCPGraphData(key[i], value[i]);
        noteRange(ch, x[i], y[i]);
    }
    if (!sorted)
        ch.inOrder = false;
    ch.x.insert(ch.x.end(), x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
    ch.y.insert(ch.y.end(), y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n));
    ch.graph->data()->add(points, keySorted);
    // Sampling thins points by key pixel; points that go back and forth along X (a profile)
    // would lose the ones stacked in one pixel column.
    ch.graph->setAdaptiveSampling(ch.inOrder && !ch.alongY);
    applyTracking();
    replot();
}

void ChartWidget::setPoints(int channel, const std::vector<double>& x,
                            const std::vector<double>& y) {
    Channel& ch = channels_.at(channel);
    const std::size_t n = std::min(x.size(), y.size());
    // Copied into the buffers the channel already has: a redraw of a day of records then costs
    // no fresh memory.
    ch.x.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
    ch.y.assign(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n));
    ch.inOrder = std::is_sorted(ch.x.begin(), ch.x.end());
    recomputeRange(ch);
    const std::vector<double>& key = ch.alongY ? ch.y : ch.x;
    const std::vector<double>& value = ch.alongY ? ch.x : ch.y;
    const bool keySorted = ch.alongY ? std::is_sorted(key.begin(), key.end()) : ch.inOrder;
    QCPGraphDataContainer& data = *ch.graph->data();
    if (keySorted && static_cast<std::size_t>(data.size()) == n) {
        auto it = data.begin();
        for (std::size_t i = 0; i < n; ++i, ++it) {
            it->key = key[i];
            it->value = value[i];
        }
    } else {
        QVector<QCPGraphData> points(static_cast<int>(n));
        for (std::size_t i = 0; i < n; ++i)
            points[static_cast<int>(i)] = QCPGraphData(key[i], value[i]);
        data.set(points, keySorted);
    }
    ch.graph->setAdaptiveSampling(ch.inOrder && !ch.alongY);
    applyTracking();
    replot();
}

int ChartWidget::pointCount(int channel) const {
    return static_cast<int>(channels_.at(channel).x.size());
}

double ChartWidget::pointX(int channel, int point) const {
    return channels_.at(channel).x.at(point);
}

double ChartWidget::pointY(int channel, int point) const {
    return channels_.at(channel).y.at(point);
}

// ---------------------------------------------------------------- axes and tracking

QCPAxis* ChartWidget::axisOf(Axis axis) const {
    return axis == Axis::X ? plot_->xAxis : plot_->yAxis;
}

void ChartWidget::setRangeOf(QCPAxis* axis, double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi))
        return;
    if (hi <= lo) {
        const double half = lo == 0 ? 0.5 : std::fabs(lo) * 0.05;
        lo -= half;
        hi += half;
    }
    axis->setRange(lo, hi);
}

void ChartWidget::setAxisRange(Axis axis, double minimum, double span) {
    state(axis).span = span;
    setRangeOf(axisOf(axis), minimum, minimum + span);
    if (axis == Axis::Y && secondAxisUsed_)
        setRangeOf(plot_->yAxis2, minimum, minimum + span);
    replot();
}

double ChartWidget::axisMinimum(Axis axis) const {
    return axisOf(axis)->range().lower;
}

double ChartWidget::axisSpan(Axis axis) const {
    return axisOf(axis)->range().size();
}

void ChartWidget::setAxisTracking(Axis axis, Tracking tracking) {
    state(axis).tracking = tracking;
    applyTracking();
    replot();
}

ChartWidget::Tracking ChartWidget::axisTracking(Axis axis) const {
    return state(axis).tracking;
}

bool ChartWidget::dataRange(Axis axis, bool second, double* lo, double* hi) const {
    bool any = false;
    for (const Channel& ch : channels_) {
        if (!ch.visible || !ch.hasRange)
            continue;
        if (axis == Axis::Y && ch.second != second)
            continue;
        const double a = axis == Axis::X ? ch.xMin : ch.yMin;
        const double b = axis == Axis::X ? ch.xMax : ch.yMax;
        if (!any) {
            *lo = a;
            *hi = b;
            any = true;
        } else {
            *lo = std::min(*lo, a);
            *hi = std::max(*hi, b);
        }
    }
    return any;
}

void ChartWidget::fitAxis(Axis axis) {
    double lo = 0, hi = 0;
    if (dataRange(axis, false, &lo, &hi)) {
        const double m = (hi - lo) * kMargin;
        setRangeOf(axisOf(axis), lo - m, hi + m);
        state(axis).span = axisOf(axis)->range().size();
    }
    if (axis == Axis::Y && secondAxisUsed_ && dataRange(axis, true, &lo, &hi)) {
        const double m = (hi - lo) * kMargin;
        setRangeOf(plot_->yAxis2, lo - m, hi + m);
    }
    replot();
}

void ChartWidget::fitAll() {
    fitAxis(Axis::Y);
    fitAxis(Axis::X);
}

void ChartWidget::applyTracking() {
    if (!tracking_)
        return;
    for (Axis axis : {Axis::X, Axis::Y}) {
        const AxisState& st = state(axis);
        double lo = 0, hi = 0;
        if (st.tracking == Tracking::Fixed || !dataRange(axis, false, &lo, &hi))
            continue;
        QCPAxis* a = axisOf(axis);
        if (st.tracking == Tracking::Rescale) {
            const double m = (hi - lo) * kMargin;
            setRangeOf(a, lo - m, hi + m);
        } else if (hi > a->range().upper) {
            a->setRange(hi - st.span, hi);
        }
        if (axis == Axis::Y && secondAxisUsed_ && st.tracking == Tracking::Rescale &&
            dataRange(axis, true, &lo, &hi)) {
            const double m = (hi - lo) * kMargin;
            setRangeOf(plot_->yAxis2, lo - m, hi + m);
        }
    }
}

void ChartWidget::setAxisReversed(Axis axis, bool reversed) {
    state(axis).reversed = reversed;
    axisOf(axis)->setRangeReversed(reversed);
    if (axis == Axis::Y)
        plot_->yAxis2->setRangeReversed(reversed);
    replot();
}

bool ChartWidget::axisReversed(Axis axis) const {
    return axisOf(axis)->rangeReversed();
}

void ChartWidget::setZoomFactor(double factor) {
    if (factor > 1.0)
        zoomFactor_ = factor;
}

void ChartWidget::zoomBy(double factor) {
    pauseTracking();
    for (QCPAxis* a : {plot_->xAxis, plot_->yAxis, plot_->yAxis2})
        a->scaleRange(factor, a->range().center());
    replot();
}

void ChartWidget::pauseTracking() {
    if (!tracking_)
        return;
    tracking_ = false;
    emit trackingChanged(false);
}

void ChartWidget::resumeTracking() {
    const bool was = tracking_;
    tracking_ = true;
    applyTracking();
    if (!was)
        emit trackingChanged(true);
}

// ---------------------------------------------------------------- toolbar and modes

void ChartWidget::setButtonVisible(Button button, bool visible) {
    buttons_[static_cast<int>(button)]->setVisible(visible);
}

bool ChartWidget::buttonVisible(Button button) const {
    return buttons_[static_cast<int>(button)]->isVisible();
}

void ChartWidget::setToolbarVisible(bool visible) {
    toolBar_->setVisible(visible);
}

void ChartWidget::setMode(Mode mode) {
    mode_ = mode;
    plot_->setSelectionRectMode(mode == Mode::ZoomBox ? QCP::srmZoom : QCP::srmNone);
    plot_->setInteraction(QCP::iRangeDrag, mode == Mode::Pan);
    const QSignalBlocker b1(buttons_[static_cast<int>(Button::ZoomBox)]);
    const QSignalBlocker b2(buttons_[static_cast<int>(Button::Select)]);
    buttons_[static_cast<int>(Button::ZoomBox)]->setChecked(mode == Mode::ZoomBox);
    buttons_[static_cast<int>(Button::Select)]->setChecked(mode == Mode::Select);
}

// ---------------------------------------------------------------- data cursors

void ChartWidget::setCursorsActive(bool active) {
    if (active == cursorsActive_)
        return;
    cursorsActive_ = active;
    {
        const QSignalBlocker block(buttons_[static_cast<int>(Button::Cursor)]);
        buttons_[static_cast<int>(Button::Cursor)]->setChecked(active);
    }
    if (active) {
        // Put cursors that are out of sight at a third and two thirds of the visible range.
        const QCPRange r = plot_->xAxis->range();
        for (int i = 0; i < 2; ++i)
            if (!r.contains(cursorX_[i]))
                cursorX_[i] = snapX(r.lower + r.size() * (i + 1) / 3.0);
    }
    updateCursorItems();
    emit beforeDataCursorUpdate();
    replot();
}

double ChartWidget::cursorX(int cursor) const {
    return cursorX_.at(cursor);
}

void ChartWidget::setCursorX(int cursor, double x) {
    emit beforeDataCursorUpdate();
    cursorX_.at(cursor) = cursorSnap_ ? snapX(x) : x;
    updateCursorItems();
    replot();
}

void ChartWidget::updateCursorItems() {
    for (int i = 0; i < 2; ++i) {
        cursorLines_[i]->point1->setCoords(cursorX_[i], 0);
        cursorLines_[i]->point2->setCoords(cursorX_[i], 1);
        cursorLabels_[i]->position->setCoords(cursorX_[i], 0.0);
        cursorLabels_[i]->setText(QString("Cursor %1: %2").arg(i + 1).arg(number(cursorX_[i])));
        cursorLines_[i]->setVisible(cursorsActive_);
        cursorLabels_[i]->setVisible(cursorsActive_);
    }
    // Keep the two labels from covering each other.
    cursorLabels_[1]->position->setCoords(cursorX_[1], 0.07);
}

double ChartWidget::snapX(double x) const {
    double best = x;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const Channel& ch : channels_) {
        if (!ch.visible || ch.x.empty())
            continue;
        auto consider = [&](double v) {
            const double d = std::fabs(v - x);
            if (d < bestDistance) {
                bestDistance = d;
                best = v;
            }
        };
        if (ch.inOrder) {
            auto it = std::lower_bound(ch.x.begin(), ch.x.end(), x);
            if (it != ch.x.end())
                consider(*it);
            if (it != ch.x.begin())
                consider(*(it - 1));
        } else {
            for (double v : ch.x)
                consider(v);
        }
    }
    return best;
}

int ChartWidget::nearestCursor(double pixelX, double* distance) const {
    int best = 0;
    *distance = std::numeric_limits<double>::infinity();
    for (int i = 0; i < 2; ++i) {
        const double d = std::fabs(plot_->xAxis->coordToPixel(cursorX_[i]) - pixelX);
        if (d < *distance) {
            *distance = d;
            best = i;
        }
    }
    return best;
}

// ---------------------------------------------------------------- mouse

bool ChartWidget::pointAt(const QPointF& pos, double radius, int* channel, int* point) const {
    double best = radius * radius;
    bool found = false;
    const double lo = plot_->xAxis->pixelToCoord(pos.x() - radius);
    const double hi = plot_->xAxis->pixelToCoord(pos.x() + radius);
    const double xLo = std::min(lo, hi), xHi = std::max(lo, hi);
    for (int c = channelCount() - 1; c >= 0; --c) {
        const Channel& ch = channels_[c];
        if (!ch.visible || ch.x.empty())
            continue;
        QCPAxis* yAxis = valueAxisOf(c);
        auto test = [&](std::size_t i) {
            const double dx = plot_->xAxis->coordToPixel(ch.x[i]) - pos.x();
            const double dy = yAxis->coordToPixel(ch.y[i]) - pos.y();
            const double d = dx * dx + dy * dy;
            if (d < best || (d == best && found && c == *channel && int(i) < *point)) {
                best = d;
                *channel = c;
                *point = static_cast<int>(i);
                found = true;
            }
        };
        if (ch.inOrder) {
            auto first = std::lower_bound(ch.x.begin(), ch.x.end(), xLo);
            auto last = std::upper_bound(first, ch.x.end(), xHi);
            for (auto it = first; it != last; ++it)
                test(static_cast<std::size_t>(it - ch.x.begin()));
        } else {
            for (std::size_t i = 0; i < ch.x.size(); ++i)
                if (ch.x[i] >= xLo && ch.x[i] <= xHi)
                    test(i);
        }
    }
    return found;
}

void ChartWidget::onPress(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    pressed_ = true;
    dragged_ = false;
    pressPos_ = event->pos();
    dragCursor_ = -1;
    if (cursorsActive_) {
        double d = 0;
        const int c = nearestCursor(event->pos().x(), &d);
        if (d <= 6) {
            dragCursor_ = c;
            plot_->setInteraction(QCP::iRangeDrag, false);
        }
    }
}

void ChartWidget::onMove(QMouseEvent* event) {
    const double x = plot_->xAxis->pixelToCoord(event->pos().x());
    const double y = plot_->yAxis->pixelToCoord(event->pos().y());
    position_->setText(QString("x: %1   y: %2").arg(number(x), number(y)));
    if (!pressed_) {
        showTip(event->pos());
        return;
    }
    if ((event->pos() - pressPos_).manhattanLength() > 3)
        dragged_ = true;
    if (!dragged_)
        return;
    if (dragCursor_ >= 0)
        setCursorX(dragCursor_, x);
    else if (mode_ == Mode::Pan)
        pauseTracking();
}

void ChartWidget::onRelease(QMouseEvent* event) {
    if (!pressed_ || event->button() != Qt::LeftButton)
        return;
    pressed_ = false;
    const bool draggedCursor = dragCursor_ >= 0;
    dragCursor_ = -1;
    if (draggedCursor)
        plot_->setInteraction(QCP::iRangeDrag, mode_ == Mode::Pan);
    if (dragged_)
        return;
    if (cursorsActive_) {
        double d = 0;
        const int c = nearestCursor(event->pos().x(), &d);
        setCursorX(c, plot_->xAxis->pixelToCoord(event->pos().x()));
        return;
    }
    int channel = -1, point = -1;
    if (pointAt(event->pos(), 8, &channel, &point))
        emit dataPointClicked(channel, point);
}

void ChartWidget::showTip(const QPoint& pos) {
    int channel = -1, point = -1;
    if (!pointAt(pos, 8, &channel, &point)) {
        QToolTip::hideText();
        return;
    }
    const Channel& ch = channels_[channel];
    const QString text = QString("%1 #%2\nx = %3\ny = %4")
                             .arg(ch.graph->name())
                             .arg(point)
                             .arg(number(ch.x[point]), number(ch.y[point]));
    QToolTip::showText(plot_->mapToGlobal(pos), text, plot_);
}

// ---------------------------------------------------------------- drawing and images

void ChartWidget::replot() {
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void ChartWidget::replotNow() {
    plot_->replot(QCustomPlot::rpImmediateRefresh);
}

bool ChartWidget::saveImage(const QString& path, int width, int height) {
    if (width <= 0 || height <= 0) {
        width = plot_->width() > 50 ? plot_->width() : 800;
        height = plot_->height() > 50 ? plot_->height() : 500;
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "pdf")
        return plot_->savePdf(path, width, height);
    if (suffix == "svg") {
        // Vector output that drawing programs and journals take as it is.
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(QSize(width, height));
        svg.setViewBox(QRect(0, 0, width, height));
        svg.setTitle(plot_->objectName().isEmpty() ? QStringLiteral("Velmora plot")
                                                   : plot_->objectName());
        QCPPainter painter;
        if (!painter.begin(&svg))
            return false;
        plot_->toPainter(&painter, width, height);
        return painter.end();
    }
    if (suffix == "jpg" || suffix == "jpeg")
        return plot_->saveJpg(path, width, height);
    if (suffix == "bmp")
        return plot_->saveBmp(path, width, height);
    return plot_->savePng(path, width, height);
}

void ChartWidget::copyImage() {
    const int w = plot_->width() > 50 ? plot_->width() : 800;
    const int h = plot_->height() > 50 ? plot_->height() : 500;
    QApplication::clipboard()->setPixmap(plot_->toPixmap(w, h));
}

void ChartWidget::printChart() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QCPPainter painter(&printer);
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const int w = plot_->width() > 50 ? plot_->width() : 800;
    const int h = plot_->height() > 50 ? plot_->height() : 500;
    const double scale = std::min(page.width() / w, page.height() / h);
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.scale(scale, scale);
    plot_->toPainter(&painter, w, h);
}

void ChartWidget::setOverlayText(const QString& text) {
    overlay_->setText(text);
    overlay_->setVisible(!text.isEmpty());
    replot();
}

QString ChartWidget::overlayText() const {
    return overlay_->visible() ? overlay_->text() : QString();
}
