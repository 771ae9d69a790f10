// The chart's operations, the lag estimate and the time-shift tool.
#include <QFile>
#include <QLineEdit>
#include <QMenu>
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
