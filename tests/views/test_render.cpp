// Renders every view with sample data into PNG files under the build folder, for a look.
#include <QFile>
#include <QImage>
#include <QScrollBar>
#include <QTest>

#include "chart_widget.h"
#include "parent_reader.h"
#include "sample_data.h"
#include "tf_scattering_guide.h"
#include "tf_time_shift.h"
#include "tfr_depth.h"
#include "tfr_reference.h"
#include "tfr_spectral.h"
#include "tfr_time.h"

namespace {

// The image has pixels of the given colour (the channel drawn), not just axes and background.
bool hasColour(const QImage& image, const QColor& colour) {
    int hits = 0;
    for (int y = 0; y < image.height(); y += 1)
        for (int x = 0; x < image.width(); x += 1) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 30 &&
                std::abs(c.green() - colour.green()) < 30 &&
                std::abs(c.blue() - colour.blue()) < 30)
                ++hits;
        }
    return hits > 50;
}

void save(QWidget* view, ChartWidget* chart, const QString& name) {
    view->resize(900, 560);
    view->show();
    chart->replotNow();
    const QString dir = VELMORA_VIEWS_OUT;
    const QString path = dir + "/" + name + ".png";
    QFile::remove(path);
    QVERIFY(chart->saveImage(path, 900, 500));
    const QImage image(path);
    QVERIFY(!image.isNull());
    QVERIFY2(hasColour(image, chart->channelColour(0)), qPrintable(name));
    QVERIFY2(hasColour(image, chart->channelColour(1)), qPrintable(name));
    // The whole view with its controls, too.
    QVERIFY(view->grab().save(dir + "/" + name + "_frame.png"));
}

} // namespace

class RenderTests : public QObject {
    Q_OBJECT
  private slots:
    void views();
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

QTEST_MAIN(RenderTests)
#include "test_render.moc"
