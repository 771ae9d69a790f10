// Damaged files must never crash the program: every reader either loads what it can or raises
// VelmoraError with a message.  This driver feeds damaged copies of the sample files to the data
// file, corrected file, water file, CTD and device file readers, and corrects and saves what loads.
//
// Built as a plain program it runs a fixed number of seeded mutations of each seed file (the
// ctest entry).  Built with clang and -fsanitize=fuzzer,address it becomes a libFuzzer target:
//   clang++ -std=c++20 -fsanitize=fuzzer,address -DVELMORA_LIBFUZZER ... fuzz_files.cpp
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "devfile.h"
#include "hyp_data.h"

namespace fs = std::filesystem;

namespace {

// A data file that loads: damaged inputs are also read as its water calibration.
std::string base_data_file;

fs::path work_dir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("velmora-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

void write_file(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Only the system's own error may come out of a reader.
template <typename F> void expect_clean(F&& f) {
    try {
        f();
    } catch (const VelmoraError&) {
    }
}

void exercise(const std::uint8_t* data, std::size_t size) {
    const fs::path input = work_dir() / "input";
    const fs::path output = work_dir() / "output";
    write_file(input, data, size);

    HYP_Data d;
    bool loaded = false;
    expect_clean([&] {
        d.load_file(input.string(), false);
        loaded = true;
    });
    if (loaded && !d.records.empty()) {
        d.do_temp = d.do_saln = d.do_scat = true;
        d.scat_method = ScatMethod::Proportional;
        expect_clean([&] { d.set_scat_ref(715.0); });
        expect_clean([&] { d.correct_series(0, true); });
        expect_clean([&] { d.save_corrected(output.string(), true, true); });
        expect_clean([&] { d.save_records(output.string()); });
        expect_clean([&] { d.save_water_cal(output.string(), {0}, 20.0); });
        expect_clean([&] { d.save_devfile(output.string(), {0}); });
        // The same bytes as a water calibration for the data set just loaded.
        expect_clean([&] { d.load_file(input.string(), true); });
        expect_clean([&] {
            d.ctd_file.read_ctd_file(input.string(), 1, 3, 5, 2);
            d.merge_ctd();
        });
    }
    if (!base_data_file.empty()) {
        HYP_Data w;
        w.load_file(base_data_file, false);
        expect_clean([&] {
            w.load_file(input.string(), true);
            w.do_water = true;
            w.correct_one_line(0);
        });
    }
    expect_clean([&] {
        devfile dev;
        dev.parse(input.string());
        for (std::size_t k = 0; k < dev.a_wl.size(); ++k)
            dev.temp_adjustment(true, static_cast<int>(k), 20.0);
    });
}

} // namespace

#ifdef VELMORA_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    exercise(data, size);
    return 0;
}
#else

namespace {

std::vector<std::uint8_t> read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One random damage: flipped bytes, a cut, inserted junk, a removed or repeated stretch, or
// a line break turned into something else.
std::vector<std::uint8_t> damage(std::vector<std::uint8_t> b, std::mt19937& rng) {
    if (b.empty())
        return b;
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n)(rng);
    };
    const char junk[] = {'\n', '\r', '\t', ' ', '-', '.', 'e', '9', 'a', 'C', 'A', '\0', 'x'};
    switch (pick(5)) {
    case 0:
        for (int i = 0; i < 8; ++i)
            b[pick(b.size() - 1)] = static_cast<std::uint8_t>(pick(255));
        break;
    case 1:
        b.resize(pick(b.size()));
        break;
    case 2:
        for (int i = 0; i < 8; ++i)
            b.insert(b.begin() + static_cast<long>(pick(b.size())),
                     static_cast<std::uint8_t>(junk[pick(sizeof junk - 1)]));
        break;
    case 3: {
        const std::size_t at = pick(b.size() - 1);
        b.erase(b.begin() + static_cast<long>(at),
                b.begin() + static_cast<long>(std::min(b.size(), at + pick(400))));
        break;
    }
    case 4: {
        const std::size_t at = pick(b.size() - 1);
        const std::size_t len = std::min(b.size() - at, pick(300));
        std::vector<std::uint8_t> copy(b.begin() + static_cast<long>(at),
                                       b.begin() + static_cast<long>(at + len));
        b.insert(b.begin() + static_cast<long>(pick(b.size())), copy.begin(), copy.end());
        break;
    }
    default:
        for (auto& c : b)
            if (c == '\n' && pick(20) == 0)
                c = static_cast<std::uint8_t>(junk[pick(sizeof junk - 1)]);
        break;
    }
    return b;
}

} // namespace

// velmora-fuzz-files ITERATIONS SEED_FILE...  (the first .dat seed is also the data set that
// damaged files are loaded into as water calibrations)
int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ITERATIONS SEED_FILE...\n", argv[0]);
        return 2;
    }
    const int iterations = std::atoi(argv[1]);
    std::mt19937 rng(20261209);
    for (int f = 2; f < argc && base_data_file.empty(); ++f) {
        const std::string path = argv[f];
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".dat") == 0)
            base_data_file = path;
    }
    for (int f = 2; f < argc; ++f) {
        const std::vector<std::uint8_t> seed = read_all(argv[f]);
        exercise(seed.data(), seed.size());
        for (int i = 0; i < iterations; ++i) {
            const std::vector<std::uint8_t> b = damage(seed, rng);
            exercise(b.data(), b.size());
        }
        std::printf("%s: %d damaged copies read without a crash\n", argv[f], iterations);
    }
    std::error_code ec;
    fs::remove_all(work_dir(), ec);
    return 0;
}
#endif
