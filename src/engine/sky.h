// The sky as the catalogs give it: angles in hours, degrees and their parts
// turned into radians, and the catalog frame a star's place is written in.
#ifndef STARHOP_SKY_H
#define STARHOP_SKY_H

#include "base/vector.h"

// Radians in an hour of right ascension (pi / 12) and in a degree (pi / 180).
constexpr double radians_per_hour   = 0.2617993877991494;
constexpr double radians_per_degree = 0.017453292519943295;

// Right ascension in hours, minutes, seconds to radians; minutes and seconds
// take the sign of the hours, and hours of zero (either sign) count as positive.
float AZ_RAD(float hours, float minutes, float seconds);
// Declination in degrees, arcminutes, arcseconds to radians; the arcminutes and
// arcseconds take the sign of the degree field itself, so "-00 30 00" is south.
float ALT_RAD(float degrees, float arcminutes, float arcseconds);

// Where a star lies in the catalog frame (x toward right ascension 0, z toward
// the north pole), from its distance and its angles in radians.
vector catalog_position(double distance, double alpha, double delta);

#endif
