// The plot views driven as the main window drives them, offscreen.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <qcustomplot.h>

#include "chart_widget.h"
#include "nearest_index.h"
#include "parent_reader.h"
#include "sample_data.h"
#include "tfr_depth.h"
#include "tfr_reference.h"
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

QTEST_MAIN(ViewTests)
#include "test_views.moc"
