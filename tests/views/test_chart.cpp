// The chart's operations, the lag estimate and the time-shift tool.
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <cmath>
#include <qcustomplot.h>

#include "chart_widget.h"
#include "sample_data.h"
#include "tf_scattering_guide.h"
#include "tf_time_shift.h"
#include "time_lag.h"

namespace {

// A smooth but irregular signal, so that only one lag lines two copies up.
double signal(double t) {
    return std::sin(t / 1700.0) + 0.6 * std::sin(t / 530.0 + 1.0) + 0.3 * std::sin(t / 211.0);
}

TimeSeries sampled(double start, double step, int n, double delay, double gain = 1.0) {
    TimeSeries s;
    for (int i = 0; i < n; ++i) {
        const double t = start + step * i;
        s.time.push_back(t);
        s.value.push_back(gain * signal(t - delay));
    }
    return s;
}

} // namespace

class ChartTests : public QObject {
    Q_OBJECT
  private slots:
    void bulkAndSingleAddsAgree();
    void scrollTrackingKeepsSpanAtNewestPoint();
    void userZoomPausesTrackingUntilResumed();
    void fitAndReverseAxes();
    void clickOnUnsortedXYReportsOrderAdded();
    void cursorsSnapAndAnnounceMoves();
    void imagesAreWritten();
    void legendStaysOffThePlotArea_data();
    void legendStaysOffThePlotArea();
    void timeAxisNeverInExponentForm_data();
    void timeAxisNeverInExponentForm();
    void timeFormats_data();
    void timeFormats();
    void emptyStateUntilAPointIsShown();
    void profileChannelJoinsPointsInYOrder();
    void ownMarkersStayMarkersWhenDense();

    void lagEstimate_data();
    void lagEstimate();
    void lagEstimateWithoutOverlap();
    void timeShiftToolFindsCtdLag();
    void scatteringGuideStartsUnchosen();
};

void ChartTests::bulkAndSingleAddsAgree() {
    ChartWidget one(ChartWidget::Kind::XY), bulk(ChartWidget::Kind::XY);
    one.addChannel("a");
    bulk.addChannel("a");
    std::vector<double> x, y;
    for (int i = 0; i < 50; ++i) {
        x.push_back(i * 10.0);
        y.push_back(std::sin(i));
        one.addPoint(0, x.back(), y.back());
    }
    bulk.addPoints(0, {x.begin(), x.begin() + 20}, {y.begin(), y.begin() + 20});
    bulk.addPoints(0, {x.begin() + 20, x.end()}, {y.begin() + 20, y.end()});
    QCOMPARE(one.pointCount(0), 50);
    QCOMPARE(bulk.pointCount(0), 50);
    QCOMPARE(bulk.plot()->graph(0)->dataCount(), 50);
    for (int i = 0; i < 50; ++i)
        QCOMPARE(bulk.pointY(0, i), one.pointY(0, i));
    bulk.clearChannel(0);
    QCOMPARE(bulk.pointCount(0), 0);
    QCOMPARE(bulk.plot()->graph(0)->dataCount(), 0);
}

void ChartTests::scrollTrackingKeepsSpanAtNewestPoint() {
    ChartWidget chart(ChartWidget::Kind::XY);
    chart.addChannel("a");
    chart.setAxisTracking(ChartWidget::Axis::X, ChartWidget::Tracking::Scroll);
    chart.setAxisRange(ChartWidget::Axis::X, 0, 1000);
    chart.setAxisTracking(ChartWidget::Axis::Y, ChartWidget::Tracking::Rescale);
    chart.addPoints(0, {0, 250, 500}, {1, 2, 3});
    QCOMPARE(chart.axisMinimum(ChartWidget::Axis::X), 0.0); // newest point still in view
    chart.addPoint(0, 1800, 10);
    QCOMPARE(chart.axisMinimum(ChartWidget::Axis::X), 800.0);
    QCOMPARE(chart.axisSpan(ChartWidget::Axis::X), 1000.0);
    // The Y axis follows the data's range.
    QVERIFY(chart.axisMinimum(ChartWidget::Axis::Y) <= 1.0);
    QVERIFY(chart.axisMinimum(ChartWidget::Axis::Y) + chart.axisSpan(ChartWidget::Axis::Y) >= 10.0);
}

void ChartTests::userZoomPausesTrackingUntilResumed() {
    ChartWidget chart(ChartWidget::Kind::XY);
    chart.resize(600, 400);
    chart.show();
    chart.addChannel("a");
    chart.setAxisTracking(ChartWidget::Axis::X, ChartWidget::Tracking::Scroll);
    chart.setAxisRange(ChartWidget::Axis::X, 0, 1000);
    QSignalSpy spy(&chart, &ChartWidget::trackingChanged);
    chart.toolBar()->actions().at(1)->trigger(); // zoom in
    QVERIFY(!chart.isTracking());
    const double lo = chart.axisMinimum(ChartWidget::Axis::X);
    chart.addPoint(0, 5000, 1);
    QCOMPARE(chart.axisMinimum(ChartWidget::Axis::X), lo);
    chart.resumeTracking();
    QVERIFY(chart.isTracking());
    QCOMPARE(chart.axisMinimum(ChartWidget::Axis::X) + chart.axisSpan(ChartWidget::Axis::X),
             5000.0);
    QCOMPARE(spy.count(), 2);
}

void ChartTests::fitAndReverseAxes() {
    ChartWidget chart(ChartWidget::Kind::Line);
    chart.addChannel("a");
    chart.addChannel("c");
    chart.addPoints(0, {400, 500, 700}, {0.5, 0.2, 0.1});
    chart.addPoints(1, {410, 510}, {1.5, 1.0});
    chart.fitAll();
    const double xlo = chart.axisMinimum(ChartWidget::Axis::X);
    QVERIFY(xlo < 400 && xlo > 380);
    QVERIFY(xlo + chart.axisSpan(ChartWidget::Axis::X) > 700);
    QVERIFY(chart.axisMinimum(ChartWidget::Axis::Y) < 0.1);
    QVERIFY(chart.axisMinimum(ChartWidget::Axis::Y) + chart.axisSpan(ChartWidget::Axis::Y) > 1.5);
    // A hidden channel does not count.
    chart.setChannelVisible(1, false);
    chart.fitAxis(ChartWidget::Axis::Y);
    QVERIFY(chart.axisMinimum(ChartWidget::Axis::Y) + chart.axisSpan(ChartWidget::Axis::Y) < 1.0);
    chart.setAxisReversed(ChartWidget::Axis::Y, true);
    QVERIFY(chart.axisReversed(ChartWidget::Axis::Y));
    QVERIFY(chart.plot()->yAxis->rangeReversed());
}

void ChartTests::clickOnUnsortedXYReportsOrderAdded() {
    ChartWidget chart(ChartWidget::Kind::XY);
    chart.resize(600, 400);
    chart.show();
    chart.addChannel("a", QColor(), false, true);
    // x runs back and forth, as values against depth do.
    chart.setPoints(0, {5, 1, 4, 2, 3}, {10, 20, 30, 40, 50});
    chart.fitAll();
    chart.replotNow();
    QSignalSpy spy(&chart, &ChartWidget::dataPointClicked);
    QCustomPlot* p = chart.plot();
    const QPoint at(qRound(p->xAxis->coordToPixel(4)), qRound(p->yAxis->coordToPixel(30)));
    QTest::mouseClick(p, Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 0);
    QCOMPARE(spy.at(0).at(1).toInt(), 2);
    // Far from every point: no event.
    QTest::mouseClick(
        p, Qt::LeftButton, Qt::NoModifier,
        QPoint(qRound(p->xAxis->coordToPixel(1)), qRound(p->yAxis->coordToPixel(50))));
    QCOMPARE(spy.count(), 1);
}

void ChartTests::cursorsSnapAndAnnounceMoves() {
    ChartWidget chart(ChartWidget::Kind::XY);
    chart.addChannel("a");
    chart.addPoints(0, {0, 100, 200, 300}, {1, 2, 3, 4});
    chart.fitAll();
    QSignalSpy spy(&chart, &ChartWidget::beforeDataCursorUpdate);
    chart.setCursorsActive(true);
    QCOMPARE(spy.count(), 1);
    QVERIFY(chart.cursorsActive());
    chart.setCursorX(0, 140);
    chart.setCursorX(1, 260);
    QCOMPARE(chart.cursorX(0), 100.0);
    QCOMPARE(chart.cursorX(1), 300.0);
    QCOMPARE(spy.count(), 3);
    chart.setButtonVisible(ChartWidget::Button::Cursor, false);
    QVERIFY(!chart.buttonVisible(ChartWidget::Button::Cursor));
    chart.releaseCursorButton();
    QVERIFY(!chart.cursorsActive());
    QCOMPARE(spy.count(), 4);
}

void ChartTests::imagesAreWritten() {
    ChartWidget chart(ChartWidget::Kind::Line);
    chart.setTitle("Image");
    chart.addChannel("a");
    chart.addPoints(0, {1, 2, 3}, {3, 1, 2});
    chart.fitAll();
    const QString dir = VELMORA_VIEWS_OUT;
    for (const QString& name : {QString("chart.png"), QString("chart.pdf"), QString("chart.svg")}) {
        const QString path = dir + "/" + name;
        QFile::remove(path);
        QVERIFY(chart.saveImage(path, 400, 300));
        QVERIFY(QFile(path).size() > 1000);
    }
    const QStringList menu = [&] {
        QStringList t;
        for (QAction* a : chart.contextMenu()->actions())
            if (!a->isSeparator())
                t << a->text();
        return t;
    }();
    QVERIFY(menu.contains("Zoom to fit"));
    QVERIFY(menu.contains("Copy image"));
    QVERIFY(menu.contains(QString::fromUtf8("Save image\u2026")));
    QVERIFY(menu.contains(QString::fromUtf8("Print\u2026")));
}

void ChartTests::legendStaysOffThePlotArea_data() {
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("corner");
    QTest::addColumn<QSize>("size");
    QTest::newRow("two channels, right")
        << 2 << int(Qt::AlignTop | Qt::AlignRight) << QSize(900, 500);
    QTest::newRow("seven long names wrap")
        << 7 << int(Qt::AlignTop | Qt::AlignRight) << QSize(600, 400);
    QTest::newRow("left, small window")
        << 4 << int(Qt::AlignTop | Qt::AlignLeft) << QSize(360, 260);
}

void ChartTests::legendStaysOffThePlotArea() {
    QFETCH(int, channels);
    QFETCH(int, corner);
    QFETCH(QSize, size);
    ChartWidget chart(ChartWidget::Kind::XY);
    chart.setTitle("Legend");
    chart.setLegendCorner(Qt::Alignment(corner));
    for (int i = 0; i < channels; ++i) {
        chart.addChannel(QString("Channel %1 at %2 nm with a long name").arg(i).arg(400 + 10 * i));
        // Points up to the top corners, where a legend inside the plot would cover them.
        chart.setPoints(i, {0, 50, 100}, {100.0, double(i), 100.0});
    }
    chart.fitAll();
    chart.resize(size);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.replotNow();
    const QRect legend = chart.legendRect();
    QVERIFY(!legend.isEmpty());
    QVERIFY2(!legend.intersects(chart.plotAreaRect()),
             qPrintable(QString("legend %1,%2 %3x%4 plot top %5")
                            .arg(legend.x())
                            .arg(legend.y())
                            .arg(legend.width())
                            .arg(legend.height())
                            .arg(chart.plotAreaRect().top())));
    QVERIFY(chart.rect().contains(legend));
}

void ChartTests::timeAxisNeverInExponentForm_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<double>("span");
    QTest::newRow("ms, 6 h file") << int(ChartWidget::TimeFormat::Ms) << 6 * 3600e3;
    QTest::newRow("ms, 3 days") << int(ChartWidget::TimeFormat::Ms) << 3 * 86400e3;
    QTest::newRow("ms, 2 s") << int(ChartWidget::TimeFormat::Ms) << 2e3;
    QTest::newRow("elapsed, 6 h") << int(ChartWidget::TimeFormat::Elapsed) << 6 * 3600e3;
    QTest::newRow("elapsed, 3 s") << int(ChartWidget::TimeFormat::Elapsed) << 3e3;
    QTest::newRow("clock, 3 days") << int(ChartWidget::TimeFormat::Clock) << 3 * 86400e3;
}

void ChartTests::timeAxisNeverInExponentForm() {
    QFETCH(int, format);
    QFETCH(double, span);
    ChartWidget chart(ChartWidget::Kind::XY);
    chart.addChannel("a");
    chart.setTimeAxis(ChartWidget::Axis::X);
    chart.setTimeOrigin(1.0e6, 1709683170000);
    chart.setTimeFormat(static_cast<ChartWidget::TimeFormat>(format));
    std::vector<double> x, y;
    for (int i = 0; i <= 1000; ++i) {
        x.push_back(1.0e6 + span * i / 1000);
        y.push_back(std::sin(i));
    }
    chart.setPoints(0, x, y);
    chart.fitAll();
    chart.resize(800, 400);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.replotNow();
    const QVector<QString> labels = chart.plot()->xAxis->tickVectorLabels();
    QVERIFY(labels.size() >= 2);
    // Clock time names the date at midnight.
    const QRegularExpression plain(format == int(ChartWidget::TimeFormat::Ms)
                                       ? R"(^-?\d+(\.\d+)?$)"
                                       : R"(^(-?\d+:\d\d:\d\d(\.\d+)?|\d{4}-\d\d-\d\d)$)");
    for (const QString& label : labels)
        QVERIFY2(plain.match(label).hasMatch(), qPrintable(label));
    // Enough digits that neighbouring ticks read apart.
    for (int i = 1; i < labels.size(); ++i)
        QVERIFY2(labels[i] != labels[i - 1], qPrintable(labels[i]));
    // Ticks on whole steps of the time shown: elapsed from the first point, or clock time.
    const QVector<double> ticks = chart.plot()->xAxis->tickVector();
    const double step = ticks[1] - ticks[0];
    const double zero = format == int(ChartWidget::TimeFormat::Elapsed) ? -1.0e6
                        : format == int(ChartWidget::TimeFormat::Clock) ? 1709683170000.0
                                                                        : 0.0;
    const double offset = std::fmod(ticks[0] + zero, step);
    QVERIFY2(std::min(std::fabs(offset), step - std::fabs(offset)) < 1e-3 * step,
             qPrintable(labels[0]));
}

void ChartTests::timeFormats_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<qint64>("start"); // UTC ms of time 0; -1: unknown
    QTest::addColumn<double>("origin");
    QTest::addColumn<double>("ms");
    QTest::addColumn<double>("step");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("label");
    const int ms = int(ChartWidget::TimeFormat::Ms),
              elapsed = int(ChartWidget::TimeFormat::Elapsed),
              clock = int(ChartWidget::TimeFormat::Clock);
    const qint64 lateEvening = 1709683170000; // 2024-03-05T23:59:30Z
    QTest::newRow("ms") << ms << qint64(-1) << 0.0 << 3600000.0 << 1e6 << "3600000"
                        << "Time (ms)";
    QTest::newRow("ms below a second") << ms << lateEvening << 0.0 << 1234.5 << 0.5 << "1234.5"
                                       << "Time (ms)";
    QTest::newRow("elapsed since the first record")
        << elapsed << qint64(-1) << 1000.0 << 3663000.0 << 1000.0 << "1:01:02"
        << "Elapsed time (h:mm:ss)";
    QTest::newRow("elapsed tenths")
        << elapsed << qint64(-1) << 0.0 << 1500.0 << 100.0 << "0:00:01.5"
        << "Elapsed time (h:mm:ss)";
    QTest::newRow("elapsed before the first record")
        << elapsed << qint64(-1) << 5000.0 << 2000.0 << 1000.0 << "-0:00:03"
        << "Elapsed time (h:mm:ss)";
    QTest::newRow("clock") << clock << lateEvening << 0.0 << 0.0 << 1000.0 << "23:59:30"
                           << "Time (UTC)";
    QTest::newRow("clock past midnight")
        << clock << lateEvening << 0.0 << 45000.0 << 1000.0 << "0:00:15"
        << "Time (UTC)";
    QTest::newRow("clock, the date at midnight")
        << clock << lateEvening << 0.0 << 30000.0 << 3600000.0 << "2024-03-06"
        << "Time (UTC)";
    QTest::newRow("clock, midnight with fine ticks")
        << clock << lateEvening << 0.0 << 30000.0 << 1000.0 << "0:00:00"
        << "Time (UTC)";
    QTest::newRow("clock without a start time")
        << clock << qint64(-1) << 0.0 << 45000.0 << 1000.0 << "45000"
        << "Time (ms)";
}

void ChartTests::timeFormats() {
    QFETCH(int, format);
    QFETCH(qint64, start);
    QFETCH(double, origin);
    QFETCH(double, ms);
    QFETCH(double, step);
    QFETCH(QString, text);
    QFETCH(QString, label);
    ChartWidget chart(ChartWidget::Kind::XY);
    chart.setTimeAxis(ChartWidget::Axis::X);
    chart.setTimeOrigin(origin, start < 0 ? std::nullopt : std::optional<std::int64_t>(start));
    chart.setTimeFormat(static_cast<ChartWidget::TimeFormat>(format));
    QCOMPARE(chart.timeText(ms, step), text);
    QCOMPARE(chart.plot()->xAxis->label(), label);
    // The menu offers clock time only with a start time, and ticks the format shown.
    const QList<QAction*> choices = chart.timeMenu()->actions();
    QCOMPARE(choices.size(), 3);
    QCOMPARE(choices[2]->isEnabled(), start >= 0);
    QVERIFY(choices[int(chart.shownTimeFormat())]->isChecked());
}

void ChartTests::emptyStateUntilAPointIsShown() {
    ChartWidget chart(ChartWidget::Kind::Line);
    chart.addChannel("a");
    chart.addChannel("c");
    chart.resize(600, 400);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.replotNow();
    QVERIFY(chart.showingEmptyState());
    QCOMPARE(chart.emptyText(), QString("No data loaded"));
    // No numbers on the axes (no made-up 0 to 1 range), no legend of empty channels.
    QVERIFY(!chart.plot()->xAxis->tickLabels());
    QVERIFY(!chart.plot()->yAxis->tickLabels());
    QVERIFY(chart.legendRect().isEmpty());
    chart.addPoints(1, {400, 500}, {0.2, 0.1});
    chart.replotNow();
    QVERIFY(!chart.showingEmptyState());
    QVERIFY(chart.plot()->xAxis->tickLabels());
    QVERIFY(!chart.legendRect().isEmpty());
    // Points of a hidden channel are not shown: still empty.
    chart.setChannelVisible(1, false);
    chart.replotNow();
    QVERIFY(chart.showingEmptyState());
    chart.setChannelVisible(1, true);
    chart.replotNow();
    QVERIFY(!chart.showingEmptyState());
    // A failure text takes the place of the empty state.
    chart.clearAllChannels();
    chart.setOverlayText("Temperature source unrecognized.");
    chart.replotNow();
    QVERIFY(!chart.showingEmptyState());
    chart.setOverlayText(QString());
    chart.setEmptyText("No binned data");
    chart.replotNow();
    QVERIFY(chart.showingEmptyState());
    QCOMPARE(chart.emptyText(), QString("No binned data"));
}

void ChartTests::profileChannelJoinsPointsInYOrder() {
    ChartWidget chart(ChartWidget::Kind::XY);
    chart.resize(600, 400);
    chart.show();
    const int ch = chart.addProfileChannel("bins", QColor(), true, true);
    // A profile: values against depth, added out of depth order.
    chart.setPoints(ch, {3, 1, 2}, {0, 10, 5});
    chart.addPoint(ch, 4, 2.5);
    QCPGraph* graph = chart.plot()->graph(ch);
    QCOMPARE(graph->keyAxis(), chart.plot()->yAxis);
    std::vector<double> keys, values;
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
        keys.push_back(it->key);
        values.push_back(it->value);
    }
    QCOMPARE(keys, std::vector<double>({0, 2.5, 5, 10}));
    QCOMPARE(values, std::vector<double>({3, 4, 2, 1}));
    // Points keep the order they were added in, as on any channel.
    QCOMPARE(chart.pointX(ch, 1), 1.0);
    QCOMPARE(chart.pointY(ch, 3), 2.5);
    chart.fitAll();
    QVERIFY(chart.axisMinimum(ChartWidget::Axis::X) < 1.0);
    QVERIFY(chart.axisMinimum(ChartWidget::Axis::Y) + chart.axisSpan(ChartWidget::Axis::Y) > 10.0);
    chart.replotNow();
    QSignalSpy spy(&chart, &ChartWidget::dataPointClicked);
    QCustomPlot* p = chart.plot();
    QTest::mouseClick(p, Qt::LeftButton, Qt::NoModifier,
                      QPoint(qRound(p->xAxis->coordToPixel(2)), qRound(p->yAxis->coordToPixel(5))));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(1).toInt(), 2);
}

void ChartTests::ownMarkersStayMarkersWhenDense() {
    ChartWidget chart(ChartWidget::Kind::XY);
    chart.resize(400, 300);
    chart.show();
    const int plain = chart.addChannel("values", QColor(), false, true);
    const int flags = chart.addChannel("flags", QColor(255, 150, 0), false, true);
    chart.setChannelMarker(flags, ChartWidget::Marker::Triangle, 9);
    std::vector<double> x, y;
    for (int i = 0; i < 5000; ++i) {
        x.push_back(i);
        y.push_back(std::sin(i / 50.0));
    }
    chart.setPoints(plain, x, y);
    chart.setPoints(flags, x, y);
    chart.fitAll();
    chart.replotNow();
    // Thousands of plain markers turn into a thin line; flag markers must not be joined.
    QCOMPARE(chart.plot()->graph(plain)->lineStyle(), QCPGraph::lsLine);
    QCOMPARE(chart.plot()->graph(flags)->lineStyle(), QCPGraph::lsNone);
    QCOMPARE(chart.plot()->graph(flags)->scatterStyle().shape(), QCPScatterStyle::ssTriangle);
    QCOMPARE(chart.plot()->graph(flags)->scatterStyle().size(), 9.0);
}

void ChartTests::lagEstimate_data() {
    QTest::addColumn<double>("delay");
    QTest::addColumn<double>("step1");
    QTest::addColumn<double>("step2");
    QTest::addColumn<double>("gain");
    QTest::newRow("700 ms, same rate") << 700.0 << 250.0 << 250.0 << 1.0;
    QTest::newRow("-1230 ms, CTD at 24 Hz") << -1230.0 << 250.0 << 1000.0 / 24 << 1.0;
    QTest::newRow("no lag, other units") << 0.0 << 250.0 << 125.0 << 37.0;
    QTest::newRow("edge of window") << 1900.0 << 100.0 << 100.0 << 1.0;
}

void ChartTests::lagEstimate() {
    QFETCH(double, delay);
    QFETCH(double, step1);
    QFETCH(double, step2);
    QFETCH(double, gain);
    // The second series lags the first by `delay`: shifting it by -delay lines them up.
    const TimeSeries first = sampled(0, step1, int(60000 / step1), 0.0);
    const TimeSeries second = sampled(500, step2, int(60000 / step2), -delay, gain);
    const LagEstimate e = estimate_lag(first, second, -2000, 2000);
    QVERIFY(e.found);
    QVERIFY2(std::fabs(e.lag_ms - delay) < 15.0, qPrintable(QString::number(e.lag_ms)));
    QVERIFY(e.correlation > 0.99);
}

void ChartTests::lagEstimateWithoutOverlap() {
    const TimeSeries first = sampled(0, 250, 40, 0);
    const TimeSeries second = sampled(100000, 250, 40, 0);
    QVERIFY(!estimate_lag(first, second, -2000, 2000).found);
    QVERIFY(!estimate_lag(first, TimeSeries{}, -2000, 2000).found);
    QVERIFY(!estimate_lag(first, first, 10, -10).found);
}

void ChartTests::timeShiftToolFindsCtdLag() {
    auto d = sample::make_data(400);
    // The data file's own temperature, and a CTD file that logged the same water 800 ms late.
    for (std::size_t i = 0; i < d->records.size(); ++i) {
        ctd_struct s;
        s.time = d->records[i].time;
        s.temperature = 15 + signal(s.time);
        d->onboard_list.samples.push_back(s);
    }
    for (int i = 0; i < 2400; ++i) {
        ctd_struct s;
        s.time = i * 1000.0 / 24;
        s.temperature = 15 + signal(s.time - 800);
        s.salinity = 33;
        s.pressure = 10;
        d->ctd_file.samples.push_back(s);
    }
    TF_TimeShift tool;
    QCOMPARE(tool.windowTitle(), QString("F_TimeShift"));
    tool.AttachData(d.get());
    QCOMPARE(tool.firstSeries().time.size(), std::size_t(400));
    QCOMPARE(tool.secondSeries().time.size(), std::size_t(2400));
    QCOMPARE(tool.shiftMs(), 0.0);
    tool.Button1Click();
    QVERIFY2(std::fabs(tool.shiftMs() + 800) < 15, qPrintable(tool.Edit4->text()));
    QCOMPARE(tool.Edit4->text(), QString("-800 ms"));
    // As a lag for the CTD log: its times move 0.8 s earlier; with the series swapped too.
    QVERIFY(tool.ctdLagSeconds() && std::fabs(*tool.ctdLagSeconds() + 0.8) < 0.015);
    tool.PD_Source1->setCurrentIndex(1);
    tool.PD_Source2->setCurrentIndex(0);
    tool.Redraw();
    tool.Button1Click();
    QVERIFY(tool.ctdLagSeconds() && std::fabs(*tool.ctdLagSeconds() + 0.8) < 0.015);
    tool.PD_Source1->setCurrentIndex(0);
    tool.PD_Source2->setCurrentIndex(1);
    tool.Redraw();
    tool.Button1Click();
    // The plotted second series moves with the shift.
    QVERIFY(std::fabs(tool.iPlot1->pointX(1, 0) - tool.shiftMs()) < 1e-9);
    // A channel of the ac data by wavelength.
    tool.E1_wl->setText("530");
    tool.Redraw();
    QCOMPARE(tool.firstSeries().value.at(3), d->records[3].a_values[4]);
    tool.AttachData(nullptr);
    QVERIFY(tool.firstSeries().time.empty());
}

void ChartTests::scatteringGuideStartsUnchosen() {
    TForm1 guide;
    QCOMPARE(guide.windowTitle(), QString("F_Scattering"));
    QVERIFY(!guide.RB_Baseline->isChecked() && !guide.RB_Fraction->isChecked() &&
            !guide.RB_Proportional->isChecked());
    QCOMPARE(guide.E_BaselineWL->text(), QString("715"));
    QCOMPARE(guide.E_Amount->text(), QString("14"));
    guide.RB_Baseline->setChecked(true);
    guide.RB_Proportional->setChecked(true);
    QVERIFY(!guide.RB_Baseline->isChecked());
}

QTEST_MAIN(ChartTests)
#include "test_chart.moc"
