// Helpers shared by the core tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "velmora_error.h"

namespace test_util {

// True when a and b agree to a relative tolerance `rel` (or both are tiny: |a - b| <= abs_floor).
// On failure the message prints both numbers with 17 significant digits.
inline ::testing::AssertionResult near_rel(double a, double b, double rel = 1e-12,
                                           double abs_floor = 1e-300) {
    if (a == b || (std::isnan(a) && std::isnan(b)))
        return ::testing::AssertionSuccess();
    const double diff = std::fabs(a - b);
    const double scale = std::max(std::fabs(a), std::fabs(b));
    if (diff <= rel * scale || diff <= abs_floor)
        return ::testing::AssertionSuccess();
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.17g vs %.17g (relative difference %.3g, allowed %.3g)", a, b,
                  scale > 0 ? diff / scale : diff, rel);
    return ::testing::AssertionFailure() << buf;
}

// The message of the VelmoraError that `f` raises, or "" when it raises none.
template <typename F> std::string error_of(F&& f) {
    try {
        f();
    } catch (const VelmoraError& e) {
        return e.what();
    }
    return "";
}

} // namespace test_util

// EXPECT_NEAR_REL(actual, expected[, rel]) with both numbers printed on failure.
#define EXPECT_NEAR_REL(a, b, ...)                                                                 \
    EXPECT_TRUE(::test_util::near_rel((a), (b)__VA_OPT__(, ) __VA_ARGS__))
#define ASSERT_NEAR_REL(a, b, ...)                                                                 \
    ASSERT_TRUE(::test_util::near_rel((a), (b)__VA_OPT__(, ) __VA_ARGS__))
