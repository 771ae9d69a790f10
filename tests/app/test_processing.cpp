// The post-processing panel's Processing and Output groups driven with scripted answers: the
// panel as one set of processing options, the residual temperature item, the products the views
// show, recipes (and the same files from velmora-cli with the app's recipe), the SeaBASS
// metadata, and a cancelled save.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app_fakes.h"
#include "post_process_controller.h"
#include "processing_controller.h"
#include "products.h"

namespace {

namespace fs = std::filesystem;

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The files of a folder but the settings.
std::vector<std::string> files_in(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path))
        if (e.path().filename() != "settings.json")
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const std::string kData = VELMORA_DATA_DIR;

// The SeaBASS keywords of the sample cast that only a user can give.
std::map<std::string, std::string> sample_metadata() {
    return {{"investigators", "Ada Lovelace"},
            {"affiliations", "Velmora"},
            {"contact", "ada@example.org"},
            {"experiment", "SAMPLE"},
            {"cruise", "SAMPLE2024"},
            {"station", "ST1"},
            {"documents", "README.md"},
            {"data_status", "preliminary"},
            {"calibration_files", "sample_hyp.dev"}};
}

struct Processing : ::testing::Test {
    TempDir dir;
    Workspace ws;
    ScriptedDialogs dialogs;
    RecordingViews views;
    FakeClock clock;
    AppContext ctx{ws, dialogs, views, clock};
    PostProcessController pp{ctx};
    ProcessingController pc{ctx, pp};

    Processing() {
        ws.reg = VelmoraSettings(dir.file("settings.json"));
        ws.window.tab_index = 1;
    }
    // The sample cast (85 channels from 400 to 750 nm, with its start time on line 1).
    void load_sample() {
        ASSERT_TRUE(pp.LoadDataFile(kData + "/sample_hyp.dat"));
        ASSERT_TRUE(ws.data->start_utc.has_value());
    }
    // The sample cast's CTD log with UTC ISO times, through the column dialog.
    void merge_iso_ctd() {
        dialogs.ctd_columns_answer = CtdColumns{1, 2, 3, 5, CtdTimeFormat::Iso, 0.0};
        ASSERT_TRUE(pp.LoadCtdFile(kData + "/sample_ctd_iso.txt"))
            << (dialogs.messages.empty() ? "" : dialogs.messages.back().text);
    }
    std::string last_message() const {
        return dialogs.messages.empty() ? "" : dialogs.messages.back().text;
    }
};

TEST_F(Processing, BothTabsAndTheRecipeStartFromTheSameDefaults) {
    const ProcessingOptions defaults;
    EXPECT_EQ(ws.post.E_Saln, ws.preview.E_Saln);
    EXPECT_EQ(ws.post.E_Temp, ws.preview.E_Temp);
    EXPECT_EQ(ws.post.PD_ScatType, ws.preview.PD_ScatType);
    EXPECT_EQ(ws.post.E_ScatWL, ws.preview.E_ScatWL);
    // Nothing loaded: the panel's options are the processing options' defaults.
    ProcessingOptions o = pc.PanelOptions();
    EXPECT_EQ(o.salinity, defaults.salinity);
    EXPECT_EQ(o.temperature, defaults.temperature);
    EXPECT_EQ(o.scattering, defaults.scattering);
    EXPECT_EQ(o.grid, defaults.grid);
    EXPECT_EQ(o.qc, defaults.qc);
    EXPECT_EQ(o.binning, defaults.binning);
    EXPECT_EQ(o.output, defaults.output);
}

TEST_F(Processing, ResidualTemperatureItemFollowsTheGrid) {
    load_sample();
    pc.Changed();
    EXPECT_FALSE(ws.processing.residual_allowed);
    EXPECT_EQ(ws.processing.residual_reason,
              "The residual temperature correction needs a common wavelength grid (--grid a).");

    ws.processing.grid.kind = GridKind::OntoA;
    pc.Changed();
    EXPECT_TRUE(ws.processing.residual_allowed);
    EXPECT_EQ(ws.processing.residual_reason, "");
    ws.post.PD_ScatType = kResidualListIndex;
    EXPECT_EQ(pc.PanelOptions().scattering.method, ScatMethod::ResidualTemp);

    // A regular grid that stops short of the window takes the list back to its first method.
    ws.processing.grid = {GridKind::Regular, 400, 600, 5};
    pc.Changed();
    EXPECT_FALSE(ws.processing.residual_allowed);
    EXPECT_EQ(ws.processing.residual_reason,
              "The residual temperature correction needs at least 3 channels between 700 and "
              "750 nm.");
    EXPECT_EQ(ws.post.PD_ScatType, 0);
}

TEST_F(Processing, ReprocessMakesTheProductsTheViewsShow) {
    load_sample();
    pc.Reprocess(); // no step chosen: nothing to make
    EXPECT_EQ(ws.data->record_products, nullptr);

    ws.processing.qc.apply = true;
    ws.processing.binning = {BinKind::Time, 60.0};
    views.calls.clear();
    pc.Reprocess();
    ASSERT_NE(ws.data->record_products, nullptr);
    const ProductTable& t = *ws.data->record_products;
    EXPECT_EQ(t.rows(), ws.data->records.size());
    EXPECT_TRUE(t.has_qc());
    ASSERT_NE(ws.data->binned_products, nullptr);
    // 200 records at 4 Hz from 12:00:30.250 UTC fall into two whole UTC minutes.
    EXPECT_EQ(ws.data->binned_products->rows(), 2u);
    EXPECT_EQ(views.calls, std::vector<std::string>{"Refresh"});

    // Depth bins need a CTD log: the reason is shown, and the views show the corrections only.
    ws.processing.binning = {BinKind::Depth, 1.0};
    pc.Reprocess();
    EXPECT_EQ(ws.data->record_products, nullptr);
    EXPECT_EQ(ws.data->binned_products, nullptr);
    EXPECT_FALSE(ws.processing.note.empty());
    EXPECT_EQ(ws.window.status, ws.processing.note);
    EXPECT_TRUE(dialogs.messages.empty());

    ws.processing.binning = {};
    ws.processing.qc.apply = false;
    pc.Reprocess();
    EXPECT_TRUE(ws.processing.note.empty());
}

TEST_F(Processing, ThresholdsDialogSetsTheQcOptions) {
    load_sample();
    ws.processing.qc.apply = true;
    ProcessingOptions::Qc changed = ws.processing.qc;
    changed.spike_fail = 0.5;
    dialogs.qc_answers.push_back(std::nullopt); // Cancel
    dialogs.qc_answers.push_back(changed);
    pc.EditThresholds();
    EXPECT_EQ(ws.processing.qc.spike_fail, ProcessingOptions{}.qc.spike_fail);
    pc.EditThresholds();
    EXPECT_EQ(pc.PanelOptions().qc, changed);
    EXPECT_NE(ws.data->record_products, nullptr);
}

// A recipe saved in the app and given to velmora-cli gives the app's files byte for byte.
TEST_F(Processing, RecipeFromTheAppGivesTheCliTheSameFiles) {
    load_sample();
    merge_iso_ctd();
    ASSERT_TRUE(pp.LoadGpsFile(kData + "/sample_gps.nmea"));
    ws.post.CB_ScatCorr = true;
    pp.ApplyCorrectionOptions();
    ws.processing.grid.kind = GridKind::OntoA;
    pc.Changed();
    ws.post.PD_ScatType = kResidualListIndex;
    ws.processing.qc.apply = true;
    ws.processing.binning = {BinKind::Time, 30.0};
    ws.processing.out_seabass = true;
    ws.processing.metadata = sample_metadata();

    fs::create_directories(dir.path / "app");
    fs::create_directories(dir.path / "cli");
    const std::string app_out = dir.file("app/cast.dat");
    dialogs.save_answers.push_back(app_out);
    pc.Save();
    ASSERT_TRUE(dialogs.messages.empty()) << last_message();
    EXPECT_TRUE(dialogs.metadata_asks.empty());
    EXPECT_NE(ws.window.status.find("cast.sb ("), std::string::npos) << ws.window.status;
    ASSERT_TRUE(pc.SaveRecipeFile(dir.file("recipe.json")));

    const std::string cli_out = dir.file("cli/cast.dat");
    const std::string cmd = std::string("'") + VELMORA_CLI + "' correct '" + kData +
                            "/sample_hyp.dat' --recipe '" + dir.file("recipe.json") + "' -o '" +
                            cli_out + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const std::vector<std::string> written = {"cast.dat", "cast_sd.dat", "cast_n.dat", "cast.sb"};
    for (const std::string& name : written) {
        const std::string a = read_all(dir.file("app/" + name));
        ASSERT_FALSE(a.empty()) << name;
        EXPECT_EQ(a, read_all(dir.file("cli/" + name))) << name;
    }
    EXPECT_NE(read_all(app_out).find("Processing: c onto a wavelengths; residual temperature"),
              std::string::npos);
}

// The time-shift tool's estimate is offered by the column dialog until a new data set comes.
TEST_F(Processing, CtdDialogOffersTheTimeShiftEstimate) {
    load_sample();
    ws.ctd_lag_estimate_s = -0.8;
    merge_iso_ctd();
    ASSERT_EQ(dialogs.ctd_shown.size(), 1u);
    EXPECT_EQ(dialogs.ctd_shown[0].lag_estimate_s, -0.8);
    load_sample();
    EXPECT_FALSE(ws.ctd_lag_estimate_s);
}

TEST_F(Processing, OpenRecipeLoadsTheFilesItNames) {
    load_sample();
    ProcessingOptions o;
    o.ctd.file = kData + "/sample_ctd_iso.txt";
    o.ctd.time_format = CtdTimeFormat::Iso;
    o.gps.file = dir.file("gone.nmea");
    o.temperature = {TempSource::CTD, 21.0, true};
    o.qc.apply = true;
    o.save_recipe(dir.file("r.json"));

    ASSERT_TRUE(pc.OpenRecipeFile(dir.file("r.json")));
    EXPECT_TRUE(ws.data->ctd_merged);
    EXPECT_EQ(ws.post.E_CTDFile, o.ctd.file);
    EXPECT_EQ(ws.post.PD_Temp, 1);
    EXPECT_TRUE(ws.data->do_temp);
    EXPECT_EQ(ws.data->temp_source, TempSource::CTD);
    EXPECT_FALSE(ws.data->gps_merged);
    EXPECT_EQ(ws.window.status,
              "The recipe names GPS file " + o.gps.file + ", which could not be loaded.");
    EXPECT_NE(ws.data->record_products, nullptr);
    // The panel gives the recipe back (the GPS log was not merged).
    o.gps.file.clear();
    ProcessingOptions back = pc.PanelOptions();
    EXPECT_EQ(back.ctd, o.ctd);
    EXPECT_EQ(back.temperature, o.temperature);
    EXPECT_EQ(back.qc, o.qc);

    write_text(dir.file("bad.json"), "{\"qc\": {\"spike\": 1}}");
    EXPECT_FALSE(pc.OpenRecipeFile(dir.file("bad.json")));
    EXPECT_EQ(dialogs.messages.back().caption, "Error opening recipe");
}

TEST_F(Processing, SeabassAsksForMissingMetadataAndRemembersIt) {
    load_sample();
    ws.processing.out_text = false;
    ws.processing.out_seabass = true;
    const std::string out = dir.file("cast.dat");

    dialogs.save_answers.push_back(out);
    dialogs.metadata_answers.push_back(std::nullopt); // Cancel: nothing is written
    pc.Save();
    ASSERT_EQ(dialogs.metadata_asks.size(), 1u);
    const auto& ask = dialogs.metadata_asks[0];
    EXPECT_EQ(ask.keywords, metadata_keywords());
    EXPECT_EQ(ask.missing.front(), "investigators");
    // Prefilled from the data: the data type (no CTD, no depth) and NA depths.
    EXPECT_EQ(ask.values.at("data_type"), "flow_thru");
    EXPECT_EQ(ask.values.at("water_depth"), "NA");
    EXPECT_TRUE(files_in(dir).empty());

    std::map<std::string, std::string> given = sample_metadata();
    given.insert({{"north_latitude", "54.2"},
                  {"south_latitude", "54.1"},
                  {"east_longitude", "7.9"},
                  {"west_longitude", "7.8"}});
    dialogs.save_answers.push_back(out);
    dialogs.metadata_answers.push_back(given);
    pc.Save();
    ASSERT_TRUE(dialogs.messages.empty()) << last_message();
    EXPECT_TRUE(fs::exists(dir.file("cast.sb")));
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(ws.window.status.rfind("Wrote " + dir.file("cast.sb") + " (", 0), 0u);

    // Remembered in the settings without what the data gave.
    VelmoraSettings again(dir.file("settings.json"));
    again.Load();
    const auto kept = metadata_from_text(again.seabass_metadata);
    EXPECT_EQ(kept, given);

    // The next save asks nothing.
    dialogs.save_answers.push_back(dir.file("cast2.dat"));
    pc.Save();
    EXPECT_EQ(dialogs.metadata_asks.size(), 2u);
    EXPECT_TRUE(fs::exists(dir.file("cast2.sb")));
}

TEST_F(Processing, CancelledSaveLeavesNoFile) {
    load_sample();
    ws.processing.qc.apply = true;
    ws.processing.out_netcdf = true;
    // The user presses Cancel as soon as the job runs.
    ws.job_runner = [this](const std::string&, const std::function<void()>& job) {
        EXPECT_TRUE(ws.job_cancellable);
        ws.cancel_requested = true;
        job();
    };
    dialogs.save_answers.push_back(dir.file("cast.dat"));
    pc.Save();
    EXPECT_EQ(ws.window.status, "Save cancelled; no file was written.");
    EXPECT_TRUE(files_in(dir).empty());
    EXPECT_FALSE(ws.job_cancellable);
    EXPECT_FALSE(ws.cancel_requested);

    // The plain save of the corrections group stops the same way.
    ws.processing.qc.apply = false;
    ws.processing.out_netcdf = false;
    dialogs.save_answers.push_back(dir.file("plain.dat"));
    pc.Save();
    EXPECT_EQ(ws.window.status, "Save cancelled; no file was written.");
    EXPECT_TRUE(files_in(dir).empty());

    ws.job_runner = nullptr;
    dialogs.save_answers.push_back(dir.file("plain.dat"));
    pc.Save();
    EXPECT_EQ(ws.window.status.rfind("Wrote " + dir.file("plain.dat") + " (", 0), 0u);
}

} // namespace
