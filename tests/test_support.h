// Comparisons the tests share: vectors within a tolerance and bitmaps pixel
// for pixel, each failing at the caller's line with what differs; and XPM
// pictures read back into pixels.
#ifndef STARHOP_TESTS_TEST_SUPPORT_H
#define STARHOP_TESTS_TEST_SUPPORT_H

#include "vector.h"

#include <allegro.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

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

// An XPM picture read back from its rows: every pixel 0xRRGGBB, or `none`
// where the picture is transparent. Empty (width 0) when the rows are not XPM
// whose colours are all written "c #RRGGBB" or "c None".
struct xpm_picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};

inline xpm_picture read_xpm(const char* const* rows, std::uint32_t none)
{
    int width, height, colours, chars, end = 0;
    if (std::sscanf(rows[0], "%d %d %d %d%n", &width, &height, &colours, &chars, &end) != 4 || rows[0][end] ||
        width <= 0 || height <= 0 || colours <= 0 || chars <= 0)
        return {};
    std::map<std::string, std::uint32_t> palette;
    for (int i = 1; i <= colours; ++i) {
        const std::string row = rows[i];
        if (row.size() < (size_t)chars) return {};
        const std::string code = row.substr(0, chars), value = row.substr(chars);
        unsigned rgb;
        if (value == " c None") palette[code] = none;
        else if (value.size() == 10 && std::sscanf(value.c_str(), " c #%6x%n", &rgb, &end) == 1 && end == 10)
            palette[code] = rgb;
        else return {};
    }
    if (palette.size() != (size_t)colours) return {};                // a code named twice
    xpm_picture picture;
    for (int y = 0; y < height; ++y) {
        const std::string row = rows[1 + colours + y];
        if (row.size() != (size_t)width * chars) return {};
        for (int x = 0; x < width; ++x) {
            const auto found = palette.find(row.substr((size_t)x * chars, chars));
            if (found == palette.end()) return {};
            picture.pixels.push_back(found->second);
        }
    }
    picture.width = width;
    picture.height = height;
    return picture;
}

#endif
