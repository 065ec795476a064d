// One star of the catalog, the list they form, and how a star is carried into
// view space and drawn onto the back buffer.
#ifndef STARHOP_STARS_H
#define STARHOP_STARS_H

#include "vector.h"

struct BITMAP;

// Reference distance of an absolute magnitude, light years, and the brightness
// ratio of one magnitude step; the loader and the drawing share both.
constexpr double reference_distance = 32.628463;
constexpr double magnitude_ratio    = 2.535;

class star_type {
public:
    char name[25];              // terminated, zero-filled after the terminator
    char spectral_class[3];     // first three characters, not terminated when full
    vector position;            // light years from Earth, catalog frame
    vector view_position;       // as last seen by the viewer
    float abs_magnitude;        // magnitude at the reference distance
    star_type* next;            // following record of the list, null at the end

    // An unfilled record: zero name and class, positions at the origin, a
    // magnitude that is not a number (so it is never drawn), no successor.
    star_type();
    star_type(const char* name, float abs_magnitude, vector position, const char* spectral_class);

    // Fills name (at most 24 characters kept), magnitude, position and the first
    // three class characters; view_position and next stay as they are.
    void star_set(const char* name, float abs_magnitude, vector position, const char* spectral_class);
    void transform_star(matrix view);
    // Draws the star as seen from the viewer at the origin of view space;
    // a non-zero names asks for its label.
    void draw(BITMAP* target, int names);
};

#endif
