// The post-processing panel's "Processing" and "Output" groups: the steps after the
// corrections (wavelength grid, residual temperature correction, QC flags, bins) and the files
// a save writes.  Plain state the widgets mirror; ProcessingController changes it.
#pragma once

#include <map>
#include <string>

#include "processing_options.h"
#include "products.h"

struct ProcessingPanelState {
    ProcessingOptions::Grid grid;
    ProcessingOptions::Scattering::Residual residual;
    // The scattering list's residual temperature item may be chosen: on a common grid with at
    // least three channels in its window.  Otherwise the reason, shown as its tooltip.
    bool residual_allowed = false;
    std::string residual_reason = kResidualNeedsGrid;
    ProcessingOptions::Qc qc;
    ProcessingOptions::Binning binning;
    // Widths the bin fields hold for each kind (s, m), so switching kinds keeps both.
    double time_bin_width = 60.0;
    double depth_bin_width = 1.0;
    bool out_text = true, out_netcdf = false, out_seabass = false;
    // SeaBASS header keywords the user gave (remembered in the settings).
    std::map<std::string, std::string> metadata;
    // The CTD log merged into the data set in place, as a recipe names it (file, columns, time
    // format, lag); its file is empty while none is merged.
    ProcessingOptions::Ctd ctd;
    // Why the products could not be made (shown in the group; empty when they could).
    std::string note;
};

// The scattering list's fourth item (after the three of the corrections group).
inline constexpr const char* kResidualItem = "Residual temperature (Slade 2010)";
inline constexpr int kResidualListIndex = 3;
