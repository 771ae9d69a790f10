// Coefficient set-up and the record correction engine.
//
// correct_one_line and correct_series compute every value through the same small helpers below,
// in the same order of operations, so the time and depth views plot exactly the values that the
// corrected file holds.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <string>

#include "hyp_data.h"
#include "parallel.h"
#include "scattering_term.h"

namespace {

constexpr std::uint32_t kNoChannel = 999999;

// "Record N" and the rest of the message.
std::string record_message(std::size_t index, const char* rest) {
    return "Record " + std::to_string(index) + rest;
}

// Temperature coefficient of a filter-wheel channel of nominal wavelength n (whole nm).
double flw_temperature_coef(int n) {
    switch (n) {
    case 412:
    case 520:
    case 532:
    case 555:
        return 0.0001;
    case 440:
    case 488:
    case 560:
        return 0.0;
    case 510:
        return 0.0002;
    case 650:
    case 676:
        return -0.0001;
    case 715:
        return 0.0029;
    case 750:
        return 0.0107;
    default:
        break;
    }
    // Sum of Gaussian absorption bands of water: centre, width, amplitude, weight.
    struct Band {
        double centre, width, amplitude, weight;
    };
    static const Band bands[12] = {
        {453, 18, 0.18, 0.0045}, {485, 15, 0.17, 0.002},   {517, 14, 0.52, 0.0045},
        {558, 20, 1.4, 0.002},   {610, 17.5, 4.6, 0.0045}, {638, 15, 2.1, -0.004},
        {661, 17, 4.3, 0.002},   {697, 22, 9.6, -0.001},   {740, 6, 1.6, 0.0045},
        {744, 18, 34, 0.0062},   {775, 20, 18, -0.001},    {795, 25, 42, -0.001},
    };
    const double x = n;
    double sum = 0.0;
    for (const Band& b : bands) {
        const double d = x - b.centre;
        sum += (b.amplitude / b.width) * b.weight * std::exp(-(d * d) / (2.0 * b.width * b.width));
    }
    return sum;
}

// The per-channel sum that steps 7 to 9 of the correction subtract: temperature, salinity and
// the water calibration brought from its own temperature to the factory temperature.
struct ChannelTerms {
    double psi_t = 0.0;
    double psi_s = 0.0;
    double water = 0.0;
};

struct Settings {
    bool temp = false, saln = false, water = false;
    double tf = 0.0, tw = 0.0;

    double k(const ChannelTerms& ch, double t, double s) const {
        double k = 0.0;
        if (temp)
            k += ch.psi_t * (t - tf);
        if (saln)
            k += ch.psi_s * s;
        if (water)
            k += ch.water - ch.psi_t * (tw - tf);
        return k;
    }
};

inline double scat_term(int method, double a_i, double c_i, double a_ra, double c_rc) {
    return scattering_term(method, a_i, c_i, a_ra, c_rc);
}

} // namespace

void HYP_Data::setup_ts_coefs() {
    if (ts_table.empty())
        throw VelmoraError("No TS.cor file loaded");
    if (a_wavelengths.size() != c_wavelengths.size())
        throw VelmoraError("a and c wavelength lists differ in length.");
    a_coefs.clear();
    c_coefs.clear();
    const std::size_t n = a_wavelengths.size();
    a_coefs.reserve(n);
    c_coefs.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        // The last row at or below the channel's wavelength; row 0 below the table.
        const ts_coef* a_row = &ts_table.front();
        const ts_coef* c_row = &ts_table.front();
        for (const ts_coef& row : ts_table) {
            if (row.wavelength <= a_wavelengths[i])
                a_row = &row;
            if (row.wavelength <= c_wavelengths[i])
                c_row = &row;
        }
        a_coefs.push_back(*a_row);
        c_coefs.push_back(*c_row);
    }

    if (instrument_type != InstrumentType::FLW)
        return;
    // The filter-wheel model has nine channels; its temperature coefficients are replaced by
    // values per nominal wavelength.
    for (std::size_t i = 0; i < 9 && i < n; ++i) {
        const double wl = a_coefs[i].wavelength;
        const int nominal = static_cast<int>(wl);
        if (wl != c_coefs[i].wavelength && wl != static_cast<double>(nominal))
            throw VelmoraError("grumble grumble");
        const double coef = flw_temperature_coef(nominal);
        a_coefs[i].psi_t_a = coef;
        c_coefs[i].psi_t_c = coef;
    }
}

double HYP_Data::set_scat_ref(double wavelength) {
    scat_ref_a = kNoChannel;
    scat_ref_c = kNoChannel;
    if (a_wavelengths.empty())
        throw VelmoraError("set_scat_ref called before wavelengths are defined.");
    if (a_wavelengths.size() != c_wavelengths.size())
        throw VelmoraError("a and c wavelength lists differ in length.");
    // Every finite distance beats the start, so a far-off request still picks the nearest channel.
    double best_a = std::numeric_limits<double>::infinity();
    double best_c = best_a;
    std::uint32_t ra = kNoChannel;
    std::uint32_t rc = kNoChannel;
    for (std::size_t i = 0; i < a_wavelengths.size(); ++i) {
        const double da = std::fabs(a_wavelengths[i] - wavelength);
        if (da < best_a) {
            best_a = da;
            ra = static_cast<std::uint32_t>(i);
        }
        const double dc = std::fabs(c_wavelengths[i] - wavelength);
        if (dc < best_c) {
            best_c = dc;
            rc = static_cast<std::uint32_t>(i);
        }
    }
    if (ra == kNoChannel || rc == kNoChannel)
        throw VelmoraError("Scattering reference wavelength is not a number.");
    scat_ref_a = ra;
    scat_ref_c = rc;
    scat_ref_a_wl = a_wavelengths[ra];
    scat_ref_c_wl = c_wavelengths[rc];
    return scat_ref_a_wl;
}

namespace {

// What both correction operations check once the sources have been chosen: the lists they will
// index must be long enough.  Never reads past the end of any list.
void check_inputs(const HYP_Data& d, const CTD_Data* t_list, const CTD_Data* s_list) {
    const std::size_t n = d.a_wavelengths.size();
    const std::size_t records = d.records.size();
    if (d.c_wavelengths.size() != n)
        throw VelmoraError("a and c wavelength lists differ in length.");
    auto check_list = [&](const CTD_Data* list) {
        if (!list || list->samples.size() >= records)
            return;
        if (list == &d.ctd_list)
            throw VelmoraError("CTD data do not match the records.");
        if (list == &d.onboard_list)
            throw VelmoraError("Onboard sensor data do not match the records.");
        throw VelmoraError("Fitted data do not match the records.");
    };
    check_list(t_list);
    check_list(s_list);
    if ((d.do_temp || d.do_saln || d.do_water) && (d.a_coefs.size() < n || d.c_coefs.size() < n))
        throw VelmoraError("Correction coefficients are not set up for these channels.");
    if (d.do_water && (!d.water_loaded || d.water_a.size() != n || d.water_c.size() != n))
        throw VelmoraError("Water calibration not loaded.");
    if (d.do_scat && n > 0 && (d.scat_ref_a >= n || d.scat_ref_c >= n))
        throw VelmoraError("Scattering reference wavelength not set.");
}

Settings settings_of(const HYP_Data& d) {
    Settings s;
    s.temp = d.do_temp;
    s.saln = d.do_saln;
    s.water = d.do_water;
    s.tf = d.fac_cal_temp;
    s.tw = d.water_cal_temp;
    return s;
}

ChannelTerms a_terms(const HYP_Data& d, std::size_t i) {
    ChannelTerms t;
    if (i < d.a_coefs.size()) {
        t.psi_t = d.a_coefs[i].psi_t_a;
        t.psi_s = d.a_coefs[i].psi_s_a;
    }
    if (i < d.water_a.size())
        t.water = d.water_a[i];
    return t;
}

ChannelTerms c_terms(const HYP_Data& d, std::size_t i) {
    ChannelTerms t;
    if (i < d.c_coefs.size()) {
        t.psi_t = d.c_coefs[i].psi_t_c;
        t.psi_s = d.c_coefs[i].psi_s_c;
    }
    if (i < d.water_c.size())
        t.water = d.water_c[i];
    return t;
}

} // namespace

namespace {

// One record's correction: the sums of steps 7 to 9 per channel, then the scattering term of the
// chosen method (0: none), computed exactly as correct_series computes them.
struct CorrectionLine {
    Settings set;
    const ts_coef* a_coefs; // null when no term needs them
    const ts_coef* c_coefs;
    const double* water_a; // null without water subtraction
    const double* water_c;
    double t, s;

    ChannelTerms a_terms(std::size_t i) const {
        ChannelTerms x;
        if (a_coefs) {
            x.psi_t = a_coefs[i].psi_t_a;
            x.psi_s = a_coefs[i].psi_s_a;
        }
        if (water_a)
            x.water = water_a[i];
        return x;
    }
    ChannelTerms c_terms(std::size_t i) const {
        ChannelTerms x;
        if (c_coefs) {
            x.psi_t = c_coefs[i].psi_t_c;
            x.psi_s = c_coefs[i].psi_s_c;
        }
        if (water_c)
            x.water = water_c[i];
        return x;
    }
    double ka(std::size_t i) const { return a_coefs ? set.k(a_terms(i), t, s) : 0.0; }
    double kc(std::size_t i) const { return c_coefs ? set.k(c_terms(i), t, s) : 0.0; }

    template <int Method>
    void run(std::size_t n, const double* a, const double* c, double* oa, double* oc, double a_ra,
             double c_rc) const {
        for (std::size_t i = 0; i < n; ++i) {
            double k_a = ka(i);
            const double k_c = kc(i);
            if constexpr (Method != 0)
                k_a += scat_term(Method, a[i] - k_a, c[i] - k_c, a_ra, c_rc);
            oa[i] = a[i] - k_a;
            oc[i] = c[i] - k_c;
        }
    }
};

} // namespace

namespace {

// The per-record list a temperature or salinity source code reads: none for the constant (1),
// the CTD values (2), and for temperature also the onboard (3) and fitted (4) values.
const CTD_Data* source_list(const HYP_Data& d, int source, bool temperature, bool need_merged,
                            const char* unknown) {
    switch (source) {
    case 1:
        return nullptr;
    case 2:
        if (need_merged && !d.ctd_merged)
            throw VelmoraError("CTD data not merged");
        return &d.ctd_list;
    case 3:
        if (!temperature)
            break;
        if (!d.has_onboard_temperature())
            throw VelmoraError(kNoOnboardTemperature);
        return &d.onboard_list;
    case 4:
        if (temperature)
            return &d.fitted_list;
        break;
    default:
        break;
    }
    throw VelmoraError(unknown);
}

} // namespace

hyp_data HYP_Data::correct_one_line(std::size_t index) const {
    hyp_data out;
    correct_into(index, out);
    return out;
}

void HYP_Data::correct_into(std::size_t index, hyp_data& out) const {
    if (!ts_table_loaded)
        throw VelmoraError("No TS.cor file loaded");
    if (records.empty())
        throw VelmoraError("Calling correct_one_line before loading data!");
    if (index >= records.size())
        throw VelmoraError(record_message(index, " does not exist."));
    const hyp_data& rec = records[index];
    if (is_processed) {
        out = rec;
        return;
    }

    const CTD_Data* t_list = source_list(*this, static_cast<int>(temp_source), true, true,
                                         "Temperature source not recognized");
    const CTD_Data* s_list = source_list(*this, static_cast<int>(saln_source), false, true,
                                         "Salinity source not recognized");
    check_inputs(*this, t_list, s_list);
    const double t = t_list ? t_list->samples[index].temperature : const_temp;
    const double s = s_list ? s_list->samples[index].salinity : const_saln;

    const std::size_t n = a_wavelengths.size();
    if (rec.a_values.size() < n || rec.c_values.size() < n)
        throw VelmoraError(record_message(index, " has fewer values than channels."));

    out.time = rec.time;
    out.a_values.resize(n);
    out.c_values.resize(n);
    const Settings set = settings_of(*this);
    const bool any_k = do_temp || do_saln || do_water;
    const CorrectionLine line{set,
                              any_k ? a_coefs.data() : nullptr,
                              any_k ? c_coefs.data() : nullptr,
                              do_water ? water_a.data() : nullptr,
                              do_water ? water_c.data() : nullptr,
                              t,
                              s};
    const double* a = rec.a_values.data();
    const double* c = rec.c_values.data();
    const int method = static_cast<int>(scat_method);
    bool scat = do_scat && n > 0;
    double a_ra = 0.0, c_rc = 0.0;
    if (scat) {
        // Values corrected so far at the reference channels, before any scattering term.
        a_ra = a[scat_ref_a] - line.ka(scat_ref_a);
        const double c_ra = c[scat_ref_a] - line.kc(scat_ref_a);
        c_rc = c[scat_ref_c] - line.kc(scat_ref_c);
        scat = !scat_no_negative || scat_term(method, a_ra, c_ra, a_ra, c_rc) >= 0.0;
    }
    double* oa = out.a_values.data();
    double* oc = out.c_values.data();
    switch (scat ? method : 0) {
    case 1:
        line.run<1>(n, a, c, oa, oc, a_ra, c_rc);
        break;
    case 2:
        line.run<2>(n, a, c, oa, oc, a_ra, c_rc);
        break;
    case 3:
        line.run<3>(n, a, c, oa, oc, a_ra, c_rc);
        break;
    default:
        line.run<0>(n, a, c, oa, oc, a_ra, c_rc);
        break;
    }
}

bool HYP_Data::has_onboard_temperature() const {
    const std::vector<ctd_struct>& list = onboard_list.samples;
    const std::size_t known = onboard_found_.load(std::memory_order_relaxed);
    if (known < list.size() && list[known].temperature != 0.0)
        return true;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].temperature != 0.0) {
            onboard_found_.store(i, std::memory_order_relaxed);
            return true;
        }
    }
    return false;
}

void HYP_Data::fill_corrected_records() {
    corrected_records.clear();
    // The lists are made here, on one thread (an allocation on another thread's first touch of
    // fresh memory costs more than the correction); parts of the records are then corrected
    // into them side by side.  A failure leaves the records before the first one that failed,
    // as one pass does.
    const std::size_t count = records.size();
    const std::size_t n = a_wavelengths.size();
    std::vector<hyp_data> out(count);
    for (hyp_data& r : out) {
        r.a_values.resize(n);
        r.c_values.resize(n);
    }
    const std::size_t per_part = std::max<std::size_t>(1, parallel::tuning().min_part_records);
    const std::size_t parts =
        std::clamp<std::size_t>(count / per_part, 1, parallel::thread_count());
    std::vector<std::size_t> done(parts, 0);
    auto first_of = [&](std::size_t k) { return count * k / parts; };
    const std::vector<std::exception_ptr> errors = parallel::run_all(parts, [&](std::size_t k) {
        for (std::size_t i = first_of(k); i < first_of(k + 1); ++i) {
            correct_into(i, out[i]);
            ++done[k];
        }
    });
    for (std::size_t k = 0; k < parts; ++k) {
        if (errors[k]) {
            out.resize(first_of(k) + done[k]);
            corrected_records = std::move(out);
            std::rethrow_exception(errors[k]);
        }
    }
    corrected_records = std::move(out);
}

std::vector<double> HYP_Data::correct_series(int channel, bool is_a) const {
    const std::size_t count = records.size();
    const std::size_t n = a_wavelengths.size();
    if (channel < 0 || static_cast<std::size_t>(channel) >= n)
        throw VelmoraError("Channel " + std::to_string(channel) + " does not exist.");
    const std::size_t ch = static_cast<std::size_t>(channel);
    std::vector<double> out;

    if (is_processed) {
        out.resize(count);
        for (std::size_t j = 0; j < count; ++j) {
            const std::vector<double>& v = is_a ? records[j].a_values : records[j].c_values;
            if (v.size() <= ch)
                throw VelmoraError(record_message(j, " has fewer values than channels."));
            out[j] = v[ch];
        }
        return out;
    }

    // This operation reads ctd_list whether or not a CTD file has been merged.
    const CTD_Data* t_list = source_list(*this, static_cast<int>(temp_source), true, false,
                                         "Temperature source unrecognized.");
    const CTD_Data* s_list = source_list(*this, static_cast<int>(saln_source), false, false,
                                         "Salinity source unrecognized.");
    check_inputs(*this, t_list, s_list);
    for (std::size_t j = 0; j < count; ++j)
        if (records[j].a_values.size() < n || records[j].c_values.size() < n)
            throw VelmoraError(record_message(j, " has fewer values than channels."));

    const Settings set = settings_of(*this);
    const int method = static_cast<int>(scat_method);
    const bool scat = is_a && do_scat && method >= 1 && method <= 3;
    const std::size_t ra = scat_ref_a;
    const std::size_t rc = scat_ref_c;
    const ChannelTerms own = is_a ? a_terms(*this, ch) : c_terms(*this, ch);
    const ChannelTerms own_c = c_terms(*this, ch);
    const ChannelTerms ref_a = a_terms(*this, scat ? ra : 0);
    const ChannelTerms ref_ac = c_terms(*this, scat ? ra : 0);
    const ChannelTerms ref_c = c_terms(*this, scat ? rc : 0);

    out.resize(count);
    for (std::size_t j = 0; j < count; ++j) {
        const hyp_data& rec = records[j];
        const double t = t_list ? t_list->samples[j].temperature : const_temp;
        const double s = s_list ? s_list->samples[j].salinity : const_saln;
        const double v = is_a ? rec.a_values[ch] : rec.c_values[ch];
        const double k = set.k(own, t, s);
        if (!scat) {
            out[j] = v - k;
            continue;
        }
        // The same values and order of operations as correct_one_line for channel ch.
        const double a_i = v - k;
        const double c_i = rec.c_values[ch] - set.k(own_c, t, s);
        const double a_ra = rec.a_values[ra] - set.k(ref_a, t, s);
        const double c_ra = rec.c_values[ra] - set.k(ref_ac, t, s);
        const double c_rc = rec.c_values[rc] - set.k(ref_c, t, s);
        const double p_ref = scat_term(method, a_ra, c_ra, a_ra, c_rc);
        if (!scat_no_negative || p_ref >= 0.0)
            out[j] = v - (k + scat_term(method, a_i, c_i, a_ra, c_rc));
        else
            out[j] = a_i;
    }
    return out;
}
