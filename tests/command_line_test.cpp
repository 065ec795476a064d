// The command line: a catalog to read, the help text, the version, and the
// mistakes that end the program with status 2 before any window opens.
#include "app/app.h"
#include "app/frame.h"
#include "model/command_line.h"
#include "test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string usage = "Usage: starhop [--window WxH | --fullscreen] [--at LINE] [--names] [--picture FILE] [catalog]\n";

// The version that the build names in its top-level project() line.
std::string project_version()
{
    std::ifstream in(STARHOP_SOURCE_DIR "/CMakeLists.txt");
    std::string word;
    while (in >> word && word != "project(starhop") {}
    in >> word;                                 // VERSION
    if (word != "VERSION" || !(in >> word)) return "";
    return word.substr(0, word.find_first_not_of("0123456789."));
}

struct answer {
    int status;
    std::string out, err;
};

answer answer_for(std::vector<const char*> args)
{
    std::ostringstream out, err;
    const int status = answer_command_line(parse(args), out, err);
    return {status, out.str(), err.str()};
}

} // namespace

TEST(CommandLine, CatalogIsTheOneArgumentOrStarsTxt)
{
    struct { std::vector<const char*> args; const char* catalog; } cases[] = {
        {{}, "stars.txt"},
        {{"my-stars.txt"}, "my-stars.txt"},
        {{"/tmp/a b/sky.txt"}, "/tmp/a b/sky.txt"},
        {{"-"}, "-"},                                   // a file named "-", not an option
        {{"--", "--odd.txt"}, "--odd.txt"},             // after "--", no options
        {{"--", "--"}, "--"},
    };
    for (const auto& k : cases) {
        const command_line line = parse(k.args);
        EXPECT_EQ(line.action, command_line::run) << k.catalog;
        EXPECT_EQ(line.catalog, k.catalog);
    }
}

TEST(CommandLine, StartOptionsCombineWithACatalog)
{
    const command_line line = parse({"--names", "--at", "starhop-at:1 1,2,3 1,0,0 0,0,-1 zoom=4 exposure=-1.5 speed=2",
                                     "--picture", "sky.png", "my-stars.txt"});
    ASSERT_EQ(line.action, command_line::run) << line.problem;
    EXPECT_EQ(line.catalog, "my-stars.txt");
    EXPECT_EQ(line.picture, "sky.png");
    EXPECT_TRUE(line.names);
    ASSERT_TRUE(line.at_given);
    EXPECT_EQ(line.at.position.y, 2.0f);
    EXPECT_EQ(line.at.forward.x, 1.0f);
    EXPECT_EQ(line.at.zoom_step, 4);
    EXPECT_EQ(line.at.exposure_steps, -3);
    EXPECT_EQ(line.at.speed_level, 2);
    const command_line plain = parse({"sky.txt"});
    EXPECT_FALSE(plain.at_given || plain.names || !plain.picture.empty());
    for (const char* name : {"SKY.PNG", "night.Png", ".png", "dir.d/a b.pNg"}) {   // .png in any case
        const command_line named = parse({"--window", "800x600", "--picture", name});
        EXPECT_EQ(named.action, command_line::run) << name << ": " << named.problem;
        EXPECT_EQ(named.picture, name);
    }

    camera c;                                       // the first frame's camera takes both
    EXPECT_TRUE(start_camera(c, line).names);
    EXPECT_EQ(c.optics.zoom_step(), 4);
    EXPECT_EQ(c.camera_position.z, 3.0f);
}

TEST(CommandLine, HelpAndVersionAnswerOnStandardOutputWithStatusZero)
{
    for (const char* option : {"--help", "-h"}) {
        const answer a = answer_for({option});
        EXPECT_EQ(a.status, 0) << option;
        EXPECT_EQ(a.err, "");
        EXPECT_EQ(a.out.rfind(usage, 0), 0u) << a.out;
        for (const char* part : {"Controls:", "Catalog format:", "stars.txt", "Space", "Tab", "Esc",
                                 "fly to a star", "click a star", "G  ", "right ascension", "declination", "tabs",
                                 "--window WxH", "--fullscreen", "F11", "mouse wheel", "= and -", "keypad", "] and [",
                                 "--at LINE", "--picture FILE", "--names", "PNG picture", "print the location"})
            EXPECT_NE(a.out.find(part), std::string::npos) << "the help does not mention " << part;
    }
    const std::string version = project_version();
    ASSERT_FALSE(version.empty()) << "no version in the project() line";
    const answer v = answer_for({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "starhop " + version + "\n");
    EXPECT_EQ(v.err, "");
    EXPECT_EQ(answer_for({"sky.txt", "--help"}).status, 0);     // asking for help wins over the rest
    EXPECT_EQ(answer_for({}).status, -1);                         // nothing to answer: run
    EXPECT_EQ(answer_for({"sky.txt"}).status, -1);
}

TEST(CommandLine, MistakesGiveTheUsageOnStandardErrorWithStatusTwo)
{
    struct { std::vector<const char*> args; const char* problem; } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x", "sky.txt"}, "unknown option '-x'"},
        {{"sky.txt", "--verbose"}, "unknown option '--verbose'"},
        {{"one.txt", "two.txt"}, "only one catalog can be given, 'two.txt' is a second"},
        {{"--", "a", "b"}, "only one catalog can be given, 'b' is a second"},
        {{"--window"}, "--window needs a size, such as --window 1920x1080"},
        {{"sky.txt", "--window"}, "--window needs a size, such as --window 1920x1080"},
        {{"--at"}, "--at needs a value"},
        {{"sky.txt", "--picture"}, "--picture needs a value"},
        {{"--picture", ""}, "--picture needs a file name"},
        {{"--picture", "sky.jpg"}, "--picture writes a PNG file: its name must end in .png, not 'sky.jpg'"},
        {{"--picture", "sky"}, "--picture writes a PNG file: its name must end in .png, not 'sky'"},
        {{"--picture", "png"}, "--picture writes a PNG file: its name must end in .png, not 'png'"},
        {{"--picture", "sky.png.txt", "sky.txt"}, "--picture writes a PNG file: its name must end in .png, not 'sky.png.txt'"},
        {{"--fullscreen", "--picture", "sky.png"},
         "--fullscreen cannot be used with --picture: give the picture's size with --window WxH"},
        {{"--picture", "sky.png", "sky.txt", "--fullscreen"},
         "--fullscreen cannot be used with --picture: give the picture's size with --window WxH"},
        {{"--at", "0,0,0 0,1,0 0,0,-1 zoom=0 exposure=+0.0"},
         "--at: the location has 5 fields; it needs 6: X,Y,Z F1,F2,F3 D1,D2,D3 zoom=K exposure=E speed=S"},
        {{"--at", "0,0,0 0,1,0 0,0,-1 zoom=41 exposure=+0.0 speed=0", "--picture", "a.png"},
         "--at: zoom=41 is out of range: the zoom step is a whole number from -4 to 40"},
    };
    for (const auto& k : cases) {
        const answer a = answer_for(k.args);
        EXPECT_EQ(a.status, 2) << k.problem;
        EXPECT_EQ(a.out, "");
        EXPECT_EQ(a.err.rfind(std::string("starhop: ") + k.problem + "\n" + usage, 0), 0u) << a.err;
    }
}

TEST(CommandLine, WindowSizeWithinItsLimitsAndFullScreen)
{
    struct { std::vector<const char*> args; int width, height; bool full; const char* catalog; } good[] = {
        {{}, 640, 480, false, "stars.txt"},
        {{"--window", "1920x1080"}, 1920, 1080, false, "stars.txt"},
        {{"--window=320x240"}, 320, 240, false, "stars.txt"},              // the smallest
        {{"--window", "7680x4320", "sky.txt"}, 7680, 4320, false, "sky.txt"},   // the largest
        {{"sky.txt", "--window", "0320x4320"}, 320, 4320, false, "sky.txt"},
        {{"--fullscreen"}, 640, 480, true, "stars.txt"},
        {{"--fullscreen", "--window", "800x600"}, 800, 600, true, "stars.txt"},   // F11 goes to that window
        {{"--", "--window"}, 640, 480, false, "--window"},                  // a catalog after "--"
    };
    for (const auto& k : good) {
        const command_line line = parse(k.args);
        EXPECT_EQ(line.action, command_line::run) << line.problem;
        EXPECT_EQ(line.width, k.width);
        EXPECT_EQ(line.height, k.height);
        EXPECT_EQ(line.fullscreen, k.full);
        EXPECT_EQ(line.catalog, k.catalog);
    }
    for (const char* size : {"319x240", "320x239", "7681x4320", "7680x4321", "1920", "1920x", "x1080",
                             "1920X1080", "1920x1080x", " 1920x1080", "1920x1080 ", "+1920x1080", "-640x480",
                             "1920x-1080", "99999999999999999999x480", "", "axb"}) {
        const answer a = answer_for({"--window", size});
        EXPECT_EQ(a.status, 2) << "'" << size << "'";
        EXPECT_EQ(a.err.rfind(std::string("starhop: the window size '") + size +
                                  "' is not WxH with W from 320 to 7680 and H from 240 to 4320\nUsage:", 0), 0u)
            << a.err;
    }
}

// The built program, without a display: an answer that came after opening a
// window would have failed for want of one (status 1).
TEST(CommandLineProgram, AnswersBeforeAnyWindowOpens)
{
    const temp_dir dir;
    const std::string out = dir.file("out.txt"), err = dir.file("err.txt");
    auto run = [&](const std::string& args) { return run_without_display(args, err, out); };
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(file_text(out).rfind(usage, 0), 0u);
    EXPECT_EQ(file_text(err), "");
    EXPECT_EQ(run("--version"), 0);
    EXPECT_EQ(file_text(out), "starhop " + project_version() + "\n");
    EXPECT_EQ(run("--no-such-option"), 2);
    EXPECT_EQ(file_text(out), "");
    EXPECT_EQ(file_text(err).rfind("starhop: unknown option '--no-such-option'\n" + usage, 0), 0u) << file_text(err);
    EXPECT_EQ(run("--window 100x100 sky.txt"), 2);
    EXPECT_EQ(file_text(err).rfind("starhop: the window size '100x100'", 0), 0u) << file_text(err);
    EXPECT_EQ(run("one.txt two.txt"), 2);
    EXPECT_NE(file_text(err).find(usage), std::string::npos);
    EXPECT_EQ(run("'" STARHOP_SOURCE_DIR "/tests/worked_example.txt'"), 1) << "a catalog alone goes on to start the graphics";
    EXPECT_NE(file_text(err).find("display"), std::string::npos) << file_text(err);
}

// The options are where a user looks for them (the controls' own test holds
// the keys to the table), and the location the README shows is one the
// program reads.
TEST(CommandLineDocs, ReadmeAndManPageListTheViewSharingOptionsAndKeys)
{
    const std::string readme = file_text(STARHOP_SOURCE_DIR "/README.md"),
                      man = file_text(STARHOP_SOURCE_DIR "/dist/starhop.1.in");
    for (const char* part : {"--window", "--fullscreen", "--at", "--picture", "--names", "docs/orion.png"})
        EXPECT_NE(readme.find(part), std::string::npos) << "README.md does not mention " << part;
    for (const char* part : {"\\-\\-window", "\\-\\-fullscreen", "\\-\\-at", "\\-\\-picture", "\\-\\-names"})
        EXPECT_NE(man.find(part), std::string::npos) << "the man page does not mention " << part;

    const std::size_t at = readme.find("--at \"starhop-at:1 ");
    ASSERT_NE(at, std::string::npos) << "no location in the README";
    const std::size_t from = at + 6, to = readme.find('"', from);
    location l;
    std::string problem;
    EXPECT_TRUE(parse_location(readme.substr(from, to - from), l, problem)) << problem;
    EXPECT_EQ(readme.substr(from, to - from), format_location(l)) << "written as the program writes it";
}
