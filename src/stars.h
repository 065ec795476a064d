// One star of the catalog, the list they form, and how a star is carried into
// view space and drawn onto the back buffer.
#ifndef STARHOP_STARS_H
#define STARHOP_STARS_H

#include "vector.h"

#include <cstddef>

struct BITMAP;

// Reference distance of an absolute magnitude, light years, and the brightness
// ratio of one magnitude step; the loader and the drawing share both.
constexpr double reference_distance = 32.628463;
constexpr double magnitude_ratio    = 2.535;

class alignas(64) star_type {
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

    // Records made with new are handed out one after another from large blocks,
    // one cache line each, so a list built front to back lies front to back in
    // memory and a frame walks it in order. The blocks are never returned; a
    // deleted record's slot is handed out again. Throws std::bad_alloc when
    // memory runs out. One thread only.
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size) noexcept;
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}

    // Fills name (at most 24 characters kept), magnitude, position and the first
    // three class characters; view_position and next stay as they are.
    void star_set(const char* name, float abs_magnitude, vector position, const char* spectral_class);
    void transform_star(matrix view) { view_position = view * position; }
    // Draws the star as seen from the viewer at the origin of view space;
    // a non-zero names asks for its label.
    void draw(BITMAP* target, int names);

private:
    // The rest of draw for a star in front of the viewer that may be bright
    // enough: the screen bounds, the exact magnitude and the pixels.
    void draw_in_front(BITMAP* target, int names);
};

static_assert(sizeof(star_type) == 64, "a record fills one cache line");

// Squared distances beyond which a star is surely fainter than magnitude 6,
// by absolute magnitude in steps of 1/8 from -40. Each entry belongs to the
// brightest star of the step before its own and is widened by a thousandth,
// far more than any rounding of the exact test, so a star it turns away would
// never have been drawn. Stars brighter than the table go to the exact test.
struct faint_limits {
    static constexpr float lowest = -40.0f;     // magnitude of the first step
    static constexpr float steps  = 8.0f;       // steps per magnitude
    static constexpr int   size   = 640;        // up to magnitude 40, the last step open-ended
    float squared[size];
};
extern const faint_limits faint_beyond;

inline void star_type::draw(BITMAP* target, int names)
{
    // Rejections that need no logarithm come first; they write nothing, so
    // their order does not change the picture.
    const vector p = view_position;
    if (!(p.z > 0.0f)) return;                                  // behind the viewer
    const float step = (abs_magnitude - faint_limits::lowest) * faint_limits::steps;
    if (step >= 0.0f) {                                         // not brighter than the table, not NaN
        const int i = step < faint_limits::size - 1 ? (int)step : faint_limits::size - 1;
        const float squared = (p.x * p.x + p.y * p.y) + p.z * p.z;
        if (squared > faint_beyond.squared[i]) return;          // surely too faint
    }
    draw_in_front(target, names);
}

#endif
