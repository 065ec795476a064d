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

int way_colour() { return makecol(160, 160, 160); }            // dim beside the stars, yet readable

static int prompt_row_at(int height) { return height - 18; }

int prompt_row_of(const BITMAP* buffer) { return prompt_row_at(buffer->h); }

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
constexpr int cell = 8;                         // the font's cells: pixels a character

int white() { return makecol(255, 255, 255); }

// Whether a line of text at the left margin ends on the screen. (The help's
// widest rows run into the right margin of the default window; a line cut
// to fit leaves the margin free.)
bool fits(const std::string& text, int width) { return text_margin + (int)text.size() * cell <= width; }

// `text` as it is when it fits the screen's width, else cut into lines that
// do, each after `indent` spaces.
std::vector<std::string> fitted(const std::string& text, int width, int indent = 0)
{
    if (fits(text, width)) return {text};
    std::vector<std::string> lines = screen_lines(text, width - indent * cell);
    for (std::string& line : lines) line.insert(0, (std::size_t)indent, ' ');
    return lines;
}

// Adds `texts`, one under the other from `top` at the left margin; gives the row below the last.
int add_rows(std::vector<text_line>& to, const std::vector<std::string>& texts, int top)
{
    for (const std::string& text : texts) {
        to.push_back(text_line{text_margin, top, text});
        top += text_line_height;
    }
    return top;
}

std::vector<std::string> status_texts(const camera& c, int star_count, int width)
{
    char first[160];
    std::snprintf(first, sizeof first, "You are %f light years from Earth.  %d stars in database.",
                  (double)c.camera_position.length(), star_count);
    char lens_line[80];
    std::snprintf(lens_line, sizeof lens_line, "Field of view %.1f degrees, exposure %+.1f",
                  c.optics.field_of_view(), (double)c.optics.exposure());
    std::vector<std::string> all;
    for (const std::string& line : {std::string(first),
                                    std::string("Press [tab] to name stars, drag left mouse button to change view"),
                                    std::string("right mouse button to move forward, press E to return home."),
                                    lens_line + speed_text(c.speed_level)})
        for (std::string& part : fitted(line, width)) all.push_back(std::move(part));
    return all;
}

// Every control, under a line that says how to hide them again: --help's
// list indented a space less, so its widest row fits the default window. A
// screen too narrow for the two columns gets each control's keys on a line
// of their own and its help below them, indented.
std::vector<std::string> help_texts(int width)
{
    std::vector<std::string> lines = fitted("Controls (F1 or ? again to hide them):", width);
    std::vector<std::string> table;
    bool all_fit = true;
    for (const std::string& line : control_lines()) {
        table.push_back(line.substr(1));
        all_fit = all_fit && fits(table.back(), width);
    }
    if (all_fit) {
        lines.insert(lines.end(), table.begin(), table.end());
        return lines;
    }
    for (const control& c : controls) {
        for (std::string& part : fitted(std::string(" ") + c.keys, width, 1)) lines.push_back(std::move(part));
        std::string help = c.help;
        std::replace(help.begin(), help.end(), '\n', ' ');
        for (std::string& part : fitted(std::string(3, ' ') + help, width, 3)) lines.push_back(std::move(part));
    }
    return lines;
}

// The target line under the status text, and the open prompt with its notes
// above the prompt row; gives how many rows the target line took.
int add_travel(std::vector<text_line>& to, const camera& c, const traveller& travel, int target_top, int width,
               int height)
{
    int target_rows = 0;
    if (const star_type* t = travel.journey.target()) {
        const float distance = (t->position - c.camera_position).length();
        char line[160];
        std::snprintf(line, sizeof line, "Target: %s  %f light years", t->name, (double)distance);
        const std::vector<std::string> lines = fitted(line, width);
        add_rows(to, lines, target_top);
        target_rows = (int)lines.size();
    }
    const fly_prompt& prompt = travel.prompt;
    if (!prompt.is_open()) return target_rows;
    std::vector<std::string> bottom;
    for (const std::string& note : prompt.notes())
        for (std::string& part : fitted(note, width)) bottom.push_back(std::move(part));
    for (std::string& part : fitted("Fly to: " + prompt.text() + "_", width)) bottom.push_back(std::move(part));
    add_rows(to, bottom, prompt_row_at(height) - text_line_height * ((int)bottom.size() - 1));
    return target_rows;
}

// The rows the open prompt and its notes take at the bottom.
int prompt_rows(const traveller& travel, int width)
{
    if (!travel.prompt.is_open()) return 0;
    std::size_t n = fitted("Fly to: " + travel.prompt.text() + "_", width).size();
    for (const std::string& note : travel.prompt.notes()) n += fitted(note, width).size();
    return (int)n;
}

// The block of the star picked's facts at the top right, each line ending
// at the right margin's edge of the widest.
void add_facts(overlay_layout& to, const camera& c, const matrix& view, const selection& picked, int facts_top,
               int width)
{
    const star_type* star = picked.star();
    if (!star) return;                                          // nothing picked
    const vector p = view * star->position;
    if (p.z > 0.0f) {
        int column, row;
        c.optics.project(p, &column, &row);
        to.marker = c.optics.on_screen(column, row);
        to.marker_x = column;
        to.marker_y = row;
    }
    to.before_marker = to.lines.size();
    const star_facts f = facts_about(*star, c.camera_position);
    std::vector<std::string> lines;
    for (const char* line : f.text)
        for (std::string& part : fitted(line, width)) lines.push_back(std::move(part));
    int widest = 0;
    for (const std::string& line : lines) widest = std::max(widest, text_length(font, line.c_str()));
    const int left = width - text_margin - widest;
    for (std::size_t i = 0; i < lines.size(); ++i)
        to.lines.push_back(text_line{left, facts_top + text_line_height * (int)i, lines[i]});
}

// The notices, oldest on top, the newest with its top at `bottom_row`.
void add_notices(std::vector<text_line>& to, const notices& shown, int bottom_row, int width)
{
    std::vector<std::string> lines;
    for (const std::string& text : shown.texts())
        for (std::string& part : fitted(text, width)) lines.push_back(std::move(part));
    add_rows(to, lines, bottom_row - text_line_height * ((int)lines.size() - 1));
}

constexpr int tick_near = 3, tick_far = 6;      // a way mark's ticks: pixels from the place it marks
constexpr int arrow_length = 8, arrow_head = 4, arrow_wing = 3;

// The way mark of the point `at` of the catalog frame, labelled `text`
// (none when nothing is marked), in the rows from `top` to `bottom`: clear of
// the status lines above and of the prompt and notices below. With `in_view`, a point in front and on the screen is marked
// at its place; without, it is marked only while off the screen.
bool way_mark_of(const camera& c, const matrix& view, vector at, const std::string& text, bool in_view, int top,
                 int bottom, int width, way_mark* m)
{
    const vector p = view * at;
    const int label_width = (int)text.size() * cell;
    const auto label_at = [&](int left, int row) {
        left = std::max(0, std::min(left, width - label_width));
        row = std::max(top, std::min(row, bottom - cell));
        m->label = text_line{left, row, text};
    };
    if (p.z > 0.0f) {
        int column, row;
        c.optics.project(p, &column, &row);
        const bool on = c.optics.on_screen(column, row);
        if (on && !in_view) return false;                      // it can be seen
        if (on && row - tick_far >= top && row + tick_far < bottom) {   // at its place, clear of the text
            m->at_edge = false;
            m->x = column;
            m->y = row;
            const int right = column + tick_far + 5;
            label_at(right + label_width <= width - text_margin ? right : column - tick_far - 5 - label_width,
                     row - cell / 2);
            return true;
        }
    }
    // Toward it on the screen: in front, the way its projection lies from the
    // centre; behind, the way to turn. Straight behind, down.
    double dx = (double)p.x, dy = (double)p.y;
    double length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 1e-3 * std::fabs((double)p.z))) dx = 0, dy = 1, length = 1;
    dx /= length;
    dy /= length;
    const double cx = (double)c.optics.centre_x(), cy = (double)c.optics.centre_y();
    const double left = way_edge_margin, right = width - 1 - way_edge_margin;
    const double high = top + way_edge_margin, low = bottom - 1 - way_edge_margin;
    double t = 1e30;
    if (dx > 0) t = std::min(t, (right - cx) / dx);
    if (dx < 0) t = std::min(t, (left - cx) / dx);
    if (dy > 0) t = std::min(t, (low - cy) / dy);
    if (dy < 0) t = std::min(t, (high - cy) / dy);
    t = std::max(t, 0.0);
    m->at_edge = true;
    m->x = (int)std::lround(std::max(left, std::min(right, cx + t * dx)));
    m->y = (int)std::lround(std::max(high, std::min(low, cy + t * dy)));
    m->dx = dx;
    m->dy = dy;
    const int beside = arrow_length + 4;                       // inward of the arrow
    label_at(dx > 0 ? m->x - beside - label_width : m->x + beside, m->y - cell / 2);
    return true;
}

// "Sun 2,400 ly": a name and a distance, written as rate_text writes a number.
std::string way_text(const std::string& name, float distance)
{
    return name + " " + rate_text((double)distance) + " ly";
}

// The Sun's mark, and the trip's target's and the star picked's while they
// are off the screen, once the camera is farther than a light year from home.
void add_way_marks(overlay_layout& to, const overlay& o, int top, int bottom, int width)
{
    const float home = o.c.camera_position.length();
    if (!(home > way_home_beyond)) return;                     // at home the view stays as it is
    way_mark m;
    if (way_mark_of(o.c, o.view, vector{0, 0, 0}, way_text("Sun", home), true, top, bottom, width, &m))
        to.marks.push_back(m);
    const star_type* target = o.travel ? o.travel->journey.target() : nullptr;
    const star_type* picked = o.picked ? o.picked->star() : nullptr;
    for (const star_type* s : {target, picked == target ? nullptr : picked}) {
        if (!s) continue;
        const std::string text = way_text(s->name, (s->position - o.c.camera_position).length());
        if (way_mark_of(o.c, o.view, s->position, text, false, top, bottom, width, &m)) to.marks.push_back(m);
    }
}

void draw_way_mark(BITMAP* buffer, const way_mark& m, int colour)
{
    if (m.at_edge) {
        const auto at = [&](double along, double across, int* x, int* y) {
            *x = m.x + (int)std::lround(along * m.dx - across * m.dy);
            *y = m.y + (int)std::lround(along * m.dy + across * m.dx);
        };
        int x0, y0, x1, y1, x2, y2;
        at(-arrow_length, 0, &x0, &y0);
        at(-arrow_head, arrow_wing, &x1, &y1);
        at(-arrow_head, -arrow_wing, &x2, &y2);
        line(buffer, x0, y0, m.x, m.y, colour);
        line(buffer, x1, y1, m.x, m.y, colour);
        line(buffer, x2, y2, m.x, m.y, colour);
    } else {                                                   // four ticks round the place, the star left free
        hline(buffer, m.x - tick_far, m.y, m.x - tick_near, colour);
        hline(buffer, m.x + tick_near, m.y, m.x + tick_far, colour);
        vline(buffer, m.x, m.y - tick_far, m.y - tick_near, colour);
        vline(buffer, m.x, m.y + tick_near, m.y + tick_far, colour);
    }
    textout_ex(buffer, font, m.label.text.c_str(), m.label.x, m.label.y, colour, _textmode);
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

void draw_lines(BITMAP* buffer, const std::vector<text_line>& lines, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i)
        textout_ex(buffer, font, lines[i].text.c_str(), lines[i].x, lines[i].y, white(), _textmode);
}

void draw_layout(BITMAP* buffer, const overlay_layout& l)
{
    for (const way_mark& m : l.marks) draw_way_mark(buffer, m, way_colour());
    const std::size_t before = std::min(l.before_marker, l.lines.size());
    draw_lines(buffer, l.lines, 0, before);
    if (l.marker) draw_marker(buffer, l.marker_x, l.marker_y, makecol(80, 255, 80));
    draw_lines(buffer, l.lines, before, l.lines.size());
}

} // namespace

overlay_layout lay_out_overlay(const overlay& o, int width, int height)
{
    overlay_layout l;
    const int target_top = add_rows(l.lines, status_texts(o.c, o.star_count, width), status_top_row);
    int target_rows = 0;
    std::vector<text_line> travel;
    if (o.travel) target_rows = add_travel(travel, o.c, *o.travel, target_top, width, height);
    const int help_top = target_top + text_line_height * (std::max(target_rows, 1) + 1);
    if (o.help) add_rows(l.lines, help_texts(width), help_top);
    l.lines.insert(l.lines.end(), travel.begin(), travel.end());
    l.before_marker = l.lines.size();
    if (o.picked) add_facts(l, o.c, o.view, *o.picked, help_top, width);
    int free_below = height;                                    // the top of the prompt and the notices
    for (std::size_t i = (std::size_t)target_rows; i < travel.size(); ++i)
        free_below = std::min(free_below, travel[i].y);
    const std::size_t before_notices = l.lines.size();
    if (o.shown && !o.shown->empty()) {
        int bottom = prompt_row_at(height);
        if (o.travel && o.travel->prompt.is_open())             // above the prompt and its notes
            bottom -= text_line_height * prompt_rows(*o.travel, width);
        add_notices(l.lines, *o.shown, bottom, width);
    }
    for (std::size_t i = before_notices; i < l.lines.size(); ++i)
        free_below = std::min(free_below, l.lines[i].y);
    add_way_marks(l, o, target_top + text_line_height * target_rows, free_below, width);
    return l;
}

void draw_travel(BITMAP* buffer, const camera& c, const traveller& travel)
{
    overlay_layout l;
    add_travel(l.lines, c, travel, target_row, buffer->w, buffer->h);
    draw_layout(buffer, l);
}

void draw_selection(BITMAP* buffer, const camera& c, const matrix& view, const selection& picked)
{
    overlay_layout l;
    add_facts(l, c, view, picked, facts_top_row, c.optics.width());
    draw_layout(buffer, l);
}

void draw_overlay(BITMAP* buffer, const overlay& o) { draw_layout(buffer, lay_out_overlay(o, buffer->w, buffer->h)); }
