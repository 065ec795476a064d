// The text and the marker drawn over the stars, and where each goes.
#include "app/overlay.h"

#include "app/controls.h"
#include "app/frame_clock.h"
#include "base/text.h"
#include "model/camera.h"
#include "model/notices.h"
#include "model/selection.h"
#include "model/travel.h"
#include "engine/stars.h"

#include <algorithm>
#include <allegro.h>
#include <cmath>
#include <cstdio>

std::string rate_text(double v)
{
    char digits[64];
    if (!(v < 1e6)) {                                          // beyond a million, or not a number
        std::snprintf(digits, sizeof digits, "%.3g", v);
        return digits;
    }
    const int magnitude = v > 0 ? (int)std::floor(std::log10(v)) : 0;
    std::snprintf(digits, sizeof digits, "%.*f", std::max(0, 2 - magnitude), v);   // three significant digits
    std::string s = digits;
    const std::size_t point = s.find('.');
    if (point != std::string::npos) {                          // no trailing zeros, nor a bare point
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
    }
    return with_thousands(s);
}

std::string speed_text(int level)
{
    char text[64];
    std::snprintf(text, sizeof text, ", speed %+d (%s ly/s)", level,
                  rate_text(settled_speed(level) * ticks_per_second).c_str());
    return text;
}

int prompt_row_of(const BITMAP* buffer) { return buffer->h - 18; }

std::vector<std::string> screen_lines(const std::string& text, int width)
{
    const std::size_t longest = (std::size_t)std::max(1, (width - 2 * text_margin) / 8);   // the font's 8-pixel cells
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ') ++at;           // no line starts with a space
        if (at == text.size()) break;
        std::size_t end = text.size();
        if (end - at > longest) {
            const std::size_t space = text.rfind(' ', at + longest);
            end = space != std::string::npos && space > at ? space : at + longest;
            while (end > at + 1 && text[end - 1] == ' ') --end;   // nor ends with one
        }
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

namespace {

constexpr int corner = 5;                       // pixels from the star to a marker corner
constexpr int stroke = 2;                       // pixels each stroke runs on from its corner

int white() { return makecol(255, 255, 255); }

void draw_status(BITMAP* buffer, const camera& c, int star_count)
{
    const int row = status_top_row, step = text_line_height;
    textprintf_ex(buffer, font, text_margin, row, white(), _textmode,
                  "You are %f light years from Earth.  %d stars in database.",
                  (double)c.camera_position.length(), star_count);
    textprintf_ex(buffer, font, text_margin, row + step, white(), _textmode,
                  "Press [tab] to name stars, drag left mouse button to change view");
    textprintf_ex(buffer, font, text_margin, row + 2 * step, white(), _textmode,
                  "right mouse button to move forward, press E to return home.");
    char lens_line[80];
    std::snprintf(lens_line, sizeof lens_line, "Field of view %.1f degrees, exposure %+.1f",
                  c.optics.field_of_view(), (double)c.optics.exposure());
    const std::string fourth = lens_line + speed_text(c.speed_level);
    textout_ex(buffer, font, fourth.c_str(), text_margin, row + 3 * step, white(), _textmode);
}

// Every control, under a line that says how to hide them again: --help's
// list indented a space less, so its widest row fits the default window.
void draw_help(BITMAP* buffer)
{
    std::vector<std::string> lines(1, "Controls (F1 or ? again to hide them):");
    for (const std::string& line : control_lines()) lines.push_back(line.substr(1));
    for (std::size_t i = 0; i < lines.size(); ++i)
        textout_ex(buffer, font, lines[i].c_str(), text_margin, help_top_row + text_line_height * (int)i, white(),
                   _textmode);
}

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

// The notices, oldest on top, the newest with its top at `bottom_row`.
void draw_notices(BITMAP* buffer, const notices& shown, int bottom_row)
{
    const std::vector<std::string>& lines = shown.texts();
    const int n = (int)lines.size();
    for (int i = 0; i < n; ++i)
        textout_ex(buffer, font, lines[i].c_str(), text_margin, bottom_row - text_line_height * (n - 1 - i), white(),
                   _textmode);
}

} // namespace

void draw_travel(BITMAP* buffer, const camera& c, const traveller& travel)
{
    if (const star_type* t = travel.journey.target()) {
        const float distance = (t->position - c.camera_position).length();
        textprintf_ex(buffer, font, text_margin, target_row, white(), _textmode, "Target: %s  %f light years", t->name,
                      (double)distance);
    }
    const fly_prompt& prompt = travel.prompt;
    if (!prompt.is_open()) return;
    const int prompt_row = prompt_row_of(buffer);
    const std::vector<std::string>& notes = prompt.notes();
    for (std::size_t i = 0; i < notes.size(); ++i)
        textout_ex(buffer, font, notes[i].c_str(), text_margin,
                   prompt_row - text_line_height * (int)(notes.size() - i), white(), _textmode);
    textprintf_ex(buffer, font, text_margin, prompt_row, white(), _textmode, "Fly to: %s_", prompt.text().c_str());
}

void draw_selection(BITMAP* buffer, const camera& c, const matrix& view, const selection& picked)
{
    const star_type* star = picked.star();
    if (!star) return;                                          // nothing picked
    const vector p = view * star->position;
    int column, row;
    if (p.z > 0.0f) {
        c.optics.project(p, &column, &row);
        if (c.optics.on_screen(column, row)) draw_marker(buffer, column, row, makecol(80, 255, 80));
    }
    const star_facts f = facts_about(*star, c.camera_position);
    int widest = 0;
    for (const char* line : f.text) widest = std::max(widest, text_length(font, line));
    const int left = c.optics.width() - text_margin - widest;
    for (int i = 0; i < star_facts::lines; ++i)
        textout_ex(buffer, font, f.text[i], left, facts_top_row + text_line_height * i, white(), _textmode);
}

void draw_overlay(BITMAP* buffer, const overlay& o)
{
    draw_status(buffer, o.c, o.star_count);
    if (o.help) draw_help(buffer);
    if (o.travel) draw_travel(buffer, o.c, *o.travel);
    if (o.picked) draw_selection(buffer, o.c, o.view, *o.picked);
    if (o.shown && !o.shown->empty()) {
        int bottom = prompt_row_of(buffer);
        if (o.travel && o.travel->prompt.is_open())             // above the prompt and its notes
            bottom -= text_line_height * (int)(o.travel->prompt.notes().size() + 1);
        draw_notices(buffer, *o.shown, bottom);
    }
}
