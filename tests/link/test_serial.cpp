#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "hyp_reader.h"
#include "link_test_util.h"
#include "serial.h"
#include "simulator.h"

using linktest::TempDir;

namespace {

// A pseudo-terminal whose slave side is reachable as COM<port> through VELMORA_COM<port>.
class PtyPort {
  public:
    explicit PtyPort(int port) : var_("VELMORA_COM" + std::to_string(port)) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master_, 0);
        ::grantpt(master_);
        ::unlockpt(master_);
        slave_ = ::ptsname(master_);
        ::setenv(var_.c_str(), slave_.c_str(), 1);
    }
    ~PtyPort() {
        ::unsetenv(var_.c_str());
        ::close(master_);
    }
    void send(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t w = ::write(master_, bytes.data() + done, bytes.size() - done);
            ASSERT_GT(w, 0);
            done += std::size_t(w);
        }
        ::tcdrain(master_);
    }
    const std::string& slave() const { return slave_; }

  private:
    std::string var_;
    int master_ = -1;
    std::string slave_;
};

// Reads until `want` bytes have come or the pseudo-terminal has nothing more to give.
std::size_t read_up_to(Serial& s, std::vector<std::uint8_t>& into, std::size_t want, int room) {
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(room));
    for (int idle = 0; into.size() < want && idle < 2000; ++idle) {
        int count = room;
        s.read(buf.data(), count);
        EXPECT_LE(count, room);
        if (count > 0)
            idle = 0;
        into.insert(into.end(), buf.begin(), buf.begin() + count);
    }
    return into.size();
}

} // namespace

TEST(Serial, OpenReadWithoutBlockingClose) {
    PtyPort pty(41);
    Serial s;
    s.set_baud(19200);
    s.open(41, "COM41");
    EXPECT_EQ(s.port, 41);
    std::uint8_t buf[16];
    int count = sizeof buf;
    s.read(buf, count); // nothing has arrived: returns at once
    EXPECT_EQ(count, 0);

    std::vector<std::uint8_t> sent(1000);
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = std::uint8_t(i * 7);
    pty.send(sent);
    std::vector<std::uint8_t> got;
    read_up_to(s, got, sent.size(), 256);
    EXPECT_EQ(got, sent);
    s.close();
    EXPECT_EQ(s.port, 0);
    count = sizeof buf;
    s.read(buf, count);
    EXPECT_EQ(count, 0);
}

TEST(Serial, MissingDeviceNamesThePort) {
    TempDir dir;
    ::setenv("VELMORA_COM12", dir.file("no-such-tty").c_str(), 1);
    Serial s;
    try {
        s.open(12, "COM12");
        FAIL() << "opened";
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "Could Not Open COM12");
    }
    EXPECT_EQ(s.port, 0);
    ::unsetenv("VELMORA_COM12");
}

TEST(Serial, PortPathMapping) {
    ::setenv("VELMORA_COM7", "/dev/ttyUSB3", 1);
    EXPECT_EQ(resolve_port_path(7), "/dev/ttyUSB3");
    ::unsetenv("VELMORA_COM7");
    EXPECT_EQ(resolve_port_path(0), "");
    EXPECT_EQ(resolve_port_path(250), "/dev/ttyUSB249"); // none exists: the adapter's name
}

TEST(Serial, ReaderStartPollStopThroughPseudoTerminal) {
    PtyPort pty(43);
    sim::Options o;
    o.dev_path = VELMORA_DATA_DIR "/sample_hyp.dev";
    sim::Simulator s(o);
    std::vector<std::uint8_t> bytes;
    s.append_records(bytes, 3);

    hyp_reader r;
    r.open_device_file(o.dev_path);
    r.set_port(43);
    r.start();
    pty.send(bytes);
    for (int i = 0; i < 2000 && r.raw_bytes.size() < bytes.size(); ++i)
        r.poll();
    EXPECT_EQ(r.raw_bytes, bytes);
    EXPECT_EQ(r.decoded_records.size(), 2u);
    r.stop();
    EXPECT_EQ(r.serial_port->port, 0);

    hyp_reader missing;
    missing.set_port(44);
    ::setenv("VELMORA_COM44", "/nonexistent/tty", 1);
    EXPECT_THROW(missing.start(), VelmoraError);
    ::unsetenv("VELMORA_COM44");
}
