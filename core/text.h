// Locale-independent number parsing and formatting, field splitting and line reading.
// Every file the system reads or writes goes through these, so a user with a decimal-comma
// locale reads and writes the very same files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace text {

// String-to-double rules: leading blanks skipped, the longest leading number taken, 0 when there
// is none.  `consumed` (optional) receives the number of characters used, 0 when nothing parsed.
double parse_double(std::string_view s, std::size_t* consumed = nullptr);

// The number that follows the first blank-separated word of `line` ("tcal: 21.5 C" gives 21.5),
// by the rules of parse_double; `consumed` 0 when there is no word or no number after it.
double number_after_first_word(std::string_view line, std::size_t* consumed = nullptr);

// A number a user typed into a field: as parse_double, except that a decimal comma counts as the
// decimal point when the text has no point (users of decimal-comma locales type "21,5").
double parse_typed_number(std::string_view s, std::size_t* consumed = nullptr);

// Leading blanks skipped, optional sign, decimal digits; `ok` false when no digit was found.
long long parse_long(std::string_view s, bool* ok = nullptr, std::size_t* consumed = nullptr);

// An integer as "%i" reads it: optional sign, then hexadecimal after 0x, octal after a leading 0,
// decimal otherwise.  `ok` false when no digit was found.
long long parse_int_auto(std::string_view s, bool* ok = nullptr);

// Hexadecimal as "%lx" reads it (an optional 0x/0X prefix).
unsigned long long parse_hex(std::string_view s, bool* ok = nullptr);

// printf "%.<precision>g", as the C locale prints it.
std::string format_g(double value, int precision);
// Appends the same text to `out` without a temporary string (hot paths of the writers).
void append_g(std::string& out, double value, int precision);

// printf "%.<decimals>f", as the C locale prints it.
std::string format_fixed(double value, int decimals);

// Walks the fields of a line separated by blanks (spaces or tabs).
class FieldCursor {
  public:
    explicit FieldCursor(std::string_view line) : rest_(line) {}
    // Next field, or false when the line has no more.
    bool next(std::string_view& field);
    // The unread remainder, from the first non-blank character.
    std::string_view remainder();

  private:
    std::string_view rest_;
};

// Walks the tab-separated fields of a line, the device file's notion of a field.  Empty fields
// between two tabs are skipped, as a tokenizer on the tab character does.
class TabCursor {
  public:
    explicit TabCursor(std::string_view line) : rest_(line) {}
    bool next(std::string_view& field);

  private:
    std::string_view rest_;
};

// A line without its trailing carriage return (files from other computers end lines with CRLF).
inline std::string_view chomp(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

inline bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// True for a line holding a NUL byte: damaged (a power cut leaves blocks of zeros in a file).
// Readers leave such a line out rather than read its values into the wrong columns.
inline bool has_nul(std::string_view line) {
    return line.find('\0') != std::string_view::npos;
}

// True when the line holds no field at all.
bool has_no_field(std::string_view line);

// Case-insensitive test that `line` begins with `prefix`.
bool starts_with_nocase(std::string_view line, std::string_view prefix);

} // namespace text
