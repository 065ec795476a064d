// Going to a star by name: the name search, the prompt and its keys, the turn
// and flight of a trip and what ends it, and the lines drawn for them. The
// library runs without a display; the tests set its key and mouse state and
// fill its keyboard buffer themselves.
#include "allegro_env.h"
#include "test_support.h"
#include "engine/stars.h"
#include "model/command_line.h"
#include "model/travel.h"
#include "app/app.h"
#include "app/controls.h"
#include "app/frame.h"
#include "app/overlay.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

static auto* env = register_allegro_env();

namespace {

::testing::AssertionResult orthonormal_right_handed(const camera& c)
{
    return orthonormal_right_handed(c.forward, c.down, c.right);
}

// Where a star lands on the screen for this camera, as the drawing places it.
void screen_spot(camera c, const star_type* s, double* column, double* row, double* depth)
{
    const vector p = build_view(c) * s->position;
    *depth = p.z;
    *column = (double)p.x * 400.0 / (double)p.z + 320;
    *row = (double)p.y * 400.0 / (double)p.z + 240;
}


// Every case starts with no key and no button; each frame reads `in`, and
// what the keyboard buffer handed out in it goes with the frame.
class WithInput : public ::testing::Test {
protected:
    frame_input in;
    void release_all() { in = frame_input(); }
    void type(const char* text)
    {
        for (const char* p = text; *p; ++p) {
            const char ch = *p;
            int scancode = 0;
            if (ch >= 'a' && ch <= 'z') scancode = KEY_A + (ch - 'a');
            else if (ch >= 'A' && ch <= 'Z') scancode = KEY_A + (ch - 'A');
            else if (ch == ' ') scancode = KEY_SPACE;
            ::press(in, scancode, ch);
        }
    }
    void press(int scancode, int ascii = 0) { ::press(in, scancode, ascii); }
    // The prompt's part of a frame, the keys as the controls table maps
    // them; the buffered keys are used up.
    bool before_camera(traveller& t, camera& c, const star_type* selected = nullptr)
    {
        const bool keys = t.before_camera(c, travel_keys_of(in), selected);
        t.yield_to(c, flight_of(in, keys));
        in.press_count = 0;
        for (bool& d : in.went_down) d = false;
        return keys;
    }
    // The frame's quit flag and names, as the frame loop sets them.
    bool quit = false, names_on = false;
    // One frame as the frame loop runs it, up to the view matrix, one timer
    // tick after the last.
    void frame(traveller& t, camera& c, const star_type* selected = nullptr)
    {
        static unsigned tick = 0;
        const frame_input now = in;
        const bool keys = before_camera(t, c, selected);
        update_camera(c, flight_of(now, keys));
        if (acts(now, act::quit, keys)) quit = true;
        if (acts(now, act::names, keys)) names_on = !names_on;
        t.after_camera(c, ++tick);
    }
};

} // namespace

// ---- the search ----

// ---- the prompt ----

TEST(FlyPrompt, EditsTextAndReportsEnterAndEsc)
{
    fly_prompt p;
    EXPECT_EQ(p.feed(prompt_key_of(KEY_A), 'a'), fly_prompt::nothing);          // closed: nothing is typed
    EXPECT_EQ(p.text(), "");
    p.open_empty();
    for (const char* ch = "Si r"; *ch; ++ch) EXPECT_EQ(p.feed(prompt_key_of(KEY_A), *ch), fly_prompt::nothing);
    EXPECT_EQ(p.text(), "Si r");
    p.feed(prompt_key_of(KEY_BACKSPACE), 8);
    p.feed(prompt_key_of(KEY_BACKSPACE), 8);
    EXPECT_EQ(p.text(), "Si");
    p.feed(prompt_key_of(KEY_TAB), 9);                                           // not printable: ignored
    p.feed(prompt_key_of(KEY_UP), 0);
    p.feed(prompt_key_of(KEY_LEFT), 0);
    EXPECT_EQ(p.text(), "Si");
    EXPECT_EQ(p.feed(prompt_key_of(KEY_ENTER), 13), fly_prompt::search);
    EXPECT_EQ(p.feed(prompt_key_of(KEY_ENTER_PAD), 13), fly_prompt::search);
    EXPECT_TRUE(p.is_open());                                     // the search decides what happens
    EXPECT_EQ(p.text(), "Si");
    EXPECT_EQ(p.feed(prompt_key_of(KEY_ESC), 27), fly_prompt::closed);
    EXPECT_FALSE(p.is_open());
    p.open_empty();
    EXPECT_EQ(p.text(), "");                                      // a new prompt starts empty
    p.feed(prompt_key_of(KEY_BACKSPACE), 8);                                     // nothing to take back
    EXPECT_EQ(p.text(), "");
    for (int i = 0; i < 100; ++i) p.feed(prompt_key_of(KEY_X), 'x');
    EXPECT_EQ(p.text().size(), fly_prompt::longest_text);
}

TEST(FlyPrompt, NotesSayWhatTheSearchFoundEditingClearsThemAndAListFollowsTheText)
{
    named_star_list stars{"Altair", "Alnilam", "Aldebaran", "Alkaid", "Alnitak", "Algol"};
    const name_index index(stars.head);
    fly_prompt p;
    p.open_empty();
    for (const char* ch = "xyz"; *ch; ++ch) p.feed(prompt_key_of(KEY_X), *ch);
    p.show(index.find(p.text()));
    EXPECT_EQ(p.notes(), (std::vector<std::string>{"No star named \"xyz\""}));
    p.feed(prompt_key_of(KEY_BACKSPACE), 8);
    EXPECT_TRUE(p.notes().empty());
    p.open_empty();
    p.feed(prompt_key_of(KEY_A), 'A');
    p.feed(prompt_key_of(KEY_L), 'l');
    p.show(index.find(p.text()));
    EXPECT_EQ(p.notes(), (std::vector<std::string>{"Names that start with \"Al\":", "> Aldebaran", "  Algol",
                                                   "  Alkaid", "  Alnilam", "  Alnitak", "  and 1 more"}));
    EXPECT_EQ(p.highlighted(), stars.at(2));                      // the first name listed

    // Up and Down move the highlight and stop at either end.
    struct { int key_code; const char* want; } moves[] = {
        {KEY_UP, "Aldebaran"}, {KEY_DOWN, "Algol"}, {KEY_DOWN, "Alkaid"}, {KEY_DOWN, "Alnilam"},
        {KEY_DOWN, "Alnitak"}, {KEY_DOWN, "Alnitak"}, {KEY_UP, "Alnilam"},
    };
    for (const auto& m : moves) {
        EXPECT_EQ(p.feed(prompt_key_of(m.key_code), 0), fly_prompt::nothing);
        ASSERT_NE(p.highlighted(), nullptr);
        EXPECT_STREQ(p.highlighted()->name, m.want);
    }
    EXPECT_EQ(p.notes()[4], "> Alnilam");
    EXPECT_EQ(p.notes()[1], "  Aldebaran");
    EXPECT_EQ(p.text(), "Al");                                    // moving types nothing

    // Typing on asks for the list again; it starts at its first name.
    EXPECT_EQ(p.feed(prompt_key_of(KEY_N), 'n'), fly_prompt::narrow);
    p.show(index.find(p.text()));
    EXPECT_EQ(p.notes(), (std::vector<std::string>{"Names that start with \"Aln\":", "> Alnilam", "  Alnitak"}));
    EXPECT_EQ(p.feed(prompt_key_of(KEY_I), 'i'), fly_prompt::narrow);
    EXPECT_EQ(p.feed(prompt_key_of(KEY_T), 't'), fly_prompt::narrow);
    p.show(index.find(p.text()));                                 // one name left: listed alone
    EXPECT_EQ(p.notes(), (std::vector<std::string>{"Names that start with \"Alnit\":", "> Alnitak"}));
    EXPECT_EQ(p.highlighted(), stars.at(4));
    EXPECT_EQ(p.feed(prompt_key_of(KEY_X), 'x'), fly_prompt::narrow);
    p.show(index.find(p.text()));
    EXPECT_EQ(p.notes(), (std::vector<std::string>{"No star named \"Alnitx\""}));
    EXPECT_EQ(p.highlighted(), nullptr);
    p.show(index.find("   "));
    EXPECT_TRUE(p.notes().empty());
    p.open_empty();                                               // a new prompt lists nothing
    EXPECT_EQ(p.highlighted(), nullptr);
    EXPECT_EQ(p.feed(prompt_key_of(KEY_A), 'a'), fly_prompt::nothing);
}

// ---- the prompt in the frame loop, through the library's keyboard ----

class PromptKeys : public WithInput {};

TEST_F(PromptKeys, FOpensWithoutTypingItselfAndTypedKeysDoNotFly)
{
    named_star_list stars{"Sirius", "Vega"};
    traveller t(stars.head);
    t.wait_for_names();
    camera c;
    in.held[KEY_F] = 1;
    press(KEY_F, 'f');                                            // the same press, in the buffer
    frame(t, c);
    ASSERT_TRUE(t.prompt.is_open());
    EXPECT_EQ(t.prompt.text(), "");
    in.held[KEY_F] = 0;

    // While it is open, E, B, Space, Tab, Esc and the arrows only type.
    for (int k : {KEY_E, KEY_B, KEY_SPACE, KEY_TAB, KEY_UP, KEY_DOWN, KEY_LEFT, KEY_RIGHT, KEY_ESC})
        in.held[k] = 1;
    type("eb ");
    frame(t, c);
    frame(t, c);
    EXPECT_EQ(t.prompt.text(), "eb ");
    EXPECT_TRUE(t.prompt.is_open());                              // the Esc held is no press
    EXPECT_FALSE(quit || c.homing || names_on);
    EXPECT_EQ(c.velocity.length(), 0.0f);
    EXPECT_EQ(c.forward.y, 1.0f);
    release_all();

    in.buttons = 2;                                                  // the mouse still flies
    frame(t, c);
    EXPECT_GT(c.velocity.length(), 0.0f);
}

TEST_F(PromptKeys, AnFInTheBufferOpensAndWhatFollowsIsTyped)
{
    named_star_list stars{"Sirius"};
    traveller t(stars.head);
    t.wait_for_names();
    camera c;
    type("ab");                                                   // before F: flying keys, dropped
    press(KEY_F, 'f');
    type("Sir");
    frame(t, c);
    ASSERT_TRUE(t.prompt.is_open());
    EXPECT_EQ(t.prompt.text(), "Sir");
}

TEST_F(PromptKeys, EscClosesThePromptAndEndsNothingUntilPressedAgain)
{
    named_star_list stars{"Sirius"};
    traveller t(stars.head);
    t.wait_for_names();
    camera c;
    press(KEY_F, 'f');
    frame(t, c);
    ASSERT_TRUE(t.prompt.is_open());
    in.held[KEY_ESC] = 1;
    press(KEY_ESC, 27);
    frame(t, c);
    EXPECT_FALSE(t.prompt.is_open());
    EXPECT_FALSE(quit);
    frame(t, c);                                                  // still held after closing
    frame(t, c);
    EXPECT_FALSE(quit);
    in.held[KEY_ESC] = 0;
    frame(t, c);
    EXPECT_FALSE(quit);
    in.held[KEY_ESC] = 1;                                             // a new press ends the program
    frame(t, c);
    EXPECT_TRUE(quit);
}

TEST_F(PromptKeys, EnterFliesOnAMatchAndStaysOpenOtherwise)
{
    named_star_list stars{"Sirius", "Sirrah", "Vega"};
    stars.head->position = vector(0, 0, 9);
    traveller t(stars.head);
    t.wait_for_names();
    camera c;
    press(KEY_F, 'f');
    type("si");
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_TRUE(t.prompt.is_open());
    EXPECT_EQ(t.prompt.notes().size(), 3u);                       // the heading and two names
    EXPECT_EQ(t.journey.target(), nullptr);

    type("x");
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_EQ(t.prompt.notes(), (std::vector<std::string>{"No star named \"six\""}));

    press(KEY_BACKSPACE, 8);
    type("riu");
    press(KEY_ENTER, 13);
    in.held[KEY_SPACE] = 1;                                           // typed just before, still down
    frame(t, c);
    EXPECT_FALSE(t.prompt.is_open());
    EXPECT_TRUE(t.journey.active());
    EXPECT_EQ(t.journey.target(), stars.head);

    press(KEY_ENTER, 13);                                         // an empty text searches nothing
    press(KEY_F, 'f');
    frame(t, c);                                                  // keys held at closing still wait
    EXPECT_FALSE(t.prompt.is_open());
    EXPECT_TRUE(t.journey.active()) << "the Space typed into the name took over";
    in.held[KEY_SPACE] = 0;
    frame(t, c);
    press(KEY_F, 'f');
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_TRUE(t.prompt.is_open());
    EXPECT_TRUE(t.prompt.notes().empty());
    EXPECT_EQ(t.journey.target(), stars.head);
}

TEST_F(PromptKeys, WithoutMemoryForTheIndexFStillOpensAndEnterSaysSo)
{
    named_star_list stars{"Sirius", "Vega"};
    std::unique_ptr<traveller> t;
    {
        const failing_allocations trial(0);
        t = std::make_unique<traveller>(stars.head);
        t->wait_for_names();
    }
    EXPECT_EQ(t->names(), nullptr);
    EXPECT_TRUE(t->names_failed());
    camera c;
    press(KEY_F, 'f');
    type("sirius");
    press(KEY_ENTER, 13);
    frame(*t, c);
    ASSERT_TRUE(t->prompt.is_open());
    EXPECT_EQ(t->prompt.notes(), (std::vector<std::string>{"Not enough memory to search names"}));
    EXPECT_EQ(t->journey.target(), nullptr);
    press(KEY_ESC, 27);                                           // and the rest goes on
    frame(*t, c);
    EXPECT_FALSE(t->prompt.is_open());
}

// A traveller indexes no name until asked to; a search asked for before the
// index is ready waits, and runs in the first frame after it is.
TEST_F(PromptKeys, NamesAreIndexedOnlyOnceAskedForAndAWaitingSearchRunsThen)
{
    named_star_list stars{"Sirius", "Vega"};
    stars.head->position = vector(0, 0, 9);
    const std::size_t begun = name_index::builds_begun();
    traveller t(stars.head);
    camera c;
    press(KEY_F, 'f');
    type("sirius");
    press(KEY_ENTER, 13);
    frame(t, c);
    for (int f = 0; f < 3; ++f) frame(t, c);
    EXPECT_EQ(t.prompt.notes(), (std::vector<std::string>{"Reading the names..."}));
    EXPECT_EQ(t.names(), nullptr);
    EXPECT_EQ(name_index::builds_begun(), begun) << "an index before it was asked for";

    t.start_names();
    t.wait_for_names();
    EXPECT_EQ(name_index::builds_begun(), begun + 1);
    EXPECT_TRUE(t.prompt.is_open()) << "no frame since";
    frame(t, c);
    EXPECT_FALSE(t.prompt.is_open());
    EXPECT_EQ(t.journey.target(), stars.head);
    t.start_names();                                              // once only
    EXPECT_EQ(name_index::builds_begun(), begun + 1);
}

// A traveller that ends while its index is being built asks the build to
// stop and does not wait for the rest of it: here the build is held after
// its first step until the traveller ends, and takes no step after that.
TEST(TravellerNames, EndingWhileTheIndexIsBuiltStopsTheBuild)
{
    named_star_list stars{"Sirius", "Vega"};
    std::atomic<bool> held{false};
    std::atomic<int> steps{0};
    {
        traveller t(stars.head);
        t.start_names([&](int done, const std::atomic<bool>& stopping) {
            steps = done;
            held = true;
            while (!stopping) std::this_thread::yield();         // until the traveller ends
        });
        while (!held) std::this_thread::yield();                  // between its first two steps
        EXPECT_EQ(t.names(), nullptr);
    }
    EXPECT_EQ(steps, 1) << "the build went on after it was asked to stop";
    EXPECT_LT(1, name_index::build_steps);
}

// --picture draws the window's first frame and never searches a name: it
// makes no index.
TEST(TravellerNames, APictureMakesNoIndex)
{
    const temp_dir dir;
    const std::string catalog = dir.write("stars.txt", numbered_catalog(300)), png = (dir.path / "sky.png").string();
    const char* args[] = {"starhop", "--picture", png.c_str(), catalog.c_str()};
    const command_line line = parse_command_line(4, args);
    ASSERT_EQ(line.action, command_line::run) << line.problem;
    const std::size_t begun = name_index::builds_begun();
    ASSERT_EQ(draw_picture(line), 0);
    EXPECT_TRUE(std::filesystem::exists(png));
    EXPECT_EQ(name_index::builds_begun(), begun);
}

TEST_F(PromptKeys, DownAndEnterFlyToTheSecondCandidateTypingNarrowsTheList)
{
    named_star_list stars{"Vega", "Sirrah", "Sirius", "Sirona", "Vega B"};
    traveller t(stars.head);
    t.wait_for_names();
    camera c;
    press(KEY_F, 'f');
    type("si");
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_EQ(t.prompt.notes(), (std::vector<std::string>{"Names that start with \"si\":", "> Sirius", "  Sirona",
                                                          "  Sirrah"}));
    press(KEY_DOWN);
    frame(t, c);
    EXPECT_EQ(t.prompt.notes()[2], "> Sirona");
    EXPECT_TRUE(t.journey.target() == nullptr && t.prompt.is_open()) << "Down chooses, it does not fly";
    type("r");                                                    // "sir": all three still
    frame(t, c);
    EXPECT_EQ(t.prompt.notes()[1], "> Sirius") << "a new list starts at its first name";
    press(KEY_DOWN);
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_FALSE(t.prompt.is_open());
    EXPECT_TRUE(t.journey.active());
    EXPECT_EQ(t.journey.target(), stars.at(3));                   // Sirona, the second listed

    frame(t, c);                                                  // the keys are let go
    press(KEY_F, 'f');                                            // a new prompt: narrowing from scratch
    type("sirr");
    frame(t, c);
    EXPECT_TRUE(t.prompt.notes().empty()) << "nothing is listed before Enter";
    press(KEY_ENTER, 13);
    frame(t, c);
    EXPECT_EQ(t.journey.target(), stars.at(1));                   // one name: straight there
}

TEST_F(PromptKeys, AndMoreSaysHowManyNamesTheListLeavesOut)
{
    named_star_list stars;
    const char* names[] = {"HIP 1", "HIP 2", "HIP 3", "HIP 4", "HIP 5", "HIP 6", "HIP 7", "HIP 7", "HIP 8", "Hadar"};
    for (const char* n : names) stars.add(n, vector(1, 2, 3), 1);
    traveller t(stars.head);
    t.wait_for_names();
    camera c;
    press(KEY_F, 'f');
    type("h");
    press(KEY_ENTER, 13);
    frame(t, c);
    ASSERT_EQ(t.prompt.notes().size(), 7u);
    EXPECT_EQ(t.prompt.notes()[6], "  and 4 more");               // nine names, five shown; HIP 7 twice is one
    type("ip");
    frame(t, c);
    EXPECT_EQ(t.prompt.notes()[6], "  and 3 more");
    press(KEY_BACKSPACE, 8);
    press(KEY_BACKSPACE, 8);
    type("a");
    frame(t, c);
    EXPECT_EQ(t.prompt.notes(), (std::vector<std::string>{"Names that start with \"ha\":", "> Hadar"}));
}

// ---- G: to the star picked with a click ----

TEST_F(PromptKeys, GFliesToTheStarPickedExactlyAsEnterOnItsNameWould)
{
    named_star_list stars{"Vega", "Goal"};
    star_type* goal = stars.tail;
    goal->position = vector(40, -20, 30);
    goal->abs_magnitude = 8;                                      // ends at its magnitude -1 distance
    // Each trip's camera, frame by frame, until it ends.
    const auto fly = [&](traveller& t, bool by_g) {
        t.wait_for_names();
        camera c;
        if (by_g) {
            press(KEY_G, 'g');
        } else {
            press(KEY_F, 'f');
            type("goal");
            press(KEY_ENTER, 13);
        }
        std::vector<vector> path;
        do {
            frame(t, c, goal);
            path.push_back(c.camera_position);
            path.push_back(c.forward);
        } while (t.journey.active() && path.size() < 2000);
        EXPECT_EQ(t.journey.target(), goal);
        EXPECT_NEAR((goal->position - c.camera_position).length(), arrival_distance(8), 1e-4);
        return path;
    };
    traveller by_g(stars.head), by_name(stars.head);
    const std::vector<vector> g_path = fly(by_g, true), name_path = fly(by_name, false);
    ASSERT_EQ(g_path.size(), name_path.size());
    for (std::size_t i = 0; i < g_path.size(); ++i) ASSERT_TRUE(same_vector(g_path[i], name_path[i])) << i / 2;

    traveller idle(stars.head);
    camera c;
    press(KEY_G, 'g');
    frame(idle, c);                                               // nothing picked: nothing happens
    EXPECT_EQ(idle.journey.target(), nullptr);
    press(KEY_F, 'f');                                            // in the prompt, G is a letter
    type("g");
    frame(idle, c, goal);
    EXPECT_EQ(idle.prompt.text(), "g");
    EXPECT_FALSE(idle.journey.active());
}

// ---- the trip ----

TEST(ArrivalDistance, StarShinesAtMagnitudeMinusOneWithinTheClamps)
{
    EXPECT_FLOAT_EQ(arrival_distance(9.0f), (float)(32.628463 / std::pow(2.535, 5)));   // 0.3117
    EXPECT_FLOAT_EQ(arrival_distance(11.0f), (float)(32.628463 / std::pow(2.535, 6)));
    for (float m : {6.6f, 8.0f, 10.0f, 13.0f, 16.3f}) {
        const double d = arrival_distance(m);
        const double seen = (double)m + 2 * std::log(d / 32.628463) / std::log(2.535);
        EXPECT_GT(d, 0.01);
        EXPECT_LT(d, 1.0);
        EXPECT_NEAR(seen, -1.0, 1e-5) << m;
    }
    for (float m : {-12.0f, -1.0f, 1.4f, 6.4f})                  // bright: kept back at 1 light year
        EXPECT_EQ(arrival_distance(m), 1.0f) << m;
    EXPECT_EQ(arrival_distance(16.5f), 0.01f);                    // faint: no nearer than 0.01
    EXPECT_EQ(arrival_distance(25.0f), 0.01f);
    EXPECT_EQ(arrival_distance(std::nanf("")), 0.01f);
}

TEST(TripTurn, TurnsSmoothlyKeepsTheAxesAndEndsFacingTheStar)
{
    struct { vector start_forward, start_down, star; } cases[] = {
        {{0, 1, 0}, {0, 0, -1}, {30, 40, 12}},                    // ahead and to the side
        {{0, 1, 0}, {0, 0, -1}, {1, -49, 1}},                     // straight behind
        {{0, 1, 0}, {0, 0, -1}, {0.3f, -20, 7}},                  // nearly behind
        {{0, 1, 0}, {0, 0, -1}, {0, 0, 80}},                      // overhead
        {{0, 1, 0}, {0, 0, -1}, {0.001f, 1000, 0}},               // almost on it already
        {{0.6f, 0.8f, 0}, {0, 0, -1}, {-3, -4, -5}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(testing::Message() << "star at " << k.star.x << ", " << k.star.y << ", " << k.star.z);
        named_star_list stars;
        const star_type* s = stars.add("Aim", k.star, 30.0f);     // far too faint to fly far
        camera c;
        c.camera_position = vector(1, 1, 1);
        c.forward = k.start_forward;
        c.down = k.start_down;
        c.right = c.down & c.forward;
        trip t;
        t.start(c, s);
        double biggest = 0;
        for (int f = 0; f < trip::turn_frames; ++f) {
            const vector before = c.forward;
            t.step(c);
            biggest = std::max(biggest, angle_between(before, c.forward));
            ASSERT_TRUE(orthonormal_right_handed(c)) << "frame " << f;
        }
        EXPECT_LT(biggest, 0.1) << "a turn of half a circle is spread over the second";
        double column, row, depth;
        screen_spot(c, s, &column, &row, &depth);
        EXPECT_GT(depth, 0);
        EXPECT_NEAR(column, 320, 1.0);
        EXPECT_NEAR(row, 240, 1.0);
    }
}

TEST(TripTurn, DoesNotRollTheViewAroundAStarAheadOfTheCamera)
{
    named_star_list stars;
    const star_type* s = stars.add("Up", vector(0, 10, 10), 30.0f);   // 45 degrees up
    camera c;
    trip t;
    t.start(c, s);
    for (int f = 0; f < trip::turn_frames; ++f) t.step(c);
    EXPECT_NEAR(c.right.x, 1.0f, 1e-6f);                          // a pure pitch: right is untouched
    EXPECT_NEAR(c.forward.y, c.forward.z, 1e-6f);
}

TEST(TripFlight, ArrivesAtTheRightDistanceInUnderFiveSecondsFromNearAndFar)
{
    struct { const char* what; vector star; float abs_magnitude; bool coasting; } cases[] = {
        {"half a light year, nearer than it would end", {0.3f, 0.4f, 0}, 3.0f, false},
        {"fifty light years", {-30, 0, 40}, 1.0f, true},
        {"five thousand light years", {0, -3000, 4000}, -2.0f, true},
        {"very bright, kept at 1", {0, 500, 0}, -15.0f, false},
        {"very faint, at 0.01", {2, 30, 40}, 20.0f, true},
        {"faint, at its magnitude -1 distance", {0, -30, 40}, 9.0f, false},
        {"already there", {0, 1, 0}, -1.0f, false},
        // Magnitude -1.46 at 8.6 light years: brighter than -1 from the start.
        {"Sirius from Earth", {-1.61f, 8.13f, -2.31f}, (float)(-1.46 - 2 * std::log(8.604 / 32.628463) / std::log(2.535)), false},
        // Magnitude 1.25 at 1,412 light years: -1 from 500 light years out.
        {"Deneb from Earth", {780, 330, 1130}, (float)(1.25 - 2 * std::log(1412.0 / 32.628463) / std::log(2.535)), false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        named_star_list stars;
        const star_type* s = stars.add("Goal", k.star, k.abs_magnitude);
        camera c;
        if (k.coasting) c.velocity = vector(0.5f, 0, 0);         // top speed when the trip begins
        c.homing = true;
        trip t;
        t.start(c, s);
        EXPECT_EQ(c.homing, 0);
        int frames = 0;
        for (; t.active() && frames < 1000; ++frames) {
            update_camera(c, flight_controls());                      // no control held
            t.step(c);
            ASSERT_TRUE(orthonormal_right_handed(c));
        }
        EXPECT_LE(frames, trip::turn_frames + trip::flight_frames);
        EXPECT_LE(frames, 250) << "five seconds at 50 frames a second";
        EXPECT_GE(frames, trip::turn_frames);
        EXPECT_EQ(c.velocity.length(), 0.0f);                     // at rest
        const float want = std::min(arrival_distance(k.abs_magnitude), k.star.length());   // nearer: only turns
        EXPECT_LE(want, 1.0f);
        if (want == k.star.length() && !k.coasting) {
            EXPECT_EQ(frames, trip::turn_frames);                 // no flight at all
            EXPECT_EQ(c.camera_position.length(), 0.0f);
        }
        const float ulp = std::max(k.star.length(), 1.0f) * 6e-8f * 4;   // float positions
        EXPECT_NEAR((s->position - c.camera_position).length(), want, want * 1e-4f + ulp);
        double column, row, depth;
        screen_spot(c, s, &column, &row, &depth);
        EXPECT_NEAR(column, 320, 1.0);
        EXPECT_NEAR(row, 240, 1.0);
        const vector resting = c.camera_position;
        update_camera(c, flight_controls());                          // and it stays there
        EXPECT_EQ((resting - c.camera_position).length(), 0.0f);
    }
}

TEST(TripFlight, DistanceFallsEveryFrameWithoutJumps)
{
    named_star_list stars;
    const star_type* s = stars.add("Far", vector(0, 5000, 0), 0.0f);
    camera c;
    trip t;
    t.start(c, s);
    for (int f = 0; f < trip::turn_frames; ++f) t.step(c);
    double last = (s->position - c.camera_position).length(), biggest_ratio = 1;
    while (t.active()) {
        t.step(c);
        const double now = (s->position - c.camera_position).length();
        EXPECT_LE(now, last);
        biggest_ratio = std::max(biggest_ratio, last / now);
        last = now;
    }
    EXPECT_LT(biggest_ratio, 1.2) << "no frame covers more than a sixth of the way left";
}

TEST(TripFlight, SlowFramesMoveItOnByTheTicksTheyTook)
{
    named_star_list stars{"Goal"};
    stars.head->position = vector(-300, 200, 100);
    traveller t(stars.head);
    camera steady, slow;
    trip& one = t.journey;
    one.start(steady, stars.head);
    int frames = 0;
    for (unsigned tick = 7; one.active(); ++frames) t.after_camera(steady, tick++);
    EXPECT_EQ(frames, trip::turn_frames + trip::flight_frames);   // one tick a frame: one step each

    trip other;
    other.start(slow, stars.head);
    int calls = 0;
    for (; other.active() && calls < 1000; ++calls) other.step(slow, 7);
    EXPECT_EQ(calls, (trip::turn_frames + 6) / 7 + (trip::flight_frames + 6) / 7);
    EXPECT_NEAR((steady.camera_position - slow.camera_position).length(), 0.0f, 1e-3f);
    EXPECT_TRUE(orthonormal_right_handed(slow));

    traveller late(stars.head);                     // ticks that jump: the trip keeps time
    camera c;
    late.journey.start(c, stars.head);
    frames = 0;
    for (unsigned tick = 0; late.journey.active() && frames < 1000; ++frames) late.after_camera(c, tick += 10);
    // The traveller's first frame has no tick before it and counts as one.
    EXPECT_EQ(frames, 1 + (trip::turn_frames - 1 + 9) / 10 + (trip::flight_frames + 9) / 10);
    EXPECT_NEAR((steady.camera_position - c.camera_position).length(), 0.0f, 1e-3f);
}

TEST_F(PromptKeys, ATripStartedAfterASlowFrameBeginsWithOneStep)
{
    named_star_list stars{"Goal"};
    stars.head->position = vector(0, -40, 0);                     // straight behind
    traveller t(stars.head);
    t.wait_for_names();
    camera c;
    before_camera(t, c);
    t.after_camera(c, 100);
    press(KEY_F, 'f');
    type("goal");
    press(KEY_ENTER, 13);
    before_camera(t, c);
    ASSERT_TRUE(t.journey.active());
    t.after_camera(c, 160);                                       // a second and more since the last
    EXPECT_LT(angle_between(c.forward, vector(0, 1, 0)), 0.01) << "the turn jumped ahead";
    before_camera(t, c);
    t.after_camera(c, 170);                                       // from here on, the ticks count
    EXPECT_GT(angle_between(c.forward, vector(0, 1, 0)), 0.1);
}

class TripControls : public WithInput {};

TEST_F(TripControls, EveryFlightControlAndETakeOverAtOnce)
{
    struct { const char* what; int key_code, buttons, move; } takers[] = {
        {"Space", KEY_SPACE, 0, 0}, {"B", KEY_B, 0, 0},   {"E", KEY_E, 0, 0},
        {"Up", KEY_UP, 0, 0},       {"Down", KEY_DOWN, 0, 0}, {"Left", KEY_LEFT, 0, 0},
        {"Right", KEY_RIGHT, 0, 0}, {"right button", 0, 2, 0}, {"drag", 0, 1, 30},
        {"drag with both buttons", 0, 3, 30},
    };
    named_star_list stars;
    const star_type* s = stars.add("Goal", vector(0, 0, 500), 0.0f);
    for (const auto& k : takers) {
        SCOPED_TRACE(k.what);
        traveller t(stars.head);
        t.wait_for_names();
        camera c;
        release_all();
        t.journey.start(c, s);
        in.pointer_x = 100;
        in.pointer_y = 100;
        for (int f = 0; f < 60; ++f) frame(t, c);                 // into the flight
        ASSERT_TRUE(t.journey.active());
        if (k.buttons) {
            in.buttons = k.buttons;
            frame(t, c);                                          // a press first only anchors
            if (k.buttons != 2) {
                EXPECT_TRUE(t.journey.active());
            }
            in.pointer_x += k.move;
        } else {
            in.held[k.key_code] = 1;
        }
        frame(t, c);
        EXPECT_FALSE(t.journey.active());
        if (k.key_code == KEY_E) {
            EXPECT_EQ(t.journey.target(), nullptr);               // home: the target line goes
        } else {
            EXPECT_EQ(t.journey.target(), s);                     // still named on the screen
        }
        release_all();
        for (int f = 0; f < 10; ++f) frame(t, c);
        EXPECT_GT((s->position - c.camera_position).length(), arrival_distance(0.0f) + 1) << "it stopped short";
    }
}

TEST_F(TripControls, AStillButtonAndTheOpenPromptLetItGoOn)
{
    named_star_list stars{"Goal"};
    stars.head->position = vector(0, 0, 500);
    traveller t(stars.head);
    t.wait_for_names();
    camera c;
    t.journey.start(c, stars.head);
    in.buttons = 1;                                                  // held, never moved
    in.pointer_x = in.pointer_y = 50;
    for (int f = 0; f < 20; ++f) frame(t, c);
    EXPECT_TRUE(t.journey.active());
    in.buttons = 0;
    press(KEY_F, 'f');
    frame(t, c);
    ASSERT_TRUE(t.prompt.is_open());
    in.held[KEY_SPACE] = 1;                                           // typed, not flown
    type(" ");
    int frames = 21;
    for (; t.journey.active() && frames < 1000; ++frames) frame(t, c);
    EXPECT_EQ(frames, trip::turn_frames + trip::flight_frames);
    EXPECT_NEAR((stars.head->position - c.camera_position).length(), arrival_distance(1.0f), 1e-3f);
}

// ---- what is drawn ----

class TravelDrawing : public WithInput {};

TEST_F(TravelDrawing, NothingIsAddedUntilFIsPressed)
{
    named_star_list stars{"Sirius", "Vega"};
    stars.head->position = vector(1, 10, 0.5f);
    stars.head->abs_magnitude = -1;
    traveller t(stars.head);
    camera c;
    in.held[KEY_SPACE] = 1;
    type("xyz");                                                  // typed without F: not a prompt
    for (int f = 0; f < 5; ++f) frame(t, c);
    test_bitmap with, without;
    draw_frame(c, build_view(c), toggles(), stars.head, 2, with, &t);
    draw_frame(c, build_view(c), toggles(), stars.head, 2, without);
    EXPECT_EQ(pixels_differing(with, without), 0);
    EXPECT_GT(c.velocity.length(), 0.0f);                         // Space flew as ever
}

TEST_F(TravelDrawing, PromptAtTheBottomNotesAboveItTargetUnderTheStatusText)
{
    named_star_list stars{"Aldebaran", "Algol", "Sirius"};
    stars.tail->position = vector(0, 0, 0);
    traveller t(stars.head);
    t.wait_for_names();
    camera c;
    press(KEY_F, 'f');
    type("Al");
    press(KEY_ENTER, 13);
    frame(t, c);
    test_bitmap got, want;
    draw_travel(got, c, t);
    const int white = makecol(255, 255, 255);
    textout_ex(want, font, "Names that start with \"Al\":", 10, 432, white, 0);
    textout_ex(want, font, "> Aldebaran", 10, 442, white, 0);
    textout_ex(want, font, "  Algol", 10, 452, white, 0);
    textout_ex(want, font, "Fly to: Al_", 10, 462, white, 0);
    EXPECT_EQ(pixels_differing(got, want), 0);

    press(KEY_BACKSPACE, 8);
    press(KEY_BACKSPACE, 8);
    type("sirius");
    press(KEY_ENTER, 13);
    frame(t, c);
    ASSERT_EQ(t.journey.target(), stars.tail);
    c.camera_position = vector(3, 4, 12);                         // 13 light years from the star
    test_bitmap target, target_want;
    draw_travel(target, c, t);
    textout_ex(target_want, font, "Target: Sirius  13.000000 light years", 10, target_row, white, 0);
    EXPECT_EQ(pixels_differing(target, target_want), 0);
}
