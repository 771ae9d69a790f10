// printf "%.10g" for the record lines of the writers, several times faster than the general
// formatter.  Values from 1e-11 up to 1e10 are rounded exactly (round half to even on the exact
// binary value, as printf does) with 128-bit integer arithmetic; everything else goes to
// std::to_chars, which prints the same text more slowly.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace fastfmt {

// Room that format_g10 may use.
constexpr int kMaxG10 = 32;

namespace detail {

inline char* format_g10_slow(char* p, double v) {
    return std::to_chars(p, p + kMaxG10, v, std::chars_format::general, 10).ptr;
}

} // namespace detail

// Writes "%.10g" of v at p (at least kMaxG10 bytes) and returns the end of the text.
inline char* format_g10(char* p, double v) {
#ifdef __SIZEOF_INT128__
    using u128 = unsigned __int128;
    const double a = std::fabs(v);
    if (!(a >= 1e-11 && a < 1e10))
        return detail::format_g10_slow(p, v); // zero, tiny, huge, inf, nan
    static constexpr double kPow10Double[] = {1e-12, 1e-11, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5,
                                              1e-4,  1e-3,  1e-2,  1e-1, 1e0,  1e1,  1e2,  1e3,
                                              1e4,   1e5,   1e6,   1e7,  1e8,  1e9,  1e10, 1e11};
    static constexpr std::uint64_t kPow10[] = {1ULL,
                                               10ULL,
                                               100ULL,
                                               1000ULL,
                                               10000ULL,
                                               100000ULL,
                                               1000000ULL,
                                               10000000ULL,
                                               100000000ULL,
                                               1000000000ULL,
                                               10000000000ULL,
                                               100000000000ULL,
                                               1000000000000ULL,
                                               10000000000000ULL,
                                               100000000000000ULL,
                                               1000000000000000ULL,
                                               10000000000000000ULL,
                                               100000000000000000ULL,
                                               1000000000000000000ULL,
                                               10000000000000000000ULL};
    // a is normal here: a = m / 2^shift with the 53-bit significand m; 19 <= shift <= 89.
    std::uint64_t bits = 0;
    std::memcpy(&bits, &a, sizeof bits);
    const int e2 = static_cast<int>(bits >> 52) - 1022; // a = (m / 2^53) * 2^e2
    const std::uint64_t m = (bits & ((1ULL << 52) - 1)) | (1ULL << 52);
    const int shift = 53 - e2;
    // Decimal exponent: floor((e2 - 1) * log10 2) is the true one or one less.
    int x = ((e2 - 1) * 78913) >> 18;
    x += a >= kPow10Double[x + 1 + 12] ? 1 : 0;
    // The table's negative powers are not exact, so the integer test below has the last word.
    std::uint64_t q = 0;
    u128 rem = 0;
    for (int tries = 0; tries < 3; ++tries) {
        const int k = 9 - x; // 0 <= k <= 22
        const u128 p10 = k < 20 ? u128(kPow10[k]) : u128(kPow10[19]) * kPow10[k - 19];
        const u128 prod = u128(m) * p10;
        const u128 whole = prod >> shift;
        rem = prod & ((u128(1) << shift) - 1);
        if (whole >= 10000000000ULL) {
            ++x;
            continue;
        }
        if (whole < 1000000000ULL) {
            --x;
            continue;
        }
        q = static_cast<std::uint64_t>(whole);
        break;
    }
    if (q == 0)
        return detail::format_g10_slow(p, v);
    const u128 half = u128(1) << (shift - 1);
    if (rem > half || (rem == half && (q & 1)))
        ++q;
    if (q == 10000000000ULL) {
        q = 1000000000ULL;
        ++x;
    }
    char d[10];
    for (int i = 8; i >= 0; i -= 2) {
        const unsigned two = static_cast<unsigned>(q % 100);
        q /= 100;
        d[i] = static_cast<char>('0' + two / 10);
        d[i + 1] = static_cast<char>('0' + two % 10);
    }
    int nd = 10; // significant digits left after dropping trailing zeros
    while (nd > 1 && d[nd - 1] == '0')
        --nd;
    if (v < 0)
        *p++ = '-';
    if (x < -4 || x >= 10) {
        *p++ = d[0];
        if (nd > 1) {
            *p++ = '.';
            for (int i = 1; i < nd; ++i)
                *p++ = d[i];
        }
        *p++ = 'e';
        *p++ = x < 0 ? '-' : '+';
        const int ax = x < 0 ? -x : x;
        *p++ = static_cast<char>('0' + ax / 10);
        *p++ = static_cast<char>('0' + ax % 10);
        return p;
    }
    if (x >= 0) {
        for (int i = 0; i <= x; ++i)
            *p++ = d[i];
        if (nd > x + 1) {
            *p++ = '.';
            for (int i = x + 1; i < nd; ++i)
                *p++ = d[i];
        }
        return p;
    }
    *p++ = '0';
    *p++ = '.';
    for (int i = 0; i < -x - 1; ++i)
        *p++ = '0';
    for (int i = 0; i < nd; ++i)
        *p++ = d[i];
    return p;
#else
    return detail::format_g10_slow(p, v);
#endif
}

} // namespace fastfmt
