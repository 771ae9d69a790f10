// A folder named where a file belongs is refused by every reader, and the checks made before a
// read or a save say why a path will not do.
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "devfile.h"
#include "file_checks.h"
#include "files_test_util.h"

using namespace files_test;

namespace {

// The system's reason as the program under test words it: in the locale the tests run under.
std::string sys_reason(int error) {
    return std::strerror(error);
}

class FileChecks : public ScratchDir {};

TEST_F(FileChecks, EveryReaderRefusesAFolder) {
    const std::string folder = path("cast.dat"); // a folder with a data file's name
    fs::create_directory(folder);
    const std::string expected = folder + ": is a folder, not a file.";
    HYP_Data d;
    CTD_Data ctd;
    devfile dev;
    EXPECT_EQ(error_of([&] { d.load_file(folder, false); }), expected);
    EXPECT_EQ(error_of([&] { d.load_file(folder, true); }), expected);
    EXPECT_EQ(error_of([&] { ctd.read_ctd_file(folder, 1, 3, 5, 2); }), expected);
    EXPECT_EQ(error_of([&] { CTD_Data::data_columns(folder); }), expected);
    EXPECT_EQ(error_of([&] { read_water_cal_file(folder); }), expected);
    EXPECT_EQ(error_of([&] { dev.parse(folder); }), expected);
    EXPECT_FALSE(d.water_loaded);
    EXPECT_TRUE(ctd.samples.empty());
}

TEST_F(FileChecks, ProblemsOfInputsAndOutputsCarryTheSystemsReason) {
    fs::create_directory(path("folder"));
    write_text(path("there.txt"), "x\n");
    EXPECT_EQ(file_checks::input_problem(path("there.txt")), "");
    EXPECT_EQ(file_checks::input_problem(path("folder")), "is a folder, not a file.");
    EXPECT_EQ(file_checks::input_problem(path("missing.txt")),
              "Unable to open file. (" + sys_reason(ENOENT) + ")");

    EXPECT_EQ(file_checks::output_problem(path("new.txt")), "");
    EXPECT_EQ(file_checks::output_problem(path("there.txt")), "");
    EXPECT_EQ(file_checks::output_problem("/dev/null"), "");
    EXPECT_EQ(file_checks::output_problem(path("folder")), "is a folder, not a file.");
    EXPECT_EQ(file_checks::output_problem(path("no/such/folder.txt")),
              "Unable to open file for saving. (" + sys_reason(ENOENT) + ")");
    EXPECT_EQ(file_checks::output_problem(path("there.txt/below.txt")),
              "Unable to open file for saving. (" + sys_reason(ENOTDIR) + ")");
    // The checks leave nothing behind.
    EXPECT_EQ(entries(), (std::vector<std::string>{"folder", "there.txt"}));

    bool created = false;
    EXPECT_EQ(file_checks::direct_output_problem(path("log.dat"), created), "");
    EXPECT_TRUE(created);
    EXPECT_EQ(file_checks::direct_output_problem(path("there.txt"), created), "");
    EXPECT_FALSE(created);
    EXPECT_EQ(read_text(path("there.txt")), "x\n"); // kept until written
    EXPECT_EQ(file_checks::direct_output_problem(path("folder"), created),
              "is a folder, not a file.");
}

TEST_F(FileChecks, WaterFileReadOnItsOwn) {
    write_text(path("w.wcf"), "File created by Velmora version 2.0\n"
                              "Water Calibration File: 1.0\n"
                              "This file was created on Thu Dec 10 10:48:42 2026\n"
                              "Serial Number: 4217\n"
                              "Water Calibration Temperature: 21.3\n"
                              "Number of wavelengths: 2\n"
                              "0\tc412\tc440\ta412.5\ta440\t\n"
                              "0\t0.9\t0.8\t0.2\t0.1\t");
    const WaterCalFile w = read_water_cal_file(path("w.wcf"));
    EXPECT_TRUE(w.serial_read);
    EXPECT_EQ(w.serial_number, 4217);
    EXPECT_EQ(w.temperature, 21.3);
    EXPECT_EQ(w.wavelength_count, 2);
    EXPECT_EQ(w.a_wavelengths, (std::vector<double>{412.5, 440}));
    EXPECT_EQ(w.c_wavelengths, (std::vector<double>{412, 440}));
    EXPECT_TRUE(w.complete);
    EXPECT_EQ(w.record.c_values, (std::vector<double>{0.9, 0.8}));
    EXPECT_EQ(w.record.a_values, (std::vector<double>{0.2, 0.1}));

    write_text(path("data.dat"), "title\nHYP\n");
    EXPECT_EQ(error_of([&] { read_water_cal_file(path("data.dat")); }),
              "File does not appear to be a water calibration file.");
}

} // namespace
