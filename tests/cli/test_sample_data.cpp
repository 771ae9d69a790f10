// The sample data make sense together: the README's own example gives spectra a scientist would
// believe.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hyp_data.h"
#include "text.h"

namespace fs = std::filesystem;

// The instruments of the samples sat in the water of the sample CTD cast, so merging that cast
// and correcting temperature, salinity and scattering leaves particle and dissolved absorption:
// never clearly negative, and near zero in the near infrared (no water bump at 720-740 nm).
TEST(SampleData, ReadmeExampleGivesPlausibleSpectra) {
    char tmpl[] = "/tmp/velmora_sample_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path dir = tmpl;
    const fs::path out = dir / "cast1_corrected.txt";
    const std::string cmd = std::string("'") + VELMORA_CLI + "' correct '" VELMORA_DATA_DIR
                            "/sample_hyp.dat' --ctd '" VELMORA_DATA_DIR "/sample_ctd.txt'"
                            " --temp-source ctd --saln-source ctd --apply temp,saln,scat -o '" +
                            out.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);

    HYP_Data corrected;
    corrected.load_file(out.string(), false);
    fs::remove_all(dir);
    ASSERT_GT(corrected.records.size(), 100u);
    double lowest = 0.0;
    double nir_sum = 0.0;
    std::size_t nir_count = 0;
    for (const hyp_data& r : corrected.records) {
        for (std::size_t i = 0; i < r.a_values.size(); ++i) {
            lowest = std::min(lowest, r.a_values[i]);
            if (corrected.a_wavelengths[i] >= 715.0) {
                nir_sum += r.a_values[i];
                ++nir_count;
            }
        }
    }
    EXPECT_GE(lowest, -0.01);
    ASSERT_GT(nir_count, 0u);
    EXPECT_LT(std::abs(nir_sum / static_cast<double>(nir_count)), 0.005);
}

// The sample NMEA log is the ship's track during the sample cast: the README's example gives
// every record a position, moving steadily north-east.
TEST(SampleData, GpsLogCoversEveryRecord) {
    char tmpl[] = "/tmp/velmora_sample_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const fs::path dir = tmpl;
    const fs::path out = dir / "cast1_positions.txt";
    const std::string cmd = std::string("'") + VELMORA_CLI + "' correct '" VELMORA_DATA_DIR
                            "/sample_hyp.dat' --gps '" VELMORA_DATA_DIR "/sample_gps.nmea' -o '" +
                            out.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream in(out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    fs::remove_all(dir);
    ASSERT_GT(lines.size(), 121u);
    // Lat and Lon are the last two columns (no CTD, no ChlA).
    double last_lat = 0.0, last_lon = 0.0;
    for (std::size_t i = 21; i < lines.size(); ++i) {
        std::vector<double> v;
        std::istringstream fields(lines[i]);
        for (std::string f; std::getline(fields, f, '\t');)
            v.push_back(text::parse_double(f)); // the files are C-locale text in any locale
        ASSERT_GE(v.size(), 2u);
        const double lat = v[v.size() - 2], lon = v.back();
        EXPECT_TRUE(lat > 54.16 && lat < 54.17 && lon > 7.88 && lon < 7.89) << lines[i];
        if (i > 21) {
            EXPECT_TRUE(lat > last_lat && lon > last_lon) << lines[i];
        }
        last_lat = lat;
        last_lon = lon;
    }
}
