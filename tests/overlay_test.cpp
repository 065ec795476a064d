// The way marks over the stars: the Sun at its place or at the screen's edge
// toward it once the camera is away from home, and the trip's target there
// while it is off the screen; none over the status lines.
#include "allegro_env.h"
#include "test_support.h"
#include "app/overlay.h"
#include "engine/stars.h"
#include "model/camera.h"
#include "model/notices.h"
#include "model/selection.h"
#include "model/travel.h"

#include <allegro.h>
#include <algorithm>
#include <cmath>
#include <string>

static auto* env = register_allegro_env();

namespace {

// The first row below the four status lines.
constexpr int below_status = status_top_row + status_lines * text_line_height;

// A camera at `at` looking along `forward`, its down axis `down`.
camera looking(vector at, vector forward, vector down = vector(0, 0, -1))
{
    camera c;
    c.camera_position = at;
    c.forward = forward;
    c.down = down;
    c.right = down & forward;
    return c;
}

overlay_layout laid_out(const camera& c, const traveller* travel = nullptr, const selection* picked = nullptr)
{
    const matrix view = build_view(c);
    overlay o{c, view, 0};
    o.travel = travel;
    o.picked = picked;
    return lay_out_overlay(o, c.optics.width(), c.optics.height());
}

const way_mark* mark_named(const overlay_layout& l, const std::string& start)
{
    for (const way_mark& m : l.marks)
        if (m.label.text.compare(0, start.size(), start) == 0) return &m;
    return nullptr;
}

int count_colour(BITMAP* bmp, int colour, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += getpixel(bmp, x, y) == colour;
    return n;
}

} // namespace

// Where the Sun's mark stands for each way the camera can face it.
TEST(WayHome, TheSunAtItsPlaceOrAtTheEdgeTowardIt)
{
    const int cx = (int)camera().optics.centre_x(), cy = (int)camera().optics.centre_y();
    const int left = way_edge_margin, right = 639 - way_edge_margin, bottom = 479 - way_edge_margin;
    struct {
        const char* what;
        camera c;
        bool at_edge;
        int x, y;
        const char* label;
    } cases[] = {
        {"100 ly out on +x looking home", looking({100, 0, 0}, {-1, 0, 0}), false, cx, cy, "Sun 100 ly"},
        {"100 ly out on +x looking further out", looking({100, 0, 0}, {1, 0, 0}), true, cx, bottom, "Sun 100 ly"},
        {"beside, to the left", looking({100, 0, 0}, {0, 1, 0}), true, left, cy, "Sun 100 ly"},
        {"in front, far to the left", looking({100, -10, 0}, {0, 1, 0}), true, left, cy, "Sun 100 ly"},
        {"behind, to the right", looking({-2400, 2400, 0}, {0, 1, 0}), true, right, cy, "Sun 3,394 ly"},
        {"under the status lines: at the top edge", looking({0, -100, -50}, {0, 1, 0}), true, cx,
         below_status + way_edge_margin, "Sun 112 ly"},
    };
    for (const auto& k : cases) {
        const overlay_layout l = laid_out(k.c);
        ASSERT_EQ(l.marks.size(), 1u) << k.what;
        const way_mark& m = l.marks[0];
        EXPECT_EQ(m.at_edge, k.at_edge) << k.what;
        EXPECT_EQ(m.x, k.x) << k.what;
        EXPECT_EQ(m.y, k.y) << k.what;
        EXPECT_EQ(m.label.text, k.label) << k.what;
        EXPECT_GE(m.label.y, below_status) << k.what;             // never over the status lines
        EXPECT_GE(m.label.x, 0) << k.what;
        EXPECT_LE(m.label.x + 8 * (int)m.label.text.size(), 640) << k.what;
        if (m.at_edge) {                                            // the arrow points outward, toward the Sun
            EXPECT_GT((m.x - cx) * m.dx + (m.y - cy) * m.dy, 0.0) << k.what;
        }
    }
}

// Within a light year of the Sun nothing is marked; just beyond, the Sun is.
TEST(WayHome, NoMarkWithinALightYearOfTheSun)
{
    struct { vector at; std::size_t marks; } cases[] = {
        {{0, 0, 0}, 0}, {{0.6f, 0.8f, 0}, 0}, {{1, 0, 0}, 0}, {{0, -1.01f, 0}, 1}, {{0, 0, -5}, 1},
    };
    for (const auto& k : cases) {
        camera c;
        c.camera_position = k.at;
        EXPECT_EQ(laid_out(c).marks.size(), k.marks) << k.at.x << " " << k.at.y << " " << k.at.z;
    }
}

// The trip's target is marked with its name at the edge toward it while it
// is off the screen, and not while it can be seen.
TEST(WayHome, ATargetOffTheScreenIsMarkedAtTheEdge)
{
    struct { vector star; bool marked; int x; const char* label; } cases[] = {
        {{100, 10, 10}, true, 639 - way_edge_margin, "Vega 100 ly"},   // far to the right
        {{0, -30, 10}, true, -1, "Vega 40 ly"},                         // behind
        {{0, 50, 10}, false, 0, ""},                                    // straight ahead
    };
    for (const auto& k : cases) {
        star_list list;
        star_type* const star = list.first();
        star->star_set("Vega", 0.0f, k.star, "A0V");
        camera c;
        c.camera_position = vector(0, 10, 10);
        traveller travel(star);
        travel.journey.start(c, star);
        c = looking({0, 10, 10}, {0, 1, 0});                       // the turn not begun
        const overlay_layout l = laid_out(c, &travel);
        const way_mark* m = mark_named(l, "Vega");
        ASSERT_EQ(m != nullptr, k.marked) << k.label;
        EXPECT_TRUE(mark_named(l, "Sun ")) << k.label;              // the Sun's mark as well
        if (!m) continue;
        EXPECT_TRUE(m->at_edge);
        EXPECT_EQ(m->label.text, k.label);
        if (k.x >= 0) {
            EXPECT_EQ(m->x, k.x);
        }
    }
}

// The star picked is marked the same way once it has left the screen, and
// once only when it is the trip's target too.
TEST(WayHome, TheStarPickedOffTheScreenIsMarkedOnce)
{
    star_list list;
    star_type* const star = list.first();
    star->star_set("Deneb", 0.0f, vector(0, 50, 10), "A2I");
    selection picked;
    picked.click(320, 240);
    picked.pick()->offer(star, 320, 240, 0.0f);
    picked.frame_drawn();
    ASSERT_EQ(picked.star(), star);
    traveller travel(star);
    struct { const char* what; vector forward; bool target; std::size_t deneb_marks; } cases[] = {
        {"in view", {0, 1, 0}, false, 0},
        {"turned away", {0, -1, 0}, false, 1},
        {"turned away, the target too", {0, -1, 0}, true, 1},
    };
    for (const auto& k : cases) {
        camera c = looking({0, 10, 10}, k.forward);
        if (k.target) travel.journey.start(c, star);
        const overlay_layout l = laid_out(c, &travel, &picked);
        std::size_t n = 0;
        for (const way_mark& m : l.marks) n += m.label.text == "Deneb 40 ly" && m.at_edge;
        EXPECT_EQ(n, k.deneb_marks) << k.what;
    }
}

// With a notice or the prompt at the bottom, a mark that would stand at the
// bottom edge stands above them, and the Sun's place there is marked at the
// edge above them too.
TEST(WayHome, MarksKeepClearOfTheTextAtTheBottom)
{
    struct { const char* what; camera c; bool prompt; } cases[] = {
        {"straight behind, a notice", looking({100, 0, 0}, {1, 0, 0}), false},
        {"straight behind, the prompt", looking({100, 0, 0}, {1, 0, 0}), true},
        {"its place under the notice", looking({0, -100, 55}, {0, 1, 0}), false},
    };
    for (const auto& k : cases) {
        notices shown(50);
        shown.show("Saved a picture", 3);
        traveller travel(nullptr);
        if (k.prompt) travel.prompt.open_empty();
        const matrix view = build_view(k.c);
        overlay o{k.c, view, 0};
        o.shown = &shown;
        o.travel = &travel;
        const overlay_layout l = lay_out_overlay(o, 640, 480);
        int text_top = 480;
        for (const text_line& t : l.lines)
            if (t.y > 240) text_top = std::min(text_top, t.y);
        ASSERT_LT(text_top, 480) << k.what;
        ASSERT_EQ(l.marks.size(), 1u) << k.what;
        const way_mark& m = l.marks[0];
        EXPECT_TRUE(m.at_edge) << k.what;
        EXPECT_EQ(m.y, text_top - 1 - way_edge_margin) << k.what;
        EXPECT_LE(m.label.y + 8, text_top) << k.what;
    }
}

// Drawn: the arrow at the edge, the ticks round the place with the star's
// own pixel left free, the label in the way colour, and the status rows
// untouched by any of it.
TEST(WayHome, DrawnDimAndNeverOverTheStatusLines)
{
    for (const camera& c : {looking({100, 0, 0}, {-1, 0, 0}), looking({100, 0, 0}, {1, 0, 0}),
                            looking({0, -100, -50}, {0, 1, 0})}) {
        const overlay_layout l = laid_out(c);
        ASSERT_EQ(l.marks.size(), 1u);
        const way_mark& m = l.marks[0];
        test_bitmap got;
        const matrix view = build_view(c);
        draw_overlay(got, overlay{c, view, 0});
        const int dim = way_colour();
        EXPECT_EQ(count_colour(got, dim, 0, 0, 640, below_status), 0);
        EXPECT_GT(count_colour(got, dim, m.label.x, m.label.y, m.label.x + 8 * (int)m.label.text.size(),
                               m.label.y + 8), 20);
        if (m.at_edge) {
            EXPECT_EQ(getpixel(got, m.x, m.y), dim);                 // the tip
            EXPECT_EQ(getpixel(got, m.x - (int)std::lround(6 * m.dx), m.y - (int)std::lround(6 * m.dy)), dim);
        } else {
            EXPECT_EQ(getpixel(got, m.x, m.y), 0);                   // the Sun's own pixel
            EXPECT_EQ(getpixel(got, m.x + 4, m.y), dim);
            EXPECT_EQ(getpixel(got, m.x - 4, m.y), dim);
            EXPECT_EQ(getpixel(got, m.x, m.y + 4), dim);
            EXPECT_EQ(getpixel(got, m.x, m.y - 4), dim);
        }
    }
}
