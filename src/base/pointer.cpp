// The arrow over the picture: drawn, shown and taken off again.
#include "base/pointer.h"

#include <allegro.h>

namespace {

// The library's default arrow, row by row: 'o' white, '#' black, '.' left as it is.
constexpr int arrow_width = 16, arrow_height = 16;
const char* const arrow[arrow_height] = {
    "##..............",
    "#o#.............",
    "#oo#............",
    "#ooo#...........",
    "#oooo#..........",
    "#ooooo#.........",
    "#oooooo#........",
    "#ooooooo#.......",
    "#oooooooo#......",
    "#ooooo###.......",
    "#oo#oo#.........",
    "#o#.#oo#........",
    ".#..#oo#........",
    ".....#oo#.......",
    ".....#oo#.......",
    "......##........",
};
constexpr int tip_x = 1, tip_y = 1;              // the arrow's pixel at the pointer position

// Calls f(x, y, white) for each pixel of `bmp` the arrow at (x, y) covers, in one order.
template <class F> void each_arrow_pixel(const BITMAP* bmp, int x, int y, F f)
{
    for (int row = 0; row < arrow_height; ++row)
        for (int column = 0; column < arrow_width; ++column) {
            const char c = arrow[row][column];
            if (c == '.') continue;                                   // see-through
            const int px = x - tip_x + column, py = y - tip_y + row;
            if (px < 0 || py < 0 || px >= bmp->w || py >= bmp->h) continue;   // off the bitmap
            f(px, py, c == 'o');
        }
}

} // namespace

void draw_pointer(BITMAP* bmp, int x, int y)
{
    const int depth = bitmap_color_depth(bmp);
    const int white = makecol_depth(depth, 255, 255, 255), black = makecol_depth(depth, 0, 0, 0);
    each_arrow_pixel(bmp, x, y, [&](int px, int py, bool is_white) { putpixel(bmp, px, py, is_white ? white : black); });
}

void show_picture(BITMAP* picture, BITMAP* to, bool pointer, int x, int y)
{
    int under[arrow_width * arrow_height];      // what the arrow covers, in the order it covers it
    int n = 0;
    if (pointer) {
        each_arrow_pixel(picture, x, y, [&](int px, int py, bool) { under[n++] = getpixel(picture, px, py); });
        draw_pointer(picture, x, y);
    }
    blit(picture, to, 0, 0, 0, 0, picture->w, picture->h);
    if (!pointer) return;
    n = 0;
    each_arrow_pixel(picture, x, y, [&](int px, int py, bool) { putpixel(picture, px, py, under[n++]); });
}

bool pointer_over_window() { return mouse_driver && mouse_on_screen(); }
