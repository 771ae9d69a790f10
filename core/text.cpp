#include "text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace text {

namespace {

std::string_view skip_blanks(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && is_blank(s[i]))
        ++i;
    return s.substr(i);
}

} // namespace

namespace {

// Whether an out-of-range decimal number is too large (true) or too small (false): the decimal
// exponent of its first significant digit decides, the digits themselves cannot be stored.
bool decimal_overflows(std::string_view num) {
    std::size_t i = 0;
    long long magnitude = 0;
    bool seen_digit = false;
    long long int_digits = 0;
    while (i < num.size() && num[i] >= '0' && num[i] <= '9') {
        if (seen_digit || num[i] != '0') {
            seen_digit = true;
            ++int_digits;
        }
        ++i;
    }
    if (seen_digit) {
        magnitude = int_digits - 1;
        if (i < num.size() && num[i] == '.')
            ++i;
        while (i < num.size() && num[i] >= '0' && num[i] <= '9')
            ++i;
    } else {
        if (i < num.size() && num[i] == '.')
            ++i;
        long long zeros = 0;
        while (i < num.size() && num[i] == '0') {
            ++zeros;
            ++i;
        }
        magnitude = -(zeros + 1);
        while (i < num.size() && num[i] >= '0' && num[i] <= '9')
            ++i;
    }
    long long exponent = 0;
    if (i < num.size() && (num[i] == 'e' || num[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < num.size() && (num[i] == '+' || num[i] == '-'))
            negative = num[i++] == '-';
        while (i < num.size() && num[i] >= '0' && num[i] <= '9') {
            if (exponent < 1000000000)
                exponent = exponent * 10 + (num[i] - '0');
            ++i;
        }
        if (negative)
            exponent = -exponent;
    }
    return magnitude + exponent > 0;
}

} // namespace

double parse_double(std::string_view s, std::size_t* consumed) {
    const std::size_t lead = s.size() - skip_blanks(s).size();
    std::string_view t = s.substr(lead);
    bool negative = false;
    std::size_t sign = 0;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        sign = 1;
    }
    const std::string_view body = t.substr(sign);
    const char* const first = body.data();
    const char* const last = body.data() + body.size();
    double value = 0.0;
    std::size_t used = 0;
    // from_chars would take a second sign itself ("+-3"); strtod reads no number there.
    const bool signed_again = !body.empty() && (body[0] == '+' || body[0] == '-');
    if (signed_again) {
        used = 0;
    } else if (body.size() >= 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
        // Hexadecimal floating point, as strtod reads it; "0x" without digits is the number 0.
        const bool digits_follow = body.size() > 2 && body[2] != '+' && body[2] != '-';
        auto [ptr, ec] = digits_follow
                             ? std::from_chars(first + 2, last, value, std::chars_format::hex)
                             : std::from_chars_result{first + 2, std::errc::invalid_argument};
        if (ptr == first + 2) {
            value = 0.0;
            used = 1;
        } else {
            used = static_cast<std::size_t>(ptr - first);
            if (ec == std::errc::result_out_of_range) {
                const std::size_t p = body.substr(0, used).find_first_of("pP");
                value =
                    (p != std::string_view::npos && body.substr(p + 1, 1) == "-") ? 0.0 : HUGE_VAL;
            }
        }
    } else {
        auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
        used = static_cast<std::size_t>(ptr - first);
        // strtod gives HUGE_VAL on overflow and 0 on underflow.
        if (used > 0 && ec == std::errc::result_out_of_range)
            value = decimal_overflows(body.substr(0, used)) ? HUGE_VAL : 0.0;
    }
    if (used == 0) {
        if (consumed)
            *consumed = 0;
        return 0.0;
    }
    if (consumed)
        *consumed = lead + sign + used;
    return negative ? -value : value;
}

long long parse_long(std::string_view s, bool* ok, std::size_t* consumed) {
    const std::size_t lead = s.size() - skip_blanks(s).size();
    std::string_view t = s.substr(lead);
    std::size_t sign = 0;
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        sign = 1;
    }
    long long value = 0;
    const bool signed_again = t.size() > sign && (t[sign] == '+' || t[sign] == '-');
    auto [ptr, ec] = signed_again
                         ? std::from_chars_result{t.data() + sign, std::errc::invalid_argument}
                         : std::from_chars(t.data() + sign, t.data() + t.size(), value);
    const std::size_t used = static_cast<std::size_t>(ptr - (t.data() + sign));
    const bool good = used > 0 && ec != std::errc::invalid_argument;
    if (ok)
        *ok = good;
    if (consumed)
        *consumed = good ? lead + sign + used : 0;
    if (!good)
        return 0;
    return negative ? -value : value;
}

long long parse_int_auto(std::string_view s, bool* ok) {
    std::size_t i = 0;
    while (i < s.size() && is_blank(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    } else if (i < s.size() && s[i] == '0') {
        base = 8;
    }
    // Too many digits read as the largest value of the sign, as strtoll gives them.
    const unsigned long long limit =
        negative ? 0ull - static_cast<unsigned long long>(std::numeric_limits<long long>::min())
                 : static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    unsigned long long value = 0;
    std::size_t digits = 0;
    for (; i < s.size(); ++i, ++digits) {
        const char ch = s[i];
        int digit = -1;
        if (ch >= '0' && ch <= '9')
            digit = ch - '0';
        else if (ch >= 'a' && ch <= 'f')
            digit = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F')
            digit = ch - 'A' + 10;
        if (digit < 0 || digit >= base)
            break;
        const auto d = static_cast<unsigned long long>(digit);
        value = value > (limit - d) / static_cast<unsigned long long>(base)
                    ? limit
                    : value * static_cast<unsigned long long>(base) + d;
    }
    if (ok)
        *ok = digits > 0;
    if (!negative)
        return static_cast<long long>(value);
    return value == limit ? std::numeric_limits<long long>::min() : -static_cast<long long>(value);
}

unsigned long long parse_hex(std::string_view s, bool* ok) {
    std::string_view t = skip_blanks(s);
    if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        t.remove_prefix(2);
    unsigned long long value = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), value, 16);
    const bool good = ptr != t.data() && ec != std::errc::invalid_argument;
    if (ok)
        *ok = good;
    return good ? value : 0;
}

void append_g(std::string& out, double value, int precision) {
    char buf[64];
    auto [ptr, ec] =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, precision);
    if (ec != std::errc())
        return;
    // to_chars spells non-finite values "inf"/"nan", as printf does; nothing more to do.
    out.append(buf, ptr);
}

std::string format_g(double value, int precision) {
    std::string out;
    append_g(out, value, precision);
    return out;
}

std::string format_fixed(double value, int decimals) {
    char buf[400];
    auto [ptr, ec] =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return {};
    return std::string(buf, ptr);
}

bool FieldCursor::next(std::string_view& field) {
    rest_ = skip_blanks(rest_);
    if (rest_.empty())
        return false;
    std::size_t end = 0;
    while (end < rest_.size() && !is_blank(rest_[end]))
        ++end;
    field = rest_.substr(0, end);
    rest_.remove_prefix(end);
    return true;
}

std::string_view FieldCursor::remainder() {
    rest_ = skip_blanks(rest_);
    return rest_;
}

double number_after_first_word(std::string_view line, std::size_t* consumed) {
    FieldCursor words(line);
    std::string_view first;
    std::size_t used = 0;
    double value = 0.0;
    if (words.next(first))
        value = parse_double(words.remainder(), &used);
    if (consumed)
        *consumed = used;
    return value;
}

bool TabCursor::next(std::string_view& field) {
    while (!rest_.empty() && rest_[0] == '\t')
        rest_.remove_prefix(1);
    if (rest_.empty())
        return false;
    std::size_t end = rest_.find('\t');
    if (end == std::string_view::npos)
        end = rest_.size();
    field = rest_.substr(0, end);
    rest_.remove_prefix(end);
    return true;
}

bool has_no_field(std::string_view line) {
    return skip_blanks(line).empty();
}

bool starts_with_nocase(std::string_view line, std::string_view prefix) {
    if (line.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

double parse_typed_number(std::string_view s, std::size_t* consumed) {
    const std::size_t comma = s.find(',');
    if (comma == std::string_view::npos || s.find('.') != std::string_view::npos)
        return parse_double(s, consumed);
    std::string pointed(s);
    pointed[comma] = '.';
    return parse_double(pointed, consumed);
}

} // namespace text
