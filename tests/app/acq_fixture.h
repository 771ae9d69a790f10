// A headless acquisition rig: the controller with a fake clock, scripted answers, recorded view
// calls and a reader whose port is a byte queue that the simulator fills.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "acquisition_controller.h"
#include "app_fakes.h"
#include "simulator.h"

// What the fake port delivers, shared between the test and every port the readers make.
struct PortFeed {
    std::vector<std::uint8_t> bytes;
    std::size_t pos = 0;
    bool fail_open = false;
    int opens = 0;
    int closes = 0;

    void add(const std::vector<std::uint8_t>& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
};

class FakeSerial : public Serial {
  public:
    explicit FakeSerial(std::shared_ptr<PortFeed> feed) : feed_(std::move(feed)) {}
    void open(int port_number, const std::string&) override {
        if (feed_->fail_open)
            throw VelmoraError("Could Not Open COM" + std::to_string(port_number));
        ++feed_->opens;
        port = port_number;
    }
    void read(std::uint8_t* buffer, int& count) override {
        const std::size_t n = std::min<std::size_t>(count, feed_->bytes.size() - feed_->pos);
        std::copy_n(feed_->bytes.begin() + static_cast<std::ptrdiff_t>(feed_->pos), n, buffer);
        feed_->pos += n;
        count = static_cast<int>(n);
    }
    void close() override {
        if (port != 0)
            ++feed_->closes;
        port = 0;
    }

  private:
    std::shared_ptr<PortFeed> feed_;
};

inline ReaderFactory fake_port_factory(std::shared_ptr<PortFeed> feed) {
    return [feed](DeviceKind kind) {
        std::unique_ptr<parent_reader> r = default_reader_factory()(kind);
        r->make_serial = [feed] { return std::make_unique<FakeSerial>(feed); };
        return r;
    };
}

inline std::string sample_dev(const char* name) {
    return std::string(VELMORA_DATA_DIR) + "/" + name;
}

// A four-channel HYP device file (serial 0x42 like the sample) with the given line 4.
inline std::string small_hyp_devfile(const std::string& tcal_line = "tcal: 21.5 C") {
    std::string s = "HYP small test meter\n0x53000042\t;serial number\n1\n" + tcal_line +
                    "\n0\t0\n19200\n0.25\n4\n2\n10\t20\n";
    const int wl[4] = {400, 500, 600, 715};
    for (int w : wl)
        s +=
            "C" + std::to_string(w) + "\tA" + std::to_string(w + 2) + "\t0\t0.1\t0.2\t0\t0\t0\t0\n";
    s += "trailing one\ntrailing two\n";
    return s;
}

class AcqRig : public ::testing::Test {
  protected:
    TempDir dir;
    FakeClock clock;
    Workspace ws;
    ScriptedDialogs dialogs;
    RecordingViews views;
    std::shared_ptr<PortFeed> feed = std::make_shared<PortFeed>();
    AcquisitionController acq{AppContext{ws, dialogs, views, clock}, fake_port_factory(feed)};

    AcqRig() { ws.reg = VelmoraSettings(dir.file("settings.json")); }

    // The simulator of the sample HYP meter (or of `dev`), `records` records ready at the port.
    std::unique_ptr<sim::Simulator> sim;
    void stream(std::size_t records, const std::string& dev = sample_dev("sample_hyp.dev"),
                sim::Options o = {}) {
        if (!sim) {
            o.dev_path = dev;
            o.model = peek_device_kind(dev) == DeviceKind::FLW ? sim::Model::FLW : sim::Model::HYP;
            sim = std::make_unique<sim::Simulator>(o);
        }
        std::vector<std::uint8_t> bytes;
        sim->append_records(bytes, records);
        feed->add(bytes);
    }

    void start(const std::string& dev = sample_dev("sample_hyp.dev"), int port = 5) {
        ws.E_Device = dev;
        ws.UD_Port = port;
        acq.B_StartClick();
    }

    // One tick after `ms` milliseconds.
    void tick(std::int64_t ms = 100) {
        clock.advance_ms(ms);
        acq.Timer1Timer();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            tick();
    }

    // Start on the sample meter and tick until the stream has been checked (state 2 reached
    // and the save dialog answered with `save_as`, or cancelled when empty).
    void start_running(std::optional<std::string> save_as, std::size_t records = 4) {
        stream(records);
        start();
        if (save_as)
            dialogs.save_answers.push_back(*save_as);
        for (int i = 0; i < 5 && ws.acqState != Running; ++i)
            tick();
        ASSERT_EQ(ws.acqState, Running);
    }
};
