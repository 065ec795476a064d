// Picking a star with a click, and the facts shown for it.
#include "model/selection.h"

#include "engine/catalog_formats.h"
#include "engine/lens.h"
#include "engine/stars.h"

#include <cmath>
#include <cstdio>

namespace {
// The absolute magnitude astronomers quote: the magnitude the star would show
// from ten parsecs, five magnitudes to each factor of 100 in brightness
// (Pogson's ratio). The record keeps the program's own quantity, so the
// apparent magnitude seen from Earth comes back from it through the lens's
// law at the star's distance, and Pogson's law takes that to ten parsecs.
double absolute_at_ten_parsecs(const star_type& s)
{
    const float from_earth = s.position.length();
    const double apparent = (double)lens::seen_magnitude(s.abs_magnitude, from_earth);
    return apparent - 5 * std::log10((double)from_earth / (10 * light_years_per_parsec));
}
} // namespace

void selection::click(int x, int y)
{
    pick_ = star_pick(x, y);
    waiting_ = true;
}

void selection::frame_drawn()
{
    if (!waiting_) return;                                      // no click to answer
    waiting_ = false;
    star_ = pick_.best();
}

star_facts facts_about(const star_type& s, vector from)
{
    star_facts f;
    const float distance = (s.position - from).length();
    std::snprintf(f.text[0], sizeof f.text[0], "%s", s.name[0] ? s.name : "(no name)");
    if (s.spectral_class[0]) std::snprintf(f.text[1], sizeof f.text[1], "Class %.3s", s.spectral_class);
    else                     std::snprintf(f.text[1], sizeof f.text[1], "Class unknown");
    std::snprintf(f.text[2], sizeof f.text[2], "Distance %f light years", (double)distance);
    std::snprintf(f.text[3], sizeof f.text[3], "Magnitude %.2f seen from here",
                  (double)lens::seen_magnitude(s.abs_magnitude, distance));
    std::snprintf(f.text[4], sizeof f.text[4], "Absolute magnitude %.2f (10 pc)", absolute_at_ten_parsecs(s));
    return f;
}
