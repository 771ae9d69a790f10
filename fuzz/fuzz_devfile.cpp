// Device files: parse, the temperature adjustments at and between the bins, both readers'
// device file checks, and the data set set up from the parsed file.
#include <cmath>
#include <limits>

#include "acquisition_setup.h"
#include "devfile.h"
#include "flw_reader.h"
#include "fuzz_util.h"
#include "hyp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::write_input("input.dev", data, size);
    peek_device_kind(path);

    devfile dev;
    if (fuzz::clean([&] { dev.parse(path); })) {
        const double temps[] = {
            -std::numeric_limits<double>::infinity(), -5.0, 0.0, 12.3, 20.0, 1e9,
            std::numeric_limits<double>::quiet_NaN()};
        for (double t : temps) {
            for (std::size_t k = 0; k < dev.a_wl.size(); ++k)
                dev.temp_adjustment(true, static_cast<int>(k), t);
            for (std::size_t k = 0; k < dev.c_wl.size(); ++k)
                dev.temp_adjustment(false, static_cast<int>(k), t);
        }
        for (double t : dev.temp_bins)
            for (std::size_t k = 0; k < dev.channel_count() && k < dev.c_wl.size(); ++k)
                dev.temp_adjustment(false, static_cast<int>(k), t);
        HYP_Data d;
        setup_data_from_devfile(d, dev);
    }

    // Each reader either takes the file or refuses it with its own text.
    hyp_reader hyp;
    fuzz::clean([&] { hyp.open_device_file(path); });
    flw_reader flw;
    fuzz::clean([&] { flw.open_device_file(path); });
    return 0;
}
