// The plot views driven as the main window drives them, offscreen.
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <functional>
#include <qcustomplot.h>

#include "chart_widget.h"
#include "nearest_index.h"
#include "parent_reader.h"
#include "product_series.h"
#include "sample_data.h"
#include "tfr_binned.h"
#include "tfr_depth.h"
#include "tfr_reference.h"
#include "tfr_residual.h"
#include "tfr_spectral.h"
#include "tfr_time.h"

namespace {

// Clicks the chart where point `point` of `channel` is drawn.
void clickPoint(ChartWidget* chart, int channel, int point) {
    chart->replotNow();
    QCustomPlot* plot = chart->plot();
    QCPAxis* valueAxis = chart->plot()->graph(channel)->valueAxis();
    const QPoint pos(qRound(plot->xAxis->coordToPixel(chart->pointX(channel, point))),
                     qRound(valueAxis->coordToPixel(chart->pointY(channel, point))));
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, pos);
}

void showSized(QWidget* w) {
    w->resize(900, 600);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
}

// The chart's channel of that name (-1 if none).
int channelNamed(const ChartWidget* chart, const QString& name) {
    for (int i = 0; i < chart->channelCount(); ++i)
        if (chart->channelName(i) == name)
            return i;
    return -1;
}

// A channel's points as (x, y) pairs in the order added.
std::vector<std::pair<double, double>> pointsOf(const ChartWidget* chart, int channel) {
    std::vector<std::pair<double, double>> out;
    for (int i = 0; i < chart->pointCount(channel); ++i)
        out.emplace_back(chart->pointX(channel, i), chart->pointY(channel, i));
    return out;
}

using Points = std::vector<std::pair<double, double>>;

} // namespace

class ViewTests : public QObject {
    Q_OBJECT
  private slots:
    void nearestIndex_data();
    void nearestIndex();

    void timeAttachWithoutRecordsSetsRanges();
    void timeAttachNullOrEmptyListsIsHarmless();
    void timeAttachLoadedFitsAllRecords();
    void timeLiveAppendMatchesFullRedraw();
    void timeLiveModeHidesPickingControls();
    void timeSynchronizeSearchesTheOtherList();
    void timeClickSendsRecordWithChannelFlag();
    void timeGrab_data();
    void timeGrab();
    void timeCorrectionFailurePassesAndRecovers();

    void spectralBrowsesRecords();
    void spectralLiveShowsNewestAndCtdLabels();
    void spectralZoomUncheckedKeepsAxes();
    void spectralProcessedAndBrokenCtd();

    void depthProfileReversedAndClick();
    void depthWithoutCtdEntriesDrawsNothing();

    void referencePlotsCountsInWavelengthOrder();

    void productSplitByFlags();
    void timeProductsDrawFlaggedColumn();
    void timeProductsOnlyForEveryRecord();
    void depthProductsAndBinnedProfile();
    void spectralProductsShowRecordFlags();
    void binnedSpectraBandAndSlider();
    void residualPlotsDeltaTAgainstTime();
};

void ViewTests::nearestIndex_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("exact") << 510.0 << 3;
    QTest::newRow("below all") << 100.0 << 0;
    QTest::newRow("above all") << 900.0 << 8;
    QTest::newRow("tie: first wins") << 426.0 << 0; // 412 and 440 both 14 away
    QTest::newRow("between") << 545.0 << 5;
}

void ViewTests::nearestIndex() {
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(nearest_index(sample::kAWl, value), std::size_t(expected));
}

void ViewTests::timeAttachWithoutRecordsSetsRanges() {
    TFr_Time view;
    auto d = sample::make_data(0);
    view.SB_awl->setValue(0);
    view.AttachData(d.get());
    QCOMPARE(view.SB_awl->maximum(), 8);
    QCOMPARE(view.SB_cwl->maximum(), 8);
    QCOMPARE(view.SB_awl->value(), 0);
    QCOMPARE(view.iXYPlot1->pointCount(0), 0);
    QCOMPARE(view.iXYPlot1->axisMinimum(ChartWidget::Axis::X), 0.0);
    QCOMPARE(view.iXYPlot1->axisSpan(ChartWidget::Axis::X), 20000.0);
    QVERIFY(view.L_awl->text().isEmpty());
}

void ViewTests::timeAttachNullOrEmptyListsIsHarmless() {
    TFr_Time view;
    auto d = sample::make_data(20);
    view.AttachData(d.get());
    view.SB_awl->setValue(5);
    view.AttachData(nullptr);
    view.Refresh();
    view.SB_awl->setValue(3); // no data: nothing happens
    QCOMPARE(view.iXYPlot1->pointCount(0), 0);
    QCOMPARE(view.SB_awl->maximum(), 0);
    auto empty = sample::make_data(5, false, {}, {});
    view.AttachData(empty.get());
    view.Refresh();
    QCOMPARE(view.iXYPlot1->pointCount(1), 0);
}

void ViewTests::timeAttachLoadedFitsAllRecords() {
    TFr_Time view;
    auto d = sample::make_data(100);
    view.AttachData(d.get());
    QCOMPARE(view.iXYPlot1->pointCount(0), 100);
    QCOMPARE(view.iXYPlot1->pointCount(1), 100);
    QCOMPARE(view.L_awl->text(), QString("A wavelength: 412.0"));
    QCOMPARE(view.L_cwl->text(), QString("C wavelength: 412.5"));
    const double lo = view.iXYPlot1->axisMinimum(ChartWidget::Axis::X);
    const double hi = lo + view.iXYPlot1->axisSpan(ChartWidget::Axis::X);
    QVERIFY(lo <= 0.0);
    QVERIFY(hi >= 99 * 250.0);
    QVERIFY(view.iXYPlot1->axisSpan(ChartWidget::Axis::X) < 30000);
    // Point index is record index; x is time, y the value.
    QCOMPARE(view.iXYPlot1->pointX(1, 42), 42 * 250.0);
    QCOMPARE(view.iXYPlot1->pointY(1, 42), d->records[42].c_values[0]);
    // Positions survive refreshes.
    view.SB_awl->setValue(4);
    view.Refresh();
    QCOMPARE(view.SB_awl->value(), 4);
    QCOMPARE(view.L_awl->text(), QString("A wavelength: 532.0"));
}

void ViewTests::timeLiveAppendMatchesFullRedraw() {
    TFr_Time view;
    auto d = sample::make_data(0);
    d->setup_ts_coefs();
    d->set_scat_ref(715);
    d->do_temp = true;
    d->do_scat = true;
    d->scat_method = ScatMethod::Baseline;
    d->fac_cal_temp = 20;
    d->const_temp = 12.5;
    view.AttachData(d.get());
    view.SetLiveMode(true);
    view.SB_awl->setValue(2);
    for (int tick = 0; tick < 30; ++tick) {
        sample::append_records(*d, 4);
        view.NewRecords();
        view.Refresh();
    }
    QCOMPARE(view.iXYPlot1->pointCount(0), 120);
    auto check = [&] {
        const std::vector<double> A = d->correct_series(view.SB_awl->value(), true);
        const std::vector<double> C = d->correct_series(view.SB_cwl->value(), false);
        QCOMPARE(view.iXYPlot1->pointCount(0), int(A.size()));
        for (std::size_t i = 0; i < A.size(); ++i) {
            QCOMPARE(view.iXYPlot1->pointY(0, int(i)), A[i]);
            QCOMPARE(view.iXYPlot1->pointY(1, int(i)), C[i]);
        }
    };
    check();
    // The X axis keeps its 20 s window at the newest record.
    QCOMPARE(view.iXYPlot1->axisSpan(ChartWidget::Axis::X), 20000.0);
    QCOMPARE(view.iXYPlot1->axisMinimum(ChartWidget::Axis::X) + 20000.0, 119 * 250.0);
    // A changed setting redraws everything with it.
    d->const_temp = 25.0;
    sample::append_records(*d, 4);
    view.Refresh();
    check();
}

void ViewTests::timeLiveModeHidesPickingControls() {
    TFr_Time view;
    showSized(&view);
    auto d = sample::make_data(40);
    view.AttachData(d.get());
    view.iXYPlot1->setCursorsActive(true);
    QVERIFY(view.B_Grab->isVisible());
    view.SetLiveMode(true);
    QVERIFY(!view.iXYPlot1->cursorsActive());
    QVERIFY(!view.B_Grab->isVisible());
    QVERIFY(!view.iXYPlot1->buttonVisible(ChartWidget::Button::Cursor));
    QVERIFY(!view.iXYPlot1->buttonVisible(ChartWidget::Button::Select));
    QVERIFY(view.iXYPlot1->isTracking());
    view.SetLiveMode(false);
    QVERIFY(view.iXYPlot1->buttonVisible(ChartWidget::Button::Cursor));
    QVERIFY(view.iXYPlot1->buttonVisible(ChartWidget::Button::Select));
    QVERIFY(!view.B_Grab->isVisible());
}

void ViewTests::timeSynchronizeSearchesTheOtherList() {
    // c channels sit between the a channels, so searching the wrong list gives other indices.
    const std::vector<double> awl = {400, 410, 420, 430, 440};
    const std::vector<double> cwl = {404, 416, 418, 432, 450};
    auto d = sample::make_data(10, false, awl, cwl);
    for (bool depth : {false, true}) {
        std::unique_ptr<TFr_ChannelPlot> owner;
        if (depth)
            owner = std::make_unique<TFr_Depth>();
        else
            owner = std::make_unique<TFr_Time>();
        QScrollBar *sbA = owner->SB_awl, *sbC = owner->SB_cwl;
        QCheckBox* sync = owner->CB_Sync;
        owner->AttachData(d.get());
        for (int k = 0; k < 5; ++k) {
            sbA->setValue(k);
            QCOMPARE(sbC->value(), int(nearest_index(cwl, awl[k])));
        }
        sbA->setValue(1); // a 410 -> c 404 (index 0)
        QCOMPARE(sbC->value(), 0);
        sbC->setValue(2); // c 418 -> a 420 (index 2)
        QCOMPARE(sbA->value(), 2);
        sbC->setValue(4); // c 450 -> a 440 (index 4)
        QCOMPARE(sbA->value(), 4);
        sync->setChecked(false);
        sbA->setValue(0);
        QCOMPARE(sbC->value(), 4);
    }
}

void ViewTests::timeClickSendsRecordWithChannelFlag() {
    RecordingSink sink;
    TFr_Time view(nullptr, &sink);
    showSized(&view);
    auto d = sample::make_data(30);
    // Attenuation well apart from absorption, so each click hits one channel.
    view.AttachData(d.get());
    clickPoint(view.iXYPlot1, 1, 17);
    clickPoint(view.iXYPlot1, 0, 5);
    QCOMPARE(sink.calls.size(), std::size_t(2));
    QVERIFY(!sink.calls[0].range);
    QCOMPARE(sink.calls[0].absorption, false);
    QCOMPARE(sink.calls[0].first, 17);
    QCOMPARE(sink.calls[1].absorption, true);
    QCOMPARE(sink.calls[1].first, 5);
    // Direct handler call as the chart's event gives it.
    view.iXYPlot1ClickDataPoint(1, 3);
    QCOMPARE(sink.calls.back().absorption, false);
    QCOMPARE(sink.calls.back().first, 3);
}

void ViewTests::timeGrab_data() {
    QTest::addColumn<double>("x1");
    QTest::addColumn<double>("x2");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("end");
    QTest::newRow("ordered") << 500.0 << 1760.0 << 2 << 7;
    QTest::newRow("reversed") << 2260.0 << 240.0 << 1 << 9;
    QTest::newRow("same record") << 750.0 << 760.0 << 3 << 3;
    QTest::newRow("from record 0") << 0.0 << 1250.0 << 0 << 5;
    QTest::newRow("fraction truncated") << 124.9 << 125.9 << 0 << 0;
}

void ViewTests::timeGrab() {
    QFETCH(double, x1);
    QFETCH(double, x2);
    QFETCH(int, first);
    QFETCH(int, end);
    RecordingSink sink;
    TFr_Time view(nullptr, &sink);
    auto d = sample::make_data(12);
    view.AttachData(d.get());
    view.iXYPlot1->setCursorSnap(false);
    view.iXYPlot1->setCursorsActive(true);
    view.iXYPlot1->setCursorX(0, x1);
    view.iXYPlot1->setCursorX(1, x2);
    view.B_GrabClick();
    QCOMPARE(sink.calls.size(), std::size_t(1));
    QVERIFY(sink.calls[0].range);
    QCOMPARE(sink.calls[0].absorption, true);
    QCOMPARE(sink.calls[0].first, first);
    QCOMPARE(sink.calls[0].end, end);
}

void ViewTests::timeCorrectionFailurePassesAndRecovers() {
    TFr_Time view;
    auto d = sample::make_data(50);
    view.AttachData(d.get());
    d->temp_source = static_cast<TempSource>(9);
    QVERIFY_THROWS_EXCEPTION(VelmoraError, view.Refresh());
    QCOMPARE(view.iXYPlot1->pointCount(0), 0);
    // A scroll bar cannot pass the failure on: the view shows and signals it.
    QSignalSpy failed(&view, &TFr_ParentFrame::failed);
    view.SB_awl->setValue(3);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), QString("Temperature source unrecognized."));
    QCOMPARE(view.iXYPlot1->overlayText(), QString("Temperature source unrecognized."));
    d->temp_source = TempSource::Constant;
    view.Refresh();
    QCOMPARE(view.iXYPlot1->pointCount(0), 50);
    QVERIFY(view.iXYPlot1->overlayText().isEmpty());
    // Fewer records than drawn (a data set refilled in place) redraws from scratch.
    d->records.resize(10);
    view.Refresh();
    QCOMPARE(view.iXYPlot1->pointCount(0), 10);
}

void ViewTests::spectralBrowsesRecords() {
    TFr_Spectral view;
    auto one = sample::make_data(1);
    view.AttachData(one.get());
    QCOMPARE(view.SB_Number->minimum(), 1);
    QCOMPARE(view.SB_Number->maximum(), 1);
    QCOMPARE(view.L_xofxxx->text(), QString("Line number 1 of 1"));
    auto d = sample::make_data(100);
    view.AttachData(d.get());
    QCOMPARE(view.SB_Number->value(), 1);
    QCOMPARE(view.SB_Number->maximum(), 100);
    QCOMPARE(view.iPlot1->pointCount(0), 9);
    QCOMPARE(view.iPlot1->pointX(0, 4), 532.0);
    QCOMPARE(view.iPlot1->pointX(1, 4), 531.0);
    QCOMPARE(view.iPlot1->channelColour(1), QColor(31, 119, 180));
    view.SB_Number->setValue(100);
    QCOMPARE(view.L_xofxxx->text(), QString("Line number 100 of 100"));
    QCOMPARE(view.iPlot1->pointY(0, 2), d->records[99].a_values[2]);
    QCOMPARE(view.iPlot1->pointY(1, 8), d->records[99].c_values[8]);
    QVERIFY(view.L_Temp->text().isEmpty());
    // Re-attaching starts at record 1 again.
    view.AttachData(d.get());
    QCOMPARE(view.SB_Number->value(), 1);
}

void ViewTests::spectralLiveShowsNewestAndCtdLabels() {
    TFr_Spectral view;
    showSized(&view);
    auto d = sample::make_data(20, true);
    view.AttachData(d.get());
    QCOMPARE(view.L_Temp->text(),
             QString::asprintf("Temp: %.1f C", d->ctd_list.samples[0].temperature));
    QCOMPARE(view.L_Saln->text(),
             QString::asprintf("Saln: %.1f psu", d->ctd_list.samples[0].salinity));
    view.SB_Number->setValue(10);
    QCOMPARE(view.L_Temp->text(),
             QString::asprintf("Temp: %.1f C", d->ctd_list.samples[9].temperature));
    view.SetLiveMode(true);
    QVERIFY(view.CB_RealTime->isChecked());
    QVERIFY(!view.SB_Number->isVisible());
    sample::append_records(*d, 5);
    d->ctd_merged = false;
    view.Refresh();
    QCOMPARE(view.L_xofxxx->text(), QString("Line number 25 of 25"));
    QCOMPARE(view.iPlot1->pointY(0, 0), d->records[24].a_values[0]);
    view.SetLiveMode(false);
    QVERIFY(view.SB_Number->isVisible());
    QCOMPARE(view.SB_Number->value(), 10);
}

void ViewTests::spectralZoomUncheckedKeepsAxes() {
    TFr_Spectral view;
    auto d = sample::make_data(10);
    view.AttachData(d.get());
    view.CB_Zoom->setChecked(false);
    view.iPlot1->setAxisRange(ChartWidget::Axis::X, 500, 50);
    view.iPlot1->setAxisRange(ChartWidget::Axis::Y, 0, 0.2);
    view.SB_Number->setValue(5);
    QCOMPARE(view.iPlot1->axisMinimum(ChartWidget::Axis::X), 500.0);
    QCOMPARE(view.iPlot1->axisSpan(ChartWidget::Axis::Y), 0.2);
    view.CB_Zoom->setChecked(true);
    view.Refresh();
    QVERIFY(view.iPlot1->axisMinimum(ChartWidget::Axis::X) < 412.0);
}

void ViewTests::spectralProcessedAndBrokenCtd() {
    TFr_Spectral view;
    auto d = sample::make_data(5, true);
    d->is_processed = true;
    d->temp_source =
        static_cast<TempSource>(42); // a processed set is never corrected, so this is not read
    d->do_temp = true;
    view.AttachData(d.get());
    QCOMPARE(view.iPlot1->pointY(0, 3), d->records[0].a_values[3]);
    // Merged flag without entries: labels keep their text, nothing breaks.
    d->ctd_list.samples.clear();
    view.L_Temp->clear();
    view.SB_Number->setValue(4);
    QVERIFY(view.L_Temp->text().isEmpty());
    // A failing correction leaves the chart cleared and the view usable.
    d->is_processed = false;
    d->ctd_merged = false;
    d->temp_source = TempSource::CTD;
    QVERIFY_THROWS_EXCEPTION(VelmoraError, view.Refresh());
    QCOMPARE(view.iPlot1->pointCount(0), 0);
    d->temp_source = TempSource::Constant;
    d->do_temp = false;
    view.Refresh();
    QCOMPARE(view.iPlot1->pointCount(0), 9);
}

void ViewTests::depthProfileReversedAndClick() {
    RecordingSink sink;
    TFr_Depth view(nullptr, &sink);
    showSized(&view);
    QCOMPARE(view.L_awl->text(), QString("a wavelength"));
    auto d = sample::make_data(40, true);
    view.AttachData(d.get());
    QVERIFY(view.iXYPlot1->axisReversed(ChartWidget::Axis::Y));
    QCOMPARE(view.iXYPlot1->pointCount(0), 40);
    QCOMPARE(view.iXYPlot1->pointY(0, 13), d->ctd_list.samples[13].pressure);
    QCOMPARE(view.iXYPlot1->pointX(0, 13), d->records[13].a_values[0]);
    QCOMPARE(view.L_cwl->text(), QString("C wavelength: 412.5"));
    // Shallow at the top: the smallest pressure is drawn above the largest.
    view.iXYPlot1->replotNow();
    QCPAxis* y = view.iXYPlot1->plot()->yAxis;
    QVERIFY(y->coordToPixel(0.0) < y->coordToPixel(30.0));
    clickPoint(view.iXYPlot1, 1, 20);
    QCOMPARE(sink.calls.size(), std::size_t(1));
    QCOMPARE(sink.calls[0].absorption, false);
    QCOMPARE(sink.calls[0].first, 20);
    // Positions survive re-attachment and are clamped by fewer channels.
    view.CB_Sync->setChecked(false);
    view.SB_awl->setValue(8);
    auto fewer = sample::make_data(10, true, {412, 440, 488}, {412, 440, 488});
    view.AttachData(fewer.get());
    QCOMPARE(view.SB_awl->value(), 2);
    QCOMPARE(view.L_awl->text(), QString("A wavelength: 488.0"));
}

void ViewTests::depthWithoutCtdEntriesDrawsNothing() {
    TFr_Depth view;
    view.AttachData(nullptr);
    auto d = sample::make_data(30);
    view.AttachData(d.get());
    QCOMPARE(view.iXYPlot1->pointCount(0), 0);
    auto none = sample::make_data(0);
    view.AttachData(none.get());
    QCOMPARE(view.iXYPlot1->pointCount(1), 0);
}

void ViewTests::referencePlotsCountsInWavelengthOrder() {
    parent_reader reader;
    // Device file order: c 650, a 412, a 650, c 412 (two channels of each kind).
    reader.dev.channel_is_a = {false, true, true, false};
    reader.dev.a_wl = {412, 650};
    reader.dev.c_wl = {412, 650};
    reader.dev.a_order = {0, 1};
    reader.dev.c_order = {1, 0};
    auto add = [&](std::vector<std::int32_t> counts) {
        packet p;
        p.reference_counts = std::move(counts);
        reader.packets.push_back(p);
    };
    add({1000, 2000, 3000, 4000});
    TFr_Reference view;
    QCOMPARE(view.CheckBox1->text(), QString("Show a"));
    QCOMPARE(view.CheckBox2->text(), QString("Show c"));
    view.AttachReader(&reader);
    QCOMPARE(view.iPlot1->pointCount(0), 2);
    QCOMPARE(view.iPlot1->pointY(0, 0), 2000.0); // a 412
    QCOMPARE(view.iPlot1->pointY(0, 1), 3000.0); // a 650
    QCOMPARE(view.iPlot1->pointY(1, 0), 4000.0); // c 412
    QCOMPARE(view.iPlot1->pointY(1, 1), 1000.0); // c 650
    // It follows the newest record until the user moves back.
    add({1, 2, 3, 4});
    add({5, 6, 7, 8});
    view.Refresh();
    QCOMPARE(view.SB_Number->value(), 3);
    QCOMPARE(view.iPlot1->pointY(0, 0), 6.0);
    view.SB_Number->setValue(1);
    add({9, 10, 11, 12});
    view.Refresh();
    QCOMPARE(view.SB_Number->value(), 1);
    QCOMPARE(view.iPlot1->pointY(0, 0), 2000.0);
    QCOMPARE(view.Label1->text(), QString("Record 1 of 4"));
    view.CheckBox1->setChecked(false);
    QVERIFY(!view.iPlot1->channelVisible(0));
    // The main window hands over a new reader before destroying the old one.
    view.AttachReader(nullptr);
    QCOMPARE(view.iPlot1->pointCount(0), 0);
    view.Refresh();
    QCOMPARE(view.Label1->text(), QString("No instrument reader"));
}

void ViewTests::productSplitByFlags() {
    // A 6 × 2 matrix; column 1 holds 0 .. 5 (the stride between rows must be kept).
    std::vector<double> m;
    for (int r = 0; r < 6; ++r) {
        m.push_back(100 + r);
        m.push_back(r);
    }
    const std::vector<double> key = {0, 10, 20, 30, 40, 50};
    auto flagged = [](std::vector<std::uint8_t> column) {
        std::vector<std::uint8_t> f;
        for (std::uint8_t v : column) {
            f.push_back(qc_flag::kPass); // column 0
            f.push_back(v);
        }
        return f;
    };
    struct Case {
        const char* name;
        std::vector<std::uint8_t> flags;
        bool hide;
        double nan_row; // a row whose value is NaN (-1: none)
        double nan_key; // a row without key (-1: none)
        std::vector<std::size_t> shown, suspect, fail;
        std::size_t missing, hidden;
    };
    const Case cases[] = {
        {"no QC", {}, false, 2, -1, {0, 1, 3, 4, 5}, {}, {}, 1, 0},
        {"no QC, hide has nothing to hide", {}, true, -1, -1, {0, 1, 2, 3, 4, 5}, {}, {}, 0, 0},
        {"flags drawn",
         flagged({1, 3, 4, 9, 2, 1}),
         false,
         -1,
         -1,
         {0, 1, 2, 4, 5},
         {1},
         {2},
         1,
         0},
        {"flags hidden", flagged({1, 3, 4, 9, 2, 1}), true, -1, -1, {0, 4, 5}, {}, {}, 1, 2},
        {"NaN flagged pass is missing",
         flagged({1, 1, 1, 1, 1, 4}),
         false,
         0,
         -1,
         {1, 2, 3, 4, 5},
         {},
         {5},
         1,
         0},
        {"row without depth is left out uncounted",
         flagged({3, 1, 1, 1, 1, 1}),
         false,
         -1,
         0,
         {1, 2, 3, 4, 5},
         {},
         {},
         0,
         0},
    };
    FlaggedPoints out;
    for (const Case& c : cases) {
        std::vector<double> values = m, keys = key;
        if (c.nan_row >= 0)
            values[static_cast<std::size_t>(c.nan_row) * 2 + 1] = NAN;
        if (c.nan_key >= 0)
            keys[static_cast<std::size_t>(c.nan_key)] = NAN;
        split_column(values, c.flags, 2, 1, keys, c.hide, out);
        QVERIFY2(out.shown.index == c.shown, c.name);
        QVERIFY2(out.suspect.index == c.suspect, c.name);
        QVERIFY2(out.fail.index == c.fail, c.name);
        QVERIFY2(out.missing == c.missing, c.name);
        QVERIFY2(out.hidden == c.hidden, c.name);
        for (std::size_t i = 0; i < out.shown.size(); ++i) {
            QCOMPARE(out.shown.value[i], double(out.shown.index[i]));
            QCOMPARE(out.shown.key[i], key[out.shown.index[i]]);
        }
    }
    // A row of the matrix: the index is the channel.
    split_row(m, flagged({1, 1, 1, 3, 1, 1}), {412, 440}, 3, false, out);
    QVERIFY(out.shown.index == std::vector<std::size_t>({0, 1}));
    QCOMPARE(out.shown.value, std::vector<double>({103, 3}));
    QVERIFY(out.suspect.index == std::vector<std::size_t>({1}));
    QCOMPARE(out.suspect.key, std::vector<double>({440}));
    QCOMPARE(QString::fromStdString(qc_flag_text(4)), QString("4 (fail)"));
}

void ViewTests::timeProductsDrawFlaggedColumn() {
    RecordingSink sink;
    TFr_Time view(nullptr, &sink);
    auto d = sample::make_data(10);
    view.AttachData(d.get());
    auto t = sample::make_products(*d, true);
    // Column 1 (500 nm): a suspect at record 2, fail at 5, missing at 7; c fail at 3, suspect
    // at 4.  Other columns carry flags that must not show.
    sample::set_flag(*t, true, 2, 1, qc_flag::kSuspect);
    sample::set_flag(*t, true, 5, 1, qc_flag::kFail);
    sample::set_flag(*t, true, 7, 1, qc_flag::kMissing);
    sample::set_flag(*t, false, 3, 1, qc_flag::kFail);
    sample::set_flag(*t, false, 4, 1, qc_flag::kSuspect);
    sample::set_flag(*t, true, 6, 0, qc_flag::kFail);
    sample::set_flag(*t, false, 6, 2, qc_flag::kMissing);
    d->record_products = t;
    view.SB_awl->setValue(2); // a 488 nm -> product 500; c follows to 487 -> product 500
    ChartWidget* chart = view.iXYPlot1;
    const QcOverlay& qc = view.qcOverlay();
    QCOMPARE(view.L_awl->text(), QString("A wavelength: 488.0 (product 500.0)"));
    QCOMPARE(view.L_cwl->text(), QString("C wavelength: 487.0 (product 500.0)"));
    QVERIFY(!view.CB_HideFlagged->isHidden());

    auto rowPoint = [&](std::size_t r, bool a) {
        return std::make_pair(t->time[r], a ? sample::product_a(r, 1) : sample::product_c(r, 1));
    };
    Points a, c;
    for (std::size_t r = 0; r < 10; ++r) {
        if (r != 7)
            a.push_back(rowPoint(r, true));
        c.push_back(rowPoint(r, false));
    }
    QCOMPARE(pointsOf(chart, TFr_ChannelPlot::kAbsorption), a);
    QCOMPARE(pointsOf(chart, TFr_ChannelPlot::kAttenuation), c);
    QCOMPARE(pointsOf(chart, qc.suspectChannel()), Points({rowPoint(2, true), rowPoint(4, false)}));
    QCOMPARE(pointsOf(chart, qc.failChannel()), Points({rowPoint(5, true), rowPoint(3, false)}));
    QVERIFY(chart->channelColour(qc.suspectChannel()) != chart->channelColour(qc.failChannel()));
    QCOMPARE(chart->channelName(qc.suspectChannel()), QString("suspect (QC 3)"));
    QCOMPARE(chart->channelName(qc.failChannel()), QString("fail (QC 4)"));
    QVERIFY(chart->channelVisible(qc.noteChannel()));
    QCOMPARE(chart->channelName(qc.noteChannel()), QString("missing (QC 9): not drawn"));

    // Point numbers skip the missing value; a click still names the right record.
    view.iXYPlot1ClickDataPoint(TFr_ChannelPlot::kAbsorption, 7);
    view.iXYPlot1ClickDataPoint(qc.failChannel(), 1);
    QCOMPARE(sink.calls.size(), std::size_t(2));
    QCOMPARE(sink.calls[0].absorption, true);
    QCOMPARE(sink.calls[0].first, 8);
    QCOMPARE(sink.calls[1].absorption, false);
    QCOMPARE(sink.calls[1].first, 3);

    view.CB_HideFlagged->click();
    a.clear();
    c.clear();
    for (std::size_t r : {0, 1, 3, 4, 6, 8, 9})
        a.push_back(rowPoint(r, true));
    for (std::size_t r : {0, 1, 2, 5, 6, 7, 8, 9})
        c.push_back(rowPoint(r, false));
    QCOMPARE(pointsOf(chart, TFr_ChannelPlot::kAbsorption), a);
    QCOMPARE(pointsOf(chart, TFr_ChannelPlot::kAttenuation), c);
    QCOMPARE(chart->pointCount(qc.suspectChannel()), 0);
    QCOMPARE(chart->pointCount(qc.failChannel()), 0);
    QCOMPARE(chart->channelName(qc.suspectChannel()), QString("suspect (QC 3): hidden"));
    QCOMPARE(chart->channelName(qc.failChannel()), QString("fail (QC 4): hidden"));

    // Axes switched: the value is X, the time Y.
    view.CB_Orientation->setChecked(true);
    view.Refresh();
    QCOMPARE(chart->pointX(TFr_ChannelPlot::kAbsorption, 2), sample::product_a(3, 1));
    QCOMPARE(chart->pointY(TFr_ChannelPlot::kAbsorption, 2), t->time[3]);
}

void ViewTests::timeProductsOnlyForEveryRecord() {
    // Records the products do not cover (added since, or a live acquisition) are corrected by
    // the view as before; the QC overlay and its check box go away.
    TFr_Time view;
    auto d = sample::make_data(12);
    view.AttachData(d.get());
    d->record_products = sample::make_products(*d, true);
    view.Refresh();
    QCOMPARE(view.iXYPlot1->pointY(0, 0), sample::product_a(0, 0));
    QVERIFY(view.iXYPlot1->channelVisible(view.qcOverlay().suspectChannel()));
    struct Case {
        const char* name;
        std::function<void()> change;
    };
    const Case cases[] = {
        {"records appended", [&] { sample::append_records(*d, 3); }},
        {"products gone", [&] { d->record_products.reset(); }},
        {"bins as record products", [&] { d->record_products = sample::make_depth_bins(); }},
    };
    for (const Case& c : cases) {
        d->record_products = sample::make_products(*d, true);
        view.Refresh();
        c.change();
        view.Refresh();
        const std::vector<double> A = d->correct_series(view.SB_awl->value(), true);
        QVERIFY2(view.iXYPlot1->pointCount(0) == int(A.size()), c.name);
        QVERIFY2(view.iXYPlot1->pointY(0, 1) == A[1], c.name);
        QVERIFY2(!view.iXYPlot1->channelVisible(view.qcOverlay().suspectChannel()), c.name);
        QVERIFY2(!view.iXYPlot1->channelVisible(view.qcOverlay().noteChannel()), c.name);
        QVERIFY2(view.CB_HideFlagged->isHidden(), c.name);
        QVERIFY2(view.L_awl->text() == QString("A wavelength: 412.0"), c.name);
    }
    // Without products the live path appends again.
    d->record_products.reset();
    view.SetLiveMode(true);
    sample::append_records(*d, 4);
    view.Refresh();
    QCOMPARE(view.iXYPlot1->pointCount(0), int(d->records.size()));
    QCOMPARE(view.iXYPlot1->pointY(0, int(d->records.size()) - 1),
             d->correct_series(0, true).back());
}

void ViewTests::depthProductsAndBinnedProfile() {
    RecordingSink sink;
    TFr_Depth view(nullptr, &sink);
    auto d = sample::make_data(10, true);
    view.AttachData(d.get());
    QVERIFY(!view.iXYPlot1->channelVisible(view.aBinChannel()));
    auto t = sample::make_products(*d, true);
    sample::set_flag(*t, true, 4, 0, qc_flag::kMissing);
    sample::set_flag(*t, false, 6, 0, qc_flag::kSuspect);
    d->record_products = t;
    d->binned_products = sample::make_depth_bins();
    view.Refresh();
    ChartWidget* chart = view.iXYPlot1;
    // Values against the products' pressure, the record left out where flagged missing.
    QCOMPARE(chart->pointCount(0), 9);
    QCOMPARE(chart->pointX(0, 4), sample::product_a(5, 0));
    QCOMPARE(chart->pointY(0, 4), t->pressure[5]);
    QCOMPARE(pointsOf(chart, view.qcOverlay().suspectChannel()),
             Points({{sample::product_c(6, 0), t->pressure[6]}}));
    view.iXYPlot1ClickDataPoint(0, 4);
    QCOMPARE(sink.calls.back().first, 5);
    // The binned profile of the same column over the points, thin bins left out.
    QCOMPARE(chart->channelName(view.aBinChannel()), QString("a depth bins"));
    QVERIFY(chart->channelVisible(view.aBinChannel()));
    QCOMPARE(pointsOf(chart, view.aBinChannel()), Points({{30.0, 2.5}, {31.0, 7.5}, {32.0, 12.5}}));
    QCOMPARE(pointsOf(chart, view.cBinChannel()), Points({{40.0, 2.5}, {41.0, 7.5}, {42.0, 12.5}}));
    view.SB_awl->setValue(2); // 488 -> product and bin column 500 nm, thin in bin 1
    QCOMPARE(pointsOf(chart, view.aBinChannel()), Points({{30.1, 2.5}, {32.1, 12.5}}));
    // A click on a bin is no record.
    const std::size_t calls = sink.calls.size();
    view.iXYPlot1ClickDataPoint(view.aBinChannel(), 0);
    QCOMPARE(sink.calls.size(), calls);
    // The line joins the bins from the surface down (depth is the graph's key).
    QCOMPARE(chart->plot()->graph(view.aBinChannel())->keyAxis(), chart->plot()->yAxis);

    // Time bins are no profile; a table without pressure takes the CTD's.
    auto timeBins = sample::make_depth_bins();
    timeBins->bin_kind = BinKind::Time;
    d->binned_products = timeBins;
    t->pressure.clear();
    view.Refresh();
    QVERIFY(!chart->channelVisible(view.aBinChannel()));
    QCOMPARE(chart->pointCount(view.aBinChannel()), 0);
    QCOMPARE(chart->pointY(0, 0), d->ctd_list.samples[0].pressure);
}

void ViewTests::spectralProductsShowRecordFlags() {
    TFr_Spectral view;
    auto d = sample::make_data(10);
    view.AttachData(d.get());
    QCOMPARE(view.iPlot1->title(), QString("Spectral View"));
    auto t = sample::make_products(*d, true);
    t->flag[3] = qc_flag::kSuspect;
    sample::set_flag(*t, true, 3, 2, qc_flag::kFail);
    sample::set_flag(*t, true, 3, 3, qc_flag::kMissing);
    sample::set_flag(*t, false, 3, 0, qc_flag::kSuspect);
    d->record_products = t;
    view.SB_Number->setValue(4);
    const QcOverlay& qc = view.qcOverlay();
    QCOMPARE(view.iPlot1->title(),
             QString::fromUtf8("Spectral View \u2014 record QC flag 3 (suspect)"));
    QCOMPARE(pointsOf(view.iPlot1, 0), Points({{420, sample::product_a(3, 0)},
                                               {500, sample::product_a(3, 1)},
                                               {600, sample::product_a(3, 2)}}));
    QCOMPARE(view.iPlot1->pointCount(1), 4);
    QCOMPARE(pointsOf(view.iPlot1, qc.failChannel()), Points({{600, sample::product_a(3, 2)}}));
    QCOMPARE(pointsOf(view.iPlot1, qc.suspectChannel()), Points({{420, sample::product_c(3, 0)}}));
    QVERIFY(view.iPlot1->channelVisible(qc.noteChannel()));
    view.CB_HideFlagged->click();
    QCOMPARE(view.iPlot1->pointCount(0), 2);
    QCOMPARE(view.iPlot1->pointCount(1), 3);
    QCOMPARE(view.iPlot1->pointCount(qc.failChannel()), 0);
    view.SB_Number->setValue(1);
    QCOMPARE(view.iPlot1->title(),
             QString::fromUtf8("Spectral View \u2014 record QC flag 1 (pass)"));
    QCOMPARE(view.L_xofxxx->text(), QString("Line number 1 of 10"));
    // Products without QC: no flag in the title, no check box.
    d->record_products = sample::make_products(*d, false);
    view.Refresh();
    QCOMPARE(view.iPlot1->title(), QString("Spectral View"));
    QVERIFY(view.CB_HideFlagged->isHidden());
    QVERIFY(!view.iPlot1->channelVisible(qc.suspectChannel()));
    QCOMPARE(view.iPlot1->pointY(0, 0), sample::product_a(0, 0));
    d->record_products.reset();
    view.Refresh();
    QCOMPARE(view.iPlot1->pointCount(0), 9);
    QCOMPARE(view.iPlot1->pointY(0, 0), d->records[0].a_values[0]);
}

void ViewTests::binnedSpectraBandAndSlider() {
    TFr_Binned view;
    view.AttachData(nullptr);
    QCOMPARE(view.chart->emptyText(), QString("No data loaded"));
    auto d = sample::make_data(10, true);
    view.AttachData(d.get());
    QCOMPARE(view.chart->emptyText(),
             QString("No binned data: choose bins in the Processing group"));
    QVERIFY(!view.S_Bin->isEnabled());
    auto bins = sample::make_depth_bins();
    d->binned_products = bins;
    view.Refresh();
    ChartWidget* chart = view.chart;
    QVERIFY(!chart->channelVisible(view.qcOverlay().suspectChannel()));
    QVERIFY(view.S_Bin->isEnabled());
    QCOMPARE(view.S_Bin->maximum(), 2);
    QCOMPARE(view.L_Bin->text(), QString("Bin 1 of 3: 2.50 m, 4 records"));
    const int aStat = channelNamed(chart, "a (bin statistic)");
    const int aHigh = channelNamed(chart, QString::fromUtf8("a \u00b1 SD"));
    const int aLow = channelNamed(chart, QString::fromUtf8("a \u2212 SD"));
    QVERIFY(aStat >= 0 && aHigh >= 0 && aLow >= 0);
    QCOMPARE(pointsOf(chart, aStat), Points({{420, 30.0}, {500, 30.1}, {600, 30.2}, {700, 30.3}}));
    QCOMPARE(pointsOf(chart, aHigh), Points({{420, 30.5}, {500, 30.6}, {600, 30.7}, {700, 30.8}}));
    QCOMPARE(pointsOf(chart, aLow), Points({{420, 29.5}, {500, 29.6}, {600, 29.7}, {700, 29.8}}));
    // One band entry in the legend, filled down to the lower edge.
    QVERIFY(chart->channelInLegend(aHigh));
    QVERIFY(!chart->channelInLegend(aLow));
    QCOMPARE(chart->plot()->graph(aHigh)->channelFillGraph(), chart->plot()->graph(aLow));
    QVERIFY(!chart->plot()->legend->hasItemWithPlottable(chart->plot()->graph(aLow)));
    // Bins binned with QC: a bin statistic that kept a suspect value is marked.
    bins->a_flags.assign(bins->a.size(), qc_flag::kPass);
    bins->c_flags.assign(bins->c.size(), qc_flag::kPass);
    sample::set_flag(*bins, true, 1, 2, qc_flag::kSuspect);
    sample::set_flag(*bins, true, 1, 1, qc_flag::kMissing);
    sample::set_flag(*bins, false, 1, 1, qc_flag::kMissing);
    view.S_Bin->setValue(1);
    QCOMPARE(view.L_Bin->text(), QString("Bin 2 of 3: 7.50 m, 5 records"));
    QCOMPARE(pointsOf(chart, aStat), Points({{420, 31.0}, {600, 31.2}, {700, 31.3}}));
    QCOMPARE(chart->pointCount(aHigh), 3);
    QCOMPARE(pointsOf(chart, view.qcOverlay().suspectChannel()), Points({{600, 31.2}}));
    QVERIFY(chart->channelVisible(view.qcOverlay().noteChannel()));
    // Fewer bins after processing again: the slider's range follows.
    view.S_Bin->setValue(2);
    auto fewer = sample::make_depth_bins();
    const std::size_t k = fewer->a_channels();
    fewer->time.resize(2);
    fewer->depth.resize(2);
    fewer->n.resize(2);
    for (auto* m : {&fewer->a, &fewer->c, &fewer->a_sd, &fewer->c_sd})
        m->resize(2 * k);
    d->binned_products = fewer;
    view.Refresh();
    QCOMPARE(view.S_Bin->value(), 1);
    QCOMPARE(view.L_Bin->text(), QString("Bin 2 of 2: 7.50 m, 5 records"));
}

void ViewTests::residualPlotsDeltaTAgainstTime() {
    TFr_Residual view;
    view.AttachData(nullptr);
    QCOMPARE(view.chart->emptyText(), QString("No data loaded"));
    auto d = sample::make_data(10);
    d->start_utc = 1700000000000;
    auto t = sample::make_products(*d, true);
    d->record_products = t;
    view.AttachData(d.get());
    QCOMPARE(view.chart->emptyText(),
             QString("No residual temperature: choose the residual temperature correction"));
    QCOMPARE(view.chart->pointCount(0), 0);
    for (std::size_t r = 0; r < 10; ++r)
        t->dT.push_back(r == 6 ? NAN : 0.01 * double(r));
    view.Refresh();
    QCOMPARE(view.chart->pointCount(0), 9);
    QCOMPARE(view.chart->pointX(0, 6), t->time[7]);
    QCOMPARE(view.chart->pointY(0, 6), 0.07);
    // The time axis of the time view: its formats in the menu, clock time with a start time.
    QVERIFY(view.chart->timeMenu()->menuAction()->isVisible());
    view.chart->setTimeFormat(ChartWidget::TimeFormat::Clock);
    QCOMPARE(view.chart->shownTimeFormat(), ChartWidget::TimeFormat::Clock);
    QCOMPARE(view.chart->plot()->xAxis->label(), QString("Time (UTC)"));
    view.chart->setTimeFormat(ChartWidget::TimeFormat::Elapsed);
    QCOMPARE(view.chart->timeText(62000.0), QString("0:01:02"));
}

QTEST_MAIN(ViewTests)
#include "test_views.moc"
