// Pixel-exact tests of how one star is carried into view space and drawn: the
// magnitude levels at their boundaries, the screen bounds, the viewer's plane,
// overlapping stars, the name label and the class colours. Every case compares
// the whole bitmap with an expected one, so a stray pixel anywhere shows up.
#include "engine/stars.h"
#include "test_support.h"
#include "allegro_env.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

static auto* env = register_allegro_env();

namespace {

const float inf = std::numeric_limits<float>::infinity();

// Puts the star at p with an absolute magnitude that makes it show exactly m
// there; the first guess can be a float off, so it walks a few floats.
::testing::AssertionResult aim(star_type& s, vector p, float m)
{
    s.view_position = p;
    float a = absolute_showing(m, p.length());
    for (int step = 0; step < 16; ++step) {
        const float got = seen_from(a, p.length());
        if (got == m) {
            s.abs_magnitude = a;
            return ::testing::AssertionSuccess();
        }
        a = std::nextafter(a, got < m ? inf : -inf);
    }
    return ::testing::AssertionFailure() << "no absolute magnitude shows exactly " << m;
}

// Like aim, for cases whose levels do not change within a hair of m.
::testing::AssertionResult place(star_type& s, vector p, float m)
{
    s.view_position = p;
    s.abs_magnitude = absolute_showing(m, p.length());
    const float got = seen_from(s.abs_magnitude, p.length());
    if (std::fabs(got - m) < 1e-4f) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "shows " << got << ", not " << m;
}

star_type named(const char* name, const char* spectral_class)
{
    star_type s;
    s.star_set(name, 0.0f, vector(0, 0, 0), spectral_class);
    return s;
}

int grey(int level) { return makecol(level, level, level); }

// Draws s as the window opened by default shows it: 640 by 480 pixels, zoom
// and exposure 0.
void draw_default(star_type& s, BITMAP* target, bool names)
{
    static const lens standard;
    s.draw(draw_context(target, standard, names));
}

// Centre pixel and its four neighbours (right, left, below, above).
void put_figure(BITMAP* b, int sx, int sy, int centre, int around)
{
    putpixel(b, sx, sy, centre);
    putpixel(b, sx + 1, sy, around);
    putpixel(b, sx - 1, sy, around);
    putpixel(b, sx, sy + 1, around);
    putpixel(b, sx, sy - 1, around);
}

// The label as the font draws it at its anchor, glyph cells filled with 0.
void put_label(BITMAP* b, const char* name, int sx, int sy)
{
    textout_ex(b, font, name, sx + 5, sy - 4, makecol(255, 255, 255), 0);
}

bool blank(BITMAP* b)
{
    test_bitmap empty;
    return same_bitmap(b, empty);
}

// What a star seen at magnitude m looks like; halo 0 means the bright style.
struct level { float m; bool drawn, label; int centre, halo; };

const level boundaries[] = {
    {inf,                         false, false,   0,  0},
    {100.0f,                      false, false,   0,  0},
    {std::nextafter(6.0f, inf),   false, false,   0,  0},
    {6.0f,                        false, false,   0,  0},
    {std::nextafter(6.0f, 0.0f),  true,  false,  22,  5},
    {5.0f,                        true,  false,  64, 16},
    {2.0f,                        true,  false, 192, 48},
    {std::nextafter(2.0f, 0.0f),  true,  true,  192, 48},
    {1.5f,                        true,  true,  213, 53},
    {std::nextafter(1.5f, 0.0f),  true,  true,  213,  0},
    {1.0f,                        true,  true,  234,  0},
    {0.53f,                       true,  true,  254,  0},
    {std::nextafter(0.5f, 1.0f),  true,  true,  255,  0},
    {0.5f,                        true,  true,  255,  0},
    {std::nextafter(0.5f, 0.0f),  true,  true,  255,  0},
    {0.25f,                       true,  true,  255,  0},
    {-2.0f,                       true,  true,  255,  0},
    {-27.5f,                      true,  true,  255,  0},
};

// Draws s, placed straight ahead (centre pixel), onto a cleared bitmap and
// compares the whole bitmap with what level l looks like. Class M: red arms.
::testing::AssertionResult looks_like(const star_type& s, const level& l, int names, BITMAP* got, BITMAP* want)
{
    clear_bitmap(got);
    clear_bitmap(want);
    star_type copy = s;
    draw_default(copy, got, names);
    if (l.drawn) put_figure(want, 320, 240, grey(l.centre), l.halo ? grey(l.halo) : makecol(255, 0, 0));
    if (l.drawn && l.label && names) put_label(want, s.name, 320, 240);
    return same_bitmap(got, want);
}

}  // namespace

// The levels of the magnitude chain on either side of each boundary, seen
// straight ahead at the reference distance, with names off and on.
TEST(StarDraw, MagnitudeLevelsAtTheirBoundaries)
{
    test_bitmap got, want;
    for (const level& l : boundaries)
        for (int names : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << "m " << l.m << ", names " << names);
            star_type s = named("Vega", "M0");
            ASSERT_TRUE(aim(s, vector(0, 0, 32.628463f), l.m));
            EXPECT_TRUE(looks_like(s, l, names, got, want));
        }
}

// The same boundaries from many distances: whatever the distance, it is the
// magnitude worked out in double precision that decides.
TEST(StarDraw, LevelBoundariesHoldAtAnyDistance)
{
    test_bitmap got, want;
    for (const level& l : boundaries) {
        if (!std::isfinite(l.m)) continue;
        int checked = 0;
        for (float start : {20.0f, 150.0f, 900.0f}) {
            float z = start;
            for (int i = 0; i < 40; ++i, z = std::nextafter(z, inf)) {
                star_type s = named("Vega", "M0");
                if (!aim(s, vector(0, 0, z), l.m)) continue;     // not every distance can show exactly m
                ++checked;
                EXPECT_TRUE(looks_like(s, l, 1, got, want)) << "m " << l.m << " at distance " << z;
            }
        }
        EXPECT_GE(checked, 10) << "m " << l.m;
    }
}

TEST(StarDraw, AbsoluteMagnitudeOneAtTenReferenceDistances)
{
    star_type s = named("Far", "G2V");
    s.abs_magnitude = 1.0f;
    s.view_position = vector(0, 0, 326.28463f);
    EXPECT_NEAR(seen_from(s.abs_magnitude, s.view_position.length()), 5.9508f, 1e-4f);
    test_bitmap got, want;
    draw_default(s, got, true);                                          // too faint for a label
    put_figure(want, 320, 240, grey(24), grey(6));
    EXPECT_TRUE(same_bitmap(got, want));
}

// A magnitude that is not a number fails every comparison, so it must be
// rejected rather than slip through as bright.
TEST(StarDraw, MagnitudeNotANumberNeverDraws)
{
    star_type unfilled;
    test_bitmap got;
    draw_default(unfilled, got, true);
    unfilled.view_position = vector(0, 0, 10);
    draw_default(unfilled, got, true);
    EXPECT_TRUE(blank(got));

    star_type s = named("Vega", "A0");
    s.abs_magnitude = std::numeric_limits<float>::quiet_NaN();
    s.view_position = vector(0, 0, 10);
    draw_default(s, got, true);
    s.abs_magnitude = 0.0f;                                  // a position that is not a number
    s.view_position = vector(std::nanf(""), 0, 10);
    draw_default(s, got, true);
    s.view_position = vector(0, 0, std::nanf(""));
    draw_default(s, got, true);
    EXPECT_TRUE(blank(got));
}

// Column 0 and row 0 are refused, 639 and 479 accepted with the figure pixel
// beyond the edge dropped, in both styles. The refused cases have names on,
// so a star drawn by mistake would also show its label.
TEST(StarDraw, ScreenBounds)
{
    struct edge { float x, y; int sx, sy; bool drawn; };
    const edge edges[] = {
        {-320.0f,    0.0f,   0, 240, false},
        {-320.5f,    0.0f,   0, 240, false},            // -0.5 truncates to column 0
        {-319.0f,    0.0f,   1, 240, true},
        { 319.0f,    0.0f, 639, 240, true},
        { 320.0f,    0.0f, 640, 240, false},
        {   0.0f, -240.0f, 320,   0, false},
        {   0.0f, -239.0f, 320,   1, true},
        {   0.0f,  239.0f, 320, 479, true},
        {   0.0f,  240.0f, 320, 480, false},
        {-321.0f,    0.0f,  -1, 240, false},
        { 319.0f,  239.0f, 639, 479, true},
        {-319.0f, -239.0f,   1,   1, true},
    };
    const int orange = makecol(225, 150, 50);
    for (const edge& e : edges)
        for (bool bright : {false, true}) {
            SCOPED_TRACE(testing::Message() << "at (" << e.sx << ", " << e.sy << "), bright " << bright);
            const vector p(e.x, e.y, 400.0f);
            int sx, sy;
            project(p, &sx, &sy);
            ASSERT_EQ(sx, e.sx);
            ASSERT_EQ(sy, e.sy);
            star_type s = named("Edge", "K5");
            ASSERT_TRUE(place(s, p, bright ? -1.0f : 3.0f));
            test_bitmap got, want;
            draw_default(s, got, !e.drawn);
            if (e.drawn) put_figure(want, e.sx, e.sy, bright ? grey(255) : grey(149), bright ? orange : grey(37));
            EXPECT_TRUE(same_bitmap(got, want));
        }
}

// Nothing behind the viewer or in its plane is drawn or labelled, however
// bright, even where the mirrored projection lands on the screen.
TEST(StarDraw, BehindOrInTheViewersPlane)
{
    const vector behind[] = {
        vector(0, 0, -10),                                  // mirrors onto the centre
        vector(-0.5f, -0.5f, -2),
        vector(0, 0, -std::numeric_limits<float>::denorm_min()),
        vector(0, 0, 0),
        vector(0, 0, -0.0f),
        vector(5, 5, 0),
        vector(0, 0, -inf),
    };
    for (const vector& p : behind) {
        SCOPED_TRACE(testing::Message() << "z " << p.z);
        star_type s = named("Behind", "O5");
        s.abs_magnitude = -20.0f;
        s.view_position = p;
        test_bitmap got;
        draw_default(s, got, true);
        EXPECT_TRUE(blank(got));
    }

    int sx, sy;
    project(vector(0, 0, -10), &sx, &sy);
    EXPECT_EQ(sx, 320);                                      // the z test alone rejects it
    EXPECT_EQ(sy, 240);

    // Just in front of the plane: the length underflows to 0, the magnitude is
    // minus infinity, and the star is a full white cross.
    star_type s = named("Near", "O5");
    s.abs_magnitude = 0.0f;
    s.view_position = vector(0, 0, std::numeric_limits<float>::denorm_min());
    test_bitmap got, want;
    draw_default(s, got, false);
    put_figure(want, 320, 240, grey(255), makecol(200, 200, 255));
    EXPECT_TRUE(same_bitmap(got, want));
}

// So close to the plane that a coordinate does not fit an int: it comes out
// as the smallest int and the star is refused.
TEST(StarDraw, ProjectionBeyondTheIntRange)
{
    const vector close[] = {vector(1, 0, 1e-7f), vector(0, 1, 1e-7f), vector(-1, 0, 1e-7f), vector(0, -1, 1e-7f)};
    for (const vector& p : close) {
        SCOPED_TRACE(testing::Message() << "(" << p.x << ", " << p.y << ")");
        int sx, sy;
        project(p, &sx, &sy);
        EXPECT_TRUE(sx == INT_MIN || sy == INT_MIN);
        star_type s = named("Close", "B0");
        s.abs_magnitude = -20.0f;
        s.view_position = p;
        test_bitmap got;
        draw_default(s, got, true);
        EXPECT_TRUE(blank(got));
    }
}

// A halo pixel never covers one already lit, whichever neighbour it is; the
// other halo pixels and the centre are still drawn.
TEST(StarDraw, HaloKeepsLitNeighbours)
{
    const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
    const int lit = makecol(0, 0, 1);                        // the dimmest colour that is not 0
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(testing::Message() << "lit neighbour " << k);
        star_type s = named("Faint", "G2");
        ASSERT_TRUE(aim(s, vector(0, 0, 32.628463f), 3.0f));
        test_bitmap got, want;
        putpixel(got, 320 + dx[k], 240 + dy[k], lit);
        draw_default(s, got, true);
        put_figure(want, 320, 240, grey(149), grey(37));
        putpixel(want, 320 + dx[k], 240 + dy[k], lit);
        EXPECT_TRUE(same_bitmap(got, want));
    }

    star_type s = named("Faint", "G2");                      // all lit: only the centre changes
    ASSERT_TRUE(aim(s, vector(0, 0, 32.628463f), 3.0f));
    test_bitmap got, want;
    put_figure(got, 320, 240, lit, lit);
    draw_default(s, got, false);
    put_figure(want, 320, 240, grey(149), lit);
    EXPECT_TRUE(same_bitmap(got, want));
}

TEST(StarDraw, ArmsOverwriteLitNeighbours)
{
    star_type s = named("Bright", "K0");
    ASSERT_TRUE(aim(s, vector(0, 0, 32.628463f), 1.0f));
    test_bitmap got, want;
    put_figure(got, 320, 240, makecol(1, 2, 3), makecol(255, 255, 255));
    draw_default(s, got, false);
    put_figure(want, 320, 240, grey(234), makecol(225, 150, 50));
    EXPECT_TRUE(same_bitmap(got, want));
}

// Stars drawn in turn: the later one wins, except where its halo meets a
// pixel the earlier one lit.
TEST(StarDraw, LaterStarOverEarlier)
{
    const vector p(0, 0, 400), right(1, 0, 400);            // (320, 240) and (321, 240)
    const int red = makecol(255, 0, 0), yellow = makecol(200, 200, 100);
    {   // faint, then bright on top: the cross covers the whole faint figure
        star_type a = named("A", "M"), b = named("B", "G");
        ASSERT_TRUE(place(a, p, 3.0f));
        ASSERT_TRUE(place(b, p, -1.0f));
        test_bitmap got, want;
        draw_default(a, got, false);
        draw_default(b, got, false);
        put_figure(want, 320, 240, grey(255), yellow);
        EXPECT_TRUE(same_bitmap(got, want));
    }
    {   // bright, then faint on top: new centre, the arms stay
        star_type a = named("A", "M"), b = named("B", "G");
        ASSERT_TRUE(place(a, p, -1.0f));
        ASSERT_TRUE(place(b, p, 3.0f));
        test_bitmap got, want;
        draw_default(a, got, false);
        draw_default(b, got, false);
        put_figure(want, 320, 240, grey(149), red);
        EXPECT_TRUE(same_bitmap(got, want));
    }
    {   // two faint ones: the later centre, the earlier halo
        star_type a = named("A", "M"), b = named("B", "G");
        ASSERT_TRUE(place(a, p, 3.0f));
        ASSERT_TRUE(place(b, p, 5.0f));
        test_bitmap got, want;
        draw_default(a, got, false);
        draw_default(b, got, false);
        put_figure(want, 320, 240, grey(64), grey(37));
        EXPECT_TRUE(same_bitmap(got, want));
    }
    {   // side by side: the later centre covers the earlier halo, and the
        // later halo stops at the earlier centre
        star_type a = named("A", "M"), b = named("B", "G");
        ASSERT_TRUE(place(a, p, 3.0f));
        ASSERT_TRUE(place(b, right, 5.0f));
        test_bitmap got, want;
        draw_default(a, got, false);
        draw_default(b, got, false);
        put_figure(want, 320, 240, grey(149), grey(37));
        put_figure(want, 321, 240, grey(64), grey(16));
        putpixel(want, 320, 240, grey(149));
        putpixel(want, 321, 240, grey(64));
        EXPECT_TRUE(same_bitmap(got, want));
    }
    {   // side by side, bright second: its left arm covers the earlier centre
        star_type a = named("A", "M"), b = named("B", "G");
        ASSERT_TRUE(place(a, p, -1.0f));
        ASSERT_TRUE(place(b, right, -1.0f));
        test_bitmap got, want;
        draw_default(a, got, false);
        draw_default(b, got, false);
        put_figure(want, 320, 240, grey(255), red);
        put_figure(want, 321, 240, grey(255), yellow);
        EXPECT_TRUE(same_bitmap(got, want));
    }
}

// The label's top-left corner is (sx + 5, sy - 4), white on cells filled
// with 0 that cover whatever was there, and nothing outside them.
TEST(StarDraw, LabelAnchorAndCells)
{
    struct spot { float x, y; int sx, sy; };
    const spot spots[] = {{0, 0, 320, 240}, {-220, -190, 100, 50}, {300, 230, 620, 470}};
    const char* const names[] = {"Vega", "A name of 24 characters!", "W"};
    const int backdrop = makecol(10, 20, 30);
    for (const spot& at : spots)
        for (const char* name : names) {
            SCOPED_TRACE(testing::Message() << name << " at (" << at.sx << ", " << at.sy << ")");
            star_type s = named(name, "W");
            ASSERT_TRUE(place(s, vector(at.x, at.y, 400), 0.0f));
            test_bitmap got, want;
            // a lit frame one pixel around the cells; its inside must be cleared
            const int x0 = at.sx + 5, y0 = at.sy - 4;
            const int x1 = x0 + text_length(font, name) - 1, y1 = y0 + text_height(font) - 1;
            rectfill(got, x0 - 1, y0 - 1, x1 + 1, y1 + 1, backdrop);
            rectfill(want, x0 - 1, y0 - 1, x1 + 1, y1 + 1, backdrop);
            draw_default(s, got, true);
            put_figure(want, at.sx, at.sy, grey(255), grey(255));
            put_label(want, s.name, at.sx, at.sy);
            EXPECT_TRUE(same_bitmap(got, want));

            int white = 0, cleared = 0;
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1 && x < 640; ++x) {
                    white += getpixel(got, x, y) == makecol(255, 255, 255);
                    cleared += getpixel(got, x, y) == 0;
                }
            EXPECT_GT(white, 0);                             // the glyphs are there
            EXPECT_GT(cleared, 0);                           // and so is their background
        }
}

// Every character as a class letter: the eight rows match only themselves,
// exactly as stored; anything else is white.
TEST(StarDraw, ClassColours)
{
    struct entry { char letter; int r, g, b; };
    const entry table[] = {
        {'O', 200, 200, 255}, {'B', 150, 150, 255}, {'A', 150, 150, 200}, {'F', 175, 175, 150},
        {'G', 200, 200, 100}, {'K', 225, 150,  50}, {'M', 255,   0,   0}, {'W', 255, 255, 255},
    };
    star_type s = named("Class", "");
    ASSERT_TRUE(place(s, vector(0, 0, 32.628463f), -1.0f));
    int rows_seen = 0;
    for (int c = CHAR_MIN; c <= CHAR_MAX; ++c) {
        SCOPED_TRACE(testing::Message() << "class character " << c);
        int arm = makecol(255, 255, 255);
        for (const entry& e : table)
            if (e.letter == c) arm = makecol(e.r, e.g, e.b), ++rows_seen;
        s.spectral_class[0] = (char)c;
        s.spectral_class[1] = '5';
        s.spectral_class[2] = 'V';
        test_bitmap got, want;
        draw_default(s, got, false);
        put_figure(want, 320, 240, grey(255), arm);
        EXPECT_TRUE(same_bitmap(got, want));
    }
    EXPECT_EQ(rows_seen, 8);

    // through the record's own setter, with the other characters that follow
    const struct { const char* text; int arm; } set[] = {
        {"G2V", makecol(200, 200, 100)}, {"g2v", makecol(255, 255, 255)}, {"M", makecol(255, 0, 0)},
        {"m", makecol(255, 255, 255)},   {"",    makecol(255, 255, 255)}, {"5", makecol(255, 255, 255)},
        {"X0", makecol(255, 255, 255)},  {"kO", makecol(255, 255, 255)},
    };
    for (const auto& t : set) {
        SCOPED_TRACE(t.text);
        star_type st = named("Class", t.text);
        ASSERT_TRUE(aim(st, vector(0, 0, 32.628463f), 1.0f));
        test_bitmap got, want;
        draw_default(st, got, false);
        put_figure(want, 320, 240, grey(234), t.arm);
        EXPECT_TRUE(same_bitmap(got, want));
    }
}

TEST(StarTransform, AppliesLinearPartAndTranslation)
{
    star_type s = named("Moved", "G2V");
    s.star_set("Moved", 4.5f, vector(1, 2, 3), "G2V");
    s.transform_star(matrix(0, -1, 0, 10,
                            1,  0, 0, 20,
                            0,  0, 2, 30));
    EXPECT_EQ(s.view_position.x, 8.0f);
    EXPECT_EQ(s.view_position.y, 21.0f);
    EXPECT_EQ(s.view_position.z, 36.0f);
    EXPECT_EQ(s.position.x, 1.0f);                           // the catalog position stays
    EXPECT_EQ(s.position.y, 2.0f);
    EXPECT_EQ(s.position.z, 3.0f);
    EXPECT_EQ(s.abs_magnitude, 4.5f);

    s.transform_star(matrix());                              // each call starts from the position
    EXPECT_EQ(s.view_position.x, 1.0f);
    EXPECT_EQ(s.view_position.y, 2.0f);
    EXPECT_EQ(s.view_position.z, 3.0f);

    // then drawn where the moved point projects: (1, -1, 400) is (321, 239)
    s.star_set("Moved", -20.0f, vector(1, -1, 0), "G2V");
    matrix view;
    view.translate(vector(0, 0, 400));
    s.transform_star(view);
    test_bitmap got, want;
    draw_default(s, got, false);
    put_figure(want, 321, 239, grey(255), makecol(200, 200, 100));
    EXPECT_TRUE(same_bitmap(got, want));
}
