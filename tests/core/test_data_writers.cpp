// Writing instrument data files: round trips through the reader, line formats, selections and
// continuous saving.
#include "files_test_util.h"
#include "text.h"

using namespace files_test;

namespace {

class DataWriters : public ScratchDir {};

// Data lines of a written data file: the lines after the label line.
std::vector<std::string> data_lines(const std::string& file) {
    auto lines = split_lines(read_text(file));
    std::vector<std::string> out;
    bool after_label = false;
    for (const auto& l : lines) {
        if (after_label)
            out.push_back(l);
        if (l.rfind("Time(ms)", 0) == 0)
            after_label = true;
    }
    return out;
}

void expect_same_data_set(const HYP_Data& a, const HYP_Data& b) {
    EXPECT_EQ(a.instrument_type, b.instrument_type);
    EXPECT_EQ(a.serial_number, b.serial_number);
    EXPECT_EQ(a.fac_cal_temp, b.fac_cal_temp);
    EXPECT_EQ(a.a_wavelengths, b.a_wavelengths);
    EXPECT_EQ(a.c_wavelengths, b.c_wavelengths);
    EXPECT_EQ(a.a_order, b.a_order);
    EXPECT_EQ(a.c_order, b.c_order);
    EXPECT_EQ(a.channel_is_a, b.channel_is_a);
    expect_same_records(a.records, b.records);
    expect_same_entries(a.onboard_list.samples, b.onboard_list.samples);
}

// A data set as acquisition leaves it: the device file's lines as header, no per-record lists.
void make_acquired(HYP_Data& d, const std::string& data_file) {
    HYP_Data loaded;
    loaded.load_file(data_file, false);
    d.instrument_type = loaded.instrument_type;
    d.a_wavelengths = loaded.a_wavelengths;
    d.c_wavelengths = loaded.c_wavelengths;
    d.a_order = loaded.a_order;
    d.c_order = loaded.c_order;
    d.channel_is_a = loaded.channel_is_a;
    d.records = loaded.records;
    // The device file: the data file's header up to the two lines after the channel lines.
    const std::size_t device_lines = loaded.instrument_type == InstrumentType::HYP ? 12 + d.a_wavelengths.size() : 29;
    d.header_lines.assign(loaded.header_lines.begin(), loaded.header_lines.begin() + device_lines);
}

} // namespace

TEST_F(DataWriters, LoadedFilesSurviveSaveAndLoad) {
    for (const char* name : {"hyp_small.dat", "flw_small.dat"}) {
        HYP_Data first;
        first.load_file(fixture(name), false);
        first.save_records(path("once.dat"));
        HYP_Data second;
        second.load_file(path("once.dat"), false);
        expect_same_data_set(first, second);
        EXPECT_EQ(second.header_lines, first.header_lines) << name;
        // A second round gives the very same file.
        second.save_records(path("twice.dat"));
        EXPECT_EQ(read_text(path("twice.dat")), read_text(path("once.dat"))) << name;
        EXPECT_EQ(entries(), (std::vector<std::string>{"once.dat", "twice.dat"}));
    }
}

TEST_F(DataWriters, HypHeaderDiffersOnlyInTitleAndBinAndLabelLines) {
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    d.save_records(path("out.dat"));
    const auto in = split_lines(read_text(fixture("hyp_small.dat")));
    const auto out = split_lines(read_text(path("out.dat")));
    EXPECT_EQ(out[0], "File created by Velmora version 2.0");
    for (std::size_t i = 1; i <= 14; ++i)
        EXPECT_EQ(out[i], in[i]) << "line " << i + 1;
    EXPECT_EQ(out[15], "1\t\t\t; acquisition bin size");
    EXPECT_EQ(out[16], "Time(ms)\tC400.2\tC650.1\tC715.4\tA400.5\tA650.3\tA714.9\t");
    // Record lines: 10 significant digits, the onboard temperature and pressure kept.
    EXPECT_EQ(out[17], "250\t0.5\t0.6\t0.7\t0.1\t0.2\t0.3\t12.5\t0\t3.25\t");
    EXPECT_EQ(out[19], "750.5\t-0.5\t1e-05\t0.123456789\t0.4\t0.5\t0.6\t12.7\t0\t3.5\t");
    EXPECT_EQ(out.size(), 20u);
}

TEST_F(DataWriters, FlwColumnsKeepTheirFileOrder) {
    HYP_Data d;
    d.load_file(fixture("flw_small.dat"), false);
    d.save_records(path("out.dat"));
    const auto lines = data_lines(path("out.dat"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "100\t1.01\t0.01\t1.03\t0.02\t1.02\t0.03\t1.04\t0.04\t1.05\t0.05\t1.06\t0.06\t"
              "1.07\t0.07\t1.08\t0.08\t1.09\t0.09\t14.5\t0\t7.25\t");
}

TEST_F(DataWriters, AcquiredDataSurvivesSaveAndLoad) {
    for (const char* name : {"hyp_small.dat", "flw_small.dat"}) {
        HYP_Data acquired;
        make_acquired(acquired, fixture(name));
        acquired.save_records(path("acq.dat"));
        HYP_Data back;
        back.load_file(path("acq.dat"), false);
        EXPECT_EQ(back.instrument_type, acquired.instrument_type) << name;
        EXPECT_EQ(back.a_wavelengths, acquired.a_wavelengths) << name;
        EXPECT_EQ(back.c_wavelengths, acquired.c_wavelengths) << name;
        EXPECT_EQ(back.channel_is_a, acquired.channel_is_a) << name;
        expect_same_records(back.records, acquired.records);
        // And the written file keeps the device file's lines.
        for (std::size_t i = 0; i + 1 < acquired.header_lines.size(); ++i)
            EXPECT_EQ(back.header_lines.at(i), acquired.header_lines[i]) << name << " line " << i;
    }
}

TEST_F(DataWriters, RecordLineFormats) {
    HYP_Data d;
    d.instrument_type = InstrumentType::HYP;
    d.a_wavelengths = {400.5};
    d.c_wavelengths = {715};
    d.records = {{250.0, {-0.5}, {0.123456789012}}, {1e10, {2.5e-7}, {1234567890.5}}};
    d.ctd_list.samples = {{0, 1.5, 30.25, 12}, {0, 2, 31, 13}};
    std::ostringstream out;
    LineOptions lines;
    lines.ctd_columns = lines.file_order = true;
    d.write_lines(out, {}, lines);
    EXPECT_EQ(out.str(), "250\t0.123456789\t-0.5\t12\t30.25\t1.5\t\n"
                         "1e+10\t1234567890\t2.5e-07\t13\t31\t2\t\n");
    std::ostringstream avg;
    LineOptions averaged;
    averaged.averaged = true;
    d.write_lines(avg, {1, 0}, averaged);
    EXPECT_EQ(avg.str(), "0\t617283945.3\t-0.249999875\t"); // no line break
    EXPECT_EQ(error_of([&] { d.write_lines(out, {2}, {}); }),
              "Record index out of range.");
    d.records[1].a_values.clear();
    EXPECT_EQ(error_of([&] { d.write_lines(out, {1}, {}); }),
              "A record holds fewer values than there are channels.");
}

TEST_F(DataWriters, SelectionInGivenOrder) {
    HYP_Data d;
    d.load_file(fixture("hyp_small.dat"), false);
    for (int i = 0; i < 4; ++i)
        d.records.push_back({1000.0 + i, {1, 2, 3}, {4, 5, 6}});
    d.onboard_list.samples.resize(d.records.size());
    d.ctd_list.samples.resize(d.records.size());
    d.save_selection(path("sel.dat"), {5, 2});
    const auto lines = data_lines(path("sel.dat"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("1002\t4\t5\t6\t1\t2\t3\t", 0), 0u);
    EXPECT_EQ(lines[1].rfind("750.5\t", 0), 0u);
}

TEST_F(DataWriters, ContinuousSaving) {
    HYP_Data d;
    make_acquired(d, fixture("hyp_small.dat"));
    const auto all = d.records;
    d.records.resize(1);
    d.append_continuous(); // not open: nothing
    d.close_continuous();
    d.open_continuous(path("cont.dat"));
    d.append_continuous();
    d.append_continuous();                              // nothing new
    EXPECT_EQ(data_lines(path("cont.dat")).size(), 1u); // on disk already
    d.records = all;
    d.append_continuous();
    d.close_continuous();
    HYP_Data back;
    back.load_file(path("cont.dat"), false);
    expect_same_records(back.records, all);

    // A new acquisition starts its file with its first record.
    HYP_Data next;
    make_acquired(next, fixture("hyp_small.dat"));
    next.open_continuous(path("cont2.dat"));
    next.append_continuous();
    next.close_continuous();
    EXPECT_EQ(data_lines(path("cont2.dat")).size(), 3u);

    EXPECT_EQ(error_of([&] { next.open_continuous(path("no/such/folder/c.dat")); }),
              "Unable to open file for saving.  Is this file opened in another program?");
    EXPECT_FALSE(next.continuous_open());
    next.append_continuous();
}

namespace {

// Tab-separated fields of a device file line, empty ones skipped, as numbers where they are.
std::vector<std::string> tab_fields(const std::string& line) {
    std::vector<std::string> out;
    std::string cur;
    for (const char c : line) {
        if (c == '\t') {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

} // namespace

TEST_F(DataWriters, SampleDeviceFilesThroughAcquisitionSaveAndRewrite) {
    for (const char* name : {"sample_hyp.dev", "sample_flw.dev"}) {
        const auto dev = split_lines(read_text(std::string(VELMORA_SAMPLE_DATA) + "/" + name));
        const bool hyp = std::string(name) == "sample_hyp.dev";
        const std::size_t n = hyp ? dev.size() - 12 : 9;
        // An instrument data file: title, the device file, the bin-size line (and for FLW the
        // label line), then the records.
        std::vector<std::string> file = {"title"};
        file.insert(file.end(), dev.begin(), dev.end());
        file.push_back("1\t\t\t; acquisition bin size");
        if (!hyp)
            file.push_back("Time(ms)");
        for (int r = 0; r < 3; ++r) {
            std::string line = std::to_string(250 * r);
            for (std::size_t i = 0; i < 2 * n; ++i) {
                line += '\t';
                line += text_g10(0.001 * static_cast<double>(i + 1) + r);
            }
            file.push_back(line);
        }
        write_text(path("instrument.dat"), join_lines(file));
        HYP_Data acquired;
        make_acquired(acquired, path("instrument.dat"));
        ASSERT_EQ(acquired.a_wavelengths.size(), n) << name;
        ASSERT_EQ(acquired.records.size(), 3u) << name;
        acquired.header_lines = dev; // acquisition copies the device file's lines

        acquired.save_records(path("acquired.dat"));
        HYP_Data back;
        back.load_file(path("acquired.dat"), false);
        expect_same_records(back.records, acquired.records);
        EXPECT_EQ(back.channel_is_a, acquired.channel_is_a) << name;

        // Records already at zero give the device file's offsets back.
        for (auto& r : back.records) {
            std::fill(r.a_values.begin(), r.a_values.end(), 0.0);
            std::fill(r.c_values.begin(), r.c_values.end(), 0.0);
        }
        back.save_devfile(path("same.dev"), {0, 2});
        const auto rewritten = split_lines(read_text(path("same.dev")));
        ASSERT_EQ(rewritten.size(), hyp ? 11 + n : 29u) << name;
        for (std::size_t i = 0; i < rewritten.size(); ++i) {
            const auto got = tab_fields(rewritten[i]);
            const auto want = tab_fields(dev[i]);
            ASSERT_EQ(got.size(), want.size()) << name << " line " << i + 1;
            for (std::size_t f = 0; f < got.size(); ++f) {
                if (got[f] == want[f])
                    continue;
                // Wavelengths and offsets are written with 6 significant digits: C450.0 as C450.
                const std::size_t skip = (f == 0 || (hyp && f == 1)) ? 1 : 0;
                EXPECT_EQ(got[f].substr(0, skip), want[f].substr(0, skip));
                EXPECT_NEAR_REL(text::parse_double(std::string_view(got[f]).substr(skip)),
                                text::parse_double(std::string_view(want[f]).substr(skip)), 1e-5)
                    << name << " line " << i + 1 << " field " << f + 1 << ": " << got[f] << " vs "
                    << want[f];
            }
        }
    }
}
