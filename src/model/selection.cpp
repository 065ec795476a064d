// Picking a star with a click, and what is shown for it: corner strokes
// around it and a block of text at the top right of the screen.
#include "model/selection.h"

#include "engine/lens.h"
#include "engine/stars.h"
#include "app/viewer.h"

#include <algorithm>
#include <allegro.h>
#include <cstdio>
#include <cstring>

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
    std::snprintf(f.text[4], sizeof f.text[4], "Absolute magnitude %.2f", (double)s.abs_magnitude);
    return f;
}

namespace {

constexpr int block_top = 70;                   // below the status lines and the target line
constexpr int block_margin = 10;                // from the right edge, as the status text from the left
constexpr int corner = 5;                       // pixels from the star to a marker corner
constexpr int stroke = 2;                       // pixels each stroke runs on from its corner

// Four corner strokes, each bent round a corner of the square 2 * corner wide.
void draw_marker(BITMAP* buffer, int x, int y, int colour)
{
    for (int sx = -1; sx <= 1; sx += 2)
        for (int sy = -1; sy <= 1; sy += 2) {
            const int cx = x + sx * corner, cy = y + sy * corner;
            hline(buffer, cx, cy, cx - sx * stroke, colour);
            vline(buffer, cx, cy, cy - sy * stroke, colour);
        }
}

} // namespace

void selection::draw(BITMAP* buffer, const camera& c) const
{
    if (!star_) return;                                         // nothing picked
    const vector p = c.view * star_->position;
    int column, row;
    if (p.z > 0.0f) {
        c.optics.project(p, &column, &row);
        if (c.optics.on_screen(column, row)) draw_marker(buffer, column, row, makecol(80, 255, 80));
    }
    const star_facts f = facts_about(*star_, c.camera_position);
    int widest = 0;
    for (const char* line : f.text) widest = std::max(widest, text_length(font, line));
    const int left = c.optics.width() - block_margin - widest, white = makecol(255, 255, 255);
    for (int i = 0; i < star_facts::lines; ++i)
        textout_ex(buffer, font, f.text[i], left, block_top + 10 * i, white, _textmode);
}
