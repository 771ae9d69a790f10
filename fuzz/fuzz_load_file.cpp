// Data files (HYP, FLW, processed, corrected) read as data: either they load, or the data set
// is left as it was.  What loads is written back and its first and last records corrected.
#include <sstream>

#include "fuzz_util.h"
#include "hyp_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::write_input("input.dat", data, size);

    HYP_Data d;
    if (!fuzz::clean([&] { d.load_file(path, false); })) {
        if (!d.records.empty() || !d.file_name.empty() || d.instrument_type != InstrumentType::None ||
            !d.header_lines.empty())
            fuzz::fail("a failed load changed the data set");
        return 0;
    }
    if (d.records.empty())
        return 0;

    std::ostringstream out;
    fuzz::clean([&] {
        d.write_data_header(out);
        d.write_lines(out, {0, d.records.size() - 1}, {});
    });
    d.do_temp = d.do_saln = d.do_scat = true;
    d.scat_method = ScatMethod::Proportional;
    fuzz::clean([&] { d.correct_one_line(0); });
    fuzz::clean([&] { d.correct_one_line(d.records.size() - 1); });
    return 0;
}
