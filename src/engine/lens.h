// What the viewer can see: the screen's size, the focal length and centre of
// the projection at the current zoom, the exposure, which pixels are on the
// screen, the magnitude law and the faintest magnitude that still shows.
// Everything that decides where a star lands and whether it shows is here.
#ifndef STARHOP_LENS_H
#define STARHOP_LENS_H

#include "base/vector.h"

#include <cfloat>
#include <cstdint>
#include <cstring>

// The window the program opens unless told otherwise.
constexpr int screen_width  = 640;
constexpr int screen_height = 480;
// The focal length, pixels, of a screen 480 rows high at zoom 0.
constexpr double focal_at_480 = 400.0;

// Reference distance of an absolute magnitude, light years, and the brightness
// ratio of one magnitude step; the loader and the drawing share both.
constexpr double reference_distance = 32.628463;
constexpr double magnitude_ratio    = 2.535;
// A star shows while its (exposed) magnitude is below this.
constexpr float faintest_magnitude = 6.0f;

// The magnitude law: how many magnitudes fainter a star shows at `distance`
// light years than at the reference distance (negative when nearer).
double magnitude_shift(double distance);
// Its inverse for a catalog's star: the absolute magnitude a record holds, from
// the apparent magnitude seen at `distance` light years. lens::seen_magnitude
// goes the other way.
float absolute_magnitude(float apparent, float distance);

namespace lens_math {
// Natural logarithm of x > 0 in constexpr code: halvings down to [1, 2), then
// the series of 2 atanh((x - 1) / (x + 1)), well within double rounding.
constexpr double ln_series(double x)
{
    const double y = (x - 1) / (x + 1), y2 = y * y;
    double term = y, sum = 0;
    for (int n = 1; n < 121; n += 2, term *= y2) sum += term / n;
    return 2 * sum;
}
constexpr double ln2 = ln_series(2.0);
constexpr double ln(double x)
{
    int k = 0;
    while (x >= 2) x /= 2, ++k;
    while (x < 1) x *= 2, --k;
    return ln_series(x) + k * ln2;
}
constexpr double log2(double x) { return ln(x) / ln2; }
} // namespace lens_math

class lens {
public:
    static constexpr int widest_zoom = -4, narrowest_zoom = 40;      // zoom steps, z = 2^(k/4)
    static constexpr int darkest_exposure = -8, brightest_exposure = 12;   // half magnitudes

    // A screen of `width` by `height` pixels at zoom step 0 and exposure 0.
    explicit lens(int width = screen_width, int height = screen_height);

    int width() const { return width_; }
    int height() const { return height_; }
    int zoom_step() const { return zoom_; }
    int exposure_steps() const { return exposure_; }                  // half magnitudes
    float exposure() const { return exposure_ * 0.5f; }               // exact: a multiple of 0.5
    float focal() const { return focal_; }
    float centre_x() const { return centre_x_; }
    float centre_y() const { return centre_y_; }

    // A new screen size; zoom and exposure stay.
    void resize(int width, int height);
    // Moves the zoom step, or the exposure by half magnitudes, by `steps`,
    // held to their limits. Return whether anything changed.
    bool zoom_by(int steps);
    bool expose_by(int steps);

    // Perspective projection of a view-space point (z > 0) to a pixel. A
    // coordinate that is not a number or does not fit an int comes out as
    // the smallest int, which lies off every screen.
    void project(vector p, int* column, int* row) const
    {
        *column = truncate_to_int((p.x * focal_) / p.z + centre_x_);
        *row    = truncate_to_int((p.y * focal_) / p.z + centre_y_);
    }
    // The pixels a star may light: the outermost row and column on each side stay dark.
    bool on_screen(int column, int row) const
    {
        return column >= 1 && column <= width_ - 1 && row >= 1 && row <= height_ - 1;
    }
    // Beyond these shares of the distance ahead a point lies off the screen
    // sideways, or up or down: 0.8 and 0.6 at 640 by 480 and zoom 0.
    double half_width() const { return ((double)width_ - (double)centre_x_) / (double)focal_; }
    double half_height() const { return ((double)height_ - (double)centre_y_) / (double)focal_; }

    // The magnitude a star of absolute magnitude `absolute` shows at `distance`
    // light years, and that magnitude as the exposure makes it look.
    static float seen_magnitude(float absolute, float distance);
    float exposed(float seen) const { return seen - exposure(); }
    bool shows(float exposed_magnitude) const { return exposed_magnitude < faintest_magnitude; }
    // The distance, light years, at which absolute magnitude `absolute` shows
    // magnitude `seen`; reach is where it shows the faintest at exposure 0,
    // and the exposure multiplies that by reach_scale().
    static double distance_showing(double absolute, double seen);
    static double reach(double absolute) { return distance_showing(absolute, (double)faintest_magnitude); }
    double reach_scale() const;

    // Horizontal field of view, degrees.
    double field_of_view() const;

    // The limit of surely_too_faint at this exposure.
    float faint_limit() const { return faint_limit_; }

    static int truncate_to_int(float v)
    {
        if (v >= -2147483648.0f && v < 2147483648.0f) return (int)v;   // range first: the conversion is defined
        return INT32_MIN;
    }

private:
    int width_, height_;
    int zoom_ = 0, exposure_ = 0;
    float focal_, centre_x_, centre_y_;
    float faint_limit_;
    void refresh();
};

// Whether a star of absolute magnitude a, at the squared distance `squared`
// (the float sum of squares that length() takes the root of), surely shows a
// magnitude of faintest + e or fainter, without a logarithm; `limit` comes
// from faint_limit(e). The star shows that magnitude at the squared distance
// ref^2 * ratio^(faintest + e - a). For every normal x >= 0,
// log2(x) >= bits(x) / 2^23 - 127 (exponent plus fraction: a chord under the
// logarithm), so the star is surely too faint where
//     bits(squared) > 2^23 * (127 + 2 log2(ref) + (faintest + e - a) log2(ratio) + 0.001).
// The 0.001 (under a thousandth of a magnitude) covers every rounding here and
// in the exact test. Zero, denormal and NaN distances are never judged here.
namespace faint_test {
constexpr double slope = 8388608.0 * lens_math::log2(magnitude_ratio);       // 2^23 log2(ratio)
constexpr double limit_at(double exposure)
{
    return 8388608.0 * (127 + 2 * lens_math::log2(reference_distance) +
                        ((double)faintest_magnitude + exposure) * lens_math::log2(magnitude_ratio) + 0.001);
}
static_assert(slope > 11257391.5 && slope < 11257392.5, "the slope as worked out by hand");
static_assert(limit_at(0) > 1217262720.0 && limit_at(0) <= 1217262848.0,
              "at exposure 0 the limit rounds up to the float worked out by hand");
} // namespace faint_test

inline bool surely_too_faint(float abs_magnitude, float squared, float limit)
{
    constexpr float slope = (float)faint_test::slope;
    std::int32_t bits;
    std::memcpy(&bits, &squared, sizeof bits);
    return (squared >= FLT_MIN) & ((float)bits + slope * abs_magnitude > limit);
}

#endif
