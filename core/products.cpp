// The processed products of a data set: the corrections per channel, the common wavelength grid,
// the scattering or residual temperature correction on it, then QC flags and bins.
#include "products.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <numeric>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "hyp_data.h"
#include "nearest_index.h"
#include "product_text.h"
#include "products_detail.h"
#include "scattering_term.h"
#include "text.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string g6(double v) {
    return text::format_g(v, 6);
}

bool residual_method(const ProcessingOptions& o) {
    return o.scattering.apply && o.scattering.method == ScatMethod::ResidualTemp;
}

// Switches the data set's scattering correction off while it lives: the per-channel
// corrections are computed first, the scattering on the grid afterwards.
class ScatteringOff {
  public:
    explicit ScatteringOff(HYP_Data& d) : d_(d), was_(d.do_scat) { d.do_scat = false; }
    ~ScatteringOff() { d_.do_scat = was_; }
    ScatteringOff(const ScatteringOff&) = delete;
    ScatteringOff& operator=(const ScatteringOff&) = delete;

  private:
    HYP_Data& d_;
    bool was_;
};

} // namespace

namespace products_detail {

GridMap map_onto(const std::vector<double>& from, const std::vector<double>& to) {
    // Positions of `from` in ascending wavelength (the lists are ascending in practice).
    std::vector<std::size_t> order(from.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return from[x] < from[y]; });
    GridMap m;
    m.points.resize(to.size());
    m.inside.assign(to.size(), false);
    if (order.empty())
        return m;
    const double lo = from[order.front()], hi = from[order.back()];
    for (std::size_t p = 0; p < to.size(); ++p) {
        const double x = to[p];
        if (!(x >= lo && x <= hi))
            continue;
        m.inside[p] = true;
        // from[order[k]] <= x < from[order[k + 1]], searched from the start for each point: the
        // targets need not be ascending.
        std::size_t k = 0;
        while (k + 1 < order.size() && from[order[k + 1]] <= x)
            ++k;
        GridPoint& g = m.points[p];
        g.lower = g.upper = order[k];
        g.weight = 0.0;
        if (from[order[k]] != x && k + 1 < order.size()) {
            g.upper = order[k + 1];
            g.weight = (x - from[g.lower]) / (from[g.upper] - from[g.lower]);
        }
    }
    return m;
}

double interpolate(const double* v, const GridPoint& g) {
    if (g.weight == 0.0)
        return v[g.lower];
    return v[g.lower] + (v[g.upper] - v[g.lower]) * g.weight;
}

double weighted_median_dt(std::vector<std::pair<double, double>>& ratio_weight) {
    // Pairs (r_i / s_i, |s_i|) of the channels with |s_i| > 1e-12; non-finite ratios are left
    // out by the caller.
    if (ratio_weight.empty())
        return 0.0;
    std::sort(ratio_weight.begin(), ratio_weight.end(),
              [](const auto& x, const auto& y) { return x.first < y.first; });
    double total = 0.0;
    for (const auto& rw : ratio_weight)
        total += rw.second;
    const double half = total / 2.0;
    const double tol = 1e-12 * total;
    double cumulative = 0.0;
    for (std::size_t k = 0; k < ratio_weight.size(); ++k) {
        cumulative += ratio_weight[k].second;
        if (cumulative >= half - tol) {
            if (std::fabs(cumulative - half) <= tol && k + 1 < ratio_weight.size())
                return (ratio_weight[k].first + ratio_weight[k + 1].first) / 2.0;
            return ratio_weight[k].first;
        }
    }
    return ratio_weight.back().first;
}

ResidualSetup residual_setup(const std::vector<double>& grid, const std::vector<double>& psi,
                             const ProcessingOptions::Scattering::Residual& r) {
    ResidualSetup s;
    for (std::size_t i = 0; i < grid.size(); ++i)
        if (grid[i] >= r.window_lo && grid[i] <= r.window_hi)
            s.window.push_back(i);
    if (s.window.size() < 3)
        throw VelmoraError("The residual temperature correction needs at least 3 channels "
                           "between " +
                           g6(r.window_lo) + " and " + g6(r.window_hi) + " nm.");
    const GridMap m = map_onto(grid, {r.reference_nm});
    if (!m.inside[0])
        throw VelmoraError("The residual temperature reference " + g6(r.reference_nm) +
                           " nm is outside the wavelength grid.");
    s.ref = m.points[0];
    s.psi = psi;
    s.psi_ref = interpolate(psi.data(), s.ref);
    return s;
}

double residual_correct(const ResidualSetup& s, double* a, double* c, std::size_t n,
                        std::vector<std::pair<double, double>>& scratch) {
    const double a_ref = interpolate(a, s.ref);
    const double c_ref = interpolate(c, s.ref);
    const double b_ref = c_ref - a_ref;
    if (!(b_ref > 0.0) || !std::isfinite(b_ref)) {
        std::fill(a, a + n, kNaN);
        std::fill(c, c + n, kNaN);
        return kNaN;
    }
    scratch.clear();
    for (const std::size_t i : s.window) {
        const double ratio_b = (c[i] - a[i]) / b_ref;
        const double r = a[i] - a_ref * ratio_b;
        const double si = s.psi[i] - s.psi_ref * ratio_b;
        if (!(std::fabs(si) > 1e-12))
            continue;
        const double q = r / si;
        if (std::isfinite(q))
            scratch.emplace_back(q, std::fabs(si));
    }
    const double dt = weighted_median_dt(scratch);
    const double a_ref_corr = a_ref - s.psi_ref * dt;
    for (std::size_t i = 0; i < n; ++i) {
        const double b = c[i] - a[i];
        a[i] = a[i] - s.psi[i] * dt - a_ref_corr * b / b_ref;
        c[i] = c[i] - s.psi[i] * dt;
    }
    return dt;
}

double psi_t_at(const std::vector<ts_coef>& table, double wavelength) {
    // The row setup_ts_coefs chooses: the last at or below the wavelength, row 0 below the table.
    if (table.empty())
        throw VelmoraError("No TS.cor file loaded");
    const ts_coef* row = &table.front();
    for (const ts_coef& r : table)
        if (r.wavelength <= wavelength)
            row = &r;
    return row->psi_t_a;
}

} // namespace products_detail

using namespace products_detail;

bool uses_products(const ProcessingOptions& o) {
    return o.grid.kind != GridKind::Native || residual_method(o) || o.qc.apply ||
           o.binning.kind != BinKind::None;
}

std::string sibling_path(const std::string& out, const std::string& suffix,
                         const std::string& ext) {
    const std::filesystem::path p(out);
    std::string name = p.stem().string() + suffix + (ext.empty() ? p.extension().string() : ext);
    return (p.parent_path() / name).string();
}

namespace {

// The steps of this options in words, for header line 7.
std::string processing_sentence(const ProcessingOptions& o) {
    std::vector<std::string> steps;
    if (o.grid.kind == GridKind::OntoA)
        steps.push_back("c onto a wavelengths");
    else if (o.grid.kind == GridKind::Regular)
        steps.push_back("a and c onto " + g6(o.grid.start) + "-" + g6(o.grid.stop) + " nm every " +
                        g6(o.grid.step) + " nm");
    if (residual_method(o)) {
        const auto& r = o.scattering.residual;
        steps.push_back("residual temperature and scattering correction, reference " +
                        g6(r.reference_nm) + " nm, window " + g6(r.window_lo) + "-" +
                        g6(r.window_hi) + " nm");
    }
    if (o.qc.apply)
        steps.push_back("QC flags");
    const auto& b = o.binning;
    if (b.kind != BinKind::None) {
        std::string s = b.kind == BinKind::Time
                            ? g6(b.width) + " s time bins"
                            : g6(b.width) + " m depth bins (pressure in dbar taken as depth in m)";
        if (b.kind == BinKind::Depth && b.direction == CastDirection::Down)
            s += ", down cast";
        else if (b.kind == BinKind::Depth && b.direction == CastDirection::Up)
            s += ", up cast";
        s += b.stat == BinStat::Median ? ", median" : ", mean";
        s += ", at least " + std::to_string(b.min_count) + " values";
        if (o.qc.apply && b.exclude_suspect)
            s += ", suspect values left out";
        steps.push_back(s);
    }
    std::string out;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (i > 0)
            out += "; ";
        out += steps[i];
    }
    return out.empty() ? out : out + ".";
}

// The channels of one record: what the grid and the scattering read and write.
void copy_corrected(const HYP_Data& d, ProductTable& t) {
    const std::size_t rows = d.corrected_records.size();
    const std::size_t na = d.a_wavelengths.size(), nc = d.c_wavelengths.size();
    t.time.resize(rows);
    t.a.resize(rows * na);
    t.c.resize(rows * nc);
    for (std::size_t r = 0; r < rows; ++r) {
        const hyp_data& rec = d.corrected_records[r];
        t.time[r] = rec.time;
        std::copy_n(rec.a_values.begin(), na, t.a.begin() + static_cast<std::ptrdiff_t>(r * na));
        std::copy_n(rec.c_values.begin(), nc, t.c.begin() + static_cast<std::ptrdiff_t>(r * nc));
    }
}

// The points a grid asks for before those outside the channels are dropped: the a wavelengths,
// or START, START + STEP, ... up to STOP.
std::vector<double> grid_targets(const std::vector<double>& a_wavelengths,
                                 const ProcessingOptions::Grid& g) {
    std::vector<double> target;
    if (g.kind == GridKind::OntoA)
        return a_wavelengths;
    if (g.kind != GridKind::Regular || !(g.step > 0.0))
        return target;
    const double stop = g.stop + 1e-9 * g.step; // START + k STEP may round just past STOP
    for (std::size_t k = 0;; ++k) {
        const double x = g.start + static_cast<double>(k) * g.step;
        if (x > stop || k > 1000000)
            break;
        target.push_back(x);
    }
    return target;
}

// a and c onto the grid the options ask for; points outside the source range are dropped.
void apply_grid(const HYP_Data& d, const ProcessingOptions& o, ProductTable& t) {
    const std::vector<double> target = grid_targets(d.a_wavelengths, o.grid);
    const GridMap ma = map_onto(d.a_wavelengths, target);
    const GridMap mc = map_onto(d.c_wavelengths, target);
    std::vector<std::size_t> kept;
    for (std::size_t p = 0; p < target.size(); ++p)
        if (ma.inside[p] && mc.inside[p])
            kept.push_back(p);
    if (kept.empty())
        throw VelmoraError("No wavelength of the grid lies within the a and c channels.");
    const bool onto_a = o.grid.kind == GridKind::OntoA;
    const std::size_t rows = t.rows(), na = d.a_wavelengths.size(), nc = d.c_wavelengths.size();
    const std::size_t n = kept.size();
    std::vector<double> a(rows * n), c(rows * n);
    for (std::size_t r = 0; r < rows; ++r) {
        const double* src_a = t.a.data() + r * na;
        const double* src_c = t.c.data() + r * nc;
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t p = kept[k];
            // Onto a: the a channels keep their values.
            a[r * n + k] = onto_a ? src_a[p] : interpolate(src_a, ma.points[p]);
            c[r * n + k] = interpolate(src_c, mc.points[p]);
        }
    }
    t.a = std::move(a);
    t.c = std::move(c);
    t.a_wavelengths.clear();
    for (const std::size_t p : kept)
        t.a_wavelengths.push_back(target[p]);
    t.c_wavelengths = t.a_wavelengths;
    t.common_grid = true;
}

// The legacy scattering corrections on the common grid, with the reference channel chosen on it
// as set_scat_ref chooses; returns the reference wavelength.
double grid_scattering(const HYP_Data& d, const ProcessingOptions& o, ProductTable& t) {
    const std::vector<double>& wl = t.a_wavelengths;
    double best = std::numeric_limits<double>::infinity();
    std::size_t ref = 0;
    for (std::size_t i = 0; i < wl.size(); ++i) {
        const double dist = std::fabs(wl[i] - o.scattering.reference_nm);
        if (dist < best) {
            best = dist;
            ref = i;
        }
    }
    const int method = static_cast<int>(d.scat_method);
    const std::size_t n = wl.size();
    for (std::size_t r = 0; r < t.rows(); ++r) {
        double* a = t.a.data() + r * n;
        const double* c = t.c.data() + r * n;
        const double a_ra = a[ref], c_rc = c[ref];
        if (d.scat_no_negative && !(scattering_term(method, a_ra, c_rc, a_ra, c_rc) >= 0.0))
            continue;
        for (std::size_t i = 0; i < n; ++i)
            a[i] -= scattering_term(method, a[i], c[i], a_ra, c_rc);
    }
    return wl[ref];
}

void apply_residual(const HYP_Data& d, const ProcessingOptions& o, ProductTable& t) {
    if (!t.common_grid)
        throw VelmoraError(kResidualNeedsGrid);
    std::vector<double> psi;
    for (const double wl : t.a_wavelengths)
        psi.push_back(psi_t_at(d.ts_table, wl));
    const ResidualSetup s = residual_setup(t.a_wavelengths, psi, o.scattering.residual);
    const std::size_t n = t.a_channels();
    t.dT.resize(t.rows());
    std::vector<std::pair<double, double>> scratch;
    for (std::size_t r = 0; r < t.rows(); ++r)
        t.dT[r] = residual_correct(s, t.a.data() + r * n, t.c.data() + r * n, n, scratch);
}

// The ChlA ratio of every row, on the table's wavelengths, as HYP_Data::chl_ratio_of has it.
void fill_chl(ProductTable& t) {
    if (t.a_wavelengths.empty() || t.c_wavelengths.empty())
        throw VelmoraError("The ChlA column needs wavelengths.");
    const std::size_t na = t.a_channels(), nc = t.c_channels();
    const std::size_t a715 = nearest_index(t.a_wavelengths, 715.0);
    const std::size_t a650 = nearest_index(t.a_wavelengths, 650.0);
    const std::size_t a676 = nearest_index(t.a_wavelengths, 676.0);
    const std::size_t c650 = nearest_index(t.c_wavelengths, 650.0);
    t.chl.resize(t.rows());
    for (std::size_t r = 0; r < t.rows(); ++r) {
        const double* a = t.a.data() + r * na;
        const double* c = t.c.data() + r * nc;
        t.chl[r] = a[a715] - a[a650] > 0.001 ? 0.0 : (a[a676] - a[a650]) / c[c650];
    }
}

void fill_info(const HYP_Data& d, const ProcessingOptions& o, ProductTable& t) {
    ProductInfo& info = t.info;
    info.instrument = d.instrument_type == InstrumentType::FLW ? "FLW" : "HYP";
    info.serial_number = d.serial_number;
    info.input_file = d.file_name;
    if (d.water_loaded)
        info.water_file = d.water_file_name;
    if (d.ctd_merged)
        info.ctd_file = d.ctd_file.source_file;
    if (d.gps_merged)
        info.gps_file = d.gps_file_name;
    info.processing = processing_sentence(o);
    info.recipe_json = nlohmann::ordered_json::parse(o.to_json()).dump();
    info.metadata = o.metadata;
    // The header's sentences of what was applied (lines 11 to 17), as the text file has them.
    std::ostringstream header;
    d.write_corrected_header(header, false, false, header_extras(d, o, t));
    std::istringstream lines(header.str());
    std::string line;
    for (int number = 1; std::getline(lines, line) && number <= 17; ++number)
        if (number >= 11 && !line.empty())
            info.corrections.push_back(line);
}

} // namespace

std::vector<double> grid_wavelengths(const std::vector<double>& a_wavelengths,
                                     const std::vector<double>& c_wavelengths,
                                     const ProcessingOptions::Grid& g) {
    const std::vector<double> target = grid_targets(a_wavelengths, g);
    const GridMap ma = map_onto(a_wavelengths, target);
    const GridMap mc = map_onto(c_wavelengths, target);
    std::vector<double> kept;
    for (std::size_t p = 0; p < target.size(); ++p)
        if (ma.inside[p] && mc.inside[p])
            kept.push_back(target[p]);
    return kept;
}

CorrectedHeaderExtras header_extras(const HYP_Data& d, const ProcessingOptions& o,
                                    const ProductTable& t) {
    CorrectedHeaderExtras x;
    if (!uses_products(o))
        return x;
    x.processing = t.info.processing.empty() ? processing_sentence(o) : t.info.processing;
    x.recipe = t.info.recipe_json.empty() ? nlohmann::ordered_json::parse(o.to_json()).dump()
                                          : t.info.recipe_json;
    x.a_wavelengths = &t.a_wavelengths;
    x.c_wavelengths = &t.c_wavelengths;
    if (residual_method(o)) {
        x.scattering_given = true;
        x.scattering = "Residual temperature and scattering correction (Slade et al. 2010) "
                       "applied at " +
                       text::format_fixed(o.scattering.residual.reference_nm, 1) + " nm";
        if (o.scattering.no_negative)
            x.scattering_note = "--scat-no-negative does not apply to the residual temperature "
                                "correction.";
    } else if (t.common_grid && d.do_scat && t.scat_ref_nm) {
        // The sentences of the legacy methods, at the reference channel of the grid.
        const std::string at = text::format_fixed(*t.scat_ref_nm, 1) + " nm";
        x.scattering_given = true;
        switch (d.scat_method) {
        case ScatMethod::Baseline:
            x.scattering = "Scattering correction by baseline subtraction applied at " + at;
            break;
        case ScatMethod::Proportional:
            x.scattering = "Scattering correction by proportional subtraction applied at " + at;
            break;
        case ScatMethod::FractionOfB:
            x.scattering = "Scattering correction by a fixed fraction of b (14 %) applied.";
            break;
        default:
            break;
        }
        if (!x.scattering.empty() && d.scat_no_negative)
            x.scattering_note = "Scattering corrections resulting in negative values not applied.";
    }
    for (const auto& [present, label] :
         {std::pair{!t.dT.empty(), "dT\t"}, std::pair{!t.depth.empty(), "depth\t"},
          std::pair{!t.n.empty(), "n\t"}, std::pair{t.has_qc(), "flag\t"}})
        if (present)
            x.extra_labels += label;
    return x;
}

ProductTable make_products(HYP_Data& d, const ProcessingOptions& o) {
    if (d.is_processed)
        throw VelmoraError(kAlreadyCorrected);
    ProductTable t;
    t.start_utc = d.start_utc;
    const bool on_grid = o.grid.kind != GridKind::Native;
    if (residual_method(o) && !on_grid)
        throw VelmoraError(kResidualNeedsGrid);
    // On the data set's own channels with a legacy method, the values are those of the corrected
    // file, scattering included; otherwise the scattering comes after the grid.
    if (on_grid || residual_method(o)) {
        const ScatteringOff off(d);
        d.fill_corrected_records();
    } else {
        d.fill_corrected_records();
    }
    t.a_wavelengths = d.a_wavelengths;
    t.c_wavelengths = d.c_wavelengths;
    copy_corrected(d, t);
    if (on_grid) {
        apply_grid(d, o, t);
        if (residual_method(o))
            apply_residual(d, o, t);
        else if (d.do_scat)
            t.scat_ref_nm = grid_scattering(d, o, t);
    }

    const std::size_t rows = t.rows();
    if (d.ctd_merged && d.ctd_list.samples.size() >= rows) {
        t.temperature.resize(rows);
        t.salinity.resize(rows);
        t.pressure.resize(rows);
        for (std::size_t r = 0; r < rows; ++r) {
            const ctd_struct& s = d.ctd_list.samples[r];
            t.temperature[r] = s.temperature;
            t.salinity[r] = s.salinity;
            t.pressure[r] = s.pressure;
        }
    }
    if (d.gps_merged && d.lat_list.size() >= rows && d.lon_list.size() >= rows) {
        t.lat.assign(d.lat_list.begin(), d.lat_list.begin() + static_cast<std::ptrdiff_t>(rows));
        t.lon.assign(d.lon_list.begin(), d.lon_list.begin() + static_cast<std::ptrdiff_t>(rows));
    }

    if (o.qc.apply)
        apply_qc(t, o.qc);
    if (o.binning.kind != BinKind::None) {
        ProductTable binned = bin_products(t, o.binning);
        binned.scat_ref_nm = t.scat_ref_nm;
        t = std::move(binned);
    }
    if (o.output.chl_column)
        fill_chl(t);
    fill_info(d, o, t);
    return t;
}
