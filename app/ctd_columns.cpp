#include "ctd_columns.h"

#include <fstream>

#include "text.h"

namespace ctd_columns {

std::vector<std::string> read_preview(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw VelmoraError("Unable to open file.");
    std::vector<std::string> lines;
    lines.reserve(kPreviewLines);
    // A line longer than 4095 characters continues as the next preview line.
    constexpr std::size_t kMax = 4095;
    std::string line;
    while (static_cast<int>(lines.size()) < kPreviewLines) {
        line.clear();
        int c = 0;
        bool any = false;
        while (line.size() < kMax && (c = in.get()) != EOF) {
            any = true;
            if (c == '\n')
                break;
            line.push_back(static_cast<char>(c));
        }
        if (!any)
            break;
        lines.emplace_back(text::chomp(line));
    }
    lines.resize(kPreviewLines);
    return lines;
}

int count_columns(std::string_view line) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    auto end = [](char c) { return c == '\n' || c == '\r'; };
    int count = (!line.empty() && blank(line[0])) ? 0 : 1;
    for (std::size_t i = 1; i < line.size(); ++i)
        if (!blank(line[i]) && !end(line[i]) && blank(line[i - 1]))
            ++count;
    return count;
}

std::vector<std::string_view> split_columns(std::string_view line) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && blank(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !blank(line[i]))
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

std::optional<CtdColumns> accept(const FieldTexts& fields, const std::string& check_line,
                                 std::string& error) {
    // The whole field must be the number (blanks around it aside).
    auto number = [](const std::string& s) {
        std::string_view v = s;
        while (!v.empty() && text::is_blank(v.back()))
            v.remove_suffix(1);
        bool ok = false;
        std::size_t used = 0;
        long long n = text::parse_long(v, &ok, &used);
        if (!ok || used != v.size() || n < -2147483648LL || n > 2147483647LL)
            return 0;
        return static_cast<int>(n);
    };
    CtdColumns c;
    c.time = number(fields.time);
    c.pres = number(fields.pres);
    c.temp = number(fields.temp);
    c.saln = number(fields.saln);

    const int columns = count_columns(check_line);
    auto valid = [columns](int n) { return n >= 1 && n <= columns; };
    const char* bad = nullptr;
    if (!valid(c.temp))
        bad = "Temperature";
    if (!valid(c.pres))
        bad = "Pressure";
    if (!valid(c.saln))
        bad = "Salinity";
    if (!valid(c.time))
        bad = "Time";
    if (bad) {
        error = std::string("The ") + bad + " column has an invalid value.";
        return std::nullopt;
    }
    error.clear();
    return c;
}

std::optional<double> accept_lag(const std::string& text) {
    std::string_view v = text;
    while (!v.empty() && text::is_blank(v.front()))
        v.remove_prefix(1);
    while (!v.empty() && text::is_blank(v.back()))
        v.remove_suffix(1);
    if (v.empty())
        return 0.0;
    std::size_t used = 0;
    const double lag = text::parse_typed_number(v, &used);
    if (used != v.size() || !(lag >= -86400.0 && lag <= 86400.0))
        return std::nullopt;
    return lag;
}

} // namespace ctd_columns
