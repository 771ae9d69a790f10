// printf "%.10g" for the record lines of the writers, several times faster than the general
// formatter.  Values from 1e-11 up to 1e10 are rounded exactly (round half to even on the exact
// binary value, as printf does), in double arithmetic where that decides the digits and with
// 128-bit integer arithmetic where it does not; everything else goes to std::to_chars, which
// prints the same text more slowly.
#pragma once

#include <bit>
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
    // The ten significant digits q = a * 10^(9 - x), rounded half to even.  In double
    // arithmetic the product (10^k is exact up to 10^22) lies within half a unit in the last
    // place of the exact one, below 2^-20 for products under 2^34: its integer part and the side
    // of one half it falls on are the exact product's unless it lies that close to an integer or
    // to a half.  Those few, and a wrong guess of x, take the exact way in 128-bit integers.
    static constexpr double kExact10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,
                                          1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
                                          1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20};
    std::uint64_t q = 0;
    bool rounded = false;
    {
        const double y = a * kExact10[9 - x]; // 0 <= 9 - x <= 20
        if (y >= 1e9 && y < 1e10) {
            const auto whole = static_cast<std::uint64_t>(y);
            const double frac = y - static_cast<double>(whole); // exact
            constexpr double kMargin = 1.0 / (1 << 16);
            if (frac > kMargin && frac < 1.0 - kMargin && std::fabs(frac - 0.5) > kMargin) {
                q = whole + (frac > 0.5 ? 1 : 0);
                rounded = true;
            }
        }
    }
    if (!rounded) {
        auto scaled = [&](int k) { // m * 10^k, 0 <= k <= 22, fits in 128 bits
            u128 p10 = 1;
            static constexpr std::uint64_t kPow10[] = {
                1ULL,         10ULL,         100ULL,         1000ULL,
                10000ULL,     100000ULL,     1000000ULL,     10000000ULL,
                100000000ULL, 1000000000ULL, 10000000000ULL, 100000000000ULL};
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
        q = static_cast<std::uint64_t>(whole);
        const u128 rem = prod & ((u128(1) << shift) - 1);
        const u128 half = u128(1) << (shift - 1);
        if (rem > half || (rem == half && (q & 1)))
            ++q;
    }
    if (q == kHigh) {
        q = kLow;
        ++x;
    }
    // The ten digits, padded so that every copy below can take a fixed 16 bytes: the text is
    // written a little past its end (inside the kMaxG10 bytes) and the end set by its length.
    char d[32];
    std::memset(d + 10, '0', sizeof d - 10);
    {
        const auto hi = static_cast<std::uint32_t>(q / 100000); // digits 0-4
        const auto lo = static_cast<std::uint32_t>(q % 100000); // digits 5-9
        d[0] = static_cast<char>('0' + hi / 10000);
        std::memcpy(d + 1, kTwoDigits + 2 * (hi / 100 % 100), 2);
        std::memcpy(d + 3, kTwoDigits + 2 * (hi % 100), 2);
        d[5] = static_cast<char>('0' + lo / 10000);
        std::memcpy(d + 6, kTwoDigits + 2 * (lo / 100 % 100), 2);
        std::memcpy(d + 8, kTwoDigits + 2 * (lo % 100), 2);
    }
    // Significant digits left after dropping trailing zeros: the last byte that is not '0'
    // (d[0] never is), found in two words instead of a loop whose end the processor cannot guess.
    int nd = 0;
    {
        std::uint64_t head = 0, tail = 0;
        std::memcpy(&head, d, 8);
        std::memcpy(&tail, d + 8, 8);
        constexpr std::uint64_t kZeros = 0x3030303030303030ULL;
        head ^= kZeros;
        tail ^= kZeros;
        nd = tail != 0 ? 9 + (63 - std::countl_zero(tail)) / 8
                       : 1 + (63 - std::countl_zero(head)) / 8;
        if constexpr (std::endian::native != std::endian::little) {
            nd = 10;
            while (d[nd - 1] == '0')
                --nd;
        }
    }
    if (v < 0)
        *p++ = '-';
    if (x < -4 || x >= 10) {
        p[0] = d[0];
        p[1] = '.';
        std::memcpy(p + 2, d + 1, 16);
        p += nd > 1 ? nd + 1 : 1;
        const int ax = x < 0 ? -x : x;
        p[0] = 'e';
        p[1] = x < 0 ? '-' : '+';
        std::memcpy(p + 2, kTwoDigits + 2 * ax, 2);
        return p + 4;
    }
    if (x >= 0) {
        // The integer digits, the point, the fraction digits; the point only with a fraction.
        std::memcpy(p, d, 16);
        p[x + 1] = '.';
        std::memcpy(p + x + 2, d + x + 1, 16);
        return p + (nd > x + 1 ? nd + 1 : x + 1);
    }
    std::memcpy(p, "0.000000", 8); // "0." and -x-1 zeros
    p += 1 - x;
    std::memcpy(p, d, 16);
    return p + nd;
#else
    return detail::format_g10_slow(p, v);
#endif
}

} // namespace fastfmt
