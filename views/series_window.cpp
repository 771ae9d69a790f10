#include "series_window.h"

#include "hyp_data.h"

SeriesWindow::SeriesWindow() = default;
SeriesWindow::~SeriesWindow() = default;

std::vector<double> SeriesWindow::settingsKey(const HYP_Data& d, int a_channel, int c_channel) {
    std::vector<double> key = {double(d.is_processed),
                               double(d.temp_source),
                               double(d.saln_source),
                               d.const_temp,
                               d.const_saln,
                               d.fac_cal_temp,
                               d.water_cal_temp,
                               double(d.do_temp),
                               double(d.do_saln),
                               double(d.do_water),
                               double(d.do_scat),
                               double(d.scat_method),
                               double(d.scat_no_negative),
                               double(d.scat_ref_a),
                               double(d.scat_ref_c),
                               double(d.water_loaded),
                               double(d.ctd_merged),
                               double(a_channel),
                               double(c_channel),
                               double(d.a_wavelengths.size()),
                               double(d.c_wavelengths.size()),
                               double(d.ctd_list.samples.size()),
                               double(d.onboard_list.samples.size()),
                               double(d.fitted_list.samples.size())};
    for (const ts_coef& c : d.a_coefs)
        key.insert(key.end(), {c.psi_t_a, c.psi_s_a});
    for (const ts_coef& c : d.c_coefs)
        key.insert(key.end(), {c.psi_t_c, c.psi_s_c});
    key.insert(key.end(), d.water_a.begin(), d.water_a.end());
    key.insert(key.end(), d.water_c.begin(), d.water_c.end());
    return key;
}

bool SeriesWindow::canCorrectFrom(const HYP_Data& d, std::size_t first) {
    const std::size_t n = d.records.size();
    if (first > n)
        return false;
    for (const CTD_Data* list : {&d.ctd_list, &d.onboard_list, &d.fitted_list})
        if (!list->samples.empty() && list->samples.size() < n)
            return false;
    return true;
}

namespace {
void slice(const CTD_Data& from, CTD_Data& to, std::size_t first, std::size_t end) {
    to.samples.clear();
    if (from.samples.size() >= end)
        to.samples.assign(from.samples.begin() + static_cast<std::ptrdiff_t>(first),
                          from.samples.begin() + static_cast<std::ptrdiff_t>(end));
}
} // namespace

void SeriesWindow::load(const HYP_Data& d, std::size_t first) {
    if (!scratch_)
        scratch_ = std::make_unique<HYP_Data>();
    HYP_Data& s = *scratch_;
    const std::size_t end = d.records.size();
    s.is_processed = d.is_processed;
    s.temp_source = d.temp_source;
    s.saln_source = d.saln_source;
    s.const_temp = d.const_temp;
    s.const_saln = d.const_saln;
    s.fac_cal_temp = d.fac_cal_temp;
    s.water_cal_temp = d.water_cal_temp;
    s.do_temp = d.do_temp;
    s.do_saln = d.do_saln;
    s.do_water = d.do_water;
    s.do_scat = d.do_scat;
    s.scat_method = d.scat_method;
    s.scat_no_negative = d.scat_no_negative;
    s.scat_ref_a = d.scat_ref_a;
    s.scat_ref_c = d.scat_ref_c;
    s.scat_ref_a_wl = d.scat_ref_a_wl;
    s.scat_ref_c_wl = d.scat_ref_c_wl;
    s.ctd_loaded = d.ctd_loaded;
    s.ctd_merged = d.ctd_merged;
    s.water_loaded = d.water_loaded;
    s.instrument_type = d.instrument_type;
    s.num_wavelengths = d.num_wavelengths;
    s.a_wavelengths = d.a_wavelengths;
    s.c_wavelengths = d.c_wavelengths;
    s.a_coefs = d.a_coefs;
    s.c_coefs = d.c_coefs;
    s.water_a = d.water_a;
    s.water_c = d.water_c;
    s.records.assign(d.records.begin() + static_cast<std::ptrdiff_t>(first), d.records.end());
    slice(d.ctd_list, s.ctd_list, first, end);
    slice(d.onboard_list, s.onboard_list, first, end);
    slice(d.fitted_list, s.fitted_list, first, end);
}

std::vector<double> SeriesWindow::correctFrom(const HYP_Data& d, int channel, bool is_a,
                                              std::size_t first) {
    load(d, first);
    return scratch_->correct_series(channel, is_a);
}
