// Shared helpers of the link tests: temporary files, small device files, record builders and a
// status sink that records what it is shown.
#pragma once

#include <gtest/gtest.h>

#include "comma_locale.h"
#include "core/test_util.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "parent_reader.h"

namespace linktest {

// A directory under the system's temporary directory, removed with the object.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-link-XXXXXX");
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& content) const {
        const std::string p = file(name);
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }

  private:
    std::string path_;
};

// The tests' one relative-tolerance comparison; values below 1 in size are held to `rel` itself.
inline void expect_near_rel(double expected, double actual, double rel, const std::string& what) {
    EXPECT_TRUE(test_util::near_rel(actual, expected, rel, rel)) << what;
}

// An HYP device file with `n` wavelengths and three bins (10, 20, 30 C).  Channel k:
// C(400+10k), A(401+10k), c offset 0.1k, a offset -0.05k, c adjustments 0.01k+{0,.1,.2},
// a adjustments -0.01k+{0,-.1,-.2}.
inline std::string hyp_devfile(int n, const std::string& eol = "\n") {
    std::string s = "HYP\tsample" + eol + "0x53000007" + eol + "1" + eol +
                    "tcal: 21.5 C, ical: 21.3 C." + eol + "0.0\t0.0" + eol + "115200" + eol +
                    "0.25" + eol + std::to_string(n) + eol + "3" + eol + "10\t20\t30" + eol;
    const CLocaleScope c_locale;
    char line[256];
    for (int k = 0; k < n; ++k) {
        std::snprintf(line, sizeof line, "C%d\tA%d\t0\t%g\t%g\t%g\t%g\t%g\t%g\t%g\t%g\t; comment",
                      400 + 10 * k, 401 + 10 * k, 0.1 * k, -0.05 * k, 0.01 * k, 0.01 * k + 0.1,
                      0.01 * k + 0.2, -0.01 * k, -0.01 * k - 0.1, -0.01 * k - 0.2);
        s += line + eol;
    }
    return s + "trailer one" + eol + "trailer two" + eol;
}

// An FLW device file whose channel lines are given as {letter, wavelength} in file order; the
// offset of a line is wavelength / 1000 and its two bin adjustments are 0 and line index / 100.
struct FlwLine {
    char letter;
    double wavelength;
};
inline std::string flw_devfile(const std::vector<FlwLine>& lines, const std::string& eol = "\n") {
    std::string s = "FLW\tsample" + eol + "4217" + eol + "1" + eol + "tcal: 20.8 C" + eol + "0\t0" +
                    eol + "19200" + eol + "0.25" + eol + "2" + eol + "10\t30" + eol;
    const CLocaleScope c_locale;
    char text[160];
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::snprintf(text, sizeof text, "%c%g\t%zu\t%g\t0\t%g", lines[i].letter,
                      lines[i].wavelength, i + 1, lines[i].wavelength / 1000.0, i / 100.0);
        s += text + eol;
    }
    return s + "0" + eol + "0" + eol;
}
// Nine a and nine c lines, interleaved, in descending wavelength order.
inline std::vector<FlwLine> flw_descending() {
    std::vector<FlwLine> v;
    for (int k = 8; k >= 0; --k) {
        v.push_back({'c', 400.0 + 40 * k});
        v.push_back({'a', 401.0 + 40 * k});
    }
    return v;
}

class RecordingSink : public ACR_Helper {
  public:
    std::vector<std::string>* progress;
    std::vector<std::string>* serial;
    std::vector<std::string>* internal;
    std::vector<std::string>* external;
    std::vector<std::string>* stamp;
    RecordingSink(std::vector<std::string>* p, std::vector<std::string>* s,
                  std::vector<std::string>* i, std::vector<std::string>* e,
                  std::vector<std::string>* t)
        : progress(p), serial(s), internal(i), external(e), stamp(t) {}
    void show_progress(const std::string& x) override { progress->push_back(x); }
    void show_serial(const std::string& x) override { serial->push_back(x); }
    void show_internal_temp(const std::string& x) override { internal->push_back(x); }
    void show_external_temp(const std::string& x) override { external->push_back(x); }
    void show_time_stamp(const std::string& x) override { stamp->push_back(x); }
};

// The texts a reader showed, owned by the test while the sink belongs to the reader.
struct Shown {
    std::vector<std::string> progress, serial, internal, external, stamp;
    std::unique_ptr<ACR_Helper> sink() {
        return std::make_unique<RecordingSink>(&progress, &serial, &internal, &external, &stamp);
    }
};

// Compares two decoded record lists exactly.
inline void expect_same_records(const std::deque<hyp_data>& a, const std::deque<hyp_data>& b,
                                const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].time, b[i].time) << what << " record " << i;
        ASSERT_EQ(a[i].a_values, b[i].a_values) << what << " record " << i;
        ASSERT_EQ(a[i].c_values, b[i].c_values) << what << " record " << i;
    }
}

} // namespace linktest
