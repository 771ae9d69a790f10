// Helpers of the file reader and writer tests: a scratch folder per test, whole-file reading and
// writing, and the fixture folder.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comma_locale.h"
#include "hyp_data.h"
#include "test_util.h"

namespace files_test {

namespace fs = std::filesystem;

inline std::string fixture(const std::string& name) {
    return std::string(VELMORA_TEST_DATA) + "/" + name;
}

// printf "%.10g" of v, as the record lines hold it.
inline std::string text_g10(double v) {
    char buf[64];
    const CLocaleScope c_locale;
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_text(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::vector<std::string> split_lines(const std::string& content) {
    std::vector<std::string> lines;
    std::string cur;
    for (const char c : content) {
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        lines.push_back(cur);
    return lines;
}

inline std::string join_lines(const std::vector<std::string>& lines, const char* eol = "\n") {
    std::string s;
    for (const auto& l : lines) {
        s += l;
        s += eol;
    }
    return s;
}

// A fresh folder for one test, removed afterwards.
class ScratchDir : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        std::string name = "velmora_files_";
        name += std::to_string(rd());
        name += '_';
        name += std::to_string(rd());
        dir_ = fs::temp_directory_path() / name;
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

inline void expect_same_records(const std::vector<hyp_data>& a, const std::vector<hyp_data>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t r = 0; r < a.size(); ++r) {
        EXPECT_NEAR_REL(a[r].time, b[r].time, 1e-9) << "record " << r;
        ASSERT_EQ(a[r].a_values.size(), b[r].a_values.size()) << "record " << r;
        ASSERT_EQ(a[r].c_values.size(), b[r].c_values.size()) << "record " << r;
        for (std::size_t i = 0; i < a[r].a_values.size(); ++i)
            EXPECT_NEAR_REL(a[r].a_values[i], b[r].a_values[i], 1e-9)
                << "record " << r << " a" << i;
        for (std::size_t i = 0; i < a[r].c_values.size(); ++i)
            EXPECT_NEAR_REL(a[r].c_values[i], b[r].c_values[i], 1e-9)
                << "record " << r << " c" << i;
    }
}

inline void expect_same_entries(const std::vector<ctd_struct>& a,
                                const std::vector<ctd_struct>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR_REL(a[i].time, b[i].time, 1e-9) << "entry " << i;
        EXPECT_NEAR_REL(a[i].temperature, b[i].temperature, 1e-9) << "entry " << i;
        EXPECT_NEAR_REL(a[i].salinity, b[i].salinity, 1e-9) << "entry " << i;
        EXPECT_NEAR_REL(a[i].pressure, b[i].pressure, 1e-9) << "entry " << i;
    }
}

using test_util::error_of;

} // namespace files_test
