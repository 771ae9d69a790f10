#include "devfile.h"

#include <algorithm>
#include <fstream>
#include <new>
#include <numeric>
#include <string_view>

#include "devfile_layout.h"
#include "file_checks.h"
#include "text.h"

namespace {

namespace layout = devfile_layout;

// The device file's fields: the first token of a line ends at a blank or a tab, every later one
// at a tab only; runs of delimiters between tokens are skipped.
class DevFields {
  public:
    explicit DevFields(std::string_view line) : rest_(line) {}

    bool next(std::string_view& field) {
        const std::string_view delims = first_ ? std::string_view(" \t") : std::string_view("\t");
        first_ = false;
        const std::size_t begin = rest_.find_first_not_of(delims);
        if (begin == std::string_view::npos) {
            rest_ = {};
            return false;
        }
        rest_.remove_prefix(begin);
        const std::size_t end = rest_.find_first_of(delims);
        field = rest_.substr(0, end);
        rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
        return true;
    }

    // The next field converted by the string-to-double rules; false when the line has ended.
    bool next_number(double& value) {
        std::string_view field;
        if (!next(field))
            return false;
        value = text::parse_double(field);
        return true;
    }

  private:
    std::string_view rest_;
    bool first_ = true;
};

class LineSource {
  public:
    LineSource(std::istream& in, std::vector<std::string>& lines) : in_(in), lines_(lines) {}

    // Reads the next line, keeps it in `lines` and returns it without its line ending; false at
    // the end of the file.
    bool next(std::string_view& line) {
        std::string raw;
        if (!std::getline(in_, raw))
            return false;
        lines_.push_back(std::string(text::chomp(raw)));
        line = lines_.back();
        return true;
    }
    // A line of the header block: a missing one reads as empty, like an empty line.
    std::string_view header() {
        std::string_view line;
        if (!next(line))
            line = {};
        return line;
    }

  private:
    std::istream& in_;
    std::vector<std::string>& lines_;
};

// The whole parse, into a fresh object; the caller keeps its old state when this raises.
void parse_into(devfile& d, const std::string& path) {
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in.is_open())
        throw VelmoraError("Unable to open devfile.");
    LineSource src(in, d.lines);

    std::string_view line;
    if (!src.next(line))
        line = {};
    {
        text::FieldCursor words(line);
        std::string_view word;
        if (words.next(word))
            d.type_word = std::string(word.substr(0, 4095));
    }
    if (line.substr(0, 3) == "HYP")
        d.is_flw = 0;
    else if (line.substr(0, 3) == "FLW")
        d.is_flw = 1;
    else
        throw VelmoraError("This file does not seem to be an FLW or HYP devfile.");
    const bool flw = d.is_flw != 0;
    const char* const channel_error =
        flw ? "Unexpected error in devfile" : "Unexpected error in devfile.";

    // Line 2: the serial number; HYP writes it in hexadecimal with a top byte of 0x53.
    line = src.header();
    if (flw)
        d.serial_number = static_cast<std::uint32_t>(text::parse_long(line));
    else
        d.serial_number = static_cast<std::uint32_t>(text::parse_hex(line)) - 0x53000000u;

    line = src.header();
    d.line3_value = static_cast<std::int32_t>(text::parse_int_auto(line));

    // Line 4: a label, then the factory calibration temperature.
    line = src.header();
    {
        std::size_t used = 0;
        const double value = text::number_after_first_word(line, &used);
        d.factory_cal_unparsed = used == 0;
        d.factory_cal_temp = d.factory_cal_unparsed ? 0.0f : static_cast<float>(value);
    }

    line = src.header();
    {
        std::size_t used = 0;
        d.line5_values[0] = static_cast<float>(text::parse_double(line, &used));
        if (used > 0)
            d.line5_values[1] = static_cast<float>(text::parse_double(line.substr(used)));
    }

    line = src.header();
    d.baud_rate = static_cast<std::int32_t>(text::parse_long(line));
    line = src.header();
    d.path_length = text::parse_double(line);

    long long wavelengths = layout::flw_channels_per_kind;
    if (!flw) {
        line = src.header();
        wavelengths = text::parse_long(line);
        if (wavelengths < 1)
            throw VelmoraError(channel_error);
    }
    line = src.header();
    d.num_tempbins = static_cast<std::uint32_t>(text::parse_long(line));
    const std::size_t nbins = d.num_tempbins;

    line = src.header();
    {
        if (text::has_no_field(line))
            throw VelmoraError(channel_error);
        DevFields fields(line);
        double value = 0.0;
        while (d.temp_bins.size() < nbins && fields.next_number(value))
            d.temp_bins.push_back(value);
        if (nbins == 0 || d.temp_bins.size() != nbins)
            throw VelmoraError("Number of temperature bins misidentified in devfile.");
        for (std::size_t i = 1; i < nbins; ++i)
            if (d.temp_bins[i] < d.temp_bins[i - 1])
                throw VelmoraError("Temperature bins of devfile are not in ascending order.");
    }

    // Reads `count` numeric fields into `out`; false when the line ends first.
    auto take = [](DevFields& f, std::size_t count, std::vector<double>& out) {
        double value = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            if (!f.next_number(value))
                return false;
            out.push_back(value);
        }
        return true;
    };
    // A field made of `letter` followed by a number.
    auto lettered = [](std::string_view field, char letter, double& value) {
        std::size_t used = 0;
        if (field.empty() || field[0] != letter)
            return false;
        value = text::parse_double(field.substr(1), &used);
        return used > 0;
    };

    if (!flw) {
        for (long long k = 0; k < wavelengths; ++k) {
            if (!src.next(line))
                throw VelmoraError(channel_error);
            DevFields f(line);
            std::string_view c_field, a_field, ignored;
            double c_wl = 0.0, a_wl = 0.0;
            if (!f.next(c_field) || !f.next(a_field) || !lettered(c_field, 'C', c_wl) ||
                !lettered(a_field, 'A', a_wl) || !f.next(ignored))
                throw VelmoraError(channel_error);
            d.c_wl.push_back(c_wl);
            d.a_wl.push_back(a_wl);
            if (!take(f, 1, d.c_offsets) || !take(f, 1, d.a_offsets) ||
                !take(f, nbins, d.temp_adjustments_c) || !take(f, nbins, d.temp_adjustments_a))
                throw VelmoraError(channel_error);
        }
    } else {
        for (std::size_t k = 0; k < layout::flw_channel_lines; ++k) {
            if (!src.next(line))
                throw VelmoraError(channel_error);
            const char first = line.empty() ? '\0' : line[0];
            const bool is_a = first == 'a' || first == 'A';
            const bool is_c = first == 'c' || first == 'C';
            std::size_t used = 0;
            const double wl = line.empty() ? 0.0 : text::parse_double(line.substr(1), &used);
            if ((!is_a && !is_c) || used == 0)
                throw VelmoraError(channel_error);
            d.channel_is_a.push_back(is_a);
            (is_a ? d.file_a_wl : d.file_c_wl).push_back(wl);
            DevFields f(line);
            std::string_view wl_field, ignored;
            if (!f.next(wl_field) || !f.next(ignored) ||
                !take(f, 1, is_a ? d.file_a_offsets : d.file_c_offsets) ||
                !take(f, nbins, is_a ? d.file_temp_a : d.file_temp_c))
                throw VelmoraError(channel_error);
        }
        if (d.file_a_wl.size() != layout::flw_channels_per_kind ||
            d.file_c_wl.size() != layout::flw_channels_per_kind)
            throw VelmoraError(channel_error);

        auto order_of = [](const std::vector<double>& wl) {
            std::vector<std::int32_t> order(wl.size());
            std::iota(order.begin(), order.end(), 0);
            std::stable_sort(order.begin(), order.end(),
                             [&wl](std::int32_t x, std::int32_t y) { return wl[x] < wl[y]; });
            return order;
        };
        d.a_order = order_of(d.file_a_wl);
        d.c_order = order_of(d.file_c_wl);
        for (std::size_t k = 0; k < layout::flw_channels_per_kind; ++k) {
            const std::size_t ia = static_cast<std::size_t>(d.a_order[k]);
            const std::size_t ic = static_cast<std::size_t>(d.c_order[k]);
            d.a_wl.push_back(d.file_a_wl[ia]);
            d.c_wl.push_back(d.file_c_wl[ic]);
            d.a_offsets.push_back(d.file_a_offsets[ia]);
            d.c_offsets.push_back(d.file_c_offsets[ic]);
            for (std::size_t j = 0; j < nbins; ++j) {
                d.temp_adjustments_a.push_back(d.file_temp_a[ia * nbins + j]);
                d.temp_adjustments_c.push_back(d.file_temp_c[ic * nbins + j]);
            }
        }
    }

    // Two trailing lines, kept but not interpreted; a missing one is kept as an empty line so
    // that the header of a data file written from this device file keeps its layout.
    for (std::size_t i = 0; i < layout::trailing_lines; ++i)
        if (!src.next(line))
            d.lines.emplace_back();
    d.file_path = path.substr(0, 4096);
}

} // namespace

void devfile::parse(const std::string& path) {
    file_checks::refuse_folder(path);
    devfile fresh;
    try {
        parse_into(fresh, path);
    } catch (const VelmoraError&) {
        throw;
    } catch (const std::exception&) {
        throw VelmoraError("Unable to open device file");
    }
    *this = std::move(fresh);
}

devfile::TempPosition devfile::locate_temperature(double temperature) const {
    const std::size_t n = temp_bins.size();
    TempPosition pos;
    std::size_t below = n; // none seen yet
    for (std::size_t i = 0; i < n; ++i) {
        if (temp_bins[i] == temperature) {
            pos.index = i;
            return pos;
        }
        if (temp_bins[i] < temperature)
            below = i;
    }
    if (below == n) {
        pos.index = 0; // below the first bin: the first bin's value
        return pos;
    }
    if (below + 1 < n) {
        pos.index = below;
        pos.fraction = (temperature - temp_bins[below]) / (temp_bins[below + 1] - temp_bins[below]);
        pos.interpolate = true;
        return pos;
    }
    pos.index = n - 1;
    return pos;
}

double devfile::temp_adjustment_at(bool is_a, int channel, const TempPosition& pos) const {
    const std::vector<double>& table = is_a ? temp_adjustments_a : temp_adjustments_c;
    const std::size_t n = temp_bins.size();
    if (n == 0)
        return 0.0;
    const std::size_t base = static_cast<std::size_t>(channel) * n + pos.index;
    if (base >= table.size())
        return 0.0;
    if (!pos.interpolate)
        return table[base];
    const double lo = table[base];
    const double hi = table[base + 1];
    return lo + pos.fraction * (hi - lo);
}

double devfile::temp_adjustment(bool is_a, int channel, double temperature) const {
    return temp_adjustment_at(is_a, channel, locate_temperature(temperature));
}

DeviceKind peek_device_kind(const std::string& path) {
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in.is_open())
        return DeviceKind::Neither;
    char head[3] = {0, 0, 0};
    in.read(head, 3);
    if (in.gcount() < 3)
        return DeviceKind::Neither;
    const std::string_view first(head, 3);
    if (text::starts_with_nocase(first, "HYP"))
        return DeviceKind::HYP;
    if (text::starts_with_nocase(first, "FLW"))
        return DeviceKind::FLW;
    return DeviceKind::Neither;
}
