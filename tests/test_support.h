// Comparisons the tests share: vectors within a tolerance and bitmaps pixel
// for pixel, each failing at the caller's line with what differs.
#ifndef STARHOP_TESTS_TEST_SUPPORT_H
#define STARHOP_TESTS_TEST_SUPPORT_H

#include "vector.h"

#include <allegro.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

inline ::testing::AssertionResult same_vector(vector got, vector want, float tol = 0)
{
    const vector d = got - want;
    if (std::fabs(d.x) <= tol && std::fabs(d.y) <= tol && std::fabs(d.z) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << ", " << got.z
                                         << "), want (" << want.x << ", " << want.y << ", "
                                         << want.z << "), off by " << d.x << ' ' << d.y << ' ' << d.z;
}

// Both 32-bit bitmaps of one size, every pixel alike.
inline ::testing::AssertionResult same_bitmap(BITMAP* got, BITMAP* want)
{
    if (got->w != want->w || got->h != want->h)
        return ::testing::AssertionFailure() << "sizes differ: " << got->w << "x" << got->h << " against "
                                             << want->w << "x" << want->h;
    long differ = 0;
    int fx = -1, fy = -1;
    for (int y = 0; y < got->h; ++y) {
        if (std::memcmp(got->line[y], want->line[y], got->w * sizeof(std::uint32_t)) == 0) continue;
        for (int x = 0; x < got->w; ++x)
            if (getpixel(got, x, y) != getpixel(want, x, y) && differ++ == 0) fx = x, fy = y;
    }
    if (differ == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differ << " pixels differ, first at (" << fx << ", " << fy
                                         << "): got " << std::hex << getpixel(got, fx, fy) << ", want "
                                         << getpixel(want, fx, fy);
}

#endif
