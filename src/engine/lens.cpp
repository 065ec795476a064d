// The lens: focal length and centre from the screen and the zoom, the
// exposure, the magnitude law and how far a magnitude can be seen.
#include "engine/lens.h"

#include "engine/sky.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double rows_at_focal = 480.0;
const double log_ratio = std::log(magnitude_ratio);
} // namespace

lens::lens(int width, int height) : width_(width), height_(height) { refresh(); }

void lens::resize(int width, int height)
{
    width_ = width;
    height_ = height;
    refresh();
}

bool lens::zoom_by(int steps)
{
    const int k = std::min(std::max(zoom_ + steps, widest_zoom), narrowest_zoom);
    if (k == zoom_) return false;
    zoom_ = k;
    refresh();
    return true;
}

bool lens::expose_by(int steps)
{
    const int e = std::min(std::max(exposure_ + steps, darkest_exposure), brightest_exposure);
    if (e == exposure_) return false;
    exposure_ = e;
    refresh();
    return true;
}

void lens::refresh()
{
    const double z = std::exp2(zoom_ / 4.0);                         // 0.5 to 1024 times
    focal_ = (float)(focal_at_480 * (height_ / rows_at_focal) * z);   // rounded once
    centre_x_ = (float)(width_ / 2.0);
    centre_y_ = (float)(height_ / 2.0);
    const double limit = faint_test::limit_at((double)exposure());
    faint_limit_ = (float)limit;
    if ((double)faint_limit_ < limit) faint_limit_ = std::nextafter(faint_limit_, std::numeric_limits<float>::infinity());
}

double magnitude_shift(double distance)
{
    return 2.0 * std::log(distance / reference_distance) / log_ratio;
}

float absolute_magnitude(float apparent, float distance)
{
    return (float)((double)apparent - magnitude_shift((double)distance));
}

float lens::seen_magnitude(float absolute, float distance)
{
    return (float)((double)absolute + magnitude_shift((double)distance));
}

double lens::distance_showing(double absolute, double seen)
{
    return reference_distance * std::pow(magnitude_ratio, (seen - absolute) / 2);
}

double lens::reach_scale() const
{
    return std::exp((double)exposure() * log_ratio / 2.0);
}

double lens::field_of_view() const
{
    return 2.0 * std::atan(width_ / 2.0 / (double)focal_) / radians_per_degree;
}
