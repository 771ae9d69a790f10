// SeaBASS archive files: the writer, and a checker of the archive's rules that can be checked
// offline.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct ProductTable;

namespace seabass {

// The header keywords every SeaBASS file must carry, in the order they are written (and in
// which a missing one is named).
inline constexpr const char* kRequiredKeywords[] = {
    "investigators",  "affiliations",   "contact",
    "experiment",     "cruise",         "station",
    "data_file_name", "documents",      "calibration_files",
    "data_type",      "data_status",    "start_date",
    "end_date",       "start_time",     "end_time",
    "north_latitude", "south_latitude", "east_longitude",
    "west_longitude", "water_depth",    "measurement_depth",
    "missing",        "delimiter",      "fields",
    "units",
};

// The required keywords whose value always comes from the data or the writer itself.
inline constexpr const char* kWriterKeywords[] = {
    "data_file_name", "start_date", "end_date", "start_time", "end_time",
    "missing",        "delimiter",  "fields",   "units",
};

struct Finding {
    std::size_t line = 0; // 1-based; 0: the file as a whole
    bool error = true;    // else a warning
    std::string text;
};

// Checks the text of a SeaBASS file.  `file_name` (the name without folders; empty: unknown) is
// compared with the data_file_name keyword.  Findings in line order, those about the file as a
// whole last.
std::vector<Finding> check_text(std::string_view text, std::string_view file_name = {});

// Checks a SeaBASS file; VelmoraError "Unable to open file." when it cannot be read.
std::vector<Finding> check_file(const std::string& path);

// "PATH:LINE: error: TEXT" ("PATH: warning: TEXT" for the file as a whole).
std::string finding_line(const std::string& path, const Finding& f);

// The required keywords that neither the table's data nor its metadata give a value for, in the
// order of kRequiredKeywords (empty: the header can be written).  Dates and times are not among
// them: they need the start time, which write_file asks for first.  Without GPS the position
// bounds come from the metadata (north_latitude ... west_longitude); water_depth and
// measurement_depth are NA unless given, and a data set that does not know its device file's
// name needs calibration_files.
std::vector<std::string> missing_keywords(const ProductTable& t);

// The required keywords with the values the data give them (the device file, the data type,
// bounds from GPS, NA depths) or the metadata, in the order of kRequiredKeywords; empty where
// neither gives one.  Fields and units are left out.
std::vector<std::pair<std::string, std::string>> header_values(const ProductTable& t);

// The field name of a wavelength: one decimal, a trailing ".0" dropped (412.5 -> "412.5",
// 440 -> "440").
std::string wavelength_name(double nm);

// Raises what write_file refuses before it writes anything: no start time, missing metadata,
// no record.
void refuse_unwritable(const ProductTable& t);

// Writes the table as a SeaBASS file (a temporary file, checked, then put in place).  Refuses
// with VelmoraError: a table without a start time, missing required metadata, a file that
// fails the check (nothing is kept).
void write_file(const std::string& path, const ProductTable& t);

} // namespace seabass
