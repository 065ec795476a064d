// Pictures: PNG files that hold a bitmap's pixels exactly, fresh names that
// never replace a file, no part of a file left when a write fails, the
// pictures folder, and --picture drawing the viewer's first frame with no
// display at all.
#include "allegro_env.h"
#include "engine/catalog.h"
#include "model/command_line.h"
#include "app/frame_clock.h"
#include "model/notices.h"
#include "base/picture.h"
#include "engine/stars.h"
#include "test_support.h"
#include "app/frame.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/resource.h>

static auto* env = register_allegro_env();

namespace fs = std::filesystem;

namespace {

// Files may grow to `bytes` only while this lives; a write past it fails
// with EFBIG, as on a full disk, instead of raising SIGXFSZ.
struct file_size_limit {
    rlimit before;
    void (*handler)(int);
    explicit file_size_limit(rlim_t bytes)
    {
        handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit small = before;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~file_size_limit()
    {
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, handler);
    }
};

// A bitmap of noise, so that the PNG cannot compress it below a few bytes a pixel.
void fill_noise(BITMAP* bmp, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < bmp->h; ++y)
        for (int x = 0; x < bmp->w; ++x)
            putpixel(bmp, x, y, makecol_depth(bitmap_color_depth(bmp), byte(rng), byte(rng), byte(rng)));
}

// An environment variable set (or unset, for null) while this lives, and put
// back as it was after.
struct scoped_variable {
    std::string name, before;
    bool was_set;
    scoped_variable(const char* variable, const char* value) : name(variable)
    {
        const char* old = std::getenv(variable);
        was_set = old != nullptr;
        if (old) before = old;
        if (value) setenv(variable, value, 1);
        else       unsetenv(variable);
    }
    ~scoped_variable()
    {
        if (was_set) setenv(name.c_str(), before.c_str(), 1);
        else         unsetenv(name.c_str());
    }
};

// A folder of programs for PATH holding only an xdg-user-dir that prints
// `script_answer` (shell words: "$HOME" is the home folder), or none when null.
struct fake_xdg_user_dir {
    temp_dir bin;
    std::unique_ptr<scoped_variable> path;
    explicit fake_xdg_user_dir(const char* script_answer)
    {
        if (script_answer) {
            const std::string program = bin.write("xdg-user-dir", std::string("#!/bin/sh\necho ") + script_answer + "\n");
            fs::permissions(program, fs::perms::owner_all);
        }
        path = std::make_unique<scoped_variable>("PATH", bin.path.c_str());
    }
};

struct loaded_stars {
    star_list list;
    int count = 0;
    explicit loaded_stars(const std::string& path)
    {
        std::ostringstream report;
        count = load_catalog(path.c_str(), list.first(), report, load_notes{});
    }
};

} // namespace

TEST(PictureFile, HoldsEveryPixelAtEveryDepth)
{
    temp_dir folder;
    struct { int depth, w, h; } cases[] = {{32, 640, 480}, {32, 1, 1}, {32, 3, 7}, {24, 17, 5}, {16, 9, 4}, {15, 4, 9}};
    for (const auto& k : cases) {
        BITMAP* bmp = create_bitmap_ex(k.depth, k.w, k.h);
        fill_noise(bmp, (unsigned)(k.depth * 1000 + k.w));
        const std::string path = folder.file("noise-" + std::to_string(k.depth) + "-" + std::to_string(k.w) + ".png");
        std::string problem;
        EXPECT_TRUE(write_png(bmp, path, problem)) << problem;
        EXPECT_TRUE(same_picture(read_png(path), bmp)) << k.depth << " bits, " << k.w << "x" << k.h;
        destroy_bitmap(bmp);
    }
}

TEST(PictureFile, FreshNamesAndReasonsWhenNotSaved)
{
    std::tm when{};
    when.tm_year = 2026 - 1900, when.tm_mon = 0, when.tm_mday = 9, when.tm_hour = 7, when.tm_min = 5, when.tm_sec = 3;
    EXPECT_EQ(picture_name(when, 1), "starhop-20260109-070503.png");
    EXPECT_EQ(picture_name(when, 2), "starhop-20260109-070503-2.png");
    EXPECT_EQ(picture_name(when, 12), "starhop-20260109-070503-12.png");

    temp_dir folder;
    test_bitmap bmp(20, 10);
    fill_noise(bmp, 1);
    const std::time_t now = std::time(nullptr);
    std::tm local;
    localtime_r(&now, &local);
    const std::string first = folder.write(picture_name(local, 1), "a picture taken before");   // never overwritten
    EXPECT_EQ(save_picture(bmp, folder.path.string(), now), "Saved " + folder.file(picture_name(local, 2)));
    EXPECT_EQ(save_picture(bmp, folder.path.string(), now), "Saved " + folder.file(picture_name(local, 3)));
    EXPECT_EQ(file_text(first), "a picture taken before");
    EXPECT_TRUE(same_picture(read_png(folder.file(picture_name(local, 3))), bmp));

    // What was tried, from the root, and why it failed.
    const std::string name = picture_name(local, 1), here = fs::current_path().string();
    EXPECT_EQ(save_picture(bmp, folder.file("missing"), now),
              "Could not save the picture as " + folder.file("missing") + "/" + name + ": No such file or directory");
    EXPECT_EQ(save_picture(bmp, first, now), "Could not save the picture as " + first + "/" + name + ": Not a directory");
    EXPECT_EQ(save_picture(bmp, "starhop-no-such-folder", now),
              "Could not save the picture as " + here + "/starhop-no-such-folder/" + name + ": No such file or directory");

    test_bitmap big(640, 480);                          // a disk that fills up part way through
    fill_noise(big, 2);
    const std::vector<std::string> before = folder.names();
    std::string said;
    {
        file_size_limit limit(4096);
        said = save_picture(big, folder.path.string() + "/", now);
    }
    EXPECT_EQ(said, "Could not save the picture as " + folder.file(picture_name(local, 4)) + ": File too large");
    EXPECT_EQ(folder.names(), before) << "no part of a picture stays behind";
}

TEST(PictureFile, ReplacesANamedFileOnlyWhenWhole)
{
    temp_dir folder;
    const std::string path = folder.write("sky.png", "the old picture");
    test_bitmap bmp(640, 480);
    fill_noise(bmp, 3);
    std::string problem;
    {
        file_size_limit limit(4096);
        EXPECT_FALSE(write_png(bmp, path, problem));
    }
    EXPECT_EQ(problem, "File too large");
    EXPECT_EQ(file_text(path), "the old picture");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"sky.png"}) << "the half-written copy is gone";

    ASSERT_TRUE(write_png(bmp, path, problem)) << problem;
    EXPECT_TRUE(same_picture(read_png(path), bmp));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"sky.png"});
    EXPECT_FALSE(write_png(bmp, folder.file("no/such/folder.png"), problem));
    EXPECT_EQ(problem, "No such file or directory");
}

// The pictures folder: what xdg-user-dir answers unless that is the home
// folder (its answer when nothing is set up), else ~/Pictures, else the home
// folder, else the working directory; always named from the root.
TEST(PictureFolder, XdgAnswerThenHomePicturesThenHomeThenHere)
{
    temp_dir home, elsewhere;
    const std::string h = home.path.string(), pictures = h + "/Pictures", other = elsewhere.path.string();
    const std::string here = fs::current_path().string(), gone = other + "/gone", h_slash = h + "/";
    elsewhere.write("plain", "a file");
    struct folder_case { std::string answer; const char* home; std::string want; const char* why; };
    const std::vector<folder_case> without_pictures = {
        {other, h.c_str(), other, "set up"},
        {other + "/", h.c_str(), other, "set up, with a slash"},
        {h, h.c_str(), h, "xdg-user-dir answers home when nothing is set up"},
        {h + "/", h.c_str(), h, "the same with a slash"},
        {gone, h.c_str(), h, "a folder that is not there"},
        {other + "/plain", h.c_str(), h, "a file is not a folder"},
        {"", h.c_str(), h, "xdg-user-dir not installed"},
        {"", h_slash.c_str(), h, "a home with a slash"},
        {"", nullptr, here, "no home"},
        {"", gone.c_str(), here, "a home that is not there"},
        {gone, "", here, "an empty home"},
    };
    for (const folder_case& k : without_pictures)
        EXPECT_EQ(choose_pictures_folder(k.answer, k.home), k.want) << k.why;
    fs::create_directory(pictures);
    const std::vector<folder_case> with_pictures = {
        {other, h.c_str(), other, "set up"},
        {h, h.c_str(), pictures, "not set up"},
        {h + "/", h.c_str(), pictures, "not set up, with a slash"},
        {"", h.c_str(), pictures, "xdg-user-dir not installed"},
        {gone, h_slash.c_str(), pictures, "a folder that is not there"},
        {other + "/plain", h.c_str(), pictures, "a file is not a folder"},
        {"", nullptr, here, "no home"},
    };
    for (const folder_case& k : with_pictures)
        EXPECT_EQ(choose_pictures_folder(k.answer, k.home), k.want) << k.why;

    // The same through the user's own xdg-user-dir and HOME.
    struct user_case { const char* script_answer; bool home_set, pictures_made; std::string want; const char* why; };
    const std::string quoted_other = "'" + other + "'";
    const std::vector<user_case> users = {
        {"\"$HOME\"", true, false, h, "answers the home folder: no Pictures there"},
        {"\"$HOME\"", true, true, pictures, "answers the home folder, which has Pictures"},
        {nullptr, true, false, h, "not installed, no Pictures"},
        {nullptr, true, true, pictures, "not installed"},
        {quoted_other.c_str(), true, true, other, "set up"},
        {nullptr, false, true, here, "no home"},
    };
    for (const user_case& k : users) {
        if (k.pictures_made) fs::create_directories(pictures);
        else                 fs::remove(pictures);
        fake_xdg_user_dir xdg(k.script_answer);
        scoped_variable set_home("HOME", k.home_set ? h.c_str() : nullptr);
        EXPECT_EQ(pictures_folder(), k.want) << k.why;
    }
}

// The program draws the first frame with no display; the same frame drawn
// here into a memory bitmap for the same camera matches it pixel for pixel.
TEST(PictureProgram, DrawsTheFirstFrameWithoutADisplay)
{
    temp_dir folder;
    const std::string catalog = STARHOP_SOURCE_DIR "/data/stars.txt", err = folder.file("err.txt");
    const loaded_stars stars(catalog);
    ASSERT_GT(stars.count, 100000);
    struct { const char* at; bool names; } cases[] = {
        {nullptr, false},
        {nullptr, true},
        {"starhop-at:1 -61.25,158.5,3.75 0.280833781,0.959630013,-0.0148412213 0.0117350277,0.0120205525,0.999858856 "
         "zoom=0 exposure=+0.0 speed=0", true},
        {"12.5,-300,40 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=1", false},
    };
    int n = 0;
    for (const auto& k : cases) {
        const std::string png = folder.file("frame-" + std::to_string(n++) + ".png");
        std::vector<const char*> args;
        std::string shell = "--picture '" + png + "'";
        if (k.at) args.push_back("--at"), args.push_back(k.at), shell += std::string(" --at '") + k.at + "'";
        if (k.names) args.push_back("--names"), shell += " --names";
        args.push_back("--picture"), args.push_back(png.c_str());
        args.push_back(catalog.c_str()), shell += " '" + catalog + "'";
        ASSERT_EQ(run_without_display(shell, err), 0) << shell << "\n" << file_text(err);

        const command_line line = parse(args);
        ASSERT_EQ(line.action, command_line::run) << line.problem;
        camera c;
        const toggles on = start_camera(c, line);
        test_bitmap want(c.optics.width(), c.optics.height());
        draw_frame(c, build_view(c), on, const_cast<star_type*>(stars.list.first()), stars.count, want);
        EXPECT_TRUE(same_picture(read_png(png), want)) << shell;
    }

    // At another window size, the frame of a window of that size.
    const std::string wide = folder.file("wide.png");
    ASSERT_EQ(run_without_display("--window 800x600 --picture '" + wide + "' '" + catalog + "'", err), 0) << file_text(err);
    {
        test_bitmap want(800, 600);
        frame_loop loop(const_cast<star_type*>(stars.list.first()), stars.count, want);
        loop.step(frame_input(), 0);
        EXPECT_TRUE(same_picture(read_png(wide), want));
    }

    EXPECT_EQ(run_without_display("--picture '" + folder.file("no/such/sky.png") + "' '" + catalog + "'", err), 1);
    EXPECT_EQ(file_text(err), "starhop: cannot write the picture " + folder.file("no/such/sky.png") +
                                  ": No such file or directory\n");
    EXPECT_EQ(run_without_display("--picture '" + folder.file("x.png") + "' --at 'zoom=0'", err), 2);
    EXPECT_FALSE(fs::exists(folder.file("x.png")));
}

// ---- L and P in the frame loop ----

namespace {

// A few stars around the start, the frame loop on them with its notices, L's
// lines caught and P's pictures in a scratch folder.
class ViewKeys : public ::testing::Test {
protected:
    loaded_stars stars{STARHOP_SOURCE_DIR "/data/stars.txt"};
    test_bitmap buffer;
    notices shown{ticks_per_second};
    std::ostringstream printed;
    temp_dir folder;
    std::unique_ptr<frame_loop> loop;
    unsigned tick = 0;

    void SetUp() override
    {
        loop = std::make_unique<frame_loop>(stars.list.first(), stars.count, buffer, nullptr, &shown);
        loop->locations = &printed;
        loop->pictures = folder.path.string();
    }
    bool step(const frame_input& in) { return loop->step(in, ++tick); }
    bool press(int code, int ascii)
    {
        frame_input in;
        ::press(in, code, ascii);
        in.hold(code);
        return step(in);
    }
    // Away from Earth, turned both ways, two speed levels up, then at rest.
    void fly()
    {
        press(KEY_PGUP, 0);
        press(KEY_PGUP, 0);
        for (int f = 0; f < 10; ++f) {
            frame_input in;
            in.hold(KEY_SPACE);
            in.hold(f < 5 ? KEY_UP : KEY_RIGHT);
            step(in);
        }
        loop->c.velocity = vector(0, 0, 0);
        step(frame_input());
    }
};

} // namespace

// L prints the line once, shows it at the bottom, and a loop started from that
// line draws the very picture the line was taken from.
TEST_F(ViewKeys, LocationLineGivesTheSameFrameAgain)
{
    fly();
    ASSERT_EQ(loop->c.speed_level, 2);
    press(KEY_L, 'l');
    const std::string out = printed.str();
    ASSERT_EQ(out.back(), '\n');
    const std::string line = out.substr(0, out.size() - 1);
    ASSERT_EQ(line.find('\n'), std::string::npos) << "printed more than once: " << out;
    EXPECT_NE(line.find(" speed=2"), std::string::npos) << line;
    std::string joined;
    for (const std::string& part : shown.texts()) joined += (joined.empty() ? "" : " ") + part;
    EXPECT_EQ(joined, line);
    EXPECT_GT(shown.texts().size(), 1u) << "a line this long wraps at 640 pixels";

    // The same frame without the notice, and that frame from the line.
    shown.pass(location_seconds * ticks_per_second, false);
    ASSERT_TRUE(shown.empty());
    ASSERT_TRUE(step(frame_input())) << "the line going away is a change";
    const command_line start = parse({"--at", line.c_str()});
    ASSERT_EQ(start.action, command_line::run) << start.problem;
    test_bitmap again;
    frame_loop second(stars.list.first(), stars.count, again);
    second.start(start);
    EXPECT_EQ(second.c.speed_level, 2);
    ASSERT_TRUE(second.step(frame_input(), 1));
    EXPECT_TRUE(same_bitmap(again, buffer));

    // With the prompt open, l is typed into it and nothing is printed.
    printed.str("");
    press(KEY_F, 'f');
    press(KEY_L, 'l');
    EXPECT_EQ(printed.str(), "");
    EXPECT_EQ(loop->travel.prompt.text(), "l");
}

// P saves the picture on the screen under a fresh name, says so at the
// bottom, and the next frame shows the line though nothing else changed.
TEST_F(ViewKeys, PictureKeySavesTheScreenAndSaysWhere)
{
    fly();
    ASSERT_FALSE(step(frame_input()));                  // at rest: nothing new to draw
    test_bitmap shot;
    press(KEY_P, 'p');
    blit(buffer, shot, 0, 0, 0, 0, screen_width, screen_height);
    ASSERT_EQ(folder.names().size(), 1u);
    const std::string path = folder.file(folder.names()[0]);
    EXPECT_TRUE(same_picture(read_png(path), shot));
    ASSERT_EQ(shown.texts().size(), 1u);
    EXPECT_EQ(shown.texts()[0], "Saved " + path);
    EXPECT_TRUE(step(frame_input())) << "the Saved line must be drawn though the input is quiet";

    press(KEY_P, 'p');                                  // again at once: a second name, the first kept
    EXPECT_EQ(folder.names().size(), 2u);
    EXPECT_TRUE(same_picture(read_png(path), shot));

    loop->pictures = "starhop-gone";                    // a folder that is not there, named from the root
    press(KEY_P, 'p');
    const auto unspaced = [](std::string text) {      // the lines wrap at spaces, and inside a long path
        text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
        return text;
    };
    std::string said;
    for (const std::string& part : shown.texts()) said += unspaced(part);
    const std::string tried = fs::current_path().string() + "/starhop-gone/starhop-";
    EXPECT_NE(said.find(unspaced("Could not save the picture as " + tried)), std::string::npos) << said;
    EXPECT_NE(said.find(unspaced(".png: No such file or directory")), std::string::npos) << said;
    EXPECT_EQ(folder.names().size(), 2u);
}

// Started as the desktop entry starts it, in a folder of its own, by a user
// with no ~/Pictures whose xdg-user-dir answers the home folder: P saves in
// the home folder and says so by the full path.
TEST_F(ViewKeys, PictureKeyWithNoPicturesFolderSavesInTheHomeFolder)
{
    fake_xdg_user_dir xdg("\"$HOME\"");
    scoped_variable home("HOME", folder.path.c_str());
    loop->pictures.clear();                             // the user's own folder
    press(KEY_P, 'p');
    ASSERT_EQ(folder.names().size(), 1u);
    ASSERT_EQ(shown.texts().size(), 1u);
    EXPECT_EQ(shown.texts()[0], "Saved " + folder.file(folder.names()[0]));
    EXPECT_EQ(shown.texts()[0].compare(0, 7, "Saved /"), 0);
}
