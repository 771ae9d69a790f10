// Water calibration files (and anything else) read in water mode into data sets that hold an
// HYP and an FLW sample: a load either succeeds or leaves the data set as it was.
#include "fuzz_util.h"
#include "hyp_data.h"

namespace {

void water_into(const std::string& base, const std::string& path) {
    HYP_Data d;
    d.load_file(base, false);
    const std::size_t records = d.records.size();
    const std::string name = d.file_name;
    if (!fuzz::clean([&] { d.load_file(path, true); })) {
        if (d.records.size() != records || d.file_name != name || d.water_loaded ||
            !d.water_records.empty() || !d.water_file_name.empty())
            fuzz::fail("a failed water load changed the data set");
        return;
    }
    if (d.records.empty())
        return;
    d.do_water = true;
    fuzz::clean([&] { d.correct_one_line(0); });
    d.do_temp = d.do_scat = true;
    d.scat_method = ScatMethod::Baseline;
    fuzz::clean([&] { d.correct_one_line(d.records.size() - 1); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::write_input("input.wcf", data, size);
    water_into(VELMORA_TEST_DATA_DIR "/hyp_small.dat", path);
    water_into(VELMORA_TEST_DATA_DIR "/flw_small.dat", path);
    return 0;
}
