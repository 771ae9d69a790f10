// Renders every view with sample data into PNG files under the build folder, for a look.
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QScrollBar>
#include <QSlider>
#include <QTest>

#include "chart_widget.h"
#include "parent_reader.h"
#include "sample_data.h"
#include "tf_scattering_guide.h"
#include "tf_time_shift.h"
#include "tfr_binned.h"
#include "tfr_depth.h"
#include "tfr_reference.h"
#include "tfr_residual.h"
#include "tfr_spectral.h"
#include "tfr_time.h"

namespace {

// The image has pixels of the given colour (the channel drawn), not just axes and background.
bool hasColour(const QImage& image, const QColor& colour, int pixels) {
    int hits = 0;
    for (int y = 0; y < image.height(); y += 1)
        for (int x = 0; x < image.width(); x += 1) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 30 &&
                std::abs(c.green() - colour.green()) < 30 &&
                std::abs(c.blue() - colour.blue()) < 30)
                ++hits;
        }
    return hits > pixels;
}

// `pixels`: how many pixels of each channel's colour show it was drawn (a single marker has
// fewer than a line).
void save(QWidget* view, ChartWidget* chart, const QString& name,
          std::initializer_list<int> channels = {0, 1}, int pixels = 50) {
    view->resize(900, 560);
    view->show();
    chart->replotNow();
    const QString dir = VELMORA_VIEWS_OUT;
    const QString path = dir + "/" + name + ".png";
    QFile::remove(path);
    QVERIFY(chart->saveImage(path, 900, 500));
    const QImage image(path);
    QVERIFY(!image.isNull());
    for (int channel : channels)
        QVERIFY2(hasColour(image, chart->channelColour(channel), pixels),
                 qPrintable(name + " " + chart->channelName(channel)));
    // The whole view with its controls, too.
    QVERIFY(view->grab().save(dir + "/" + name + "_frame.png"));
}

// Record products of the sample cast as processing would give them: the records' values on
// the a channels, with a few values flagged suspect, failed (spikes) or missing, a record flag,
// and a residual temperature.
std::shared_ptr<ProductTable> cast_products(const HYP_Data& d) {
    auto t = std::make_shared<ProductTable>();
    t->a_wavelengths = t->c_wavelengths = d.a_wavelengths;
    t->common_grid = true;
    const std::size_t rows = d.records.size(), k = d.a_wavelengths.size();
    for (std::size_t r = 0; r < rows; ++r) {
        const hyp_data& rec = d.records[r];
        t->time.push_back(rec.time);
        t->pressure.push_back(d.ctd_list.samples[r].pressure);
        t->dT.push_back(0.05 * std::sin(rec.time / 40000.0) + 0.01 * std::sin(rec.time / 3100.0));
        std::uint8_t worst = qc_flag::kPass;
        for (std::size_t i = 0; i < k; ++i) {
            auto flagged = [&](std::vector<double>& m, std::vector<std::uint8_t>& f, double v,
                               std::size_t shift) {
                std::uint8_t flag = qc_flag::kPass;
                const std::size_t n = r + shift + 7 * i;
                if (n % 241 == 0) {
                    flag = qc_flag::kMissing;
                    v = NAN;
                } else if (n % 131 == 0) {
                    flag = qc_flag::kFail;
                    v += 0.08;
                } else if (n % 53 == 0) {
                    flag = qc_flag::kSuspect;
                    v += 0.025;
                }
                m.push_back(v);
                f.push_back(flag);
                if (flag != qc_flag::kMissing)
                    worst = std::max(worst, flag);
            };
            flagged(t->a, t->a_flags, rec.a_values[i], 0);
            flagged(t->c, t->c_flags, rec.c_values[i], 29);
        }
        t->flag.push_back(worst);
    }
    return t;
}

} // namespace

class RenderTests : public QObject {
    Q_OBJECT
  private slots:
    void views();
    void productViews();
};

void RenderTests::views() {
    auto d = sample::make_data(2000, true);
    {
        TFr_Time view;
        view.AttachData(d.get());
        view.SB_awl->setValue(4);
        save(&view, view.iXYPlot1, "time_view");
        view.iXYPlot1->setCursorsActive(true);
        view.iXYPlot1->setCursorX(0, 100000);
        view.iXYPlot1->setCursorX(1, 300000);
        save(&view, view.iXYPlot1, "time_view_cursors");
    }
    {
        auto live = sample::make_data(0);
        TFr_Time view;
        view.AttachData(live.get());
        view.SetLiveMode(true);
        for (int tick = 0; tick < 40; ++tick) {
            sample::append_records(*live, 4);
            view.Refresh();
        }
        save(&view, view.iXYPlot1, "time_view_live");
    }
    {
        TFr_Spectral view;
        view.AttachData(d.get());
        view.SB_Number->setValue(700);
        save(&view, view.iPlot1, "spectral_view");
    }
    {
        TFr_Depth view;
        view.AttachData(d.get());
        save(&view, view.iXYPlot1, "depth_view");
    }
    {
        parent_reader reader;
        reader.dev.channel_is_a.clear();
        for (int j = 0; j < 18; ++j)
            reader.dev.channel_is_a.push_back(j % 2 == 1);
        reader.dev.a_wl = sample::kAWl;
        reader.dev.c_wl = sample::kCWl;
        for (int k = 0; k < 9; ++k) {
            reader.dev.a_order.push_back(k);
            reader.dev.c_order.push_back(k);
        }
        packet p;
        for (int j = 0; j < 18; ++j)
            p.reference_counts.push_back(12000 + 900 * (j / 2) - 300 * (j % 2) * (j / 2));
        reader.packets.push_back(p);
        TFr_Reference view;
        view.AttachReader(&reader);
        save(&view, view.iPlot1, "reference_view");
    }
    {
        for (std::size_t i = 0; i < d->records.size(); ++i) {
            ctd_struct s;
            s.time = d->records[i].time;
            s.temperature = d->ctd_list.samples[i].temperature + 0.3 * std::sin(s.time / 3000.0);
            d->onboard_list.samples.push_back(s);
        }
        TF_TimeShift tool;
        tool.AttachData(d.get());
        tool.resize(1121, 751);
        tool.show();
        QVERIFY(tool.grab().save(QString(VELMORA_VIEWS_OUT) + "/time_shift_tool.png"));
        TForm1 guide;
        guide.show();
        QVERIFY(guide.grab().save(QString(VELMORA_VIEWS_OUT) + "/scattering_guide.png"));
    }
}

void RenderTests::productViews() {
    auto d = sample::make_data(2000, true);
    d->start_utc = 1709683170000;
    auto t = cast_products(*d);
    d->record_products = t;
    ProcessingOptions::Binning bins;
    bins.kind = BinKind::Depth;
    bins.width = 2.0;
    d->binned_products = std::make_shared<ProductTable>(bin_products(*t, bins));
    {
        TFr_Time view;
        view.AttachData(d.get());
        view.SB_awl->setValue(4);
        view.iXYPlot1->setTimeFormat(ChartWidget::TimeFormat::Clock);
        save(&view, view.iXYPlot1, "views_time_qc",
             {0, 1, view.qcOverlay().suspectChannel(), view.qcOverlay().failChannel()});
        view.CB_HideFlagged->click();
        save(&view, view.iXYPlot1, "views_time_qc_hidden");
    }
    {
        TFr_Depth view;
        view.AttachData(d.get());
        view.SB_awl->setValue(4);
        save(&view, view.iXYPlot1, "views_depth_qc_bins",
             {0, 1, view.qcOverlay().failChannel(), view.aBinChannel(), view.cBinChannel()});
    }
    {
        TFr_Spectral view;
        view.AttachData(d.get());
        // Record 54: a suspect at 412 nm, c failed at 675 nm.
        view.SB_Number->setValue(54);
        save(&view, view.iPlot1, "views_spectral_qc",
             {0, 1, view.qcOverlay().suspectChannel(), view.qcOverlay().failChannel()}, 15);
    }
    {
        TFr_Binned view;
        view.AttachData(d.get());
        view.S_Bin->setValue(8);
        save(&view, view.chart, "views_binned", {4, 5});
    }
    {
        TFr_Residual view;
        view.AttachData(d.get());
        view.chart->setTimeFormat(ChartWidget::TimeFormat::Elapsed);
        save(&view, view.chart, "views_residual", {0});
    }
}

QTEST_MAIN(RenderTests)
#include "test_render.moc"
