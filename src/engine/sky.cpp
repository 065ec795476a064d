// Sexagesimal angles to radians, and a place in the catalog frame; summed and
// multiplied in double, stored as float.
#include "engine/sky.h"

#include <cmath>

float AZ_RAD(float hours, float minutes, float seconds)
{
    const double h = (double)hours, m = (double)minutes, s = (double)seconds;        // summed in double
    double v = hours >= 0 ? (h + m / 60.0) + s / 3600.0
                          : (h - m / 60.0) - s / 3600.0;
    return (float)(v * radians_per_hour);
}

float ALT_RAD(float degrees, float arcminutes, float arcseconds)
{
    const double d = (double)degrees, m = (double)arcminutes, s = (double)arcseconds;  // summed in double
    double v = !std::signbit(degrees) ? (d + m / 60.0) + s / 3600.0
                                      : (d - m / 60.0) - s / 3600.0;
    return (float)(v * radians_per_degree);
}

vector catalog_position(double distance, double alpha, double delta)
{
    const float z = (float)(distance * std::sin(delta));
    const float planar = (float)(distance * std::cos(delta));  // in the equator's plane
    const float x = (float)((double)planar * std::cos(alpha));
    const float y = (float)((double)planar * std::sin(alpha));
    return vector(x, y, z);
}
