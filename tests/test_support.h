// Comparisons the tests share: vectors within a tolerance and bitmaps pixel
// for pixel, each failing at the caller's line with what differs; PNG files
// read back for comparing with bitmaps.
#ifndef STARHOP_TESTS_TEST_SUPPORT_H
#define STARHOP_TESTS_TEST_SUPPORT_H

#include "vector.h"

#include <allegro.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <png.h>
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

// A PNG file's pixels, each 0xRRGGBB; empty when it cannot be read.
struct png_pixels {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb;
    std::uint32_t at(int x, int y) const { return rgb[(std::size_t)y * width + x]; }
};

inline png_pixels read_png(const std::string& path)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    png_pixels p;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return p;
    p.width = (int)image.width;
    p.height = (int)image.height;
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 3)
        p.rgb.push_back((std::uint32_t)bytes[i] << 16 | (std::uint32_t)bytes[i + 1] << 8 | bytes[i + 2]);
    return p;
}

// The picture holds the bitmap's colours, pixel for pixel, at any colour depth.
inline ::testing::AssertionResult same_picture(const png_pixels& got, BITMAP* want)
{
    if (got.width != want->w || got.height != want->h)
        return ::testing::AssertionFailure() << "sizes differ: " << got.width << "x" << got.height << " against "
                                             << want->w << "x" << want->h;
    const int depth = bitmap_color_depth(want);
    long differ = 0;
    int fx = -1, fy = -1;
    std::uint32_t fw = 0;
    for (int y = 0; y < want->h; ++y)
        for (int x = 0; x < want->w; ++x) {
            const int c = getpixel(want, x, y);
            const std::uint32_t rgb = (std::uint32_t)getr_depth(depth, c) << 16 |
                                      (std::uint32_t)getg_depth(depth, c) << 8 | (std::uint32_t)getb_depth(depth, c);
            if (got.at(x, y) != rgb && differ++ == 0) fx = x, fy = y, fw = rgb;
        }
    if (differ == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differ << " pixels differ, first at (" << fx << ", " << fy << "): got "
                                         << std::hex << got.at(fx, fy) << ", want " << fw;
}

#endif
