// The acquisition panel widget mirrors and forwards; the demonstration instrument is found and
// mapped to its port.
#include <cstdlib>
#include <filesystem>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <gtest/gtest.h>

#include "acq_fixture.h"
#include "demo.h"
#include "tfr_realtime.h"

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "app_tests_acquisition";
    static char* argv[] = {name, nullptr};
    static QApplication instance(argc, argv);
    return instance;
}

} // namespace

class RealTimePanel : public AcqRig {
  protected:
    RealTimePanel() { app(); }
};

TEST_F(RealTimePanel, ShowsTheStateAndForwardsTheUsersActions) {
    TFr_RealTime panel;
    panel.attach(&acq, &ws);
    QAction start_action, stop_action;
    int starts = 0;
    QObject::connect(&start_action, &QAction::triggered, [&] { ++starts; });
    stop_action.setEnabled(false);
    panel.bind_actions(&start_action, &stop_action);

    acq.panel.L_SizeOfFile = "File size: 3 KB";
    acq.panel.L_Serial = "hyp066\tSerial number of devfile: 7";
    ws.E_Device = "/x/meter.dev";
    ws.UD_Port = 7;
    ws.B_Device_enabled = false;
    panel.sync();
    EXPECT_EQ(panel.L_SizeOfFile->text(), "File size: 3 KB");
    EXPECT_EQ(panel.E_Device->text(), "/x/meter.dev");
    EXPECT_EQ(panel.UD_Port->value(), 7);
    EXPECT_FALSE(panel.B_Device->isEnabled());
    EXPECT_FALSE(panel.B_Stop->isEnabled());
    EXPECT_TRUE(panel.L_Serial->text().startsWith("hyp066"));

    // Syncing wrote the port without storing it; a user's change is stored.
    VelmoraSettings stored(dir.file("settings.json"));
    stored.Load();
    EXPECT_EQ(stored.commport, 1);
    panel.UD_Port->setValue(9);
    EXPECT_EQ(ws.UD_Port, 9);
    stored.Load();
    EXPECT_EQ(stored.commport, 9);

    panel.B_Start->click();
    EXPECT_EQ(starts, 1);
    stop_action.setEnabled(true);
    EXPECT_TRUE(panel.B_Stop->isEnabled());

    int applied = 0;
    acq.apply_correction_options = [&] { ++applied; };
    panel.CB_Temp->click();
    EXPECT_TRUE(ws.preview.CB_Temp);
    panel.E_Saln->setText("30");
    EXPECT_EQ(ws.preview.E_Saln, "30");
    EXPECT_EQ(applied, 2);
    panel.sync(); // mirroring does not count as a change
    EXPECT_EQ(applied, 2);
}

TEST(Demo, FindsTheSampleMeterAndMapsItsPort) {
    ::setenv("VELMORA_DATA_DIR", VELMORA_DATA_DIR, 1);
    EXPECT_EQ(std::filesystem::path(find_sample_devfile("hyp")).filename(), "sample_hyp.dev");
    EXPECT_EQ(std::filesystem::path(find_sample_devfile("FLW")).filename(), "sample_flw.dev");
    EXPECT_THROW(start_demo("xyz"), VelmoraError);

    std::string link;
    {
        auto demo = start_demo("flw");
        link = demo->link;
        EXPECT_EQ(demo->port, kDemoPort);
        EXPECT_TRUE(std::filesystem::exists(link));
        EXPECT_STREQ(std::getenv("VELMORA_COM99"), link.c_str());
        Workspace ws;
        ws.window.tab_index = 1;
        apply_demo(*demo, ws);
        EXPECT_EQ(ws.UD_Port, kDemoPort);
        EXPECT_EQ(ws.E_Device, demo->device_file);
        EXPECT_EQ(ws.window.tab_index, 0);
    }
    EXPECT_FALSE(std::filesystem::exists(link)); // the session cleans up after itself
}
