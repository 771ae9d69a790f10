// Whole-file writers replace the target only once the new file is complete.
#include <cmath>
#include <cstdlib>
#include <functional>
#include <iterator>

#include "files_test_util.h"

using namespace files_test;

namespace {

class AtomicSave : public ScratchDir {
  protected:
    void SetUp() override {
        ScratchDir::SetUp();
        d.load_file(fixture("hyp_small.dat"), false);
        write_text(path("old.dat"), "precious\n");
    }
    HYP_Data d;
};

const char* const kOpenError =
    "Unable to open file for saving.  Is this file opened in another program?";

} // namespace

TEST_F(AtomicSave, FailureMidWayKeepsTheEarlierFile) {
    struct Case {
        const char* what;
        std::function<void()> save;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"selection",
         [&] {
             d.save_selection(path("old.dat"), {0, 7});
         },
         "Record index out of range."},
        {"corrected",
         [&] {
             d.temp_source = static_cast<TempSource>(9);
             d.save_corrected(path("old.dat"), false, false);
             d.temp_source = TempSource::Constant;
         },
         "Temperature source not recognized."},
        {"corrected records",
         [&] {
             d.records[2].a_values.pop_back();
             d.save_corrected(path("old.dat"), false, false);
         },
         ""},
        {"water",
         [&] {
             d.save_water_cal(path("old.dat"), {1, 5}, 20);
         },
         "Record index out of range."},
        {"devfile", [&] { d.save_devfile(path("old.dat"), {9}); }, "Record index out of range."},
    };
    for (const Case& c : cases) {
        const std::string error = error_of(c.save);
        if (!c.error.empty()) {
            EXPECT_EQ(error, c.error) << c.what;
        }
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_EQ(read_text(path("old.dat")), "precious\n") << c.what;
        EXPECT_EQ(entries(), std::vector<std::string>{"old.dat"}) << c.what;
    }
}

TEST_F(AtomicSave, UnwritablePlaces) {
    // A folder that is a regular file, and a target that is a folder: both fail even for root.
    EXPECT_EQ(error_of([&] { d.save_records(path("old.dat") + "/x.dat"); }), kOpenError);
    std::filesystem::create_directory(path("folder"));
    write_text(path("folder") + "/inside", "x");
    EXPECT_EQ(error_of([&] { d.save_records(path("folder")); }), kOpenError);
    EXPECT_EQ(read_text(path("folder") + "/inside"), "x");
    EXPECT_EQ(entries(), (std::vector<std::string>{"folder", "old.dat"}));
}

TEST_F(AtomicSave, SuccessReplacesTheTarget) {
    d.save_records(path("old.dat"));
    HYP_Data back;
    back.load_file(path("old.dat"), false);
    expect_same_records(back.records, d.records);
    EXPECT_EQ(entries(), std::vector<std::string>{"old.dat"});
}

TEST_F(AtomicSave, FullDeviceRaisesTheWriteErrorAndKeepsTheEarlierFile) {
    // /dev/full takes no byte: written straight into, never replaced by a renamed file.
    EXPECT_EQ(error_of([&] { d.save_records("/dev/full"); }),
              "Unable to write file.  Is the disk full?");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));

    // A filesystem with no room: a 64 KB tmpfs where the machine lets us mount one.
    const std::string mnt = path("small");
    fs::create_directory(mnt);
    if (std::system(("mount -t tmpfs -o size=64k tmpfs '" + mnt + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    struct Unmount {
        std::string at;
        ~Unmount() { (void)!std::system(("umount '" + at + "'").c_str()); }
    } unmount{mnt};
    write_text(mnt + "/old.dat", "precious\n");
    const std::vector<hyp_data> few = d.records;
    while (d.records.size() < 2000) // well over 64 KB of record lines
        d.records.push_back(few[d.records.size() % few.size()]);
    EXPECT_EQ(error_of([&] { d.save_records(mnt + "/old.dat"); }),
              "Unable to write file.  Is the disk full?");
    EXPECT_EQ(read_text(mnt + "/old.dat"), "precious\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(mnt), fs::directory_iterator()), 1);
}

TEST_F(AtomicSave, LinkedTargetReplacesTheLinkedFileAndKeepsTheLink) {
    fs::create_symlink("old.dat", path("link.dat"));
    d.save_records(path("link.dat"));
    EXPECT_TRUE(fs::is_symlink(path("link.dat")));
    HYP_Data back;
    back.load_file(path("old.dat"), false);
    expect_same_records(back.records, d.records);
}
