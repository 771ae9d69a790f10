// CTD logs: read with columns chosen by the first four input bytes (the file is the rest), then
// merged into a data set loaded from a sample.
#include "fuzz_util.h"
#include "hyp_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    // 0 and columns beyond a line's fields are choices a user can make too.
    int cols[4];
    for (int i = 0; i < 4; ++i)
        cols[i] = static_cast<std::int8_t>(data[i]) % 12;
    const std::string path = fuzz::write_input("input.ctd", data + 4, size - 4);

    CTD_Data ctd;
    if (!fuzz::clean([&] { ctd.read_ctd_file(path, cols[0], cols[1], cols[2], cols[3]); })) {
        if (!ctd.samples.empty() || !ctd.source_file.empty())
            fuzz::fail("a failed CTD read kept samples");
        return 0;
    }

    HYP_Data d;
    d.load_file(VELMORA_TEST_DATA_DIR "/hyp_small.dat", false);
    d.ctd_file = ctd;
    fuzz::clean([&] { d.merge_ctd(); });
    if (d.ctd_merged && d.ctd_list.samples.size() != d.records.size())
        fuzz::fail("merged CTD list and records differ in length");
    return 0;
}
