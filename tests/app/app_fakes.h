// Test doubles of the application's seams: a clock moved by hand, scripted user answers and a
// view list that records what it was asked to do.
#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app_services.h"
#include "text.h"

// Tests move time by hand.  `local` fixes the calendar fields independent of the time zone;
// advancing moves its seconds along (normalised with timegm so minutes and days roll over).
class FakeClock : public Clock {
  public:
    std::int64_t ms = 1236607507000; // 9 March 2009 14:05:07 UTC
    std::tm local = make_tm(2009, 3, 9, 14, 5, 7);

    std::int64_t now_seconds() const override { return ms / 1000; }
    std::int64_t now_ms() const override { return ms; }
    std::tm local_time() const override { return local; }

    void advance_seconds(std::int64_t s) { advance_ms(s * 1000); }
    void advance_ms(std::int64_t d) {
        std::int64_t before = ms / 1000;
        ms += d;
        local.tm_sec += static_cast<int>(ms / 1000 - before);
        std::time_t t = timegm(&local);
        gmtime_r(&t, &local);
    }

    static std::tm make_tm(int year, int month, int day, int hour, int minute, int second) {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        std::time_t n = timegm(&t);
        gmtime_r(&n, &t); // fills weekday and day of year
        return t;
    }
};

struct ScriptedDialogs : UserDialogs {
    struct Message {
        std::string text, caption;
        bool ok_cancel;
    };
    std::vector<Message> messages;
    std::deque<int> message_answers; // for OK/Cancel questions; OK when empty

    struct FileAsk {
        std::string title, filter, proposed;
    };
    std::vector<FileAsk> opens, saves;
    std::deque<std::optional<std::string>> open_answers, save_answers; // cancel when empty

    std::deque<int> ctd_answers; // mrOk when empty
    std::optional<CtdColumns> ctd_columns_answer;
    std::vector<std::string> ctd_paths;
    std::vector<CtdColumns> ctd_shown; // what the dialog started from
    bool ctd_throws = false;

    std::string water_text = "";
    int water_scat = 0;
    std::deque<int> water_answers; // mrCancel when empty
    std::string water_text_after_ok = "20";
    std::vector<WaterCalRequest> water_requests;

    int fac_cal_answer = mrFacCalCancelled;
    double fac_cal_value = 0;
    int cont_saving_answer = mrCancel;
    int abouts = 0;
    std::vector<std::int64_t> start_proposals;                   // what each Set Start Time showed
    std::deque<std::optional<std::int64_t>> start_answers;       // Cancel when empty
    std::deque<std::optional<ProcessingOptions::Qc>> qc_answers; // Cancel when empty
    struct MetadataAsk {
        std::vector<std::string> keywords;
        std::map<std::string, std::string> values;
        std::vector<std::string> missing;
    };
    std::vector<MetadataAsk> metadata_asks;
    // Fields the user fills in (added to those shown); Cancel when empty.
    std::deque<std::optional<std::map<std::string, std::string>>> metadata_answers;
    std::vector<std::pair<std::string, std::vector<std::string>>> findings_shown;
    // Runs while any dialog is "on screen" (a user who takes their time).
    std::function<void()> while_open;

    int message(const std::string& text, const std::string& caption, bool ok_cancel) override {
        open_now();
        messages.push_back({text, caption, ok_cancel});
        if (!ok_cancel || message_answers.empty())
            return mrOk;
        int a = message_answers.front();
        message_answers.pop_front();
        return a;
    }
    std::optional<std::string> open_file(const std::string& title,
                                         const std::string& filter) override {
        open_now();
        opens.push_back({title, filter, ""});
        if (open_answers.empty())
            return std::nullopt;
        auto a = open_answers.front();
        open_answers.pop_front();
        return a;
    }
    std::optional<std::string> save_file(const std::string& title, const std::string& filter,
                                         const std::string& proposed) override {
        open_now();
        saves.push_back({title, filter, proposed});
        if (save_answers.empty())
            return std::nullopt;
        auto a = save_answers.front();
        save_answers.pop_front();
        return a;
    }
    int fac_cal_query(double& value) override {
        open_now();
        if (fac_cal_answer == mrFacCalValue)
            value = fac_cal_value;
        return fac_cal_answer;
    }
    int continue_saving() override {
        open_now();
        return cont_saving_answer;
    }
    int load_ctd_columns(const std::string& path, CtdColumns& columns) override {
        ctd_paths.push_back(path);
        ctd_shown.push_back(columns);
        if (ctd_throws)
            throw VelmoraError("Unable to open file.");
        int a = mrOk;
        if (!ctd_answers.empty()) {
            a = ctd_answers.front();
            ctd_answers.pop_front();
        }
        if (a == mrOk && ctd_columns_answer)
            columns = *ctd_columns_answer;
        return a;
    }
    std::string water_temperature_text() override { return water_text; }
    int water_scat_index() override { return water_scat; }
    int make_water(const WaterCalRequest& request) override {
        water_requests.push_back(request);
        water_text.clear();
        int a = mrCancel;
        if (!water_answers.empty()) {
            a = water_answers.front();
            water_answers.pop_front();
        }
        if (a == mrOk)
            water_text = water_text_after_ok;
        return a;
    }
    void about() override { ++abouts; }
    std::optional<std::int64_t> start_time(std::int64_t proposed) override {
        open_now();
        start_proposals.push_back(proposed);
        if (start_answers.empty())
            return std::nullopt;
        auto a = start_answers.front();
        start_answers.pop_front();
        return a;
    }

    int qc_thresholds(ProcessingOptions::Qc& qc) override {
        open_now();
        if (qc_answers.empty() || !qc_answers.front()) {
            if (!qc_answers.empty())
                qc_answers.pop_front();
            return mrCancel;
        }
        qc = *qc_answers.front();
        qc_answers.pop_front();
        return mrOk;
    }
    int seabass_metadata(const std::vector<std::string>& keywords,
                         std::map<std::string, std::string>& values,
                         const std::vector<std::string>& missing) override {
        open_now();
        metadata_asks.push_back({keywords, values, missing});
        if (metadata_answers.empty() || !metadata_answers.front()) {
            if (!metadata_answers.empty())
                metadata_answers.pop_front();
            return mrCancel;
        }
        for (const auto& [k, v] : *metadata_answers.front())
            values[k] = v;
        metadata_answers.pop_front();
        return mrOk;
    }
    void findings(const std::string& title, const std::vector<std::string>& lines) override {
        open_now();
        findings_shown.emplace_back(title, lines);
    }

  private:
    void open_now() {
        if (while_open)
            while_open();
    }
};

// The messages shown so far, as "caption|text".
inline std::vector<std::string> messages_of(const ScriptedDialogs& d) {
    std::vector<std::string> out;
    for (const auto& m : d.messages)
        out.push_back(m.caption + "|" + m.text);
    return out;
}

struct RecordingViews : ViewHub {
    std::vector<std::string> calls;
    HYP_Data* attached = nullptr;
    void AttachData(HYP_Data* data) override {
        attached = data;
        calls.push_back("AttachData");
    }
    void SetLiveMode(bool live) override { calls.push_back(live ? "Live" : "NotLive"); }
    void NewRecords() override { calls.push_back("NewRecords"); }
    void Refresh() override { calls.push_back("Refresh"); }
};

// A scratch folder removed at the end of the test.
struct TempDir {
    std::filesystem::path path;
    TempDir() {
        path =
            std::filesystem::temp_directory_path() /
            ("velmora_app_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter()++));
        std::filesystem::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
    static int& counter() {
        static int n = 0;
        return n;
    }
};

inline void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A small HYP data file: `records` records of 4 channels (c 400.5, 500, 600, 715 / a 402, 502,
// 602, 715) at 250 ms steps, a at channel j = 0.1 * (j + 1) + 0.01 * record, c = a + 1, with
// onboard temperature 15, an unread field and pressure = record index.
inline std::string hyp_data_file(int records, int serial = 123) {
    std::string s = "File created by Velmora version 2.0\n"
                    "HYP Meter\n" +
                    std::to_string(serial) +
                    "\t; serial number\n"
                    "4\t; structure version\n"
                    "Tcal: 21.5 C, Ical: 20.9 C\n"
                    "0.25\t; path length\n"
                    "19200\t; baud rate\n"
                    "0\t; line 8\n"
                    "4\t; number of wavelengths\n"
                    "2\t; number of temperature bins\n"
                    "10\t20\t; temperature bins\n";
    const double c_wl[4] = {400.5, 500, 600, 715};
    const double a_wl[4] = {402, 502, 602, 715};
    // Appended piece by piece: g++ 12 reports a false overlap (-Wrestrict) in "C" + string.
    for (int j = 0; j < 4; ++j) {
        s += 'C';
        s += text::format_fixed(c_wl[j], 6);
        s += "\tA";
        s += text::format_fixed(a_wl[j], 6);
        s += "\t0\t0\t0\t0\n";
    }
    s += "0\t; end of wavelength lines\n";
    s += "1\t\t\t; acquisition bin size\n";
    s += "Time(ms)\tC400.5\tC500\tC600\tC715\tA402\tA502\tA602\tA715\t\n";
    for (int r = 0; r < records; ++r) {
        s += std::to_string(r * 250) + "\t";
        for (int j = 0; j < 4; ++j)
            s += text::format_fixed(1.0 + 0.1 * (j + 1) + 0.01 * r, 6) + "\t";
        for (int j = 0; j < 4; ++j)
            s += text::format_fixed(0.1 * (j + 1) + 0.01 * r, 6) + "\t";
        s += "15\tx\t" + std::to_string(r) + "\n";
    }
    return s;
}
