// Data sets built in memory for the view tests, the rendering check and the benchmark.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "hyp_data.h"
#include "products.h"
#include "selection_sink.h"

namespace sample {

// FLW-like channel wavelengths (nm); the c list a little apart from the a list.
inline const std::vector<double> kAWl = {412, 440, 488, 510, 532, 555, 650, 676, 715};
inline const std::vector<double> kCWl = {412.5, 441, 487, 511, 531, 556, 651, 675, 714};

// A plausible a/c spectrum that drifts slowly with time.
inline void fill_record(hyp_data& r, const std::vector<double>& awl, const std::vector<double>& cwl,
                        std::size_t i) {
    const double phase = 0.002 * static_cast<double>(i);
    r.a_values.resize(awl.size());
    r.c_values.resize(cwl.size());
    for (std::size_t k = 0; k < awl.size(); ++k) {
        r.a_values[k] = 0.05 + 0.4 * std::exp(-(awl[k] - 400) / 90.0) * (1 + 0.3 * std::sin(phase));
        r.c_values[k] =
            r.a_values[k] + 0.6 * std::pow(550.0 / cwl[k], 1.2) * (1 + 0.2 * std::cos(1.3 * phase));
    }
}

// n records every 250 ms; with `ctd`, a merged down-and-up cast in ctd_list.
inline std::unique_ptr<HYP_Data> make_data(std::size_t n, bool ctd = false,
                                           const std::vector<double>& awl = kAWl,
                                           const std::vector<double>& cwl = kCWl) {
    auto d = std::make_unique<HYP_Data>();
    d->instrument_type = InstrumentType::FLW;
    d->a_wavelengths = awl;
    d->c_wavelengths = cwl;
    d->num_wavelengths = static_cast<int>(awl.size());
    d->records.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        d->records[i].time = 250.0 * static_cast<double>(i);
        fill_record(d->records[i], awl, cwl, i);
    }
    if (ctd) {
        d->ctd_list.samples.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double depth = 40.0 * std::sin(3.14159 * static_cast<double>(i) / n);
            ctd_struct& s = d->ctd_list.samples[i];
            s.time = d->records[i].time;
            s.pressure = depth;
            s.temperature = 18.0 - 0.2 * depth;
            s.salinity = 33.0 + 0.02 * depth;
        }
        d->ctd_merged = true;
        d->ctd_loaded = true;
    }
    return d;
}

// Appends n more records continuing the series (an acquisition tick).
inline void append_records(HYP_Data& d, std::size_t n) {
    const std::size_t first = d.records.size();
    for (std::size_t i = first; i < first + n; ++i) {
        hyp_data r;
        r.time = 250.0 * static_cast<double>(i);
        fill_record(r, d.a_wavelengths, d.c_wavelengths, i);
        d.records.push_back(std::move(r));
    }
}

// The common grid of the hand-made products: apart from the data set's channels, so a test sees
// which column a bar's wavelength picks.
inline const std::vector<double> kGrid = {420, 500, 600, 700};

// Values of the hand-made products, far from the records' own (below 2 1/m), so a test sees
// whether the products or the records were drawn.
inline double product_a(std::size_t row, std::size_t k) {
    return 10.0 + static_cast<double>(row) + 0.1 * static_cast<double>(k);
}
inline double product_c(std::size_t row, std::size_t k) {
    return 20.0 + static_cast<double>(row) + 0.1 * static_cast<double>(k);
}

// Record products of `d` (one row per record) on kGrid, pressure 5 + 2·row dbar; with `qc`
// every value and record flagged 1 (pass).
inline std::shared_ptr<ProductTable> make_products(const HYP_Data& d, bool qc) {
    auto t = std::make_shared<ProductTable>();
    t->a_wavelengths = t->c_wavelengths = kGrid;
    t->common_grid = true;
    t->start_utc = d.start_utc;
    const std::size_t rows = d.records.size(), k = kGrid.size();
    for (std::size_t r = 0; r < rows; ++r) {
        t->time.push_back(d.records[r].time);
        t->pressure.push_back(5.0 + 2.0 * static_cast<double>(r));
        for (std::size_t i = 0; i < k; ++i) {
            t->a.push_back(product_a(r, i));
            t->c.push_back(product_c(r, i));
        }
    }
    if (qc) {
        t->a_flags.assign(rows * k, qc_flag::kPass);
        t->c_flags.assign(rows * k, qc_flag::kPass);
        t->flag.assign(rows, qc_flag::kPass);
    }
    return t;
}

// Three 5 m depth bins on kGrid: the statistic 30 + bin + 0.1·channel for a (c 10 more), SD
// 0.5; bin 1 of channel 1 has too few values (NaN).
inline std::shared_ptr<ProductTable> make_depth_bins() {
    auto t = std::make_shared<ProductTable>();
    t->a_wavelengths = t->c_wavelengths = kGrid;
    t->common_grid = true;
    t->bin_kind = BinKind::Depth;
    const std::size_t k = kGrid.size();
    for (std::size_t b = 0; b < 3; ++b) {
        t->time.push_back(1000.0 * static_cast<double>(b));
        t->depth.push_back(2.5 + 5.0 * static_cast<double>(b));
        t->n.push_back(static_cast<int>(4 + b));
        for (std::size_t i = 0; i < k; ++i) {
            const bool thin = b == 1 && i == 1;
            const double v = 30.0 + static_cast<double>(b) + 0.1 * static_cast<double>(i);
            t->a.push_back(thin ? NAN : v);
            t->c.push_back(thin ? NAN : v + 10.0);
            t->a_sd.push_back(thin ? NAN : 0.5);
            t->c_sd.push_back(thin ? NAN : 0.5);
        }
    }
    return t;
}

// Sets the flag of one value: `a` or c matrix, table row and column.
inline void set_flag(ProductTable& t, bool a, std::size_t row, std::size_t column,
                     std::uint8_t flag) {
    (a ? t.a_flags : t.c_flags)[row * (a ? t.a_channels() : t.c_channels()) + column] = flag;
}

} // namespace sample

// Records what the views ask of the main window.
struct RecordingSink : SelectionSink {
    struct Call {
        bool range;
        bool absorption;
        int first, end;
    };
    std::vector<Call> calls;
    void ShowSelectedRecord(bool absorption, int recordIndex) override {
        calls.push_back({false, absorption, recordIndex, recordIndex});
    }
    void ShowSelectedRange(bool absorption, int first, int end) override {
        calls.push_back({true, absorption, first, end});
    }
};
