// The corrected output file: a 21-line header that says where the data came from and which
// corrections were applied, then every record corrected with the current settings.
#include <cmath>
#include <ostream>
#include <string>

#include "atomic_file.h"
#include "channel_labels.h"
#include "clock_time.h"
#include "hyp_data.h"
#include "nearest_index.h"
#include "text.h"

namespace {

std::string g6(double v) {
    return text::format_g(v, 6);
}

} // namespace

void HYP_Data::write_corrected_header(std::ostream& out, bool ctd_columns, bool chl_column) const {
    write_corrected_header(out, ctd_columns, chl_column, CorrectedHeaderExtras{});
}

void HYP_Data::write_corrected_header(std::ostream& out, bool ctd_columns, bool chl_column,
                                      const CorrectedHeaderExtras& extras) const {
    const std::vector<double>& a_wavelengths =
        extras.a_wavelengths ? *extras.a_wavelengths : this->a_wavelengths;
    const std::vector<double>& c_wavelengths =
        extras.c_wavelengths ? *extras.c_wavelengths : this->c_wavelengths;
    std::string h;
    auto line = [&](const std::string& s) {
        h += s;
        h += '\n';
    };
    line(start_utc ? "Output of hyp/flw data\t" + clock_time::start_field(*start_utc)
                   : "Output of hyp/flw data");
    line("File created by Velmora version 2.0");
    line("This file was created from the following files:");
    line("HYP file: " + file_name);
    line(ctd_merged ? "CTD file: " + ctd_file.source_file : "No CTD file used.");
    line(water_loaded ? "Water file: " + water_file_name : "No Water file used.");
    line(extras.processing.empty() ? "" : "Processing: " + extras.processing);
    line(extras.recipe.empty() ? "" : "Recipe: " + extras.recipe);
    line("Factory Calibration temperature: " + g6(fac_cal_temp));
    line(do_water ? "Field Water Calibration temperature: " + g6(water_cal_temp) : "");
    switch (temp_source) {
    case TempSource::Constant:
        line("Using constant temperature " + text::format_fixed(const_temp, 1) + " degrees.");
        break;
    case TempSource::CTD:
        line("Using CTD file for temperature.");
        break;
    case TempSource::Onboard:
        line("Using onboard sensors for temperature.");
        break;
    case TempSource::Fitted:
        line("Using fitted temperature.");
        break;
    default:
        throw VelmoraError("Temperature source not recognized.");
    }
    switch (saln_source) {
    case SalnSource::Constant:
        line("Using constant salinity " + text::format_fixed(const_saln, 1) + " psu.");
        break;
    case SalnSource::CTD:
        line("Using CTD file for salinity.");
        break;
    case SalnSource::Onboard:
        line("Using onboard sensors for salinity.");
        break;
    case SalnSource::Fitted:
        line("Using fitted salinity.");
        break;
    default:
        throw VelmoraError("Salinity source not recognized.");
    }
    line(do_temp ? "Temperature correction applied." : "");
    line(do_saln ? "Salinity correction applied." : "");
    line(do_water ? "Water file subtraction applied." : "");
    // The sentence names the method the engine applied; an unknown one applies no term.
    const std::string at = text::format_fixed(scat_ref_a_wl, 1) + " nm";
    std::string scattering;
    if (do_scat && scat_method == ScatMethod::Baseline)
        scattering = "Scattering correction by baseline subtraction applied at " + at;
    else if (do_scat && scat_method == ScatMethod::Proportional)
        scattering = "Scattering correction by proportional subtraction applied at " + at;
    else if (do_scat && scat_method == ScatMethod::FractionOfB)
        scattering = "Scattering correction by a fixed fraction of b (14 %) applied.";
    if (extras.scattering_given) {
        line(extras.scattering);
        line(extras.scattering_note);
    } else {
        line(scattering);
        line(!scattering.empty() && scat_no_negative
                 ? "Scattering corrections resulting in negative values not applied."
                 : "");
    }
    line(std::to_string(a_wavelengths.size()) + "\t\t ; number of wavelengths");
    if (chl_column) {
        if (a_wavelengths.empty() || c_wavelengths.empty())
            throw VelmoraError("The ChlA column needs wavelengths.");
        line("Calculated ChlA by ( a(" + g6(a_wavelengths[nearest_index(a_wavelengths, 676.0)]) +
             ") - a(" + g6(a_wavelengths[nearest_index(a_wavelengths, 650.0)]) + ") ) / c(" +
             g6(c_wavelengths[nearest_index(c_wavelengths, 650.0)]) + ")");
    } else {
        line("");
    }
    line(gps_merged ? "GPS file: " + gps_file_name : "");
    h += "Time(ms)\t";
    append_channel_labels(h, c_wavelengths, a_wavelengths);
    if (ctd_columns)
        h += "temp\tsaln\tpres\t";
    if (gps_merged)
        h += "Lat\tLon\t";
    if (chl_column)
        h += "Chl_a\t";
    h += extras.extra_labels;
    h += '\n';
    out << h;
}

void HYP_Data::save_corrected(const std::string& path, bool ctd_columns, bool chl_column) {
    if (is_processed)
        throw VelmoraError(kAlreadyCorrected);
    AtomicFile file(path,
                    "Unable to open file for saving.  Is this file opened in another program?");
    if (!ctd_merged)
        ctd_columns = false;
    write_corrected_header(file.stream(), ctd_columns, chl_column);
    write_corrected_lines(file.stream(), ctd_columns, chl_column);
    file.commit();
}

double HYP_Data::chl_ratio_of(const hyp_data& r) const {
    if (a_wavelengths.empty() || c_wavelengths.empty())
        throw VelmoraError("The ChlA column needs wavelengths.");
    const std::size_t a715 = nearest_index(a_wavelengths, 715.0);
    const std::size_t a650 = nearest_index(a_wavelengths, 650.0);
    const std::size_t a676 = nearest_index(a_wavelengths, 676.0);
    const std::size_t c650 = nearest_index(c_wavelengths, 650.0);
    if (r.a_values.size() < a_wavelengths.size() || r.c_values.size() < c_wavelengths.size())
        throw VelmoraError("A record holds fewer values than there are channels.");
    if (r.a_values[a715] - r.a_values[a650] > 0.001)
        return 0.0;
    return (r.a_values[a676] - r.a_values[a650]) / r.c_values[c650];
}

double HYP_Data::chl_ratio(std::size_t index) const {
    if (index >= corrected_records.size())
        throw VelmoraError("No corrected record for the ChlA column.");
    return chl_ratio_of(corrected_records[index]);
}
