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
    static constexpr char kTwoDigits[] = "00010203040506070809101112131415161718192021222324"
                                         "25262728293031323334353637383940414243444546474849"
                                         "50515253545556575859606162636465666768697071727374"
                                         "75767778798081828384858687888990919293949596979899";
    constexpr std::uint64_t kLow = 1000000000ULL, kHigh = 10000000000ULL;
    // a is normal here: a = m / 2^shift with the 53-bit significand m; 19 <= shift <= 89.
    std::uint64_t bits = 0;
    std::memcpy(&bits, &a, sizeof bits);
    const int e2 = static_cast<int>(bits >> 52) - 1022; // a = (m / 2^53) * 2^e2
    const std::uint64_t m = (bits & ((1ULL << 52) - 1)) | (1ULL << 52);
    const int shift = 53 - e2;
    // Decimal exponent x: floor((e2 - 1) * log10 2) is the true one or one less; the table's
    // negative powers are not exact, so the integer test below has the last word.
    int x = ((e2 - 1) * 78913) >> 18;
    x += a >= kPow10Double[x + 13] ? 1 : 0;
    auto scaled = [&](int k) { // m * 10^k, 0 <= k <= 22, fits in 128 bits
        u128 p10 = 1;
        static constexpr std::uint64_t kPow10[] = {
            1ULL,       10ULL,       100ULL,       1000ULL,       10000ULL,       100000ULL,
            1000000ULL, 10000000ULL, 100000000ULL, 1000000000ULL, 10000000000ULL, 100000000000ULL};
        p10 = k <= 11 ? u128(kPow10[k]) : u128(kPow10[11]) * kPow10[k - 11];
        return u128(m) * p10;
    };
    u128 prod = scaled(9 - x);
    u128 whole = prod >> shift;
    if (whole < kLow || whole >= kHigh) {
        x += whole < kLow ? -1 : 1;
        prod = scaled(9 - x);
        whole = prod >> shift;
        if (whole < kLow || whole >= kHigh)
            return detail::format_g10_slow(p, v);
    }
    std::uint64_t q = static_cast<std::uint64_t>(whole);
    const u128 rem = prod & ((u128(1) << shift) - 1);
    const u128 half = u128(1) << (shift - 1);
    if (rem > half || (rem == half && (q & 1)))
        ++q;
    if (q == kHigh) {
        q = kLow;
        ++x;
    }
    char d[10];
    for (int i = 8; i >= 0; i -= 2) {
        std::memcpy(d + i, kTwoDigits + 2 * (q % 100), 2);
        q /= 100;
    }
    int nd = 10; // significant digits left after dropping trailing zeros
    while (d[nd - 1] == '0')
        --nd; // d[0] is never '0'
    if (v < 0)
        *p++ = '-';
    if (x < -4 || x >= 10) {
        *p++ = d[0];
        if (nd > 1) {
            *p++ = '.';
            std::memcpy(p, d + 1, static_cast<std::size_t>(nd - 1));
            p += nd - 1;
        }
        const int ax = x < 0 ? -x : x;
        p[0] = 'e';
        p[1] = x < 0 ? '-' : '+';
        std::memcpy(p + 2, kTwoDigits + 2 * ax, 2);
        return p + 4;
    }
    if (x >= 0) {
        std::memcpy(p, d, static_cast<std::size_t>(x + 1));
        p += x + 1;
        if (nd > x + 1) {
            *p++ = '.';
            std::memcpy(p, d + x + 1, static_cast<std::size_t>(nd - x - 1));
            p += nd - x - 1;
        }
        return p;
    }
    std::memcpy(p, "0.0000", static_cast<std::size_t>(1 - x)); // "0." and -x-1 zeros
    p += 1 - x;
    std::memcpy(p, d, static_cast<std::size_t>(nd));
    return p + nd;
#else
    return detail::format_g10_slow(p, v);
#endif
}

} // namespace fastfmt
