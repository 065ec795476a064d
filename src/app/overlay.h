// What is drawn over the stars: the status lines, the target line, the help,
// the block of facts and the marker of the star picked, the fly-to prompt
// with its notes, and the notices at the bottom. Every row and margin of the
// screen's text is here.
#ifndef STARHOP_OVERLAY_H
#define STARHOP_OVERLAY_H

#include "engine/lens.h"
#include "base/vector.h"

#include <string>
#include <vector>

struct BITMAP;
struct camera;
class notices;
class selection;
class traveller;

// Text lines from the top: the four status lines 10 pixels apart, then the
// fly-to target line, and the help, and the block of the star picked, a line
// below that. The rows are those of a screen as wide as the default window;
// on a narrower one a line that does not fit is cut into more rows, and the
// rows below move down.
constexpr int text_line_height = 10;
constexpr int text_margin      = 10;            // from the left edge, and the right
constexpr int status_top_row   = 10;
constexpr int status_lines     = 4;
constexpr int target_row       = status_top_row + status_lines * text_line_height;
constexpr int help_top_row     = target_row + 2 * text_line_height;
constexpr int facts_top_row    = help_top_row;

// The prompt keeps its place above the bottom: the bottom line of text.
int prompt_row_of(const BITMAP* buffer);

// What the status line says of a speed level: ", speed +2 (2,500 ly/s)", the
// speed full thrust settles at, in light years a second at the timer's rate.
std::string speed_text(int level);
// A speed in light years a second to three significant digits, with
// thousands separators, or in scientific notation beyond a million.
std::string rate_text(double light_years_a_second);

// `text` cut at spaces into lines that fit a screen `width` pixels wide
// beside its margins; a word longer than a line is cut where the line ends.
std::vector<std::string> screen_lines(const std::string& text, int width = screen_width);

// What is drawn over the stars of a frame seen through `view`: the status
// text, the help when `help` is on, and what of `travel`, `picked` and
// `shown` is given.
struct overlay {
    const camera& c;
    const matrix& view;
    int star_count;
    bool help = false;
    const traveller* travel = nullptr;
    const selection* picked = nullptr;
    const notices* shown = nullptr;
};
void draw_overlay(BITMAP* buffer, const overlay& o);

// One line of that text: its left end and top row on the screen.
struct text_line {
    int x, y;
    std::string text;
};
// Farther than this from the Sun (light years), the way home is marked.
constexpr float way_home_beyond = 1.0f;
// Pixels from the screen's edge to the tip of a way mark's arrow.
constexpr int way_edge_margin = 12;

// A mark showing where the Sun, the trip's target or the star picked lies:
// at its place (`x`, `y` its pixel) while it is in front and on the screen
// between the status lines and the prompt and notices at the bottom, else at
// the screen's edge toward it, where the line from the centre toward it
// leaves that part of the screen inset by the margin; the
// arrow's tip at `x`, `y` points outward along (`dx`, `dy`). The label gives
// the name and the distance in light years as rate_text writes a number
// (three significant digits, whole light years from 1,000 on): "Sun 2,400 ly".
// The colour way marks are drawn in: a grey of the status text's white.
int way_colour();
struct way_mark {
    bool at_edge = false;
    int x = 0, y = 0;
    double dx = 0, dy = 0;                      // unit, on the screen (rows down)
    text_line label;
};

// Where everything the overlay writes goes on a screen `width` by `height`
// pixels: every line within the margins, in the order drawn, the marker of
// the star picked drawn after the first `before_marker` of them, and the way
// marks (none within way_home_beyond of the Sun) under all of them.
struct overlay_layout {
    std::vector<text_line> lines;
    std::vector<way_mark> marks;
    std::size_t before_marker = 0;
    bool marker = false;                        // the star picked is in front and on the screen
    int marker_x = 0, marker_y = 0;
};
overlay_layout lay_out_overlay(const overlay& o, int width, int height);
// Of that: the target line under the status text, and the open prompt with
// its notes above it; nothing when neither has been asked for.
void draw_travel(BITMAP* buffer, const camera& c, const traveller& travel);
// Of that: the marker around the star picked, while it is in front of the
// viewer and on the screen, and the block of its facts at the top right.
void draw_selection(BITMAP* buffer, const camera& c, const matrix& view, const selection& picked);

#endif
