#include "stars.h"

#include <allegro.h>
#include <cmath>
#include <cstring>
#include <limits>

star_type::star_type()
    : name{}, spectral_class{}, abs_magnitude(std::numeric_limits<float>::quiet_NaN()), next(nullptr)
{
}

star_type::star_type(const char* name_, float abs_magnitude_, vector position_, const char* spectral_class_)
    : next(nullptr)
{
    star_set(name_, abs_magnitude_, position_, spectral_class_);
}

void star_type::star_set(const char* name_, float abs_magnitude_, vector position_, const char* spectral_class_)
{
    std::strncpy(name, name_, sizeof name - 1);   // zero-fills the rest of the 24
    name[sizeof name - 1] = '\0';                 // an over-long name is cut, never unterminated
    abs_magnitude = abs_magnitude_;
    position = position_;
    // strncpy semantics, spelled out: the field is deliberately left
    // unterminated when the class text has three or more characters.
    size_t i = 0;
    for (; i < sizeof spectral_class && spectral_class_[i]; ++i) spectral_class[i] = spectral_class_[i];
    for (; i < sizeof spectral_class; ++i) spectral_class[i] = '\0';
}

void star_type::transform_star(matrix view)
{
    view_position = view * position;
}

// Arm colour of a bright star by its class letter, exactly as stored: any
// other character (lower case, a digit, the zero character) gets white.
static int class_colour(char letter)
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

static const double log_ratio = std::log(magnitude_ratio);

void star_type::draw(BITMAP* target, int names)
{
    // The rejections come cheapest first; each one writes nothing, so their
    // order does not change the picture.
    const vector p = view_position;
    if (!(p.z > 0.0f)) return;                                  // behind the viewer
    int sx, sy;
    p.project(&sx, &sy);
    if (sx < 1 || sx > screen_width - 1 || sy < 1 || sy > screen_height - 1) return;  // off screen
    const float l = p.length();
    const float m = (float)(abs_magnitude + 2.0 * std::log(l / reference_distance) / log_ratio);
    if (!(m < 6.0f)) return;                                    // too faint, or not a number

    const int d = m >= 0.5f ? (int)((m - 0.5) * 42.5) : 0;      // dimming, 0..233, in double
    const int g = 255 - d;                                      // centre grey level
    const int nx[4] = {sx + 1, sx - 1, sx, sx}, ny[4] = {sy, sy, sy + 1, sy - 1};
    putpixel(target, sx, sy, makecol(g, g, g));
    if (m >= 1.5f) {
        const int h = g / 4;                                    // halo grey level
        const int halo = makecol(h, h, h);
        for (int i = 0; i < 4; ++i)                             // never over a lit pixel
            if (getpixel(target, nx[i], ny[i]) == 0) putpixel(target, nx[i], ny[i], halo);
    } else {
        const int arm = class_colour(spectral_class[0]);
        for (int i = 0; i < 4; ++i) putpixel(target, nx[i], ny[i], arm);
    }
    if (m < 2.0f && names)
        textout_ex(target, font, name, sx + 5, sy - 4, makecol(255, 255, 255), _textmode);
}
