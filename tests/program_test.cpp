// The real starhop binary, run as a process on an X server and driven the way
// a user drives it: keys and pointer through XTest, the picture read back from
// the window. Needs DISPLAY (scripts/test.sh runs the tests under xvfb-run);
// without one, the window tests skip.
#include "allegro_env.h"
#include "test_support.h"
#include "app/app.h"
#include "app/overlay.h"
#include "base/x11_bridge.h"
#include "x11_driver.h"

#include <algorithm>
#include <allegro.h>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace x11_driver;

static auto* const env = register_allegro_env();   // Allegro's font, to read the screen text

namespace {

constexpr double start_timeout = 15;    // seconds for the window to appear
constexpr double exit_timeout  = 10;    // seconds for the program to end
// Frames come every 20 ms. A press is caught however short, between frames
// too; a key that acts while held (Esc, Space, E) is read at a frame's start.
constexpr double key_tap       = 0.04;  // two frames
constexpr double key_hold      = 0.1;   // five frames
constexpr double thrust_hold   = 0.2;   // ten frames of Space: about 5 light years once it settles
constexpr int    park_x = 600, park_y = 440;   // pointer resting place, away from stars and text

const char* const help_line_2 = "Press [tab] to name stars, drag left mouse button to change view";
const char* const help_line_3 = "right mouse button to move forward, press E to return home.";

std::string worked_example() { return file_text(STARHOP_SOURCE_DIR "/tests/worked_example.txt"); }

// ---- reading text off the screen ----

// Allegro's default font is 8 by 8 and drawn white on a black cell, so each
// cell of a text line can be matched bit for bit against the font's glyphs.
class text_reader {
public:
    text_reader()
    {
        BITMAP* cell = create_bitmap(8, 8);
        for (int c = 33; c < 127; ++c) {
            const char text[2] = {(char)c, 0};
            clear_bitmap(cell);
            textout_ex(cell, font, text, 0, 0, makecol(255, 255, 255), 0);
            uint64_t bits = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    bits = bits << 1 | (getpixel(cell, x, y) == makecol(255, 255, 255));
            glyphs_.emplace(bits, (char)c);        // the first of two look-alikes wins
        }
        destroy_bitmap(cell);
    }

    // The text whose top-left corner is at (x, y): '?' for a cell that is no
    // glyph, trailing blanks dropped.
    std::string read(const image& shot, int x, int y) const
    {
        std::string text;
        for (int left = x; left + 8 <= shot.width; left += 8) {
            uint64_t bits = 0;
            for (int row = 0; row < 8; ++row)
                for (int col = 0; col < 8; ++col)
                    bits = bits << 1 | (shot.at(left + col, y + row) == 0xFFFFFF);
            if (!bits) { text += ' '; continue; }
            auto found = glyphs_.find(bits);
            text += found == glyphs_.end() ? '?' : found->second;
        }
        return text.erase(text.find_last_not_of(' ') + 1);
    }

private:
    std::map<uint64_t, char> glyphs_;
};

const text_reader& reader()
{
    static const text_reader r;
    return r;
}

// The first status line, taken apart; `ok` is false when it is not the
// program's distance-and-count line.
struct status_line {
    bool ok = false;
    double distance = -1;
    int count = -1;
    std::string text;
};

status_line read_status(const image& shot)
{
    status_line s;
    s.text = reader().read(shot, 10, 10);
    float distance;
    int count, end = 0;
    if (std::sscanf(s.text.c_str(), "You are %f light years from Earth.  %d stars in database.%n",
                    &distance, &count, &end) == 2 && end == (int)s.text.size()) {
        char expected[128];                       // the whole line as the program would print it
        std::snprintf(expected, sizeof expected, "You are %f light years from Earth.  %d stars in database.",
                      (double)distance, count);
        s.ok = s.text == expected;
        s.distance = distance;
        s.count = count;
    }
    return s;
}

// The notices' last `count` rows, the lowest at the bottom, each read left of
// the parked pointer and ended by a newline.
constexpr std::size_t left_of_pointer = (park_x - 10) / 8;

std::string left_part(std::string row)
{
    row = row.substr(0, left_of_pointer);
    return row.erase(row.find_last_not_of(' ') + 1);
}

std::string bottom_rows(const image& shot, std::size_t count)
{
    std::string seen;
    for (int y = 462 - 10 * ((int)count - 1); y <= 462; y += 10) seen += left_part(reader().read(shot, 10, y)) + "\n";
    return seen;
}

// The same of the rows the program was to show.
std::string rows_seen(const std::vector<std::string>& rows)
{
    std::string seen;
    for (const std::string& row : rows) seen += left_part(row) + "\n";
    return seen;
}

// ---- what the drawing rules give for a star seen from Earth ----

struct sky_star {
    const char* name;
    float magnitude, distance;     // apparent magnitude from Earth, light years
    const char* spectral_class;
    int ra_h, ra_m, ra_s;          // right ascension
    char de_sign;                  // declination
    int de_d, de_m, de_s;
};

std::string catalog_line(const sky_star& s)
{
    char line[200];
    std::snprintf(line, sizeof line, "%s\t\t%.2f\t\t%g\t\t%s\t\t%02d %02d %02d\t\t%c%02d %02d %02d\n",
                  s.name, (double)s.magnitude, (double)s.distance, s.spectral_class,
                  s.ra_h, s.ra_m, s.ra_s, s.de_sign, s.de_d, s.de_m, s.de_s);
    return line;
}

struct seen_star {
    bool in_front;
    double column, row;            // before truncation
    float magnitude;               // apparent, from the camera
    int x() const { return (int)column; }
    int y() const { return (int)row; }
};

// A screen of width by height pixels at a zoom step and an exposure, worked
// out here from the rules rather than taken from the program.
struct screen_view {
    int width = 640, height = 480;
    int zoom_step = 0;
    double exposure = 0;
    double focal() const { return (float)(400.0 * (height / 480.0) * std::exp2(zoom_step / 4.0)); }
};

// Follows the star from its catalog line to the screen for the first frame:
// the camera sits at Earth and looks along +y with +z up and +x to the right,
// so a catalog point (x, y, z) is (x, -z, y) in view space. The magnitude is
// the one the star is drawn with, the exposure taken off.
seen_star as_seen_from_earth(const sky_star& s, const screen_view& v = screen_view())
{
    const double pi = 3.14159265358979323846;
    const float ra = (float)(((s.ra_h + s.ra_m / 60.0) + s.ra_s / 3600.0) * pi / 12);
    const double de_deg = (s.de_d + s.de_m / 60.0) + s.de_s / 3600.0;
    const float de = (float)((s.de_sign == '-' ? -de_deg : de_deg) * pi / 180);
    const float d = s.distance;
    const float z = (float)(d * std::sin(de)), r = (float)(d * std::cos(de));
    const float x = (float)(r * std::cos(ra)), y = (float)(r * std::sin(ra));
    const float absolute = (float)((double)s.magnitude - 2 * std::log((double)d / reference_distance) / std::log(magnitude_ratio));
    const float vx = x, vy = -z, vz = y;
    const float seen_from = (float)std::sqrt((double)vx * (double)vx + (double)vy * (double)vy + (double)vz * (double)vz);
    seen_star out;
    out.in_front = vz > 0;
    out.column = (double)vx * v.focal() / (double)vz + v.width / 2.0;    // focal length 400, centre (320, 240) at first
    out.row = (double)vy * v.focal() / (double)vz + v.height / 2.0;
    out.magnitude = (float)((double)absolute + 2 * std::log((double)seen_from / reference_distance) / std::log(magnitude_ratio)) - (float)v.exposure;
    return out;
}

uint32_t grey(int level) { return (uint32_t)level * 0x010101; }

// A value that the test truncates must not sit on an integer, or float
// rounding inside the program could land it on the other side.
bool clear_of_integer(double v) { return std::fabs(v - std::round(v)) > 0.01; }

// The six stars of the crafted sky, each chosen to show one drawing rule.
const sky_star bright_centre = {"Bright Centre", -1.0f, 10, "G2V", 6, 0, 10, '+', 0, 5, 0};
const sky_star named_faint   = {"Named Faint", 1.8f, 40, "A0", 5, 50, 0, '+', 6, 0, 0};
const sky_star faint_left    = {"Faint Left", 3.0f, 50, "K1", 6, 21, 0, '+', 3, 0, 0};
const sky_star dim_right     = {"Dim Right", 5.0f, 200, "M2", 5, 39, 30, '-', 4, 0, 0};
const sky_star too_faint     = {"Too Faint", 6.5f, 100, "B5", 6, 30, 0, '-', 10, 0, 0};
const sky_star behind        = {"Behind", -1.0f, 10, "O5", 18, 10, 0, '-', 5, 0, 0};
const sky_star crafted_sky[] = {bright_centre, named_faint, faint_left, dim_right, too_faint, behind};
constexpr uint32_t class_g_arms = 0xC8C864;   // arm colour of a bright class G star: (200, 200, 100)

std::string crafted_catalog()
{
    std::string text;
    for (const sky_star& s : crafted_sky) text += catalog_line(s);
    return text;
}

::testing::AssertionResult pixel_is(const image& shot, int x, int y, uint32_t want)
{
    const uint32_t got = shot.at(x, y);
    if (got == want) return ::testing::AssertionSuccess();
    char text[96];
    std::snprintf(text, sizeof text, "pixel (%d, %d) is %06X, expected %06X", x, y, got, want);
    return ::testing::AssertionFailure() << text;
}

// Whether any pixel of the rectangle is lit.
bool any_lit(const image& shot, int left, int top, int width, int height)
{
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x)
            if (shot.at(x, y) != 0) return true;
    return false;
}

// Whether the pointer's arrow is drawn with its tip at (x, y): its white
// body, which no mark or text near there has (they are grey or far away).
bool pointer_shown_at(const image& shot, int x, int y)
{
    for (int row = y; row < y + 4; ++row)
        for (int column = x; column < x + 4; ++column)
            if ((shot.at(column, row) & 0xffffff) == 0xffffff) return true;
    return false;
}

// Each star at the pixel and grey the drawing rules give for the view, or
// its pixels dark where it is not drawn; a star off the screen must be.
template <std::size_t n>
void expect_stars_drawn(const image& shot, const sky_star (&stars)[n], const screen_view& v)
{
    for (const sky_star& star : stars) {
        SCOPED_TRACE(star.name);
        const seen_star seen = as_seen_from_earth(star, v);
        ASSERT_TRUE(clear_of_integer(seen.column) && clear_of_integer(seen.row)) << "pick another direction";
        const int sx = seen.x(), sy = seen.y();
        if (!(sx >= 1 && sx <= v.width - 1 && sy >= 1 && sy <= v.height - 1)) continue;   // off the screen
        ASSERT_TRUE(sx >= 10 && sx < v.width - 10 && sy >= 50 && sy < v.height - 50 &&
                    !(std::abs(sx - park_x) < 12 && std::abs(sy - park_y) < 24))
            << "keep the star clear of the text and pointer";
        if (!seen.in_front || !(seen.magnitude < 6.0f)) {       // not drawn: its pixel and cross stay dark
            EXPECT_FALSE(any_lit(shot, sx - 1, sy - 1, 3, 3)) << "drawn at (" << sx << ", " << sy << ")";
            continue;
        }
        const double dimming = seen.magnitude >= 0.5f ? ((double)seen.magnitude - 0.5) * 42.5 : 0;
        ASSERT_TRUE(dimming == 0 || clear_of_integer(dimming)) << "pick another magnitude";
        const int centre = 255 - (int)dimming;
        const bool bright = seen.magnitude < 1.5f;
        if (bright) { ASSERT_EQ(star.spectral_class[0], 'G') << "only the class G arm colour is spelled out here"; }
        const uint32_t cross = bright ? class_g_arms : grey(centre / 4);   // arms, or the halo
        EXPECT_TRUE(pixel_is(shot, sx, sy, grey(centre)));
        EXPECT_TRUE(pixel_is(shot, sx + 1, sy, cross));
        EXPECT_TRUE(pixel_is(shot, sx - 1, sy, cross));
        EXPECT_TRUE(pixel_is(shot, sx, sy + 1, cross));
        EXPECT_TRUE(pixel_is(shot, sx, sy - 1, cross));
        EXPECT_TRUE(pixel_is(shot, sx + 1, sy + 1, 0)) << "a star is a cross, not a square";
    }
}

// ---- the program under test, in its window ----

class ViewerWindow : public ::testing::Test {
protected:
    // Without an X server (a package build has none) these tests skip and say
    // why, unless STARHOP_REQUIRE_DISPLAY is set, as the test scripts set it,
    // so that a virtual display that failed to start cannot pass for a skip.
    void SetUp() override
    {
        const char* name = std::getenv("DISPLAY");
        if (name && *name && x.ok()) return;
        const std::string why = !name || !*name ? std::string("no X display: DISPLAY is not set")
                                                : std::string("cannot open the X display ") + name;
        const char* required = std::getenv("STARHOP_REQUIRE_DISPLAY");
        if (required && *required) FAIL() << why << ", and STARHOP_REQUIRE_DISPLAY asks for one";
        GTEST_SKIP() << why << "; these tests run the program in a window: run them under "
                        "xvfb-run, as scripts/test.sh does";
    }

    // Starts the program in `dir` (`binary` defaults to the built one) and
    // waits until its window shows a complete frame with the pointer parked.
    // Keeps what was on standard output when the window appeared.
    void start(const std::string& binary = STARHOP_BINARY)
    {
        program = std::make_unique<process>(binary, dir);
        window = x.find_window("starhop", start_timeout);
        out_when_window_opened = program->out();
        ASSERT_NE(window, 0UL) << "no starhop window appeared; stderr: " << program->err();
        ASSERT_GE(x.depth(window), 24) << "the pixel checks need a 24-bit screen (xvfb-run -s \"-screen 0 1280x1024x24\")";
        x.focus(window);
        // The program may start listening to the pointer only after its window
        // is up, and a pointer that does not move sends nothing: move it until
        // the frame shows it parked.
        ASSERT_TRUE(wait_for(5, [&] {
            x.move_pointer(window, park_x - 20, park_y - 20);
            x.move_pointer(window, park_x, park_y);
            pause(0.1);
            first = x.grab(window);
            return !first.empty() && read_status(first).ok && pointer_shown_at(first, park_x, park_y);
        })) << "no frame with the status line and the parked pointer; status read: " << read_status(first).text;
    }

    // Starts the program with `options` after its name (shell words), through
    // a script in the test's folder, as a process takes a binary alone.
    void start_with(const std::string& options)
    {
        const std::string launcher = dir.file("starhop-with-options");
        dir.write("starhop-with-options", "#!/bin/sh\nexec '" STARHOP_BINARY "' " + options + "\n");
        std::filesystem::permissions(launcher, std::filesystem::perms::owner_all);
        start(launcher);
    }

    status_line status_now() { return read_status(x.grab(window)); }

    // Ends the program with Esc and checks that it ends well.
    void press_escape_and_expect_normal_end()
    {
        x.hold_key("Escape", key_hold);
        ASSERT_TRUE(program->wait_exit(exit_timeout)) << "still running after Esc";
        EXPECT_TRUE(program->exited()) << "killed by signal " << program->term_signal();
        EXPECT_EQ(program->exit_code(), 0) << program->err();
    }

    temp_dir dir;
    display x;
    std::unique_ptr<process> program;
    unsigned long window = 0;
    std::string out_when_window_opened;
    image first;
};

}  // namespace

TEST(ProgramStartup, NoDisplayEndsWithMessageAndStatusOne)
{
    temp_dir dir;
    dir.write("stars.txt", worked_example());
    process program(STARHOP_BINARY, dir, false);
    ASSERT_TRUE(program.wait_exit(exit_timeout)) << "still running without a display";
    EXPECT_EQ(program.term_signal(), 0) << "crashed";
    ASSERT_TRUE(program.exited());
    EXPECT_EQ(program.exit_code(), 1);
    EXPECT_NE(program.err().find("display"), std::string::npos) << "stderr: " << program.err();
}

// The display gone under it (the server ended, the session closed), the
// program ends at once and says so, instead of hanging in the library's locks.
TEST(ProgramDisplay, LosingTheDisplayEndsItWithAMessage)
{
    own_server server;
    if (!server.ok()) {
        const char* required = std::getenv("STARHOP_REQUIRE_DISPLAY");
        if (required && *required) FAIL() << "cannot start an X server of the test's own (Xvfb)";
        GTEST_SKIP() << "cannot start an X server of the test's own (Xvfb)";
    }
    temp_dir dir;
    dir.write("stars.txt", worked_example());
    process program(STARHOP_BINARY, dir, true, server.name().c_str());
    {
        display x(server.name().c_str());             // closed before the server goes
        ASSERT_TRUE(x.ok());
        ASSERT_NE(x.find_window("starhop", start_timeout), 0UL) << "no window; stderr: " << program.err();
    }
    pause(0.3);                                       // frames running
    server.end();
    ASSERT_TRUE(program.wait_exit(exit_timeout)) << "still running after its display was lost";
    EXPECT_TRUE(program.exited()) << "killed by signal " << program.term_signal();
    EXPECT_EQ(program.exit_code(), 1);
    EXPECT_EQ(program.err(), "starhop: the connection to the display was lost\n");
    EXPECT_EQ(program.out(), "Fail after reading Ten Parsec at Distance 32.6285\n");
}

TEST_F(ViewerWindow, WorkedExampleLoadsBeforeTheWindowAndEscEnds)
{
    dir.write("stars.txt", worked_example());
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(out_when_window_opened, "Fail after reading Ten Parsec at Distance 32.6285\n");
    const status_line s = read_status(first);
    EXPECT_EQ(s.distance, 0.0) << s.text;
    EXPECT_EQ(s.count, 4) << "the loader's result for the four lines";
    EXPECT_EQ(reader().read(first, 10, 20), help_line_2);
    EXPECT_EQ(reader().read(first, 10, 30), help_line_3);
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
    EXPECT_EQ(program->out(), "Fail after reading Ten Parsec at Distance 32.6285\n");
}

// Esc with F1's help open closes the help and the program goes on; the next
// Esc ends it.
TEST_F(ViewerWindow, EscWithTheHelpOpenClosesTheHelpOnly)
{
    dir.write("stars.txt", worked_example());
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string heading = "Controls (F1 or ? again to hide them):";
    auto help_row = [&] {                                         // left of the parked pointer
        std::string text = reader().read(x.grab(window), 10, help_top_row).substr(0, heading.size());
        return text.erase(text.find_last_not_of(' ') + 1);
    };
    x.hold_key("F1", key_tap);
    std::string row;
    EXPECT_TRUE(wait_for(5, [&] { return (row = help_row()) == heading; })) << row;
    x.hold_key("Escape", key_hold);
    EXPECT_TRUE(wait_for(5, [&] { return help_row().empty(); })) << "the help stayed";
    pause(0.3);
    ASSERT_TRUE(program->running()) << "Esc with the help open ended the program";
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

// A request to end from outside ends the program as the close button does,
// whichever of the usual signals brings it.
TEST_F(ViewerWindow, TermHangupAndInterruptEndItNormally)
{
    dir.write("stars.txt", worked_example());
    for (int signal_number : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(strsignal(signal_number));
        ASSERT_NO_FATAL_FAILURE(start());
        ASSERT_EQ(::kill(program->pid(), signal_number), 0);
        ASSERT_TRUE(program->wait_exit(exit_timeout)) << "still running after the signal";
        EXPECT_TRUE(program->exited()) << "killed by signal " << program->term_signal();
        EXPECT_EQ(program->exit_code(), 0) << program->err();
    }
}

TEST_F(ViewerWindow, MissingCatalogStillOpensAndCloseButtonEnds)
{
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(out_when_window_opened, "Fail after reading  at Distance 0\n");
    EXPECT_EQ(read_status(first).count, 0);
    x.request_close(window);
    ASSERT_TRUE(program->wait_exit(exit_timeout)) << "still running after the close button";
    EXPECT_TRUE(program->exited()) << "killed by signal " << program->term_signal();
    EXPECT_EQ(program->exit_code(), 0) << program->err();
    EXPECT_EQ(program->out(), "Fail after reading  at Distance 0\n");
}

// Neither a stars.txt in the working directory nor an installed one: the
// window opens with no star, and says why and where a catalog was looked for.
TEST_F(ViewerWindow, MissingCatalogIsExplainedAtTheBottomOfTheScreenUntilAKeyPress)
{
    if (std::filesystem::exists(installed_catalog())) GTEST_SKIP() << installed_catalog() << " is installed here";
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string said = "stars.txt: cannot open: No such file or directory";
    const std::string looked = "No catalog: looked for stars.txt in the working directory and for " +
                               installed_catalog() + "; name one on the command line: starhop FILE";
    EXPECT_EQ(program->err(), said + "\n" + looked + "\n");
    std::vector<std::string> rows = screen_lines(said);
    for (const std::string& row : screen_lines(looked)) rows.push_back(row);
    EXPECT_TRUE(wait_for(5, [&] { return bottom_rows(x.grab(window), rows.size()) == rows_seen(rows); }))
        << bottom_rows(x.grab(window), rows.size());
    pause(0.5);
    EXPECT_EQ(bottom_rows(x.grab(window), rows.size()), rows_seen(rows)) << "no star was loaded: they stay";
    x.hold_key("b", key_tap);
    EXPECT_TRUE(wait_for(5, [&] { return reader().read(x.grab(window), 10, 462).empty(); })) << "still shown";
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

// With no stars.txt in the working directory, the catalog of the data folder
// the build was configured with is read, and a notice says so. The folder is
// made here and put in its place by a bind mount that only the program's
// mount namespace sees.
TEST_F(ViewerWindow, WithNoCatalogHereTheInstalledOneIsReadAndSaidOnTheScreen)
{
    const std::filesystem::path folder = installed_catalog_folder(), share = folder.parent_path();
    if (!std::filesystem::is_directory(share)) GTEST_SKIP() << "no " << share << " to mount over";
    const char* namespace_command = std::system("unshare --mount true 2>/dev/null") == 0 ? "unshare --mount"
        : std::system("unshare --user --map-root-user --mount true 2>/dev/null") == 0
            ? "unshare --user --map-root-user --mount" : nullptr;
    if (!namespace_command) GTEST_SKIP() << "no mount namespace can be made here";
    temp_dir staged;
    std::filesystem::create_directory(staged.path / folder.filename());
    staged.write((folder.filename() / "stars.txt").string(), worked_example());
    const std::string launcher = dir.file("starhop-installed");
    dir.write("starhop-installed", std::string("#!/bin/sh\nexec ") + namespace_command +
                                       " sh -c 'mount --bind \"$1\" \"$2\" && exec \"$3\"' sh '" +
                                       staged.path.string() + "' '" + share.string() + "' '" STARHOP_BINARY "'\n");
    std::filesystem::permissions(launcher, std::filesystem::perms::owner_all);
    ASSERT_NO_FATAL_FAILURE(start(launcher));
    EXPECT_EQ(out_when_window_opened, "Fail after reading Ten Parsec at Distance 32.6285\n");
    EXPECT_EQ(read_status(first).count, 4);
    const std::string said = "No stars.txt in the working directory: reading " + installed_catalog();
    EXPECT_EQ(program->err(), said + "\n");
    const std::vector<std::string> rows = screen_lines(said);
    EXPECT_TRUE(wait_for(5, [&] { return bottom_rows(x.grab(window), rows.size()) == rows_seen(rows); }))
        << bottom_rows(x.grab(window), rows.size());
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

// A named catalog that opens but gives no star ends the start with status 1,
// before the window opens.
TEST_F(ViewerWindow, ANamedCatalogWithNoStarEndsBeforeAnyWindow)
{
    dir.write("empty.txt", "");
    dir.write("program.bin", file_text(STARHOP_BINARY).substr(0, 4096));
    const struct { const char* catalog; const char* said; } cases[] = {
        {"empty.txt", "starhop: the catalog empty.txt holds no star: the file is empty\n"},
        {"program.bin", "starhop: program.bin is not a star catalog: it holds binary data\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.catalog);
        const std::string launcher = dir.file("starhop-named");
        dir.write("starhop-named", std::string("#!/bin/sh\nexec '" STARHOP_BINARY "' ") + c.catalog + "\n");
        std::filesystem::permissions(launcher, std::filesystem::perms::owner_all);
        process named(launcher, dir);
        ASSERT_TRUE(named.wait_exit(exit_timeout)) << "still running, a window open: " << x.find_window("starhop", 0);
        ASSERT_TRUE(named.exited()) << "killed by signal " << named.term_signal();
        EXPECT_EQ(named.exit_code(), 1);
        const std::string err = named.err();
        ASSERT_GE(err.size(), std::strlen(c.said));
        EXPECT_EQ(err.substr(err.size() - std::strlen(c.said)), c.said) << err;
        EXPECT_EQ(x.find_window("starhop", 0), 0UL) << "a window was left";
    }
}

TEST_F(ViewerWindow, ACatalogTooBigForTheAddressSpaceOpensWithTheStarsThatFit)
{
    if (under_address_sanitizer) GTEST_SKIP() << no_limit_under_sanitizer;
    // Room for the program and some of the records, not for two million
    // (128 MB of them).
    const int lines = 2000000;
    dir.write("stars.txt", numbered_catalog(lines));
    const std::string launcher = dir.file("starhop-limited");
    dir.write("starhop-limited", "#!/bin/sh\nulimit -v 200000\nexec '" STARHOP_BINARY "'\n");
    std::filesystem::permissions(launcher, std::filesystem::perms::owner_all);
    ASSERT_NO_FATAL_FAILURE(start(launcher));
    const int kept = read_status(first).count;
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, lines);
    const std::string said = "stars.txt: not enough memory for more than " + std::to_string(kept) +
                             " stars; the rest of the file was not read";
    EXPECT_EQ(program->err().substr(0, said.size() + 1), said + "\n");
    std::ostringstream closing;
    closing << "Fail after reading Star " << kept - 1 << " at Distance " << (float)(10 + kept - 1) << '\n';
    EXPECT_EQ(out_when_window_opened, closing.str());

    // On the screen too, cut to its width, above any later lines (read left
    // of the parked pointer).
    const std::vector<std::string> rows = screen_lines(said);
    ASSERT_EQ(rows.size(), 2u);
    std::string seen;
    EXPECT_TRUE(wait_for(5, [&] {
        const image shot = x.grab(window);
        for (int y = 452; y > 400; y -= 10)
            if ((seen = reader().read(shot, 10, y)).substr(0, left_of_pointer) == rows[0].substr(0, left_of_pointer))
                return reader().read(shot, 10, y + 10) == rows[1];
        return false;
    })) << seen;

    x.hold_key("f", key_tap);                                     // the prompt works, with or without names
    x.hold_key("s", key_tap);
    x.hold_key("Return", key_tap);
    pause(0.5);
    ASSERT_TRUE(program->running()) << "ended with signal " << program->term_signal() << "; " << program->err();
    x.hold_key("Escape", key_hold);
    EXPECT_TRUE(wait_for(5, [&] { return reader().read(x.grab(window), 10, 462).substr(0, 7) != "Fly to:"; }));
    pause(0.3);
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

TEST_F(ViewerWindow, WindowHasStarhopsClassAndIcon)
{
    dir.write("stars.txt", worked_example());
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(x.class_hint(window), (std::vector<std::string>{"starhop", "starhop"}))
        << "the window manager matches the desktop entry's StartupWMClass against the class";
    std::ifstream entry(STARHOP_BUILD_DIR "/dist/io.github.starhop.desktop");
    std::string line, wm_class;
    while (std::getline(entry, line))
        if (line.rfind("StartupWMClass=", 0) == 0) wm_class = line.substr(15);
    EXPECT_EQ(wm_class, window_class) << "the desktop entry names another class";

    // The icon the window offers is the one the build drew, pixel for pixel,
    // its transparent corners masked out.
    const xpm_picture want = read_xpm(window_icon_xpm, transparent);
    ASSERT_GT(want.width, 0) << "the built icon is not readable XPM";
    const image got = x.icon(window);
    ASSERT_FALSE(got.empty()) << "the window offers no icon";
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    long differ = 0, clear = 0;
    for (size_t i = 0; i < want.pixels.size(); ++i) {
        differ += got.pixels[i] != want.pixels[i];
        clear += want.pixels[i] == transparent;
    }
    EXPECT_EQ(differ, 0) << "pixels of the window's icon differ from the built one";
    EXPECT_GT(clear, 0) << "the icon's rounded corners should be transparent";
    EXPECT_LT(clear, (long)want.pixels.size() / 4);
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

TEST_F(ViewerWindow, CatalogIsReadFromTheWorkingDirectoryNotBesideTheProgram)
{
    // A copy of the program with the worked example beside it, started from
    // a directory that holds a one-star catalog of its own.
    temp_dir home;
    const std::string binary = home.file("starhop");
    std::filesystem::copy_file(STARHOP_BINARY, binary);
    std::filesystem::permissions(binary, std::filesystem::perms::owner_all);
    home.write("stars.txt", worked_example());
    dir.write("stars.txt", catalog_line(faint_left));
    ASSERT_NO_FATAL_FAILURE(start(binary));
    EXPECT_EQ(out_when_window_opened, "Fail after reading Faint Left at Distance 50\n");
    EXPECT_EQ(read_status(first).count, 1);
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

TEST_F(ViewerWindow, FirstFrameShowsEachStarAtItsPixelAndGrey)
{
    dir.write("stars.txt", crafted_catalog());
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(out_when_window_opened, "Fail after reading Behind at Distance 10\n");
    const status_line s = read_status(first);
    EXPECT_EQ(s.text, "You are 0.000000 light years from Earth.  6 stars in database.");

    expect_stars_drawn(first, crafted_sky, screen_view());
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

namespace {

// A sky for a 1280 by 960 window zoomed in four steps (focal length 1600)
// with the exposure at +1: a bright star that becomes a cross with arms, one
// with a halo, one that only the exposure brings out, one still too faint,
// and one that only the zoom puts off the screen.
const sky_star zoom_sky[] = {
    {"Arms", 2.2f, 12, "G2V", 5, 50, 2, '+', 3, 0, 48},
    {"Halo", 4.0f, 60, "K1", 6, 12, 5, '-', 4, 0, 47},
    {"Came Out", 6.5f, 150, "M2", 6, 20, 4, '+', 6, 0, 50},
    {"Still Hidden", 7.3f, 300, "B5", 5, 40, 4, '-', 6, 0, 51},
    {"Zoomed Off", 1.0f, 10, "G8", 7, 30, 0, '+', 1, 0, 21},
};

// The fourth status line at speed level 0.
std::string field_line(const screen_view& v)
{
    char line[80];
    std::snprintf(line, sizeof line, "Field of view %.1f degrees, exposure %+.1f, speed +0 (25 ly/s)",
                  2 * std::atan(v.width / 2.0 / v.focal()) * 180 / 3.14159265358979323846, v.exposure);
    return line;
}

// Lit pixels below the status text, the pointer's corner left out.
int lit_below_text(const image& shot)
{
    int n = 0;
    for (int y = 50; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x)
            n += shot.at(x, y) != 0 && !(x >= park_x - 2 && x < park_x + 14 && y >= park_y - 2 && y < park_y + 22);
    return n;
}

} // namespace

TEST_F(ViewerWindow, ZoomAndExposureInAWindowOfItsSize)
{
    std::string catalog;
    for (const sky_star& s : zoom_sky) catalog += catalog_line(s);
    dir.write("stars.txt", catalog);
    ASSERT_NO_FATAL_FAILURE(start_with("--window 1280x960"));
    ASSERT_EQ(first.width, 1280);
    ASSERT_EQ(first.height, 960);
    screen_view v;
    v.width = 1280;
    v.height = 960;
    EXPECT_EQ(reader().read(first, 10, 40), "Field of view 77.3 degrees, exposure +0.0, speed +0 (25 ly/s)");
    EXPECT_EQ(reader().read(first, 10, 40), field_line(v));
    expect_stars_drawn(first, zoom_sky, v);
    EXPECT_TRUE(as_seen_from_earth(zoom_sky[4], v).column > 10) << "on the screen before the zoom";

    // Four steps in, by keys and wheel, one back out; the exposure up three
    // half steps and down one. Each press or notch is one step.
    for (const char* k : {"equal", "KP_Add", "equal", "minus", "bracketright", "bracketright",
                          "bracketright", "bracketleft"}) {
        x.hold_key(k, key_tap);
        pause(0.1);                                               // the next press in another frame
    }
    for (int notch = 0; notch < 2; ++notch) {
        x.hold_button(4, 0.05);
        pause(0.1);
    }
    v.zoom_step = 4;
    v.exposure = 1;
    image shot;
    EXPECT_TRUE(wait_for(5, [&] {
        shot = x.grab(window);
        return reader().read(shot, 10, 40) == field_line(v);
    })) << "lens line: " << reader().read(shot, 10, 40) << "; wanted " << field_line(v);
    EXPECT_EQ(field_line(v), "Field of view 43.6 degrees, exposure +1.0, speed +0 (25 ly/s)");
    pause(0.2);
    shot = x.grab(window);
    expect_stars_drawn(shot, zoom_sky, v);
    EXPECT_TRUE(as_seen_from_earth(zoom_sky[4], v).column < 1) << "the zoom should put it off the screen";
    EXPECT_EQ(lit_below_text(shot), 3 * 5) << "three crosses and nothing else";
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

// F11 goes to the desktop's full screen and back to the window asked for,
// each time with the sky drawn for that size.
TEST_F(ViewerWindow, F11SwitchesToFullScreenAndBackToTheWindow)
{
    std::string catalog;
    for (const sky_star& s : zoom_sky) catalog += catalog_line(s);
    dir.write("stars.txt", catalog);
    ASSERT_NO_FATAL_FAILURE(start_with("--window 800x600"));
    screen_view small;
    small.width = 800;
    small.height = 600;
    ASSERT_EQ(first.width, small.width);
    expect_stars_drawn(first, zoom_sky, small);

    screen_view whole;
    x.screen_size(&whole.width, &whole.height);
    x.hold_key("F11", key_tap);
    const unsigned long full = x.find_sized_window("starhop", whole.width, whole.height, 5);
    ASSERT_NE(full, 0UL) << "no full-screen window; stderr: " << program->err();
    image shot;
    EXPECT_TRUE(wait_for(5, [&] {
        shot = x.grab(full);
        return !shot.empty() && reader().read(shot, 10, 40) == field_line(whole);
    })) << "lens line: " << (shot.empty() ? std::string("(no picture)") : reader().read(shot, 10, 40));
    expect_stars_drawn(shot, zoom_sky, whole);

    x.hold_key("F11", key_tap);
    window = x.find_sized_window("starhop", small.width, small.height, 5);
    ASSERT_NE(window, 0UL) << "the window did not come back";
    EXPECT_TRUE(wait_for(5, [&] {
        shot = x.grab(window);
        return !shot.empty() && reader().read(shot, 10, 40) == field_line(small);
    })) << "lens line: " << (shot.empty() ? std::string("(no picture)") : reader().read(shot, 10, 40));
    expect_stars_drawn(shot, zoom_sky, small);
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

TEST_F(ViewerWindow, PointerIsDrawnWhereItIs)
{
    dir.write("stars.txt", crafted_catalog());
    ASSERT_NO_FATAL_FAILURE(start());
    const int px = 480, py = 360;                 // an empty patch of sky
    EXPECT_FALSE(any_lit(first, px, py, 8, 12));
    x.move_pointer(window, px, py);
    EXPECT_TRUE(wait_for(5, [&] { return any_lit(x.grab(window), px, py, 8, 12); }))
        << "no pointer drawn after moving it to (" << px << ", " << py << ")";
    x.move_pointer(window, park_x, park_y);
    EXPECT_TRUE(wait_for(5, [&] { return !any_lit(x.grab(window), px, py, 8, 12); }))
        << "the pointer left a trace at (" << px << ", " << py << ")";
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

// The pointer leaves the picture as it leaves the window, though nothing else
// changed there, and comes back as it comes back.
TEST_F(ViewerWindow, PointerGoesWithTheWindow)
{
    dir.write("stars.txt", crafted_catalog());
    ASSERT_NO_FATAL_FAILURE(start());
    const int px = 480, py = 360;                 // an empty patch of sky
    x.move_pointer(window, px, py);
    ASSERT_TRUE(wait_for(5, [&] { return any_lit(x.grab(window), px, py, 8, 12); }))
        << "no pointer drawn after moving it to (" << px << ", " << py << ")";
    x.move_pointer(window, first.width + 100, py);     // off the window, straight from there
    EXPECT_TRUE(wait_for(5, [&] { return !any_lit(x.grab(window), px, py, 8, 12); }))
        << "the pointer stayed in the picture after it left the window";
    x.move_pointer(window, park_x, park_y);
    EXPECT_TRUE(wait_for(5, [&] { return any_lit(x.grab(window), park_x, park_y, 4, 4); }))
        << "no pointer after it came back";
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

TEST_F(ViewerWindow, TabShowsAndHidesNamesOfBrightStars)
{
    dir.write("stars.txt", crafted_catalog());
    ASSERT_NO_FATAL_FAILURE(start());
    const seen_star bright = as_seen_from_earth(bright_centre), faint = as_seen_from_earth(named_faint);
    const seen_star dim = as_seen_from_earth(faint_left);
    ASSERT_LT(faint.magnitude, 2.0f);             // labelled although drawn faint
    ASSERT_GE(dim.magnitude, 2.0f);               // never labelled
    auto label = [&](const image& shot, const seen_star& s) { return reader().read(shot, s.x() + 5, s.y() - 4); };
    EXPECT_EQ(label(first, bright), "");

    x.hold_key("Tab", key_tap);
    image named;
    EXPECT_TRUE(wait_for(5, [&] { named = x.grab(window); return label(named, bright) == "Bright Centre"; }))
        << "label read: '" << label(named, bright) << "'";
    EXPECT_EQ(label(named, faint), "Named Faint");
    EXPECT_FALSE(any_lit(named, dim.x() + 5, dim.y() - 4, 80, 8)) << "a star of magnitude 2 or more got a label";

    x.hold_key("Tab", key_tap);
    image plain;
    EXPECT_TRUE(wait_for(5, [&] { plain = x.grab(window); return label(plain, bright).empty(); }))
        << "label still there: '" << label(plain, bright) << "'";
    EXPECT_EQ(label(plain, faint), "");
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

TEST_F(ViewerWindow, SpaceFliesAwayAndEBringsTheTravellerHome)
{
    dir.write("stars.txt", crafted_catalog());
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(read_status(first).distance, 0.0);

    x.hold_key("space", thrust_hold);
    status_line away;
    EXPECT_TRUE(wait_for(5, [&] { away = status_now(); return away.ok && away.distance >= 1.0; }))
        << "status line after Space: " << away.text;
    EXPECT_EQ(away.count, 6);

    x.hold_key("e", key_hold);
    status_line home;
    EXPECT_TRUE(wait_for(10, [&] { home = status_now(); return home.ok && home.distance < 0.1; }))
        << "status line after E: " << home.text;
    EXPECT_EQ(home.text.compare(0, 11, "You are 0.0"), 0) << home.text;
    EXPECT_EQ(home.count, 6);
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

TEST_F(ViewerWindow, TitleShowsFrameRateOfAtMostFifty)
{
    dir.write("stars.txt", worked_example());
    ASSERT_NO_FATAL_FAILURE(start());
    // Watch the title for three seconds: every figure it shows must be a rate
    // the 20 ms timer allows.
    std::vector<int> rates;
    wait_for(3, [&] {
        int rate = -1, end = 0;
        const std::string title = x.title(window);
        if (std::sscanf(title.c_str(), "starhop - %d fps%n", &rate, &end) == 1 && end == (int)title.size())
            if (rates.empty() || rates.back() != rate) rates.push_back(rate);
        return false;
    });
    ASSERT_FALSE(rates.empty()) << "the title never showed a frame rate: '" << x.title(window) << "'";
    for (int rate : rates) {
        EXPECT_GT(rate, 0);
        EXPECT_LE(rate, 50);
    }
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

// ---- going to a star by name, with the catalog named on the command line ----

namespace {

const sky_star far_target = {"Target Star", 3.0f, 40, "G2V", 20, 0, 0, '+', 30, 0, 0};   // behind, above
const sky_star decoy      = {"Decoy", 2.0f, 30, "K1", 6, 0, 0, '+', 10, 0, 0};

// Light years from the star at which it shines at magnitude -1, from its
// catalog magnitude and distance, kept within 0.01 and 1.
double arrival_for(const sky_star& s)
{
    const double absolute = (double)s.magnitude - 2 * std::log((double)s.distance / reference_distance) / std::log(magnitude_ratio);
    return std::min(1.0, std::max(0.01, reference_distance * std::pow(magnitude_ratio, (-1 - absolute) / 2)));
}

// The distance the target line gives, or -1 when the line is not there.
double target_distance(const image& shot, const char* name)
{
    const std::string text = reader().read(shot, 10, target_row);
    const std::string head = std::string("Target: ") + name + "  ";
    float d;
    int end = 0;
    if (text.compare(0, head.size(), head) != 0) return -1;
    if (std::sscanf(text.c_str() + head.size(), "%f light years%n", &d, &end) != 1) return -1;
    return head.size() + end == text.size() ? d : -1;
}

} // namespace

TEST_F(ViewerWindow, FliesToAStarNamedAtThePromptOfACatalogNamedOnTheCommandLine)
{
    // The catalog lives elsewhere and is named on the command line; the
    // working directory has none.
    temp_dir sky;
    sky.write("my-stars.txt", catalog_line(decoy) + catalog_line(far_target));
    ASSERT_NO_FATAL_FAILURE(start_with("'" + sky.file("my-stars.txt") + "'"));
    EXPECT_EQ(out_when_window_opened, "Fail after reading Target Star at Distance 40\n");
    EXPECT_EQ(read_status(first).count, 2);
    const seen_star before = as_seen_from_earth(far_target);
    ASSERT_FALSE(before.in_front) << "the star should start out of sight";

    auto type = [&](const std::vector<const char*>& keys) {
        for (const char* k : keys) x.hold_key(k, key_tap);
    };
    auto prompt_line = [&](int lines_up) {                        // left of the parked pointer
        std::string text = reader().read(x.grab(window), 10, 462 - 10 * lines_up).substr(0, 60);
        return text.erase(text.find_last_not_of(' ') + 1);
    };

    // A name that is not there: the prompt says so and stays; Esc closes it
    // and the program goes on.
    type({"f", "z", "z", "z", "Return"});
    std::string note;
    EXPECT_TRUE(wait_for(5, [&] { note = prompt_line(1); return note == "No star named \"zzz\""; })) << note;
    EXPECT_EQ(prompt_line(0), "Fly to: zzz_");
    x.hold_key("Escape", key_hold);
    EXPECT_TRUE(wait_for(5, [&] { return prompt_line(0).empty(); })) << "the prompt stayed";
    pause(0.3);
    ASSERT_TRUE(program->running()) << "Esc in the prompt ended the program";

    // The first letters of the name, in any case, then Enter.
    type({"f", "t", "a", "r", "g", "e", "t", "space", "s"});
    std::string typed;
    EXPECT_TRUE(wait_for(5, [&] { typed = prompt_line(0); return typed == "Fly to: target s_"; })) << typed;
    type({"Return"});
    const double want = arrival_for(far_target);
    image shot;
    double d = -1;
    EXPECT_TRUE(wait_for(15, [&] {
        shot = x.grab(window);
        d = target_distance(shot, far_target.name);
        return std::fabs(d - want) < 1e-5 * want;
    })) << "target line: " << reader().read(shot, 10, target_row) << "; wanted " << want;
    EXPECT_TRUE(prompt_line(0).empty());
    pause(0.5);                                                   // at rest: the figure stays
    shot = x.grab(window);
    EXPECT_NEAR(target_distance(shot, far_target.name), d, 1e-6 * want + 1e-6);
    const status_line s = read_status(shot);
    EXPECT_NEAR(s.distance, (double)far_target.distance - want, 1e-3) << s.text;

    // The star, now at magnitude -1, is a full white cross with class G
    // arms within a pixel of the centre.
    int found = 0;
    for (int y = 239; y <= 241; ++y)
        for (int x0 = 319; x0 <= 321; ++x0)
            if (shot.at(x0, y) == 0xFFFFFF && shot.at(x0 + 1, y) == class_g_arms && shot.at(x0 - 1, y) == class_g_arms &&
                shot.at(x0, y + 1) == class_g_arms && shot.at(x0, y - 1) == class_g_arms)
                ++found;
    EXPECT_EQ(found, 1) << "centre pixels: " << std::hex << shot.at(319, 239) << ' ' << shot.at(320, 240);
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

// ---- pointing at a star ----

TEST_F(ViewerWindow, AClickNamesAStarAtTheTopRightAndGFliesToIt)
{
    dir.write("stars.txt", crafted_catalog());
    ASSERT_NO_FATAL_FAILURE(start());
    const seen_star left = as_seen_from_earth(faint_left);
    ASSERT_TRUE(left.in_front);
    ASSERT_TRUE(any_lit(first, left.x(), left.y(), 1, 1));

    // The block's lines start at one column, 10 pixels from the right edge
    // for the widest; the name is its first line, at row 70.
    auto block_line = [&](const image& shot, int line) -> std::string {
        for (int x0 = 300; x0 < 630; ++x0) {
            const std::string name = reader().read(shot, x0, 70);
            if (name == faint_left.name) return reader().read(shot, x0, 70 + 10 * line);
        }
        return "";
    };
    EXPECT_EQ(block_line(first, 0), "") << "nothing is picked at start";

    x.move_pointer(window, left.x() + 2, left.y() - 1);        // near it, not on it
    pause(0.1);
    x.hold_button(1, 0.1);
    pause(0.1);                                                // let go where it was pressed
    x.move_pointer(window, park_x, park_y);
    image shot;
    EXPECT_TRUE(wait_for(5, [&] { shot = x.grab(window); return block_line(shot, 0) == faint_left.name; }))
        << "no block naming " << faint_left.name << "; row 70 reads: " << reader().read(shot, 300, 70);
    EXPECT_EQ(block_line(shot, 1), "Class K1");
    EXPECT_EQ(block_line(shot, 2).compare(0, 12, "Distance 50."), 0) << block_line(shot, 2);
    EXPECT_EQ(block_line(shot, 3), "Magnitude 3.00 seen from here");
    EXPECT_EQ(read_status(shot).distance, 0.0) << "a click does not fly";

    x.hold_key("g", key_tap);
    const double want = arrival_for(faint_left);
    EXPECT_EQ(want, 1.0);
    EXPECT_TRUE(wait_for(15, [&] {
        shot = x.grab(window);
        const std::string d = block_line(shot, 2);
        float got = -1;
        return std::sscanf(d.c_str(), "Distance %f light years", &got) == 1 && std::fabs((double)got - want) < 1e-4;
    })) << "distance line: " << block_line(shot, 2);
    pause(0.3);
    shot = x.grab(window);

    // At the centre: a full white cross with class K arms, inside the marker.
    constexpr uint32_t class_k_arms = 0xE19632, marker = 0x50FF50;
    int found = 0;
    for (int y = 239; y <= 241; ++y)
        for (int x0 = 319; x0 <= 321; ++x0)
            if (shot.at(x0, y) == 0xFFFFFF && shot.at(x0 + 1, y) == class_k_arms && shot.at(x0 - 1, y) == class_k_arms &&
                shot.at(x0 + 5, y + 5) == marker && shot.at(x0 - 5, y - 5) == marker &&
                shot.at(x0 - 3, y + 5) == marker && shot.at(x0 + 5, y - 3) == marker)
                ++found;
    EXPECT_EQ(found, 1) << "centre pixels: " << std::hex << shot.at(319, 239) << ' ' << shot.at(320, 240);
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}

// ---- keeping and sharing a view ----

namespace {

// Whether the picture and the window's content agree pixel for pixel outside
// the pointer's patch, whose top-left corner is at the pointer.
::testing::AssertionResult same_outside_pointer(const png_pixels& picture, const image& shot, int px, int py)
{
    if (picture.width != shot.width || picture.height != shot.height)
        return ::testing::AssertionFailure() << "picture " << picture.width << "x" << picture.height << ", window "
                                             << shot.width << "x" << shot.height;
    long differ = 0;
    int fx = -1, fy = -1;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            if (x >= px - 2 && x < px + 14 && y >= py - 2 && y < py + 20) continue;   // the pointer
            if (picture.at(x, y) != shot.at(x, y) && differ++ == 0) fx = x, fy = y;
        }
    if (differ == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differ << " pixels differ, first at (" << fx << ", " << fy << "): picture "
                                         << std::hex << picture.at(fx, fy) << ", window " << shot.at(fx, fy);
}

long differing_pixels(const image& a, const image& b)
{
    if (a.width != b.width || a.height != b.height) return -1;
    long n = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) n += a.pixels[i] != b.pixels[i];
    return n;
}

// The lines at the bottom of the screen, joined by spaces, from `lines` up.
std::string bottom_text(const image& shot, int lines)
{
    std::string text;
    for (int i = lines - 1; i >= 0; --i) text += (text.empty() ? "" : " ") + reader().read(shot, 10, 462 - 10 * i);
    return text;
}

}  // namespace

TEST_F(ViewerWindow, LocationLineStartsTheSameFrameAndPictureHoldsTheWindow)
{
    // HOME in a scratch folder with a Pictures folder: that is where P saves.
    const std::string home = dir.file("home");
    std::filesystem::create_directories(home + "/Pictures");
    auto launcher = [&](const std::string& name, const std::string& args) {
        dir.write(name, "#!/bin/sh\nHOME='" + home + "' XDG_CONFIG_HOME='" + home + "/.config' exec '" STARHOP_BINARY
                        "' " + args + " '" STARHOP_SOURCE_DIR "/data/stars.txt'\n");
        std::filesystem::permissions(dir.file(name), std::filesystem::perms::owner_all);
        return dir.file(name);
    };
    ASSERT_NO_FATAL_FAILURE(start(launcher("first-run", "")));

    // Fly out, wait until the traveller is at rest, then turn: up, then right.
    x.hold_key("space", thrust_hold);
    std::string was, now = status_now().text;
    ASSERT_TRUE(wait_for(10, [&] { pause(0.3); was = now; now = status_now().text; return now == was; })) << now;
    x.hold_key("Up", 0.1);
    x.hold_key("Right", 0.2);
    image before;
    ASSERT_TRUE(wait_for(5, [&] { pause(0.2); before = x.grab(window); return differing_pixels(before, x.grab(window)) == 0; }));
    ASSERT_GT(read_status(before).distance, 1.0) << read_status(before).text;

    // L: the line on standard output, and on the screen (the pointer out of its way).
    x.move_pointer(window, park_x, 200);
    x.hold_key("l", key_tap);
    std::string line;
    ASSERT_TRUE(wait_for(5, [&] {
        const std::string out = program->out();
        const std::size_t at = out.find("starhop-at:1 ");
        if (at == std::string::npos || out.find('\n', at) == std::string::npos) return false;
        line = out.substr(at, out.find('\n', at) - at);
        return true;
    })) << "no location on standard output: " << program->out();
    EXPECT_EQ(program->out().find("starhop-at:1", program->out().find(line) + 1), std::string::npos) << "printed twice";
    std::string shown;
    EXPECT_TRUE(wait_for(3, [&] { shown = bottom_text(x.grab(window), 2); return shown == line; }))
        << "shown: " << shown << "\nprinted: " << line;
    x.move_pointer(window, park_x, park_y);
    EXPECT_NE(line.find(" zoom=0 exposure=+0.0 speed=0"), std::string::npos) << line;
    ASSERT_TRUE(wait_for(8, [&] { return differing_pixels(x.grab(window), before) == 0; }))
        << "the frame did not come back to what it was once the line went";

    // P: the picture in HOME/Pictures under its dated name, and said so.
    x.hold_key("p", key_tap);
    std::string saved;
    EXPECT_TRUE(wait_for(5, [&] { saved = bottom_text(x.grab(window), 1); return saved.rfind("Saved ", 0) == 0; }))
        << "bottom line: " << saved;
    std::vector<std::string> pictures;
    for (const auto& e : std::filesystem::directory_iterator(home + "/Pictures")) pictures.push_back(e.path().string());
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(saved, "Saved " + pictures[0]);
    const std::string name = std::filesystem::path(pictures[0]).filename().string();
    int date = 0, time = 0, end = 0;
    EXPECT_TRUE(std::sscanf(name.c_str(), "starhop-%8d-%6d.png%n", &date, &time, &end) == 2 && end == (int)name.size() &&
                name.size() == 27) << name;
    const png_pixels picture = read_png(pictures[0]);
    EXPECT_TRUE(same_outside_pointer(picture, before, park_x, park_y));
    // With the pointer elsewhere, the patch it hid before shows: the picture has it too, and no pointer.
    const int px = 300, py = 120;
    x.move_pointer(window, px, py);
    image moved;
    EXPECT_TRUE(wait_for(8, [&] {
        moved = x.grab(window);
        return any_lit(moved, px, py, 4, 4) && bottom_text(moved, 1).empty();
    })) << "bottom line: " << bottom_text(moved, 1);
    EXPECT_TRUE(same_outside_pointer(picture, moved, px, py));
    x.move_pointer(window, park_x, park_y);
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());

    // Started again at that line: the same frame, pixel for pixel.
    ASSERT_NO_FATAL_FAILURE(start(launcher("second-run", "--at '" + line + "'")));
    EXPECT_EQ(differing_pixels(first, before), 0) << "first frame: " << read_status(first).text
                                                  << "\nframe at L: " << read_status(before).text;
    pause(0.3);
    EXPECT_EQ(differing_pixels(x.grab(window), before), 0) << "the traveller did not stay at rest";
    ASSERT_NO_FATAL_FAILURE(press_escape_and_expect_normal_end());
}
