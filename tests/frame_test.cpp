// One frame's picture: the stars as the camera sees them and the status text
// over them, drawn into a memory bitmap and read back pixel by pixel.
#include "allegro_env.h"
#include "engine/stars.h"
#include "test_support.h"
#include "app/controls.h"
#include "app/frame.h"
#include "app/overlay.h"
#include "model/notices.h"
#include "model/selection.h"
#include "model/travel.h"

#include <initializer_list>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>

static auto* env = register_allegro_env();

static const char* const help_line_1 = "Press [tab] to name stars, drag left mouse button to change view";
static const char* const help_line_2 = "right mouse button to move forward, press E to return home.";
static const char* const start_lens_line = "Field of view 77.3 degrees, exposure +0.0, speed +0 (25 ly/s)";

// The picture the status text alone makes on black, first and fourth lines given.
static void draw_expected_text(BITMAP* bmp, const std::string& first_line,
                               const char* lens_line = start_lens_line)
{
    const int white = makecol(255, 255, 255);
    textprintf_ex(bmp, font, 10, 10, white, 0, "%s", first_line.c_str());
    textprintf_ex(bmp, font, 10, 20, white, 0, "%s", help_line_1);
    textprintf_ex(bmp, font, 10, 30, white, 0, "%s", help_line_2);
    textprintf_ex(bmp, font, 10, 40, white, 0, "%s", lens_line);
}

static int count_colour(BITMAP* bmp, int colour, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += getpixel(bmp, x, y) == colour;
    return n;
}

// Fills `list` with bright stars (absolute magnitude 0 seen from about 10
// light years), in order; gives the first.
static star_type* bright_stars(star_list& list, std::initializer_list<std::pair<const char*, vector>> stars)
{
    star_type* last = nullptr;
    for (const auto& [name, position] : stars) {
        star_type* const s = last ? (last->next = new star_type) : list.first();
        s->star_set(name, 0.0f, position, "G2V");
        last = s;
    }
    return list.first();
}

class FrameDrawing : public ::testing::Test {
protected:
    camera c;
    test_bitmap got, want;
};

TEST_F(FrameDrawing, UnfilledHeadAloneLeavesOnlyTheStatusText)
{
    star_type head;                                      // what start-up holds when no line was read
    clear_to_color(got, makecol(90, 40, 7));             // the frame must start from black
    draw_frame(c, build_view(c), toggles(), &head, 0, got);
    draw_expected_text(want, "You are 0.000000 light years from Earth.  0 stars in database.");
    EXPECT_EQ(pixels_differing(got, want, 0, 0, 640, 480), 0);
    EXPECT_GT(count_colour(got, makecol(255, 255, 255), 0, 0, 640, 480), 500);  // the text is there
    EXPECT_EQ(count_colour(got, 0, 0, 50, 640, 480), 640 * 430);                 // below it, nothing
}

TEST_F(FrameDrawing, StatusLineGivesDistanceWithSixDecimalsAndTheCount)
{
    struct { vector position; int count; const char* line; } cases[] = {
        {{3, 4, 12},        1234, "You are 13.000000 light years from Earth.  1234 stars in database."},
        {{0, 0, -1234.5f},  1,    "You are 1234.500000 light years from Earth.  1 stars in database."},
        {{0.03f, 0.04f, 0}, 0,    "You are 0.050000 light years from Earth.  0 stars in database."},
    };
    for (const auto& k : cases) {
        camera moved;
        moved.camera_position = k.position;
        star_type head;
        test_bitmap g, w;
        draw_frame(moved, build_view(moved), toggles(), &head, k.count, g);
        draw_expected_text(w, k.line);
        // Away from home the Sun's mark shows below; the status rows stay as they were.
        EXPECT_EQ(pixels_differing(g, w, 0, 0, 640, status_top_row + status_lines * text_line_height), 0) << k.line;
    }
}

TEST_F(FrameDrawing, InitialViewLooksAlongPlusYWithNorthUpAndHourZeroRight)
{
    star_list list;
    star_type* ahead = bright_stars(list, {{"Ahead", vector(0, 10, 0)},
                                           {"East", vector(5, 10, 0)},     // right ascension 0 h side
                                           {"North", vector(0, 10, 4)}});
    draw_frame(c, build_view(c), toggles(), ahead, 3, got);
    EXPECT_NE(getpixel(got, 320, 240), 0);                 // straight ahead: the centre
    EXPECT_NE(getpixel(got, 520, 240), 0);                 // +x: to the right
    EXPECT_NE(getpixel(got, 320, 80), 0);                  // +z: up
    EXPECT_EQ(getpixel(got, 120, 240), 0);                 // and not mirrored
    EXPECT_EQ(getpixel(got, 320, 400), 0);
    // Three crosses of five pixels each, nothing else outside the text.
    EXPECT_EQ(640 * 430 - count_colour(got, 0, 0, 50, 640, 480), 15);
    // No names unless the camera asks for them.
    EXPECT_EQ(count_colour(got, makecol(255, 255, 255), 325, 236, 420, 244), 0);
}

TEST_F(FrameDrawing, FollowsTheCameraPositionOrientationAndNamesFlag)
{
    star_list list;
    star_type* aim = bright_stars(list, {{"Aim", vector(10, 0, 0)}, {"Side", vector(10, -5, 0)}});
    c.camera_position = vector(0, 0, 0);
    c.forward = vector(1, 0, 0);                           // looking toward hour 0
    c.down = vector(0, 0, -1);
    c.right = c.down & c.forward;                          // which puts -y on the right
    toggles on;
    on.names = true;
    draw_frame(c, build_view(c), on, aim, 2, got);
    EXPECT_NE(getpixel(got, 320, 240), 0);
    EXPECT_NE(getpixel(got, 520, 240), 0);
    EXPECT_GT(count_colour(got, makecol(255, 255, 255), 325, 236, 420, 244), 0);  // its label

    camera moved;                                          // sideways by 5: Side is now ahead
    moved.camera_position = vector(0, -5, 0);
    moved.forward = c.forward; moved.down = c.down; moved.right = c.right;
    test_bitmap g;
    draw_frame(moved, build_view(moved), toggles(), aim, 2, g);
    EXPECT_NE(getpixel(g, 320, 240), 0);
    EXPECT_NE(getpixel(g, 120, 240), 0);                   // and Aim on the left
    EXPECT_EQ(count_colour(g, makecol(255, 255, 255), 325, 236, 420, 244), 0);  // names off
}

TEST_F(FrameDrawing, StatusTextHidesTheStarsUnderIt)
{
    // Seen from Earth, (-7.5, 10, 5.625) lands on pixel (20, 15), inside the
    // first line's glyph cells; (7, 10, 5.625) on (600, 15), past its end.
    star_list list;
    star_type* under = bright_stars(list, {{"Under", vector(-7.5f, 10, 5.625f)}, {"Beside", vector(7, 10, 5.625f)}});
    test_bitmap alone;
    under->transform_star(build_view(c));
    under->draw(draw_context(alone, lens(), false));
    ASSERT_NE(getpixel(alone, 20, 15), 0);                  // it would be seen without the text

    draw_frame(c, build_view(c), toggles(), under, 2, got);
    const std::string line = "You are 0.000000 light years from Earth.  2 stars in database.";
    draw_expected_text(want, line);
    const int end = 10 + 8 * (int)line.size();
    EXPECT_EQ(pixels_differing(got, want, 10, 10, end, 18), 0);   // the cells show only text
    EXPECT_NE(getpixel(got, 600, 15), 0);                   // beyond the text, the star shows
}

// F1's help lists every control of the table, keys in a column and their
// help beside them, under the status text and within the default window.
TEST_F(FrameDrawing, HelpListsEveryControlOfTheTable)
{
    star_type head;
    toggles on;
    on.help = true;
    draw_frame(c, build_view(c), on, &head, 0, got);
    draw_expected_text(want, "You are 0.000000 light years from Earth.  0 stars in database.");
    const int white = makecol(255, 255, 255);
    textout_ex(want, font, "Controls (F1 or ? again to hide them):", 10, 70, white, 0);
    int row = 80;
    std::set<std::string> keys;
    for (const control& k : controls) {
        keys.insert(k.keys);
        std::string column = std::string(" ") + k.keys;
        column.resize(35, ' ');
        std::istringstream help(k.help);
        for (std::string line; std::getline(help, line); row += 10, column.assign(35, ' ')) {
            EXPECT_LE(10 + 8 * (int)(column + line).size(), screen_width) << line;
            textout_ex(want, font, (column + line).c_str(), 10, row, white, 0);
        }
    }
    EXPECT_EQ(pixels_differing(got, want, 0, 0, 640, 480), 0);
    for (const char* named : {"F11", "click a star (left button)", "G", "F1, or ?", "Esc, or the close button"})
        EXPECT_EQ(keys.count(named), 1u) << named;
}

// Every text the overlay can show at once, long enough to need cutting on a
// narrow screen: the status far out among many stars, the help, a target
// with a long name, the open prompt full of text with notes over it, the
// star picked, and notices made for a wider screen. At every size from the
// smallest window up, each line ends on the screen, and nothing is lost: the
// characters, spaces aside, are those of the widest screen in the same order.
TEST(OverlayLayout, EveryLineFitsTheScreenFromTheSmallestWindowUp)
{
    star_list list;
    star_type* const star = bright_stars(list, {{"Abcdefghijklmnopqrs", vector(1e6f, 12345678.9f, 0)}});
    camera c;
    c.camera_position = vector(-9.8765e6f, 3e7f, 1e5f);
    c.speed_level = 4;
    c.optics.expose_by(-5);
    traveller travel(list.first());
    travel.journey.start(c, star);
    travel.prompt.open_empty();
    for (char ch : std::string(fly_prompt::longest_text, 'w')) travel.prompt.feed(fly_prompt::types, ch);
    travel.prompt.show_note("No star is named that; these names begin with it and many more are listed below");
    selection picked;
    picked.click(0, 0);
    picked.pick()->offer(star, 0, 0, 0.0f);
    picked.frame_drawn();
    notices shown(50);
    for (const std::string& line : screen_lines("stars.txt:41:7: the row has 3 fields, too few for its mag column; "
                                                "the stars before it are kept and every row after it is skipped"))
        shown.show(line, 5);
    shown.show("Saved /home/someone/Pictures/a-folder-with-a-long-name/starhop-20261209-183000.png", 3);

    const auto characters = [](const overlay_layout& l) {
        std::string all;
        for (const text_line& line : l.lines)
            for (char ch : line.text)
                if (ch != ' ') all += ch;
        return all;
    };
    // Through a lens of the screen's size, the text laid out `across` pixels wide.
    const auto layout_at = [&](int width, int height, int across) {
        camera seen = c;
        seen.optics.resize(width, height);
        const matrix view = build_view(seen);
        overlay o{seen, view, 123456789};
        o.help = true;
        o.travel = &travel;
        o.picked = &picked;
        o.shown = &shown;
        return lay_out_overlay(o, across, height);
    };
    for (const auto& size : {std::make_pair(320, 240), std::make_pair(321, 240), std::make_pair(333, 250),
                             std::make_pair(400, 300), std::make_pair(512, 384), std::make_pair(639, 479),
                             std::make_pair(640, 480), std::make_pair(800, 600), std::make_pair(1920, 1080)}) {
        const auto [width, height] = size;
        const overlay_layout l = layout_at(width, height, width);
        ASSERT_GT(l.lines.size(), 40u);
        for (const text_line& line : l.lines) {
            EXPECT_GE(line.x, 0) << width << "x" << height << ": " << line.text;
            EXPECT_LE(line.x + text_length(font, line.text.c_str()), width) << width << "x" << height << ": " << line.text;
            EXPECT_GE(line.y, 0) << width << "x" << height << ": " << line.text;
        }
        EXPECT_EQ(characters(l), characters(layout_at(width, height, 7680))) << width << "x" << height;
    }
}

// The fourth status line gives the speed full thrust settles at, a second.
TEST(SpeedText, EveryLevelWithThousandsSeparators)
{
    const char* const want[] = {
        ", speed -4 (0.0025 ly/s)", ", speed -3 (0.025 ly/s)", ", speed -2 (0.25 ly/s)",
        ", speed -1 (2.5 ly/s)",    ", speed +0 (25 ly/s)",    ", speed +1 (250 ly/s)",
        ", speed +2 (2,500 ly/s)",  ", speed +3 (25,000 ly/s)", ", speed +4 (250,000 ly/s)",
    };
    for (int s = slowest_speed; s <= fastest_speed; ++s) EXPECT_EQ(speed_text(s), want[s - slowest_speed]);
    struct { double v; const char* text; } rates[] = {
        {0, "0"}, {0.5, "0.5"}, {1, "1"}, {999.5, "1,000"}, {1234.5, "1,234"}, {999999, "999,999"},
        {1e6, "1e+06"}, {2.5e6, "2.5e+06"}, {1.25e9, "1.25e+09"},
    };
    for (const auto& r : rates) EXPECT_EQ(rate_text(r.v), r.text) << r.v;
}

// The frame loop, one frame at a time on a filled input, into a memory bitmap.
class FrameLoop : public ::testing::Test {
protected:
    star_list stars;                                     // outlives the loop
    test_bitmap buffer;
    frame_loop loop{bright_stars(stars, {{"Ahead", vector(0, 10, 0)}}), 1, buffer};
    unsigned tick = 0;
    bool step(const frame_input& in) { return loop.step(in, ++tick); }
};

TEST_F(FrameLoop, KeepsDrawingAndFlyingWhileTabIsHeld)
{
    frame_input in;
    in.hold(KEY_SPACE);
    in.hold(KEY_TAB);
    press(in, KEY_TAB, '\t');
    EXPECT_TRUE(step(in));
    EXPECT_TRUE(loop.on.names);
    in = frame_input();
    in.hold(KEY_SPACE);
    in.hold(KEY_TAB);                                    // held on, frame after frame
    for (int f = 0; f < 10; ++f) {
        const float before = loop.c.camera_position.y;
        EXPECT_TRUE(step(in)) << "frame " << f;
        EXPECT_GT(loop.c.camera_position.y, before) << "frame " << f;
    }
    EXPECT_TRUE(loop.on.names);
}

TEST_F(FrameLoop, TabFlipsTheNamesOncePerPress)
{
    for (int n = 1; n <= 3; ++n) {
        frame_input in;
        in.hold(KEY_TAB);
        press(in, KEY_TAB, '\t');
        step(in);
        EXPECT_EQ(loop.on.names, n % 2 == 1) << "press " << n;
        in = frame_input();                              // still held: no longer gone down
        in.hold(KEY_TAB);
        for (int held = 0; held < 3; ++held) step(in);
        EXPECT_EQ(loop.on.names, n % 2 == 1) << "press " << n;
        step(frame_input());
    }
}

// Esc ends the program for good and changes nothing else.
TEST_F(FrameLoop, EscEndsForGood)
{
    step(frame_input());
    EXPECT_FALSE(loop.done());
    frame_input esc;
    esc.hold(KEY_ESC);
    step(esc);
    EXPECT_TRUE(loop.done());
    step(frame_input());
    EXPECT_TRUE(loop.done());
    EXPECT_FALSE(loop.c.homing);
    EXPECT_FALSE(loop.on.names || loop.on.help);
}

// Esc with the fly-to prompt or the help open closes only that: the program
// goes on while that Esc is held and after it is let go, and the next Esc
// ends it. The open prompt takes an Esc before the help does; an Esc that
// comes in the frame a search closes the prompt, or the frame after, ends
// nothing either.
TEST_F(FrameLoop, EscWithThePromptOrTheHelpOpenClosesOnlyThat)
{
    enum opening { prompt, help, both };
    enum closing { esc, enter_and_esc, enter_then_esc };
    struct { opening opens; closing closes; int escs_to_close; } cases[] = {
        {prompt, esc, 1},
        {prompt, enter_and_esc, 1},                     // the search closes it; the Esc behind Enter ends nothing
        {prompt, enter_then_esc, 1},                    // the Esc in the frame after the search
        {help, esc, 1},
        {both, esc, 2},                                 // the prompt first, then the help
    };
    for (const auto& k : cases) {
        SCOPED_TRACE("case " + std::to_string(&k - cases));
        star_list list;
        frame_loop l{bright_stars(list, {{"Ahead", vector(0, 10, 0)}}), 1, buffer};
        l.travel.wait_for_names();
        unsigned t = 0;
        const auto frame = [&](const frame_input& in) { l.step(in, ++t); };
        const auto esc_pressed = [] {
            frame_input in;
            in.hold(KEY_ESC);
            press(in, KEY_ESC, 27);
            return in;
        };
        frame_input none, esc_held;
        esc_held.hold(KEY_ESC);
        if (k.opens != prompt) {
            frame_input f1;
            press(f1, KEY_F1);
            frame(f1);
        }
        if (k.opens != help) {
            frame_input f;
            f.hold(KEY_F);
            press(f, KEY_F, 'f');
            frame(f);
            frame(none);
            frame_input typed;
            for (char ch : std::string("Ahead")) press(typed, KEY_A, ch);
            frame(typed);
            ASSERT_EQ(l.travel.prompt.text(), "Ahead");
        }
        ASSERT_EQ(l.travel.prompt.is_open(), k.opens != help);
        ASSERT_EQ(l.on.help, k.opens != prompt);
        for (int n = 0; n < k.escs_to_close; ++n) {
            frame_input in;
            if (k.closes != esc) press(in, KEY_ENTER, 13);
            if (k.closes != enter_then_esc) {           // Esc down, and in the buffer behind any Enter
                in.hold(KEY_ESC);
                press(in, KEY_ESC, 27);
            }
            frame(in);
            if (k.closes == enter_then_esc) frame(esc_pressed());
            for (int held = 0; held < 3; ++held) frame(esc_held);
            EXPECT_FALSE(l.done()) << "Esc " << n + 1;
            frame(none);                                // let go
            EXPECT_FALSE(l.done()) << "Esc " << n + 1;
        }
        EXPECT_FALSE(l.travel.prompt.is_open());
        EXPECT_FALSE(l.on.help);
        if (k.closes != esc) {
            EXPECT_EQ(l.travel.journey.target(), list.first());   // the search went on
        }
        frame(esc_pressed());                           // the next Esc ends the program
        EXPECT_TRUE(l.done());
    }
}

// F1 and a typed ? flip the help once a press; in the open prompt a ? is
// text, while F1 still works.
TEST_F(FrameLoop, HelpTogglesOnF1AndOnATypedQuestionMark)
{
    struct { int key, ascii; bool hold_only, help; } frames[] = {
        {KEY_F1, 0, false, true},
        {KEY_F1, 0, true, true},                         // held on: no second flip
        {KEY_SLASH, '?', false, false},
        {KEY_SLASH, '/', false, false},                  // the same key without shift
    };
    for (const auto& k : frames) {
        frame_input in;
        if (k.hold_only) in.hold(k.key);
        else press(in, k.key, k.ascii);
        step(in);
        EXPECT_EQ(loop.on.help, k.help) << k.key << " " << k.ascii;
    }
    frame_input f;
    f.hold(KEY_F);
    press(f, KEY_F, 'f');
    step(f);
    ASSERT_TRUE(loop.travel.prompt.is_open());
    frame_input typed;
    press(typed, KEY_SLASH, '?');
    step(typed);
    EXPECT_FALSE(loop.on.help);                          // a ? typed into the prompt is text
    EXPECT_EQ(loop.travel.prompt.text(), "?");
    frame_input f1;
    press(f1, KEY_F1);
    step(f1);
    EXPECT_TRUE(loop.on.help);                           // F1 is no text: it works there too
    EXPECT_TRUE(loop.travel.prompt.is_open());
}

// A window that cannot be seen gets no pictures, while the flight goes on;
// the first frame it can be seen again is drawn, even at rest.
TEST_F(FrameLoop, DrawsNothingWhileHiddenAndDrawsAgainWhenShown)
{
    frame_input thrust;
    thrust.hold(KEY_SPACE);
    ASSERT_TRUE(step(thrust));
    const int mark = makecol(1, 2, 3);
    putpixel(buffer, 600, 400, mark);
    loop.hidden = true;
    for (int f = 0; f < 5; ++f) {
        const float before = loop.c.camera_position.y;
        EXPECT_FALSE(step(thrust)) << "frame " << f;
        EXPECT_GT(loop.c.camera_position.y, before) << "frame " << f;
    }
    EXPECT_EQ(getpixel(buffer, 600, 400), mark);
    loop.hidden = false;
    frame_input quiet;
    EXPECT_TRUE(step(quiet));                            // the picture moved on while hidden
    EXPECT_NE(getpixel(buffer, 600, 400), mark);
}

// At rest a frame leaves the picture alone: a pixel scribbled into the
// buffer stays until something changes, and then the picture is drawn anew.
TEST_F(FrameLoop, DrawsNothingNewAtRestAndResumesAtOnceOnInput)
{
    frame_input quiet;
    ASSERT_TRUE(step(quiet));                            // the first frame is always drawn
    const int mark = makecol(1, 2, 3);
    const auto scribble = [&] { putpixel(buffer, 600, 400, mark); };
    const auto untouched = [&] { return getpixel(buffer, 600, 400) == mark; };
    scribble();
    for (int f = 0; f < 5; ++f) EXPECT_FALSE(step(quiet)) << "frame " << f;
    EXPECT_TRUE(untouched());

    struct { const char* what; frame_input in; } wakes[] = {{"pointer", {}}, {"key", {}}, {"wheel", {}}, {"F1", {}}};
    wakes[0].in.pointer_x = 30;
    press(wakes[1].in, KEY_Q, 'q');                      // a key that does nothing still counts as input
    wakes[2].in.wheel = 1;
    press(wakes[3].in, KEY_F1);
    frame_input after = quiet;
    for (auto& w : wakes) {
        SCOPED_TRACE(w.what);
        w.in.pointer_x = after.pointer_x + (w.in.pointer_x != 0);   // the pointer stays where it went
        w.in.moved_x = w.in.pointer_x - after.pointer_x;
        EXPECT_TRUE(step(w.in));
        EXPECT_FALSE(untouched());
        after = frame_input();
        after.pointer_x = w.in.pointer_x;
        scribble();
        EXPECT_FALSE(step(after));                       // and at rest again at once
        EXPECT_TRUE(untouched());
    }

    frame_input e;                                       // a moving camera draws every frame
    loop.c.camera_position = vector(0, 0, 20);
    e.hold(KEY_E);
    e.pointer_x = after.pointer_x;
    for (int f = 0; f < 5; ++f) {
        scribble();
        EXPECT_TRUE(step(e)) << "frame " << f;
        EXPECT_FALSE(untouched());
    }
}

// From the farthest a location may be, every control keeps the flight sound:
// the fastest thrust, trips to a star near Earth and to stars far beyond the
// limit (as far as a catalog's floats go), and E home. At every frame the
// position, the velocity and the axes are finite and the camera within the
// limit; a trip beyond it stops at the limit, facing its star.
TEST(FrameFlight, FromTheLimitNoControlBreaksTheFlight)
{
    star_list stars;
    const vector beyond = vector(0.6f, 0, -0.8f) * 1e30f, huge = vector(-3e38f, 1e37f, 0);
    star_type* first = bright_stars(stars, {{"Near", vector(3, 10, -2)}, {"Beyond", beyond}, {"Huge", huge},
                                            {"Out", vector(0, -4e9f, 0)}});
    test_bitmap buffer;
    frame_loop loop(first, 4, buffer);
    loop.start(parse({"--at", "0,-1e9,0 0,-1,0 0,0,-1 zoom=0 exposure=+0.0 speed=4"}));   // at the limit, facing out
    loop.travel.wait_for_names();
    unsigned tick = 0;
    const auto frames = [&](const frame_input& in, int n, const char* what) {
        for (int f = 0; f < n; ++f) {
            loop.step(in, ++tick);
            ASSERT_TRUE(sound_flight(loop.c)) << what << ", frame " << f;
        }
    };
    // F, the name, Enter; then the trip, frame by frame, to its end.
    const auto fly_to = [&](const char* name) {
        frame_input in;
        press(in, KEY_F, 'f');
        frames(in, 1, name);
        for (const char* p = name; *p; ++p) {
            in = frame_input();
            const char lower = (char)std::tolower((unsigned char)*p);
            press(in, KEY_A + (lower - 'a'), *p);
            frames(in, 1, name);
        }
        in = frame_input();
        press(in, KEY_ENTER, 13);
        frames(in, 1, name);
        ASSERT_TRUE(loop.travel.journey.active()) << name;
        for (int f = 0; f < 400 && loop.travel.journey.active(); ++f) frames(frame_input(), 1, name);
        ASSERT_FALSE(loop.travel.journey.active()) << name;
        EXPECT_EQ(loop.travel.journey.target()->name, std::string(name));
    };
    const auto facing = [&](vector star) {                 // in double: a float square of 1e30 overflows
        const dvector to_star = dvector(star) + dvector(loop.c.camera_position) * -1.0;
        return angle_between(loop.c.forward, vector(to_star * (1 / length(to_star))));
    };

    frame_input thrust;
    thrust.hold(KEY_SPACE);
    frames(thrust, 500, "thrust out");
    EXPECT_GT(length(dvector(loop.c.camera_position)), farthest_from_earth * (1 - 1e-6));

    fly_to("Near");                                          // from the limit to near Earth
    EXPECT_LT((loop.c.camera_position - vector(3, 10, -2)).length(), 1.5f);
    for (const auto& far : {std::make_pair("Beyond", beyond), std::make_pair("Huge", huge),
                            std::make_pair("Out", vector(0, -4e9f, 0))}) {
        fly_to(far.first);
        EXPECT_GT(length(dvector(loop.c.camera_position)), farthest_from_earth * (1 - 1e-6)) << far.first;
        EXPECT_LT(facing(far.second), 1e-3) << far.first;
        frames(thrust, 300, far.first);
    }

    frame_input home;
    home.hold(KEY_E);
    frames(home, 1, "E");
    int frame = 1;
    for (; loop.c.camera_position.length() >= 0.1f && frame < 400; ++frame) frames(frame_input(), 1, "home");
    EXPECT_LE(frame, 200) << "not home in four seconds";
}
