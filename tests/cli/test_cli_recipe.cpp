// velmora-cli correct with processing recipes, the processing steps beyond the corrections
// (grid, residual temperature, QC, bins), and the faults it must refuse.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct CliResult {
    int status = -1;
    std::string err;
};

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_all(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

// The corrected file without its clock line, which differs between two runs.
std::string without_clock(const fs::path& p) {
    std::istringstream in(read_all(p));
    std::string out;
    for (std::string line; std::getline(in, line);)
        if (line.find("created on") == std::string::npos)
            out += line + "\n";
    return out;
}

std::vector<std::string> lines_of(const fs::path& p) {
    std::istringstream in(read_all(p));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class CliRecipe : public ::testing::Test {
  protected:
    fs::path dir;
    const std::string hyp = std::string(VELMORA_DATA_DIR) + "/sample_hyp.dat";
    const std::string ctd = std::string(VELMORA_DATA_DIR) + "/sample_ctd.txt";

    void SetUp() override {
        char tmpl[] = "/tmp/velmora_recipe_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path path(const std::string& name) const { return dir / name; }

    // The sample corrected with the residual temperature correction on the a wavelengths (built
    // by appending: GCC 12 warns wrongly on "'" + std::string).
    std::string residual() const {
        return std::string("'")
            .append(hyp)
            .append("' --ctd '")
            .append(ctd)
            .append("' --temp-source ctd --saln-source ctd --apply temp,saln,scat --grid a "
                    "--scat-method residual-temp ");
    }

    CliResult cli(const std::string& args) const {
        const fs::path err = dir / "stderr.txt";
        const std::string cmd =
            std::string("'") + VELMORA_CLI + "' " + args + " > /dev/null 2> '" + err.string() + "'";
        const int raw = std::system(cmd.c_str());
        CliResult r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.err = read_all(err);
        return r;
    }
};

TEST_F(CliRecipe, SavedRecipeGivesTheSameFileAsItsOptions) {
    const std::string options = "--ctd '" + ctd +
                                "' --temp-source ctd --saln-source ctd --apply temp,saln,scat "
                                "--scat-method baseline --scat-ref 700 --scat-no-negative --chl";
    ASSERT_EQ(cli("correct '" + hyp + "' " + options + " --save-recipe '" +
                  path("r.json").string() + "' -o '" + path("a.txt").string() + "'")
                  .status,
              0);
    const CliResult again = cli("correct '" + hyp + "' --recipe '" + path("r.json").string() +
                                "' -o '" + path("b.txt").string() + "'");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(without_clock(path("b.txt")), without_clock(path("a.txt")));
    EXPECT_NE(read_all(path("r.json")).find("\"method\": \"baseline\""), std::string::npos);

    // Without DATA, --save-recipe only writes the recipe.
    ASSERT_EQ(cli("correct --recipe '" + path("r.json").string() + "' --save-recipe '" +
                  path("copy.json").string() + "'")
                  .status,
              0);
    EXPECT_EQ(read_all(path("copy.json")), read_all(path("r.json")));
}

TEST_F(CliRecipe, CommandLineOverridesTheRecipe) {
    write_all(path("r.json"), R"({"scattering": {"apply": true, "method": "baseline"},
                                  "temperature": {"apply": true, "constant": 12.5}})");
    ASSERT_EQ(cli("correct '" + hyp + "' --recipe '" + path("r.json").string() +
                  "' --scat-method fraction --temp 30 -o '" + path("c.txt").string() + "'")
                  .status,
              0);
    const std::vector<std::string> lines = lines_of(path("c.txt"));
    ASSERT_GT(lines.size(), 16u);
    EXPECT_EQ(lines[10], "Using constant temperature 30.0 degrees.");
    EXPECT_EQ(lines[12], "Temperature correction applied.");
    EXPECT_EQ(lines[15], "Scattering correction by a fixed fraction of b (14 %) applied.");

    // --apply names every correction that applies: the recipe's others are off.
    ASSERT_EQ(cli("correct '" + hyp + "' --recipe '" + path("r.json").string() +
                  "' --apply temp -o '" + path("d.txt").string() + "'")
                  .status,
              0);
    EXPECT_EQ(lines_of(path("d.txt")).at(15), "");
}

TEST_F(CliRecipe, UnusableRecipesAreUsageErrors) {
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {R"({"scattering": {"methd": "baseline"}})", "Unknown recipe key: scattering.methd"},
        {R"({"colour": "blue"})", "Unknown recipe key: colour"},
        {R"({"temperature": {"constant": 99}})",
         "Recipe key temperature.constant 99 is outside -2 to 40 degrees C"},
        {"not json", "The recipe is not valid JSON"},
    };
    for (const Case& c : cases) {
        write_all(path("bad.json"), c.json);
        const CliResult r = cli("correct '" + hyp + "' --recipe '" + path("bad.json").string() +
                                "' -o '" + path("x.txt").string() + "'");
        EXPECT_EQ(r.status, 2) << c.json;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(path("x.txt")));
    }
    const CliResult missing = cli("correct '" + hyp + "' --recipe '" + path("none.json").string() +
                                  "' -o '" + path("x.txt").string() + "'");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.json"), std::string::npos) << missing.err;
}

// A data file without onboard temperature refuses that source instead of correcting with 0 C.
TEST_F(CliRecipe, OnboardSourceWithoutOnboardTemperatureIsRefused) {
    // The sample with only time, c and a values on its data lines (85 channels).
    std::istringstream in(read_all(hyp));
    std::string stripped, line;
    bool data = false;
    while (std::getline(in, line)) {
        if (data) {
            std::istringstream fields(line);
            std::string f, kept;
            for (int k = 0; k < 1 + 2 * 85 && fields >> f; ++k)
                kept += f + "\t";
            line = kept;
        }
        data = data || line.rfind("Time(ms)", 0) == 0;
        stripped += line + "\n";
    }
    write_all(path("plain.dat"), stripped);
    const CliResult r =
        cli("correct '" + path("plain.dat").string() + "' --temp-source onboard --apply temp -o '" +
            path("o.txt").string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("This data file holds no onboard temperature."), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(path("o.txt")));
    // The sample itself holds the instrument's temperature.
    EXPECT_EQ(cli("correct '" + hyp + "' --temp-source onboard --apply temp -o '" +
                  path("s.txt").string() + "'")
                  .status,
              0);
}

TEST_F(CliRecipe, CorrectedFilesAreNotCorrectedAgain) {
    ASSERT_EQ(cli("correct '" + hyp + "' --apply temp -o '" + path("c.txt").string() + "'").status,
              0);
    const CliResult r = cli("correct '" + path("c.txt").string() + "' --apply temp -o '" +
                            path("cc.txt").string() + "'");
    EXPECT_EQ(r.status, 1);
    // Said about the corrected file given, not about the output.
    EXPECT_EQ(r.err, path("c.txt").string() +
                         ": This file is already corrected; correct the instrument data file "
                         "instead.\n");
    EXPECT_FALSE(fs::exists(path("cc.txt")));
}

// A water file written by the program is read back by it, with the instrument's serial number.
TEST_F(CliRecipe, WaterFileWrittenFromTheSampleIsUsed) {
    ASSERT_EQ(
        cli("water '" + hyp + "' --records 2-10 --temp 21.3 -o '" + path("bath.wcf").string() + "'")
            .status,
        0);
    EXPECT_EQ(lines_of(path("bath.wcf")).at(3), "Serial Number: 66");
    const CliResult r = cli("correct '" + hyp + "' --water '" + path("bath.wcf").string() +
                            "' --apply water -o '" + path("w.txt").string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines_of(path("w.txt")).at(14), "Water file subtraction applied.");
}

TEST_F(CliRecipe, ResidualTemperatureQcAndTimeBinsOnTheSample) {
    const fs::path out = path("cast_corrected.txt");
    const CliResult r =
        cli("correct " + residual() + "--qc --bin time:60 -o '" + out.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = lines_of(out);
    ASSERT_GE(lines.size(), 22u);
    EXPECT_EQ(lines[6], "Processing: c onto a wavelengths; residual temperature and scattering "
                        "correction, reference 730 nm, window 700-750 nm; QC flags; 60 s time "
                        "bins, median, at least 3 values.");
    EXPECT_EQ(lines[7].rfind("Recipe: {\"velmora_recipe\":1,", 0), 0u) << lines[7];
    EXPECT_EQ(lines[15],
              "Residual temperature and scattering correction (Slade et al. 2010) applied at "
              "730.0 nm");
    const std::string& labels = lines[20];
    const std::string tail = "a744.4\ttemp\tsaln\tpres\tdT\tn\tflag\t";
    ASSERT_GE(labels.size(), tail.size());
    EXPECT_EQ(labels.substr(labels.size() - tail.size()), tail) << labels;
    // The bins' flags, standard deviations and counts beside it, laid out like the values.
    for (const char* name :
         {"cast_corrected_flags.txt", "cast_corrected_sd.txt", "cast_corrected_n.txt"}) {
        const std::vector<std::string> side = lines_of(path(name));
        ASSERT_EQ(side.size(), lines.size()) << name;
        EXPECT_EQ(side[6], lines[6]);
        EXPECT_EQ(side[20].rfind("Time(ms)\tc", 0), 0u);
    }
}

TEST_F(CliRecipe, QcWithoutBinsWritesTheFlagsFile) {
    const fs::path out = path("cast.txt");
    ASSERT_EQ(cli("correct " + residual() + "--qc -o '" + out.string() + "'").status, 0);
    const std::vector<std::string> values = lines_of(out);
    const std::vector<std::string> flags = lines_of(path("cast_flags.txt"));
    ASSERT_EQ(flags.size(), values.size());
    // One integer flag per value column: 1, 2, 3, 4 or 9.
    std::istringstream row(flags[21]);
    std::string field;
    std::getline(row, field, '\t'); // time
    int columns = 0;
    while (std::getline(row, field, '\t')) {
        EXPECT_TRUE(field == "1" || field == "2" || field == "3" || field == "4" || field == "9")
            << field;
        ++columns;
    }
    std::istringstream labels(flags[20]);
    int labelled = -1; // the time column
    while (std::getline(labels, field, '\t'))
        ++labelled;
    EXPECT_EQ(columns, labelled);
}

TEST_F(CliRecipe, BadValuesAreRefusedBeforeAnythingIsRead) {
    struct Case {
        std::string args;
        std::string message;
    };
    const std::string missing = std::string("'").append(path("none.dat").string()).append("' ");
    const Case cases[] = {
        {"--bin time:0", "--bin time:0: the bin width must be positive."},
        {"--bin depth:2:sideways --ctd x", "--bin depth:2:sideways: the cast direction is down, up "
                                           "or both."},
        {"--bin week:1", "--bin week:1: give time:SECONDS or depth:METRES[:down|up|both]."},
        {"--grid 750:400:2", "--grid 750:400:2: STOP must not be below START."},
        {"--grid 400:750:0", "--grid 400:750:0: the step must be positive."},
        {"--rt-window 750:700", "--rt-window 750:700: LO must be below HI."},
        {"--qc-set spike=1", "--qc-set spike=1: unknown threshold 'spike'; see --help."},
        {"--format text,pdf", "--format text,pdf: the formats are text, netcdf and seabass."},
        {"--bin-stat mode", "--bin-stat mode: give median or mean."},
        {"--apply scat --scat-method residual-temp",
         "The residual temperature correction needs a common wavelength grid (--grid a)."},
    };
    for (const Case& c : cases) {
        const CliResult r =
            cli("correct " + missing + c.args + " -o '" + path("out.txt").string() + "'");
        EXPECT_EQ(r.status, 2) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists(path("out.txt")));
}

TEST_F(CliRecipe, ResidualWindowWithoutChannelsIsRefused) {
    const CliResult r = cli("correct " + residual() + "--rt-window 800:850 --rt-ref 820 -o '" +
                            path("out.txt").string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The residual temperature correction needs at least 3 channels between "
                         "800 and 850 nm."),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(path("out.txt")));
}

} // namespace

namespace {

std::string text_of(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const char* const kAllMetadata =
    "--meta investigators=A --meta affiliations=B --meta contact=c@d.org --meta experiment=E "
    "--meta cruise=C --meta station=S --meta documents=R --meta data_status=preliminary "
    "--meta calibration_files=sample_hyp.dev --meta north_latitude=54.2 --meta "
    "south_latitude=54.1 --meta east_longitude=7.9 --meta west_longitude=7.8 ";

} // namespace

// A run whose last file cannot be written leaves the earlier files of those names as they were.
TEST_F(CliRecipe, FailedRunPutsBackTheFilesItReplaced) {
    std::ofstream(path("x.txt")) << "earlier text\n";
    std::ofstream(path("x.nc")) << "earlier netcdf\n";
    fs::create_directory(path("x.sb")); // no file can take its place
    const CliResult r = cli("correct " + residual() + "--qc --format text,netcdf,seabass " +
                            kAllMetadata + "-o '" + path("x.txt").string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind(path("x.sb").string() + ": ", 0), 0u) << r.err;
    EXPECT_EQ(text_of(path("x.txt")), "earlier text\n");
    EXPECT_EQ(text_of(path("x.nc")), "earlier netcdf\n");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind("x", 0) == 0)
            left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"x.nc", "x.sb", "x.txt"}));

    // Once it can be written, every file of the run replaces its earlier one.
    fs::remove(path("x.sb"));
    ASSERT_EQ(cli("correct " + residual() + "--qc --format text,netcdf,seabass " + kAllMetadata +
                  "-o '" + path("x.txt").string() + "'")
                  .status,
              0);
    EXPECT_EQ(text_of(path("x.txt")).rfind("Output of hyp/flw data", 0), 0u);
    EXPECT_TRUE(fs::exists(path("x_flags.txt")));
    EXPECT_FALSE(fs::exists(path("x.nc.velmora-old")));
}

TEST_F(CliRecipe, TextFileNamedLikeItsSiblingIsRefused) {
    struct Case {
        const char* formats;
        const char* out;
        const char* says;
    };
    for (const Case& c : {Case{"text,netcdf", "same.nc", "the NetCDF file would overwrite"},
                          Case{"text,seabass", "same.sb", "the SeaBASS file would overwrite"}}) {
        const CliResult r = cli("correct '" + hyp + "' --format " + c.formats + " " + kAllMetadata +
                                "-o '" + path(c.out).string() + "'");
        EXPECT_EQ(r.status, 2) << c.out;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(path(c.out)));
    }
}

TEST_F(CliRecipe, InconsistentThresholdsAreRefused) {
    for (const char* set : {"range_min=20", "spike_suspect=0.1", "window_lo=800"}) {
        const CliResult r = cli("correct '" + hyp + "' --qc --qc-set " + set + " -o '" +
                                path("q.txt").string() + "'");
        EXPECT_EQ(r.status, 2) << set;
        EXPECT_EQ(r.err.find("--qc-set: "), r.err.find("--qc-set")) << r.err;
    }
    const CliResult r =
        cli("correct '" + hyp + "' --qc --qc-set range_min=20 -o '" + path("q.txt").string() + "'");
    EXPECT_NE(r.err.find("range_min 20 must be below range_max 15"), std::string::npos) << r.err;
}
