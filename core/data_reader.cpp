// load_file: instrument data files (HYP, FLW), processed and corrected files, and in water mode
// also water calibration files.  Everything is read into local lists first and moved into the
// data set only when the whole file has been read, so a failed load changes nothing.
#include <algorithm>
#include <charconv>
#include <exception>
#include <iterator>
#include <new>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "clock_time.h"
#include "file_checks.h"
#include "file_lines.h"
#include "hyp_data.h"
#include "parallel.h"
#include "text.h"

namespace {

enum class Kind { hyp, flw, processed, corrected, water };

constexpr int kFlwChannels = 9;

Kind detect_kind(std::string_view line2) {
    if (text::starts_with_nocase(line2, "HYP"))
        return Kind::hyp;
    if (text::starts_with_nocase(line2, "FLW"))
        return Kind::flw;
    if (text::starts_with_nocase(line2, "Velmora"))
        return Kind::processed;
    if (text::starts_with_nocase(line2, "Water"))
        return Kind::water;
    // The corrected files this program writes carry the title line as their second line.
    if (text::starts_with_nocase(line2, "File created by Velmora"))
        return Kind::corrected;
    throw VelmoraError("File does not appear to be an HYP or FLW file.");
}

bool scan_int(std::string_view s, long long& value) {
    bool ok = false;
    const long long v = text::parse_int_auto(s, &ok);
    if (ok)
        value = v;
    return ok;
}

// A scanf format "<literal> %i" / "<literal> %lf": the line must begin with the literal, blanks
// may follow, then the number.
bool scan_after(std::string_view line, std::string_view literal, std::string_view& rest) {
    if (line.substr(0, literal.size()) != literal)
        return false;
    rest = line.substr(literal.size());
    return true;
}

// The per-record temperature and pressure that follow the a and c values: the first field after
// them and the third; a missing field keeps the value of the previous data line.  A piece of the
// file read on its own does not know the values the lines before it left: it counts the entries
// that have to take them, which are filled in when the pieces are joined.
struct Onboard {
    double temperature = 0.0;
    double pressure = 0.0;
    bool has_temperature = false, has_pressure = false;
    std::size_t without_temperature = 0, without_pressure = 0; // leading entries to fill in

    ctd_struct read(text::FieldCursor& cur) {
        std::string_view f;
        if (cur.next(f)) {
            temperature = text::parse_double(f);
            has_temperature = true;
            if (cur.next(f) && cur.next(f)) {
                pressure = text::parse_double(f);
                has_pressure = true;
            }
        }
        without_temperature += has_temperature ? 0 : 1;
        without_pressure += has_pressure ? 0 : 1;
        ctd_struct e;
        e.temperature = temperature;
        e.pressure = pressure;
        return e;
    }
};

// The records of one piece of a file's data lines.
struct Piece {
    std::vector<hyp_data> records;
    std::vector<ctd_struct> onboard;
    Onboard state;
    bool stopped = false; // a line ended the data (the empty line of a processed file)
    bool failed = false;  // the file could not be read to the piece's end
};

// What a load has read, moved into the data set once the file is complete.
struct Loaded {
    std::vector<std::string> header_lines;
    std::int32_t serial_number = 0;
    bool serial_read = false;
    double fac_cal_temp = 0.0;
    std::vector<double> a_wavelengths, c_wavelengths;
    std::vector<std::int32_t> a_order, c_order;
    std::vector<bool> channel_is_a;
    std::vector<hyp_data> records;
    std::vector<ctd_struct> onboard;
};

// A field of at most 15 digits with an optional sign and point and nothing else ("-0.4213"),
// the way the writers print them: the digits as an integer are exact in a double, and so is the
// power of ten that divides them, so the one rounding of the division gives the correctly rounded
// value, the one from_chars gives.  False for anything else.
inline bool plain_decimal(std::string_view f, double& value) {
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = f.data();
    const char* const end = p + f.size();
    const bool negative = p != end && *p == '-';
    p += negative ? 1 : 0;
    std::uint64_t digits = 0;
    int count = 0, after_point = -1;
    for (; p != end; ++p) {
        const unsigned d = static_cast<unsigned char>(*p) - static_cast<unsigned>('0');
        if (d < 10) {
            digits = digits * 10 + d;
            ++count;
            after_point += after_point >= 0 ? 1 : 0;
        } else if (*p == '.' && after_point < 0) {
            after_point = 0;
        } else {
            return false;
        }
    }
    if (count == 0 || count > 15)
        return false;
    const double v = static_cast<double>(digits) / kPow10[after_point > 0 ? after_point : 0];
    value = negative ? -v : v;
    return true;
}

// A data field as a number: plain decimals exactly as from_chars reads them, but faster; other
// numbers through from_chars; anything it reads otherwise than the string-to-double rules (a
// leading '+', overflow, a hexadecimal "0x") by those rules.
inline double field_value(std::string_view f) {
    double v = 0.0;
    if (plain_decimal(f, v))
        return v;
    const char* const end = f.data() + f.size();
    const auto [ptr, ec] = std::from_chars(f.data(), end, v);
    if (ec == std::errc() && ptr != f.data() && (ptr == end || (*ptr != 'x' && *ptr != 'X')))
        return v;
    return text::parse_double(f);
}

// Time, n c values, n a values (a missing field adds nothing), then the onboard entry.
// False for a line without any field, and for a damaged line (left out).
bool parse_plain_line(std::string_view line, std::size_t n, bool with_onboard, Piece& out) {
    if (text::has_nul(line))
        return false;
    text::FieldCursor cur(line);
    std::string_view f;
    if (!cur.next(f))
        return false;
    hyp_data rec;
    rec.time = text::parse_double(f);
    rec.c_values.reserve(n);
    rec.a_values.reserve(n);
    for (std::size_t i = 0; i < n && cur.next(f); ++i)
        rec.c_values.push_back(field_value(f));
    for (std::size_t i = 0; i < n && cur.next(f); ++i)
        rec.a_values.push_back(field_value(f));
    if (with_onboard) {
        out.onboard.push_back(out.state.read(cur));
    } else {
        out.onboard.push_back(ctd_struct{});
    }
    out.records.push_back(std::move(rec));
    return true;
}

// Appends the pieces' records to `out` in file order, up to the piece whose line ended the data,
// and gives each leading entry of a piece the onboard values the pieces before it left.
void join_pieces(std::vector<Piece>& pieces, const std::vector<std::exception_ptr>& errors,
                 Loaded& out) {
    std::size_t used = 0, total = 0;
    while (used < pieces.size()) {
        if (errors[used])
            std::rethrow_exception(errors[used]);
        if (pieces[used].failed)
            throw VelmoraError("Unable to read file.\n");
        total += pieces[used].records.size();
        if (pieces[used++].stopped)
            break;
    }
    out.records.reserve(out.records.size() + total);
    out.onboard.reserve(out.onboard.size() + total);
    double temperature = 0.0, pressure = 0.0;
    for (std::size_t k = 0; k < used; ++k) {
        Piece& p = pieces[k];
        for (std::size_t j = 0; j < p.state.without_temperature; ++j)
            p.onboard[j].temperature = temperature;
        for (std::size_t j = 0; j < p.state.without_pressure; ++j)
            p.onboard[j].pressure = pressure;
        if (p.state.has_temperature)
            temperature = p.state.temperature;
        if (p.state.has_pressure)
            pressure = p.state.pressure;
        if (out.records.empty()) {
            out.records = std::move(p.records);
            out.onboard = std::move(p.onboard);
        } else {
            std::move(p.records.begin(), p.records.end(), std::back_inserter(out.records));
            out.onboard.insert(out.onboard.end(), p.onboard.begin(), p.onboard.end());
        }
        std::vector<hyp_data>().swap(p.records);
        std::vector<ctd_struct>().swap(p.onboard);
    }
}

// Reads the data lines behind `in` to the end of the file: parse(line, piece) takes one line and
// returns false when the line ends the data.  A large file is read in pieces of whole lines, one
// thread each; the result is the one of reading it line by line.  `take_unterminated`: whether a
// last line without a line break is taken.
template <class Parse>
void read_data_lines(fileio::LineReader& in, bool take_unterminated, Loaded& out, Parse&& parse) {
    auto read_piece = [&](fileio::LineReader& r, Piece& p) {
        std::string_view line;
        while (r.next(line)) {
            if (!take_unterminated && !r.terminated())
                break;
            if (!parse(line, p)) {
                p.stopped = true;
                break;
            }
        }
        p.failed = r.failed();
    };
    const std::vector<std::size_t> bounds =
        fileio::split_rest(in, parallel::thread_count(), parallel::tuning().min_part_bytes);
    std::vector<Piece> pieces(bounds.size() - 1);
    std::vector<std::exception_ptr> errors(pieces.size());
    if (pieces.size() == 1) {
        // One piece: read on with `in` itself, which also reads what is not a regular file.
        read_piece(in, pieces[0]);
    } else {
        errors = parallel::run_all(pieces.size(), [&](std::size_t k) {
            fileio::LineReader r(in.fd(), bounds[k], bounds[k + 1]);
            read_piece(r, pieces[k]);
        });
    }
    join_pieces(pieces, errors, out);
}

// Reads one header line into `line`, keeping it when `keep`; false at the end of the file.
bool header_line(fileio::LineReader& in, std::string_view& line, Loaded& out, bool keep = true) {
    if (!in.next(line)) {
        line = {};
        return false;
    }
    if (keep)
        out.header_lines.emplace_back(line);
    return true;
}

bool is_channel_letter(char c) {
    return c == 'a' || c == 'c' || c == 'A' || c == 'C';
}

// The serial line of the device file, read with its base: hexadecimal after 0x, decimal
// otherwise.  The HYP device file writes the serial in hexadecimal under the model's top byte
// 0x53, which is removed as the device file reader removes it, so that data read from a file and
// data acquired with its device file carry the same serial number.
bool read_serial(std::string_view line, bool hyp, std::int32_t& serial) {
    std::size_t i = 0;
    while (i < line.size() && text::is_blank(line[i]))
        ++i;
    const std::string_view t = line.substr(i);
    bool ok = false;
    long long value = 0;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        unsigned long long v = text::parse_hex(t, &ok);
        if (hyp && (v >> 24) == 0x53)
            v -= 0x53000000ull;
        value = static_cast<long long>(v & 0xffffffffull);
    } else {
        value = text::parse_long(t, &ok);
    }
    if (ok)
        serial = static_cast<std::int32_t>(value);
    return ok;
}

// Lines 3 to 8 (and 9 for HYP) and the two temperature-bin lines.
void read_device_header(fileio::LineReader& in, bool hyp, Loaded& out) {
    std::string_view line;
    header_line(in, line, out); // line 3: serial number
    out.serial_read = read_serial(line, hyp, out.serial_number);
    header_line(in, line, out); // line 4
    header_line(in, line, out); // line 5: "%*s%lf%*s", the number after the first word
    {
        std::size_t used = 0;
        const double v = text::number_after_first_word(line, &used);
        out.fac_cal_temp = used > 0 ? v : 0.0;
    }
    for (int i = 6; i <= 8; ++i)
        header_line(in, line, out);
    if (hyp)
        header_line(in, line, out); // line 9: wavelength count, replaced by the count of lines
    header_line(in, line, out);     // number of temperature bins
    header_line(in, line, out);     // temperature bins
}

// HYP wavelength line, " C%lf\tA%lf": a wavelength that cannot be read repeats the previous one.
void read_hyp_wavelengths(std::string_view line, double& c_wl, double& a_wl) {
    std::size_t i = 0;
    while (i < line.size() && text::is_blank(line[i]))
        ++i;
    if (i >= line.size() || line[i] != 'C')
        return;
    std::size_t used = 0;
    const double c = text::parse_double(line.substr(i + 1), &used);
    if (used == 0)
        return;
    c_wl = c;
    i += 1 + used;
    while (i < line.size() && text::is_blank(line[i]))
        ++i;
    if (i >= line.size() || line[i] != 'A')
        return;
    const double a = text::parse_double(line.substr(i + 1), &used);
    if (used > 0)
        a_wl = a;
}

void read_hyp(fileio::LineReader& in, Loaded& out) {
    read_device_header(in, true, out);
    std::string_view line;
    double c_wl = 0.0, a_wl = 0.0;
    while (header_line(in, line, out)) {
        if (line.empty() || !is_channel_letter(line[0]))
            break;
        read_hyp_wavelengths(line, c_wl, a_wl);
        out.c_wavelengths.push_back(c_wl);
        out.a_wavelengths.push_back(a_wl);
    }
    header_line(in, line, out);
    header_line(in, line, out);
    const std::size_t n = out.a_wavelengths.size();
    // A last line without a line break may be cut short: it is not taken.
    read_data_lines(in, false, out, [n](std::string_view data, Piece& p) {
        parse_plain_line(data, n, true, p);
        return true;
    });
}

void read_flw(fileio::LineReader& in, Loaded& out) {
    read_device_header(in, false, out);
    // The column lines and the lines after them stay in the header, so that the file can be
    // written again and a device file rebuilt from it.
    std::vector<double> file_a, file_c;
    std::string_view line;
    while (header_line(in, line, out)) {
        if (line.empty() || !is_channel_letter(line[0]))
            break;
        const bool is_a = line[0] == 'a' || line[0] == 'A';
        const double wl = text::parse_double(line.substr(1));
        out.channel_is_a.push_back(is_a);
        (is_a ? file_a : file_c).push_back(wl);
    }
    if (file_a.size() != kFlwChannels || file_c.size() != kFlwChannels)
        throw VelmoraError("FLW file does not list nine a and nine c columns.");
    for (int i = 0; i < 3; ++i)
        header_line(in, line, out);

    out.a_order.resize(kFlwChannels);
    out.c_order.resize(kFlwChannels);
    std::iota(out.a_order.begin(), out.a_order.end(), 0);
    std::iota(out.c_order.begin(), out.c_order.end(), 0);
    std::stable_sort(out.a_order.begin(), out.a_order.end(),
                     [&](int x, int y) { return file_a[x] < file_a[y]; });
    std::stable_sort(out.c_order.begin(), out.c_order.end(),
                     [&](int x, int y) { return file_c[x] < file_c[y]; });
    for (int k = 0; k < kFlwChannels; ++k) {
        out.a_wavelengths.push_back(file_a[out.a_order[k]]);
        out.c_wavelengths.push_back(file_c[out.c_order[k]]);
    }

    const std::size_t columns = out.channel_is_a.size();
    read_data_lines(in, true, out, [&out, columns](std::string_view data, Piece& p) {
        if (text::has_nul(data))
            return true;
        text::FieldCursor cur(data);
        std::string_view f;
        if (!cur.next(f))
            return true;
        double fa[kFlwChannels], fc[kFlwChannels];
        hyp_data rec;
        rec.time = text::parse_double(f);
        int na = 0, nc = 0;
        for (std::size_t j = 0; j < columns && cur.next(f); ++j) {
            if (out.channel_is_a[j])
                fa[na++] = field_value(f);
            else
                fc[nc++] = field_value(f);
        }
        // A short line gives the channels whose columns it holds, in channel order, up to the
        // first one it lacks.
        rec.a_values.reserve(kFlwChannels);
        rec.c_values.reserve(kFlwChannels);
        for (int k = 0; k < kFlwChannels && out.a_order[k] < na; ++k)
            rec.a_values.push_back(fa[out.a_order[k]]);
        for (int k = 0; k < kFlwChannels && out.c_order[k] < nc; ++k)
            rec.c_values.push_back(fc[out.c_order[k]]);
        p.onboard.push_back(p.state.read(cur));
        p.records.push_back(std::move(rec));
        return true;
    });
}

// Processed files: the layout with "Velmora" on line 2 (two label fields before the wavelengths,
// data from line 23) and the corrected files this program writes (one label field, data from
// line 22).
void read_processed(fileio::LineReader& in, bool corrected, Loaded& out) {
    std::string_view line;
    std::size_t number = 2;
    auto next_line = [&]() {
        if (!in.next(line))
            throw VelmoraError("can't figure out where I am");
        ++number;
    };
    while (number < 18)
        next_line();
    long long n = 0;
    if (!scan_int(line, n))
        n = 0;
    next_line();
    next_line();
    next_line(); // line 21: column labels
    if (n < 0)
        throw VelmoraError("can't figure out where I am");
    text::FieldCursor cur(line);
    std::string_view f;
    for (int skip = corrected ? 1 : 2; skip > 0; --skip)
        cur.next(f);
    double wl = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        const char letter = pass == 0 ? 'c' : 'a';
        auto& list = pass == 0 ? out.c_wavelengths : out.a_wavelengths;
        for (long long i = 0; i < n; ++i) {
            if (!cur.next(f))
                throw VelmoraError("can't figure out where I am");
            std::size_t used = 0;
            if (!f.empty() && f[0] == letter) {
                const double v = text::parse_double(f.substr(1), &used);
                if (used > 0)
                    wl = v;
            }
            list.push_back(wl);
        }
    }
    // Corrected files name their extra columns; temperature and pressure are read only when the
    // label line has them.
    bool with_onboard = true;
    if (corrected)
        with_onboard = cur.next(f) && f == "temp";
    if (!corrected)
        in.next(line); // line 22
    const std::size_t count = static_cast<std::size_t>(n);
    read_data_lines(in, true, out, [count, with_onboard](std::string_view data, Piece& p) {
        if (data.empty())
            return false;
        parse_plain_line(data, count, with_onboard, p);
        return true;
    });
}

// Lines 3 to 8 of a water calibration file, read without judging them: the data set checks them
// against itself, `info` shows them.
WaterCalFile parse_water_cal(fileio::LineReader& in) {
    std::string_view line, rest;
    WaterCalFile w;
    in.next(line); // line 3: date
    w.serial_read = in.next(line) && scan_after(line, "Serial Number:", rest) &&
                    scan_int(rest, w.serial_number);
    if (in.next(line) && scan_after(line, "Water Calibration Temperature:", rest)) {
        std::size_t used = 0;
        const double t = text::parse_double(rest, &used);
        if (used > 0) {
            w.temperature = t;
            w.temp_read = true;
        }
    }
    long long n = -1;
    if (in.next(line) && scan_after(line, "Number of wavelengths:", rest) && scan_int(rest, n))
        w.wavelength_count = n;
    if (in.next(line)) { // line 7: "0", then the c and a labels
        text::FieldCursor labels(line);
        std::string_view f;
        labels.next(f);
        while (labels.next(f))
            if (f.size() > 1 && (f[0] == 'a' || f[0] == 'c'))
                (f[0] == 'a' ? w.a_wavelengths : w.c_wavelengths)
                    .push_back(text::parse_double(f.substr(1)));
    }
    if (w.wavelength_count < 0)
        return w;
    const std::size_t count = static_cast<std::size_t>(w.wavelength_count);
    std::string_view f;
    bool complete = in.next(line) && !text::has_nul(line); // a damaged line gives no value
    text::FieldCursor cur(complete ? line : std::string_view());
    complete = complete && cur.next(f);
    for (std::size_t i = 0; complete && i < count; ++i) {
        complete = cur.next(f);
        if (complete)
            w.record.c_values.push_back(text::parse_double(f));
    }
    for (std::size_t i = 0; complete && i < count; ++i) {
        complete = cur.next(f);
        if (complete)
            w.record.a_values.push_back(text::parse_double(f));
    }
    w.complete = complete;
    return w;
}

// A water calibration belongs to the data set's instrument and channels, in this order of checks.
void check_water_cal(const WaterCalFile& w, const HYP_Data& d) {
    // Serial 0 is a file of unknown serial (HYP water files were written with 0 when the serial
    // line of their data was misread), and is not refused.
    if (!w.serial_read || (w.serial_number != 0 && w.serial_number != d.serial_number))
        throw VelmoraError("Water file not from the same device as data file");
    if (w.wavelength_count != static_cast<long long>(d.a_wavelengths.size()))
        throw VelmoraError("Water has differing number of wavelengths than data file!");
    if (!w.complete)
        throw VelmoraError("Water file does not hold a value for every wavelength.");
}

// Per-channel means of a data file's records, for a water calibration.
void water_means(const std::vector<hyp_data>& recs, std::vector<double>& a,
                 std::vector<double>& c) {
    if (recs.empty())
        throw VelmoraError("No records in water file.");
    a = recs.front().a_values;
    c = recs.front().c_values;
    for (std::size_t r = 1; r < recs.size(); ++r) {
        const hyp_data& rec = recs[r];
        if (rec.a_values.size() < a.size() || rec.c_values.size() < c.size())
            throw VelmoraError("Records in water file have differing numbers of values.");
        for (std::size_t i = 0; i < a.size(); ++i)
            a[i] += rec.a_values[i];
        for (std::size_t i = 0; i < c.size(); ++i)
            c[i] += rec.c_values[i];
    }
    const double n = static_cast<double>(recs.size());
    for (double& v : a)
        v /= n;
    for (double& v : c)
        v /= n;
}

} // namespace

void HYP_Data::load_file(const std::string& path, bool water_mode) {
    file_checks::refuse_folder(path);
    fileio::LineReader in(path);
    if (!in.is_open())
        throw VelmoraError("Unable to open file.");

    Loaded out;
    Kind kind = Kind::hyp;
    WaterCalFile water;
    std::optional<std::int64_t> start; // at the end of the title line, when it carries one
    try {
        std::string_view line;
        if (in.next(line)) // title
            start = clock_time::start_in_line(line);
        std::string line2;
        if (in.next(line))
            line2 = line;
        kind = detect_kind(line2);
        out.header_lines.push_back(line2);
        switch (kind) {
        case Kind::hyp:
            read_hyp(in, out);
            break;
        case Kind::flw:
            read_flw(in, out);
            break;
        case Kind::processed:
        case Kind::corrected:
            read_processed(in, kind == Kind::corrected, out);
            break;
        case Kind::water:
            if (!water_mode)
                throw VelmoraError("You can not load water files as data.  This will be changed "
                                   "in the next release.\n");
            water = parse_water_cal(in);
            check_water_cal(water, *this);
            break;
        }
        if (in.failed())
            throw VelmoraError("Unable to read file.\n");
    } catch (const std::bad_alloc&) {
        throw VelmoraError("Internal error--Error pushing back vector.  Perhaps out of memory?");
    }

    const bool instrument = kind == Kind::hyp || kind == Kind::flw;
    if (water_mode) {
        if (kind == Kind::water) {
            water_records.clear();
            water_records.push_back(water.record);
            water_a = std::move(water.record.a_values);
            water_c = std::move(water.record.c_values);
            if (water.temp_read)
                water_cal_temp = water.temperature;
        } else {
            std::vector<double> a, c;
            water_means(out.records, a, c);
            water_records = std::move(out.records);
            water_a = std::move(a);
            water_c = std::move(c);
        }
        water_loaded = true;
        water_file_name = path;
        if (instrument && !a_wavelengths.empty())
            set_scat_ref(715.0);
        return;
    }

    // An instrument file's correction coefficients and scattering reference are set up on its
    // wavelengths before anything else is replaced: channels they refuse (a and c lists of
    // different lengths, no usable wavelength) leave the data set as it was.
    if (instrument) {
        const InstrumentType old_type = instrument_type;
        const std::vector<ts_coef> old_a_coefs = a_coefs;
        const std::vector<ts_coef> old_c_coefs = c_coefs;
        const std::uint32_t old_ref_a = scat_ref_a, old_ref_c = scat_ref_c;
        const double old_ref_a_wl = scat_ref_a_wl, old_ref_c_wl = scat_ref_c_wl;
        a_wavelengths.swap(out.a_wavelengths);
        c_wavelengths.swap(out.c_wavelengths);
        instrument_type = kind == Kind::hyp ? InstrumentType::HYP : InstrumentType::FLW;
        try {
            setup_ts_coefs();
            set_scat_ref(715.0);
        } catch (...) {
            a_wavelengths.swap(out.a_wavelengths);
            c_wavelengths.swap(out.c_wavelengths);
            instrument_type = old_type;
            a_coefs = old_a_coefs;
            c_coefs = old_c_coefs;
            scat_ref_a = old_ref_a;
            scat_ref_c = old_ref_c;
            scat_ref_a_wl = old_ref_a_wl;
            scat_ref_c_wl = old_ref_c_wl;
            throw;
        }
    } else {
        a_wavelengths = std::move(out.a_wavelengths);
        c_wavelengths = std::move(out.c_wavelengths);
    }
    header_lines = std::move(out.header_lines);
    num_wavelengths = static_cast<std::int32_t>(a_wavelengths.size());
    records = std::move(out.records);
    onboard_list.samples = std::move(out.onboard);
    ctd_list.samples = onboard_list.samples;
    start_utc = start;
    if (!instrument) {
        instrument_type = InstrumentType::Processed;
        is_processed = true;
        return;
    }
    if (out.serial_read)
        serial_number = out.serial_number;
    fac_cal_temp = out.fac_cal_temp;
    if (kind == Kind::flw) {
        a_order = std::move(out.a_order);
        c_order = std::move(out.c_order);
        channel_is_a = std::move(out.channel_is_a);
    }
    file_name = path;
}

WaterCalFile read_water_cal_file(const std::string& path) {
    file_checks::refuse_folder(path);
    fileio::LineReader in(path);
    if (!in.is_open())
        throw VelmoraError("Unable to open file.");
    std::string_view line;
    in.next(line); // title
    if (!in.next(line) || !text::starts_with_nocase(line, "Water"))
        throw VelmoraError("File does not appear to be a water calibration file.");
    WaterCalFile w = parse_water_cal(in);
    if (in.failed())
        throw VelmoraError("Unable to read file.\n");
    return w;
}
