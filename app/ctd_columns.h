// The column-choice dialog's logic (TF_LoadCTD): the 100-line preview of a CTD file and the
// check of the four column numbers against the columns of the check line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app_services.h"

namespace ctd_columns {

constexpr int kPreviewLines = 100;
constexpr int kCheckLine = 98; // the 99th preview line, the second-to-last

// The first 100 lines of `path` (each at most 4095 characters, as a 4096-byte line buffer
// reads them), padded with empty lines.  Raises VelmoraError "Unable to open file.".
std::vector<std::string> read_preview(const std::string& path);

// Columns of a line: blank-separated fields, counted from 1 when the line does not start with
// a blank.  An empty line counts 1.
int count_columns(std::string_view line);

// The fields of a line as the columns count them: runs of blanks separate them.
std::vector<std::string_view> split_columns(std::string_view line);

// The four field texts of the dialog.
struct FieldTexts {
    std::string time, pres, temp, saln;
};

// Parses the fields (decimal integers; text that is no number counts 0) and checks them in the
// order temperature, pressure, salinity, time.  Returns the columns, or in `error` the message
// naming the last invalid one: "The %s column has an invalid value.".
std::optional<CtdColumns> accept(const FieldTexts& fields, const std::string& check_line,
                                 std::string& error);

// The time-format list, in the order of CtdTimeFormat (ms first).
inline constexpr const char* kTimeFormatItems[] = {
    "ms (instrument time)", "s since the first record", "UTC s since 1970 (epoch)",
    "UTC ISO (2024-03-15T12:00:30Z)", "UTC date and time (two columns)"};
// The lag field: seconds, a decimal comma allowed, within a day either way; nothing otherwise
// ("The Lag field has an invalid value.").
std::optional<double> accept_lag(const std::string& text);

} // namespace ctd_columns
