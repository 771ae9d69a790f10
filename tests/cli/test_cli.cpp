// velmora-cli's data commands, run as a separate process on small files in a temporary folder.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "comma_locale.h"
#include "hyp_data.h"
#include "text.h"

namespace fs = std::filesystem;

namespace {

// The system's reason as the program under test words it: in the locale the tests run under.
std::string sys_reason(int error) {
    return std::strerror(error);
}

struct CliRun {
    int status = -1;
    std::string out, err;
};

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> read_lines(const fs::path& p) {
    std::ifstream in(p);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.emplace_back(text::chomp(line));
    return lines;
}

std::vector<double> fields_of(const std::string& line) {
    std::vector<double> v;
    text::FieldCursor cur(line);
    std::string_view f;
    while (cur.next(f))
        v.push_back(text::parse_double(f));
    return v;
}

// Wavelengths on rows of the coefficient table whose values are known.
const double kWl[] = {412.0, 440.0, 715.0, 730.0};
const double kPsiT[] = {0.00003, -0.00002, 0.00416, 0.01129};
constexpr int kRecords = 10;

double a_value(int j, int i) {
    return 0.1 + 0.01 * i + 0.001 * j;
}
double c_value(int j, int i) {
    return 0.5 + 0.02 * i + 0.002 * j;
}

class Cli : public ::testing::Test {
  protected:
    fs::path dir;

    void SetUp() override {
        char tmpl[] = "/tmp/velmora_cli_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    CliRun run(const std::string& args) {
        const fs::path err = dir / "stderr.txt";
        const std::string cmd =
            std::string("'") + VELMORA_CLI + "' " + args + " 2>'" + err.string() + "'";
        CliRun r;
        FILE* p = popen(cmd.c_str(), "r");
        if (!p)
            return r;
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            r.out.append(buf, n);
        const int st = pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        r.err = read_all(err);
        return r;
    }

    // The command run directly, without a shell: arguments reach it byte for byte.
    CliRun run_argv(const std::vector<std::string>& args) {
        const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(VELMORA_CLI)};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(VELMORA_CLI, argv.data());
            ::_exit(127);
        }
        int st = 0;
        ::waitpid(pid, &st, 0);
        CliRun r;
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        r.out = read_all(out);
        r.err = read_all(err);
        return r;
    }

    // `args` run through the shell with `env` (VAR=value ...) in front.
    CliRun run_env(const std::string& env, const std::string& args) {
        const fs::path err = dir / "stderr.txt";
        const std::string cmd = env + " '" + VELMORA_CLI + "' " + args + " >'" +
                                (dir / "stdout.txt").string() + "' 2>'" + err.string() + "'";
        const int st = std::system(cmd.c_str());
        CliRun r;
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        r.out = read_all(dir / "stdout.txt");
        r.err = read_all(err);
        return r;
    }

    // The file's path in single quotes for the shell.
    std::string path(const std::string& name) const {
        std::string q = "'";
        q += (dir / name).string();
        q += '\'';
        return q;
    }

    // An HYP data file as the instrument software writes it: title, the device file's lines,
    // the bin-size and label lines, then time, c values, a values, temperature, a spare field,
    // pressure.  Records every 250 ms; onboard temperature 15 + j/10.
    void write_hyp(const std::string& name, bool crlf = false) {
        const char* eol = crlf ? "\r\n" : "\n";
        std::ofstream f(dir / name, std::ios::binary);
        f << "File created by Velmora version 2.0" << eol << "HYPS test instrument" << eol << "123"
          << eol << "1" << eol << "Tcal: 21.5 C" << eol << "0.25\t0.25" << eol << "19200" << eol
          << "0.25" << eol << "4\t; number of wavelengths" << eol << "2\t; temperature bins" << eol
          << "10.0\t20.0" << eol;
        for (double wl : kWl)
            f << "C" << wl << "\tA" << wl << "\t0\t0.1\t0.2\t0\t0\t0\t0" << eol;
        f << "0\t; end of channels" << eol << "1\t\t\t; acquisition bin size" << eol;
        f << "Time(ms)\tC412\tC440\tC715\tC730\tA412\tA440\tA715\tA730\t" << eol;
        for (int j = 0; j < kRecords; ++j) {
            f << 250 * j << '\t';
            for (int i = 0; i < 4; ++i)
                f << text::format_g(c_value(j, i), 10) << '\t';
            for (int i = 0; i < 4; ++i)
                f << text::format_g(a_value(j, i), 10) << '\t';
            f << text::format_g(15 + j / 10.0, 10) << "\t0\t" << 2 * j << eol;
        }
    }

    // A CTD log: time, pressure, temperature, conductivity, salinity; samples every 500 ms.
    void write_ctd(const std::string& name) {
        std::ofstream f(dir / name);
        f << "time pres temp cond saln\n";
        for (int k = 0; k < 6; ++k)
            f << 500 * k << ' ' << 1.5 * k << ' ' << 10 + k << " 4.2 " << 30 + k << '\n';
    }
};

TEST_F(Cli, ExitStatusAndUsage) {
    struct Case {
        const char* args;
        int status;
        const char* err_has;
    };
    const Case cases[] = {
        {"", 2, "Usage: velmora-cli"},
        {"frobnicate", 2, "unknown command"},
        {"correct", 2, "no DATA file given"},
        {"correct x.dat", 2, "give either -o OUT or -d OUTDIR"},
        {"correct x.dat -o a -d b", 2, "give either -o OUT or -d OUTDIR"},
        {"correct a.dat b.dat -o out", 2, "-o takes one DATA file"},
        {"correct x.dat -o out --bogus", 2, "unknown option '--bogus'"},
        {"correct x.dat -o out --temp", 2, "option '--temp' needs a value"},
        {"correct x.dat -o out --temp 2x", 2, "needs a number"},
        {"correct x.dat -o out --apply temp,heat", 2, "not 'heat'"},
        {"correct x.dat -o out --scat-method wild", 2, "--scat-method"},
        {"correct x.dat -o out --ctd-columns 1,2,3", 2, "--ctd-columns"},
        {"water x.dat --records 1 -o w.wcf", 2, "required"},
        {"water x.dat --records 1 --temp 20 -o w.wcf --apply temp", 2, "only water"},
        {"devfile x.dat -o out.dev", 2, "required"},
        {"info", 2, "give one FILE"},
        // Every command refuses an option it does not take.
        {"replay --faults x --pty y", 2, "velmora-cli replay: unknown option '--faults'"},
        {"info --records 1 x.dat", 2, "velmora-cli info: unknown option '--records'"},
        {"simulate --chl", 2, "velmora-cli simulate: unknown option '--chl'"},
        {"acquire --dev d --port 1 -o x --pty y", 2, "velmora-cli acquire: unknown option"},
        {"water x.dat --ctd c", 2, "velmora-cli water: unknown option '--ctd'"},
        {"acquire --dev d --port 256 -o x", 2, "--port 256 is outside 0 to 255"},
        {"replay --dev d x.bin", 2, "--dev and -o are required"},
        {"simulate --model hyp --dev d", 2, "give either -o FILE or --pty LINK"},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_NE(r.err.find(c.err_has), std::string::npos) << c.args << "\n" << r.err;
    }
    const CliRun r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: velmora-cli"), std::string::npos);
}

TEST_F(Cli, HelpOfEachCommandListsEveryOptionItTakes) {
    const std::string correction =
        " --ctd --ctd-columns --water --temp-source --temp --saln-source --saln --apply "
        "--scat-method --scat-ref --scat-no-negative ";
    struct Case {
        const char* command;
        std::string options;
    };
    const Case cases[] = {
        {"info", " --dev "},
        {"correct", " -o -d --chl" + correction},
        {"water", " --records --temp -o --water --apply "},
        {"devfile", " --records -o" + correction},
        {"simulate", " --model --dev -o --pty --records --rate --seed --serial --faults "},
        {"replay", " --dev -o "},
        {"acquire", " --dev --port --seconds -o --raw "},
    };
    for (const Case& c : cases) {
        const CliRun r = run(std::string(c.command) + " --help");
        EXPECT_EQ(r.status, 0) << c.command;
        EXPECT_EQ(r.out.rfind("Usage: velmora-cli " + std::string(c.command), 0), 0u) << r.out;
        std::istringstream names(c.options);
        for (std::string name; names >> name;) {
            // An option's line starts with its name after two blanks ("-o, --output OUT").
            EXPECT_TRUE(r.out.find("\n  " + name + " ") != std::string::npos ||
                        r.out.find("\n  " + name + ", ") != std::string::npos)
                << c.command << " " << name << "\n"
                << r.out;
            // ... and the command takes it: whatever goes wrong then, it is not "unknown".
            const CliRun t = run(std::string(c.command) + " " + name + " x");
            EXPECT_EQ(t.err.find("unknown option"), std::string::npos) << c.command << " " << name;
        }
    }
}

TEST_F(Cli, FailuresNameTheFileAndTheSystemsReason) {
    write_hyp("cast.dat");
    {
        std::ofstream text(dir / "text.bin");
        text << "not a capture\n";
    }
    const std::string dev = std::string(VELMORA_DATA_DIR) + "/sample_hyp.dev";
    const std::string missing = (dir / "missing.dat").string();
    const std::string no_folder = (dir / "no folder" / "o.dat").string();
    const std::string correct = "correct " + path("cast.dat") + " -o " + path("o.dat");
    struct Case {
        std::string args, err;
    };
    const Case cases[] = {
        {"correct " + path("missing.dat") + " -o " + path("o.dat"),
         missing + ": Unable to open file. (" + sys_reason(ENOENT) + ")\n"},
        {"info " + path("missing.dat"),
         missing + ": Unable to open file. (" + sys_reason(ENOENT) + ")\n"},
        {correct + " --ctd " + path("missing.dat"),
         missing + ": Unable to open file. (" + sys_reason(ENOENT) + ")\n"},
        {correct + " --water " + path("missing.dat") + " --apply water",
         missing + ": Unable to open file. (" + sys_reason(ENOENT) + ")\n"},
        {"correct " + path("cast.dat") + " -o " + path("no folder/o.dat"),
         no_folder + ": Unable to open file for saving. (" + sys_reason(ENOENT) + ")\n"},
        {"water " + path("cast.dat") + " --records 1 --temp 20 -o " + path("no folder/o.dat"),
         no_folder + ": Unable to open file for saving. (" + sys_reason(ENOENT) + ")\n"},
        {"replay --dev '" + dev + "' " + path("text.bin") + " -o " + path("o.dat"),
         (dir / "text.bin").string() +
             ": Unable to read binary file.  Do you have the right devfile specified?\n"},
        {"info --dev " + path("missing.dat") + " " + path("text.bin"),
         missing + ": Unable to open file. (" + sys_reason(ENOENT) + ")\n"},
        {"correct " + path("cast.dat") + " -d " + path("text.bin"),
         (dir / "text.bin").string() + ": is a file, not a folder.\n"},
        {"correct " + path("cast.dat") + " -d " + path("text.bin/below"),
         (dir / "text.bin/below").string() + ": Unable to make the output folder. (" +
             sys_reason(ENOTDIR) + ")\n"},
        // Messages that are not about a file stay as worded.
        {correct + " --temp-source ctd", "CTD data not merged\n"},
        {correct + " --apply water", "Water calibration not loaded.\n"},
        {"devfile " + path("cast.dat") + " --records 3,12 -o " + path("o.dev"),
         "Record 12 does not exist; the file has 10 records.\n"},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
    }
    EXPECT_FALSE(fs::exists(dir / "o.dat"));
    const CliRun r = run("devfile " + path("cast.dat") + " --records 3-1 -o " + path("o.dev"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("runs backwards"), std::string::npos) << r.err;
}

TEST_F(Cli, EveryFileArgumentRefusesAFolder) {
    write_hyp("cast.dat");
    write_ctd("cast.ctd");
    fs::create_directory(dir / "folder");
    const std::string folder = path("folder"), cast = path("cast.dat");
    const std::string dev = "'" + std::string(VELMORA_DATA_DIR) + "/sample_hyp.dev'";
    const std::string capture = "'" + std::string(VELMORA_DATA_DIR) + "/sample_hyp.bin'";
    for (const std::string& args : {
             "replay --dev " + dev + " " + folder + " -o " + path("o.dat"),
             "info --dev " + dev + " " + folder,
             "replay --dev " + folder + " " + capture + " -o " + path("o.dat"),
             "replay --dev " + dev + " " + capture + " -o " + folder,
             "info " + folder,
             "correct " + folder + " -o " + path("o.dat"),
             "correct " + folder + " -d " + path("out"),
             "correct " + cast + " -o " + folder,
             "correct " + cast + " -o " + path("o.dat") + " --ctd " + folder,
             "correct " + cast + " -o " + path("o.dat") + " --water " + folder,
             "water " + cast + " --records 1 --temp 20 -o " + folder,
             "water " + folder + " --records 1 --temp 20 -o " + path("o.wcf"),
             "devfile " + cast + " --records 1 -o " + folder,
             "simulate --model hyp --dev " + folder + " -o " + path("o.bin"),
             "simulate --model hyp --dev " + dev + " -o " + folder,
             "simulate --model hyp --dev " + dev + " --profile " + folder + " -o " + path("o.bin"),
         }) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.err, (dir / "folder").string() + ": is a folder, not a file.\n") << args;
    }
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
}

TEST_F(Cli, ConstantsOutsideTheWatersRangeAreRefused) {
    write_hyp("cast.dat");
    const std::string correct = "correct " + path("cast.dat") + " -o " + path("o.dat");
    struct Case {
        std::string args;
        const char* err;
    };
    const Case cases[] = {
        {correct + " --temp 41", "--temp 41 is outside -2 to 40 degrees C"},
        {correct + " --temp -2.5", "--temp -2.5 is outside -2 to 40 degrees C"},
        {correct + " --saln 46", "--saln 46 is outside 0 to 45 PSU"},
        {correct + " --saln -1", "--saln -1 is outside 0 to 45 PSU"},
        {"devfile " + path("cast.dat") + " --records 1 -o " + path("o.dev") + " --temp 100",
         "--temp 100 is outside -2 to 40 degrees C"},
        {"water " + path("cast.dat") + " --records 1 --temp 55 -o " + path("o.wcf"),
         "--temp 55 is outside -2 to 40 degrees C"},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "o.dat"));
    // The ends of the ranges are taken.
    EXPECT_EQ(run(correct + " --temp -2 --saln 45").status, 0);
    EXPECT_EQ(run(correct + " --temp 40 --saln 0").status, 0);
}

TEST_F(Cli, AScatteringReferenceOutsideTheChannelsSaysWhichChannelIsUsed) {
    write_hyp("cast.dat");
    const std::string correct =
        "correct " + path("cast.dat") + " -o " + path("o.dat") + " --apply scat --scat-ref ";
    CliRun r = run(correct + "900");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "--scat-ref 900 nm is outside the channels (412 to 730 nm); the scattering "
                     "reference is the nearest channel, a 730 nm, c 730 nm.\n");
    r = run(correct + "300");
    EXPECT_NE(r.err.find("nearest channel, a 412 nm, c 412 nm."), std::string::npos) << r.err;
    // Inside the channels the nearest one is taken without a word, as in the app.
    EXPECT_EQ(run(correct + "720").err, "");
}

TEST_F(Cli, InfoOnARawCaptureSaysToGiveTheDeviceFile) {
    const std::string capture = std::string(VELMORA_DATA_DIR) + "/sample_hyp.bin";
    const CliRun r = run("info '" + capture + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, capture +
                         ": File does not appear to be an HYP or FLW file.  A raw capture "
                         "is read with its device file: velmora-cli info --dev DEV " +
                         capture + "\n");
}

TEST_F(Cli, CtdColumnsBeyondTheLogAreRefused) {
    write_hyp("cast.dat");
    write_ctd("cast.ctd"); // five columns
    const std::string correct = "correct " + path("cast.dat") + " -o " + path("o.dat") + " --ctd " +
                                path("cast.ctd") + " --ctd-columns ";
    CliRun r = run(correct + "1,2,3,9");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("velmora-cli correct: " + (dir / "cast.ctd").string() +
                         ": CTD column 9 is beyond the 5 columns of the file.\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "o.dat"));
    r = run("devfile " + path("cast.dat") + " --records 1 -o " + path("o.dev") + " --ctd " +
            path("cast.ctd") + " --ctd-columns 6,2,3,5");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("CTD column 6 is beyond the 5 columns of the file."), std::string::npos)
        << r.err;
    EXPECT_EQ(run(correct + "1,2,3,5").status, 0);
}

TEST_F(Cli, RecordsFarFromEveryCtdSampleAreCounted) {
    write_hyp("cast.dat"); // records at 0, 250, ... 2250 ms
    {
        // One sample 60 s before the first record: it is exactly 60 s from record 0 and
        // further from the nine others.
        std::ofstream f(dir / "far.ctd");
        f << "time pres temp cond saln\n-60000 4.5 13 4.2 33\n";
    }
    const std::string correct = "correct " + path("cast.dat") + " -o " + path("o.dat") +
                                " --temp-source ctd --apply temp --ctd ";
    CliRun r = run(correct + path("far.ctd"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "9 records have no CTD sample within 60 s; the nearest sample was used.\n");
    // The numbers are those of the nearest sample all the same.
    const std::vector<std::string> lines = read_lines(dir / "o.dat");
    ASSERT_EQ(lines.size(), 21u + kRecords);
    EXPECT_EQ(fields_of(lines[30])[9], 13);

    // Several files: each report names its file.
    r = run("correct " + path("cast.dat") + " -d " + path("out") +
            " --temp-source ctd --apply temp --ctd " + path("far.ctd"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, (dir / "cast.dat").string() +
                         ": 9 records have no CTD sample within 60 s; the nearest sample was "
                         "used.\n");

    write_ctd("near.ctd");
    r = run(correct + path("near.ctd"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

// The CTD log of write_ctd with UTC clock times, for a data file whose first record is at
// 2024-03-15T12:00:30.250Z; a header line of numbers and a line whose time does not read.
TEST_F(Cli, CtdClockTimesMergeLikeMsAndFarRecordsGetNaN) {
    write_hyp("plain.dat");
    {
        // The same file with a start time on line 1.
        const std::string all = read_all(dir / "plain.dat");
        std::ofstream f(dir / "cast.dat", std::ios::binary);
        f << all.substr(0, all.find('\n')) << "\tstart=2024-03-15T12:00:30.250Z"
          << all.substr(all.find('\n'));
    }
    write_ctd("cast.ctd");
    {
        std::ofstream f(dir / "iso.ctd");
        f << "0 0\ntime pres temp cond saln\n";
        const char* times[] = {"30.250Z", "30.750", "31.250Z", "31.750", "32.250", "32.750Z"};
        for (int k = 0; k < 6; ++k) {
            f << "2024-03-15T12:00:" << times[k] << ' ' << 1.5 * k << ' ' << 10 + k << " 4.2 "
              << 30 + k << '\n';
            if (k == 2)
                f << "-- pump restarted --\n";
        }
    }
    const std::string correct = "correct " + path("cast.dat") + " --temp-source ctd --apply temp ";
    CliRun r = run(correct + "-o " + path("ms.dat") + " --ctd " + path("cast.ctd"));
    ASSERT_EQ(r.status, 0) << r.err;
    r = run(correct + "-o " + path("iso.dat") + " --ctd " + path("iso.ctd") + " --ctd-time iso");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Skipped 1 CTD lines whose time could not be read.\n");
    const std::vector<std::string> ms = read_lines(dir / "ms.dat"),
                                   iso = read_lines(dir / "iso.dat");
    ASSERT_EQ(iso.size(), 21u + kRecords);
    EXPECT_EQ(std::vector<std::string>(iso.begin() + 21, iso.end()),
              std::vector<std::string>(ms.begin() + 21, ms.end()));

    // 62.5 s early: record 0 is exactly 60 s from the last sample, every later record further.
    r = run(correct + "-o " + path("late.dat") + " --ctd " + path("iso.ctd") +
            " --ctd-time iso --ctd-lag -62.5");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Skipped 1 CTD lines whose time could not be read.\n"
                     "9 records have no CTD sample within 60 s.\n");
    HYP_Data back;
    back.load_file((dir / "late.dat").string(), false);
    ASSERT_EQ(back.records.size(), static_cast<std::size_t>(kRecords));
    for (int j = 0; j < kRecords; ++j) {
        const hyp_data& rec = back.records[static_cast<std::size_t>(j)];
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(std::isnan(rec.a_values[i]), j > 0) << j << " a" << i;
            EXPECT_EQ(std::isnan(rec.c_values[i]), j > 0) << j << " c" << i;
        }
        const std::vector<double> v = fields_of(read_lines(dir / "late.dat")[21 + j]);
        EXPECT_EQ(std::isnan(v[9]) && std::isnan(v[10]) && std::isnan(v[11]), j > 0) << j;
    }

    // ms with a max gap: the NaN rule instead of the nearest sample.
    {
        std::ofstream f(dir / "far.ctd");
        f << "time pres temp cond saln\n-60000 4.5 13 4.2 33\n";
    }
    r = run(correct + "-o " + path("far.dat") + " --ctd " + path("far.ctd") +
            " --ctd-max-gap 59.75");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "10 records have no CTD sample within 59.75 s.\n");

    // Clock times need the start time.
    const std::string plain = "correct " + path("plain.dat") + " -o " + path("none.dat") +
                              " --ctd " + path("iso.ctd") + " --ctd-time ";
    for (const char* f : {"iso", "date-time"}) {
        r = run(plain + f);
        EXPECT_EQ(r.status, 1) << f;
        EXPECT_NE(r.err.find("The data set has no start time; set it before merging a CTD log "
                             "with clock times.\n"),
                  std::string::npos)
            << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "none.dat"));

    const struct {
        const char* option;
        const char* message;
    } bad[] = {
        {"--ctd-time utc", "--ctd-time is ms, s, epoch, iso or date-time, not 'utc'"},
        {"--ctd-lag 2.5s", "option '--ctd-lag' needs a number, not '2.5s'"},
        {"--ctd-lag 1e6", "--ctd-lag 1e6 is outside -86400 to 86400 s"},
        {"--ctd-max-gap 0", "--ctd-max-gap needs seconds above 0 and up to 86400, not '0'"},
    };
    for (const auto& b : bad) {
        r = run(correct + "-o " + path("bad.dat") + " --ctd " + path("iso.ctd") + " " + b.option);
        EXPECT_EQ(r.status, 2) << b.option;
        EXPECT_NE(r.err.find(b.message), std::string::npos) << r.err;
    }
}

TEST_F(Cli, InfoSummarisesADataFile) {
    write_hyp("cast.dat", true);
    const CliRun r = run("info " + path("cast.dat"));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line :
         {"kind: HYP data file\n", "serial number: 123\n", "channels: 4\n",
          "a wavelengths: 412 to 730 nm\n", "records: 10\n", "time span: 0 to 2250 ms (2.25 s)\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

TEST_F(Cli, CorrectWritesTemperatureCorrectedValues) {
    write_hyp("cast.dat");
    write_ctd("cast.ctd");
    const CliRun r = run("correct " + path("cast.dat") + " -o " + path("out.dat") + " --ctd " +
                         path("cast.ctd") + " --temp-source ctd --apply temp");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = read_lines(dir / "out.dat");
    ASSERT_EQ(lines.size(), 21u + kRecords);
    EXPECT_EQ(lines[20].rfind("Time(ms)\tc412\tc440\tc715\tc730\ta412\t", 0), 0u) << lines[20];
    for (int j = 0; j < kRecords; ++j) {
        const std::vector<double> v = fields_of(lines[21 + j]);
        ASSERT_EQ(v.size(), 1u + 8 + 3) << lines[21 + j];
        // The CTD sample nearest in time (earlier on ties): samples every 500 ms.
        const int k = (250 * j + 249) / 500;
        const double t = 10 + k;
        EXPECT_EQ(v[0], 250 * j);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(v[1 + i], c_value(j, i) - kPsiT[i] * (t - 21.5), 1e-9) << j << " " << i;
            EXPECT_NEAR(v[5 + i], a_value(j, i) - kPsiT[i] * (t - 21.5), 1e-9) << j << " " << i;
        }
        EXPECT_EQ(v[9], t);
        EXPECT_EQ(v[10], 30 + k);
        EXPECT_EQ(v[11], 1.5 * k);
    }
}

TEST_F(Cli, CorrectSeveralFilesReportsEachFailure) {
    write_hyp("good.dat");
    {
        std::ofstream bad(dir / "bad.dat");
        bad << "title\nnot an instrument\n";
    }
    const CliRun r = run("correct " + path("good.dat") + " " + path("bad.dat") + " -d " +
                         path("out") + " --apply temp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              (dir / "bad.dat").string() + ": File does not appear to be an HYP or FLW file.\n");
    std::vector<fs::path> outputs;
    for (const auto& e : fs::directory_iterator(dir / "out"))
        outputs.push_back(e.path().filename());
    ASSERT_EQ(outputs.size(), 1u);
    const std::string name = outputs[0].string();
    // good_corrected_YYYYMMDDhhmmss.dat
    EXPECT_EQ(name.rfind("good_corrected_", 0), 0u) << name;
    EXPECT_EQ(name.size(), std::string("good_corrected_20260101120000.dat").size()) << name;
    EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
    EXPECT_EQ(read_lines(dir / "out" / name).size(), 21u + kRecords);
}

TEST_F(Cli, WaterCalibrationFromRecords) {
    write_hyp("pure.dat");
    const CliRun r =
        run("water " + path("pure.dat") + " --records 0-2 --temp 21.5 -o " + path("pure.wcf"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = read_lines(dir / "pure.wcf");
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[4], "Water Calibration Temperature: 21.5");
    const std::vector<double> v = fields_of(lines[7]);
    ASSERT_EQ(v.size(), 9u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(v[1 + i], c_value(1, i), 1e-12); // the mean of records 0, 1, 2
        EXPECT_NEAR(v[5 + i], a_value(1, i), 1e-12);
    }
    const CliRun info = run("info " + path("pure.wcf"));
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("kind: water calibration file\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("serial number: 123\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("channels: 4\n"), std::string::npos) << info.out;

    // Taken at the factory temperature, the calibration subtracts as it stands: record 1, the
    // mean of the three, becomes zero.
    const CliRun sub = run("correct " + path("pure.dat") + " -o " + path("sub.dat") + " --water " +
                           path("pure.wcf") + " --apply water");
    ASSERT_EQ(sub.status, 0) << sub.err;
    const std::vector<std::string> out = read_lines(dir / "sub.dat");
    ASSERT_EQ(out.size(), 21u + kRecords);
    const std::vector<double> rec1 = fields_of(out[22]);
    for (int i = 1; i <= 8; ++i)
        EXPECT_NEAR(rec1[i], 0.0, 1e-12) << out[22];
}

} // namespace

namespace {

TEST_F(Cli, DevfileMovesOffsetsByTheSelectedMeans) {
    write_hyp("pure.dat");
    const CliRun r = run("devfile " + path("pure.dat") + " --records 2,0-1 -o " + path("new.dev"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = read_lines(dir / "new.dev");
    ASSERT_EQ(lines.size(), 10u + 4 + 1);
    EXPECT_EQ(lines[0], "HYPS test instrument");
    for (int i = 0; i < 4; ++i) {
        const std::string wl = text::format_g(kWl[i], 6);
        EXPECT_EQ(lines[10 + i], "C" + wl + "\tA" + wl + "\t0\t" +
                                     text::format_g(0.1 - c_value(1, i), 6) + "\t" +
                                     text::format_g(0.2 - a_value(1, i), 6) + "\t\t0\t0\t0\t0");
    }
    EXPECT_EQ(lines[14], "0\t; end of channels");
}

} // namespace

namespace {

TEST_F(Cli, FilesAreByteIdenticalUnderADecimalCommaLocale) {
    fs::create_directory(dir / "locale");
    const CommaLocaleName comma = find_comma_locale((dir / "locale").string());
    if (comma.name.empty())
        GTEST_SKIP() << "no decimal-comma locale could be installed or generated";
    write_hyp("cast.dat");
    write_ctd("cast.ctd");
    const std::string dev = std::string(VELMORA_DATA_DIR) + "/sample_flw.dev";
    const std::vector<std::string> outputs = {"corr.dat", "pure.wcf", "new.dev", "cap.bin",
                                              "replayed.dat"};
    for (const std::string& env : {std::string("LC_ALL=C"), comma.shell_env()}) {
        SCOPED_TRACE(env);
        const std::string tag = env == "LC_ALL=C" ? "c_" : "comma_";
        auto out = [&](const std::string& name) { return path(tag + name); };
        for (const std::string& args :
             {"correct " + path("cast.dat") + " -o " + out("corr.dat") + " --ctd " +
                  path("cast.ctd") + " --temp-source ctd --saln-source ctd --apply " +
                  "temp,saln,scat --scat-method baseline --chl",
              "water " + path("cast.dat") + " --records 0-2 --temp 21.25 -o " + out("pure.wcf"),
              "devfile " + path("cast.dat") + " --records 1 -o " + out("new.dev"),
              "simulate --model flw --dev '" + dev + "' --records 30 -o " + out("cap.bin"),
              "replay --dev '" + dev + "' " + out("cap.bin") + " -o " + out("replayed.dat")}) {
            const CliRun r = run_env(env, args);
            ASSERT_EQ(r.status, 0) << args << "\n" << r.err;
        }
    }
    // Files say when they were made: the clock time may differ between the two runs, not its
    // format.
    auto same_clock = [](const std::string& s) {
        return std::regex_replace(s, std::regex("[0-9][0-9]:[0-9][0-9]:[0-9][0-9]"), "hh:mm:ss");
    };
    for (const std::string& name : outputs) {
        const std::string c = read_all(dir / ("c_" + name));
        EXPECT_FALSE(c.empty()) << name;
        EXPECT_EQ(same_clock(read_all(dir / ("comma_" + name))), same_clock(c)) << name;
    }
    // The comma locale was in force: the summary's numbers are the same too.
    const CliRun info_c = run_env("LC_ALL=C", "info " + path("c_corr.dat"));
    const CliRun info_comma = run_env(comma.shell_env(), "info " + path("c_corr.dat"));
    EXPECT_EQ(info_comma.out, info_c.out);
}

TEST_F(Cli, FileNamesAreNeitherFormatsNorShellText) {
    // Spaces, quotes, printf conversions, shell substitutions and bytes that are not UTF-8.
    const std::string odd = "cast %n%s%x $(touch pwned) `touch pwned2`; 'q' \"d\" \xff\xfe";
    write_hyp(odd + ".dat");
    write_ctd(odd + ".ctd");
    const std::string in = (dir / (odd + ".dat")).string();
    const std::string out = (dir / (odd + " out.dat")).string();
    CliRun r = run_argv({"correct", in, "-o", out, "--ctd", (dir / (odd + ".ctd")).string(),
                         "--temp-source", "ctd", "--apply", "temp"});
    ASSERT_EQ(r.status, 0) << r.err;
    HYP_Data back;
    back.load_file(out, false);
    EXPECT_EQ(back.records.size(), static_cast<std::size_t>(kRecords));

    r = run_argv({"info", in});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run_argv({"water", in, "--records", "0", "--temp", "20", "-o", out + ".wcf"});
    EXPECT_EQ(r.status, 0) << r.err;

    // Several files into a folder: a failure names its file as it is.
    const std::string missing = (dir / (odd + " missing.dat")).string();
    fs::create_directory(dir / (odd + " folder"));
    r = run_argv(
        {"correct", missing, in, "-d", (dir / (odd + " folder")).string(), "--apply", "temp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, missing + ": Unable to open file. (" + sys_reason(ENOENT) + ")\n");
    EXPECT_EQ(
        std::distance(fs::directory_iterator(dir / (odd + " folder")), fs::directory_iterator()),
        1);

    EXPECT_FALSE(fs::exists("pwned"));
    EXPECT_FALSE(fs::exists("pwned2"));
    EXPECT_FALSE(fs::exists(dir / "pwned"));
}

} // namespace

namespace {

// A pseudo-terminal standing in for a serial port: what the test writes to its master reaches
// the program that opened the slave, and nothing arrives when the test writes nothing.
class FakePort {
  public:
    FakePort() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            slave_ = ::ptsname(master_);
    }
    ~FakePort() {
        stop_ = true;
        if (writer_.joinable())
            writer_.join();
        if (master_ >= 0)
            ::close(master_);
    }
    const std::string& slave() const { return slave_; }

    // Sends `bytes` over and over, about 25 kB/s, until the port is destroyed.
    void stream(std::string bytes) {
        writer_ = std::thread([this, bytes = std::move(bytes)] {
            std::size_t at = 0;
            while (!stop_) {
                const std::size_t n = std::min<std::size_t>(512, bytes.size() - at);
                const ssize_t put = ::write(master_, bytes.data() + at, n);
                if (put > 0)
                    at = (at + static_cast<std::size_t>(put)) % bytes.size();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }

  private:
    int master_ = -1;
    std::string slave_;
    std::thread writer_;
    std::atomic<bool> stop_{false};
};

TEST_F(Cli, AcquireChecksItsFilesBeforeItStarts) {
    const std::string dev = std::string(VELMORA_DATA_DIR) + "/sample_hyp.dev";
    const std::string acquire = "acquire --dev '" + dev + "' --port 91 ";
    struct Case {
        std::string args, err;
    };
    const Case cases[] = {
        {acquire + "-o /proc/acq.dat", "/proc/acq.dat: Unable to open file for saving. ("},
        {acquire + "-o " + path("cast.dat") + " --raw " + path("no folder/cast.bin"),
         (dir / "no folder/cast.bin").string() + ": Unable to open file for saving. (" +
             sys_reason(ENOENT) + ")\n"},
        {acquire + "-o " + path("."), (dir / ".").string() + ": is a folder, not a file.\n"},
        {"acquire --dev " + path("missing.dev") + " --port 91 -o " + path("cast.dat"),
         (dir / "missing.dev").string() + ": Unable to open file. (" + sys_reason(ENOENT) + ")\n"},
        {"acquire --dev " + path("notes.dev") + " --port 91 -o " + path("cast.dat"),
         (dir / "notes.dev").string() + ": This file does not seem to be an FLW or HYP devfile."},
    };
    {
        std::ofstream notes(dir / "notes.dev");
        notes << "not a device file\n";
    }
    for (const Case& c : cases) {
        // No port 91 exists: the files are refused before the port would be opened.
        const CliRun r = run_env("VELMORA_COM91=" + path("no port"), c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << c.args << "\n" << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "cast.dat"));
}

TEST_F(Cli, AcquireGivesUpAfterItsTimeOut) {
    struct Case {
        const char* dev; // against a HYP instrument's stream
        bool send;       // whether the instrument sends at all
        const char* err;
    };
    const Case cases[] = {
        {"sample_hyp.dev", false, "velmora-cli acquire: no data from port 92 within 1.5 s.\n"},
        {"sample_flw.dev", true, "no record matched the device file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dev);
        FakePort port;
        ASSERT_FALSE(port.slave().empty());
        if (c.send)
            port.stream(read_all(std::string(VELMORA_DATA_DIR) + "/sample_hyp.bin"));
        const std::string dev = std::string(VELMORA_DATA_DIR) + "/" + c.dev;
        const auto started = std::chrono::steady_clock::now();
        const CliRun r =
            run_env("VELMORA_COM92='" + port.slave() + "'",
                    "acquire --dev '" + dev + "' --port 92 --timeout 1.5 --seconds 8 -o " +
                        path("cast.dat") + " --raw " + path("cast.bin"));
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        // Nobody is asked whether to go on waiting, and the time-out, not --seconds, ends it.
        EXPECT_EQ(r.err.find("?"), std::string::npos) << r.err;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(6));
        EXPECT_FALSE(fs::exists(dir / "cast.dat")); // nothing was written into it
    }
}

// The last record of a capture is decoded: N simulated records replay and summarise as N, and a
// capture of a single record is one record, not "Unable to read binary file".
TEST_F(Cli, ReplayAndInfoDecodeTheLastRecordOfACapture) {
    struct Case {
        const char* model;
        int records;
        int spectra; // per instrument record
    } cases[] = {{"hyp", 7, 1}, {"hyp", 1, 1}, {"flw", 3, 10}, {"flw", 1, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + std::to_string(c.records));
        const std::string dev = std::string(VELMORA_DATA_DIR) + "/sample_" + c.model + ".dev";
        const std::string bin = (dir / "cap.bin").string(), out = (dir / "cap.dat").string();
        ASSERT_EQ(run("simulate --model " + std::string(c.model) + " --dev " + dev + " --records " +
                      std::to_string(c.records) + " -o " + bin)
                      .status,
                  0);
        const int want = c.records * c.spectra;
        const CliRun replayed = run("replay --dev " + dev + " " + bin + " -o " + out);
        ASSERT_EQ(replayed.status, 0) << replayed.err;
        EXPECT_NE(replayed.err.find(std::to_string(want) + " records decoded, 0 records lost"),
                  std::string::npos)
            << replayed.err;
        HYP_Data back;
        back.load_file(out, false);
        EXPECT_EQ(back.records.size(), static_cast<std::size_t>(want));
        const CliRun info = run("info --dev " + dev + " " + bin);
        ASSERT_EQ(info.status, 0) << info.err;
        EXPECT_NE(info.out.find("records: " + std::to_string(want) + "\n"), std::string::npos)
            << info.out;
    }
}

} // namespace
