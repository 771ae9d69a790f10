// A device file rebuilt from the data set's header lines, with every clean-water offset lowered
// by the mean corrected value of its channel over the selected records.
#include <string>
#include <string_view>
#include <vector>

#include "atomic_file.h"
#include "devfile_layout.h"
#include "hyp_data.h"
#include "text.h"

namespace {

namespace layout = devfile_layout;

// One offset line taken apart: `skip` fields, the text field W, `offsets` numbers, and the rest of
// the line from its first non-blank character.
struct OffsetLine {
    std::string_view w;
    double offsets[2] = {0.0, 0.0};
    std::string_view rest;
};

OffsetLine split_offset_line(std::string_view line, int skip, int offsets) {
    OffsetLine out;
    text::FieldCursor cur(line);
    std::string_view f;
    for (int i = 0; i < skip; ++i) {
        if (!cur.next(f))
            throw VelmoraError("Unexpected error in devfile.");
    }
    if (!cur.next(out.w))
        throw VelmoraError("Unexpected error in devfile.");
    std::string_view rest = cur.remainder();
    for (int i = 0; i < offsets; ++i) {
        std::size_t used = 0;
        out.offsets[i] = text::parse_double(rest, &used);
        if (used == 0)
            throw VelmoraError("Unexpected error in devfile.");
        rest.remove_prefix(used);
    }
    while (!rest.empty() && text::is_blank(rest.front()))
        rest.remove_prefix(1);
    out.rest = rest;
    return out;
}

void append_g6(std::string& out, double v) {
    text::append_g(out, v, 6);
}

} // namespace

void HYP_Data::save_devfile(const std::string& path, const RecordIndices& indices) {
    AtomicFile file(path,
                    "Unable to open file for saving.  Is this file opened in another program?");
    const std::size_t n = a_wavelengths.size();
    if (instrument_type != InstrumentType::HYP && instrument_type != InstrumentType::FLW)
        throw VelmoraError("Unable to determine file type!  This should not happen.");
    const bool hyp = instrument_type == InstrumentType::HYP;
    const bool lines_ok =
        hyp ? header_lines.size() >= layout::hyp_data_header_lines(n) && c_wavelengths.size() == n
            : header_lines.size() >= layout::flw_line_count &&
                  channel_is_a.size() == layout::flw_channel_lines && a_order.size() == n &&
                  c_order.size() == c_wavelengths.size();
    if (!lines_ok)
        throw VelmoraError("Device file lines are not available for this data set.");
    if (indices.empty())
        throw VelmoraError("No records selected.");
    for (const std::size_t idx : indices) {
        if (idx >= records.size())
            throw VelmoraError("Record index out of range.");
    }

    std::vector<double> mean_a(n, 0.0), mean_c(c_wavelengths.size(), 0.0);
    for (const std::size_t idx : indices) {
        const hyp_data r = correct_one_line(idx);
        if (r.a_values.size() < mean_a.size() || r.c_values.size() < mean_c.size())
            throw VelmoraError("A record holds fewer values than there are channels.");
        for (std::size_t i = 0; i < mean_a.size(); ++i)
            mean_a[i] += r.a_values[i];
        for (std::size_t i = 0; i < mean_c.size(); ++i)
            mean_c[i] += r.c_values[i];
    }
    const double count = static_cast<double>(indices.size());
    for (double& v : mean_a)
        v /= count;
    for (double& v : mean_c)
        v /= count;

    std::string out;
    auto copy = [&](std::size_t i) {
        out += header_lines[i];
        out += '\n';
    };
    if (hyp) {
        for (std::size_t i = 0; i < layout::hyp_header_lines; ++i)
            copy(i);
        for (std::size_t j = 0; j < n; ++j) {
            const OffsetLine old =
                split_offset_line(text::chomp(header_lines[layout::hyp_channel_line(j)]), 2, 2);
            out += 'C';
            append_g6(out, c_wavelengths[j]);
            out += "\tA";
            append_g6(out, a_wavelengths[j]);
            out += '\t';
            out += old.w;
            out += '\t';
            append_g6(out, old.offsets[0] - mean_c[j]);
            out += '\t';
            append_g6(out, old.offsets[1] - mean_a[j]);
            out += "\t\t";
            out += old.rest;
            out += '\n';
        }
        copy(layout::hyp_first_trailing_line(n));
    } else {
        for (std::size_t i = 0; i < layout::flw_header_lines; ++i)
            copy(i);
        std::size_t ma = 0, mc = 0;
        for (std::size_t j = 0; j < layout::flw_channel_lines; ++j) {
            const OffsetLine old =
                split_offset_line(text::chomp(header_lines[layout::flw_channel_line(j)]), 1, 1);
            const bool is_a = channel_is_a[j];
            const std::size_t m = is_a ? ma++ : mc++;
            const std::vector<std::int32_t>& order = is_a ? a_order : c_order;
            std::size_t k = order.size();
            for (std::size_t i = 0; i < order.size(); ++i) {
                if (order[i] >= 0 && static_cast<std::size_t>(order[i]) == m)
                    k = i;
            }
            if (k == order.size())
                throw VelmoraError("Device file lines are not available for this data set.");
            out += is_a ? 'A' : 'C';
            append_g6(out, is_a ? a_wavelengths[k] : c_wavelengths[k]);
            out += '\t';
            out += old.w;
            out += '\t';
            append_g6(out, old.offsets[0] - (is_a ? mean_a[k] : mean_c[k]));
            out += "\t\t";
            out += old.rest;
            out += '\n';
        }
        for (std::size_t i = layout::flw_first_trailing_line; i < layout::flw_line_count; ++i)
            copy(i);
    }
    file.stream() << out;
    file.commit();
}
