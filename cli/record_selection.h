// Record selections of the command line: comma-separated 0-based indices or inclusive ranges,
// "3,7-9" meaning records 3, 7, 8 and 9, in the order given.
#pragma once

#include <charconv>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace record_selection {

using Range = std::pair<std::size_t, std::size_t>; // first, last (inclusive)

namespace detail {

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// 'text' in single quotes (built by appending: GCC 12 warns wrongly on "'" + std::string).
inline std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    out += text;
    out += '\'';
    return out;
}

inline bool parse_index(std::string_view s, std::size_t& value) {
    s = trim(s);
    if (s.empty() || s.front() < '0' || s.front() > '9')
        return false;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && ptr == s.data() + s.size();
}

} // namespace detail

// Splits a selection into ranges without expanding them.  On a malformed selection returns false
// and says why in `error`.
inline bool parse(std::string_view selection, std::vector<Range>& ranges, std::string& error) {
    ranges.clear();
    if (detail::trim(selection).empty()) {
        error = "empty record selection";
        return false;
    }
    while (true) {
        const std::size_t comma = selection.find(',');
        const std::string_view item = selection.substr(0, comma);
        const std::size_t dash = item.find('-');
        Range r{};
        bool ok = false;
        if (dash == std::string_view::npos) {
            ok = detail::parse_index(item, r.first);
            r.second = r.first;
        } else {
            ok = detail::parse_index(item.substr(0, dash), r.first) &&
                 detail::parse_index(item.substr(dash + 1), r.second);
        }
        if (!ok) {
            error = detail::quoted(detail::trim(item)) + " is not a record index or range";
            return false;
        }
        if (r.second < r.first) {
            error = "range " + detail::quoted(detail::trim(item)) + " runs backwards";
            return false;
        }
        ranges.push_back(r);
        if (comma == std::string_view::npos)
            return true;
        selection.remove_prefix(comma + 1);
    }
}

// The indices of the ranges, in order; false (with the first index that does not exist in
// `bad_index`) when a range reaches past `record_count`.
inline bool expand(const std::vector<Range>& ranges, std::size_t record_count,
                   std::vector<std::size_t>& indices, std::size_t& bad_index) {
    indices.clear();
    for (const Range& r : ranges) {
        if (r.second >= record_count) {
            bad_index = r.first >= record_count ? r.first : record_count;
            return false;
        }
    }
    for (const Range& r : ranges)
        for (std::size_t i = r.first; i <= r.second; ++i)
            indices.push_back(i);
    return true;
}

} // namespace record_selection
