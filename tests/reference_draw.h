// Star drawing as first written, with no shortcuts: the magnitude from two
// logarithms for every star in front of the viewer and on the screen. Kept as
// the yardstick the program's drawing is compared with, pixel for pixel.
#ifndef STARHOP_TESTS_REFERENCE_DRAW_H
#define STARHOP_TESTS_REFERENCE_DRAW_H

#include "engine/stars.h"
#include "test_support.h"

#include <allegro.h>
#include <cmath>

namespace reference {

inline int class_colour(char letter)
{
    switch (letter) {
    case 'O': return makecol(200, 200, 255);
    case 'B': return makecol(150, 150, 255);
    case 'A': return makecol(150, 150, 200);
    case 'F': return makecol(175, 175, 150);
    case 'G': return makecol(200, 200, 100);
    case 'K': return makecol(225, 150,  50);
    case 'M': return makecol(255,   0,   0);
    case 'W': return makecol(255, 255, 255);
    default:  return makecol(255, 255, 255);
    }
}

inline void draw(const star_type& s, BITMAP* target, int names)
{
    static const double log_ratio = std::log(magnitude_ratio);
    const vector p = s.view_position;
    if (!(p.z > 0.0f)) return;                                  // behind the viewer
    int sx, sy;
    project(p, &sx, &sy);
    if (sx < 1 || sx > screen_width - 1 || sy < 1 || sy > screen_height - 1) return;  // off screen
    const float l = p.length();
    const float m = (float)((double)s.abs_magnitude + 2.0 * std::log((double)l / reference_distance) / log_ratio);
    if (!(m < 6.0f)) return;                                    // too faint, or not a number

    const int d = m >= 0.5f ? (int)(((double)m - 0.5) * 42.5) : 0;  // dimming, 0..233, in double
    const int g = 255 - d;                                      // centre grey level
    const int nx[4] = {sx + 1, sx - 1, sx, sx}, ny[4] = {sy, sy, sy + 1, sy - 1};
    putpixel(target, sx, sy, makecol(g, g, g));
    if (m >= 1.5f) {
        const int h = g / 4;                                    // halo grey level
        const int halo = makecol(h, h, h);
        for (int i = 0; i < 4; ++i)                             // never over a lit pixel
            if (getpixel(target, nx[i], ny[i]) == 0) putpixel(target, nx[i], ny[i], halo);
    } else {
        const int arm = class_colour(s.spectral_class[0]);
        for (int i = 0; i < 4; ++i) putpixel(target, nx[i], ny[i], arm);
    }
    if (m < 2.0f && names)
        textout_ex(target, font, s.name, sx + 5, sy - 4, makecol(255, 255, 255), _textmode);
}

} // namespace reference

#endif
