// The command line: a catalog to read, the help text, the version, and the
// mistakes that end the program with status 2 before any window opens.
#include "command_line.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

const std::string usage = "Usage: starhop [--at LINE] [--names] [--picture FILE] [catalog]\n";

command_line parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "starhop");
    return parse_command_line((int)args.size(), args.data());
}

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

    camera c;                                       // the first frame's camera takes both
    start_camera(c, line);
    EXPECT_EQ(c.show_names, 1);
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
                                 "fly to a star", "--at LINE", "--picture FILE", "--names", "PNG picture",
                                 "print the location", "right ascension", "declination", "tabs"})
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
        {{"--at"}, "--at needs a value"},
        {{"sky.txt", "--picture"}, "--picture needs a value"},
        {{"--picture", ""}, "--picture needs a file name"},
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

// The built program, without a display: an answer that came after opening a
// window would have failed for want of one (status 1).
TEST(CommandLineProgram, AnswersBeforeAnyWindowOpens)
{
    const std::string binary = STARHOP_BINARY;
    const std::string out = ::testing::TempDir() + "starhop_out.txt", err = ::testing::TempDir() + "starhop_err.txt";
    auto run = [&](const std::string& args) {
        const std::string command = "env -u DISPLAY '" + binary + "' " + args + " >'" + out + "' 2>'" + err + "' </dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    auto read = [](const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(read(out).rfind(usage, 0), 0u);
    EXPECT_EQ(read(err), "");
    EXPECT_EQ(run("--version"), 0);
    EXPECT_EQ(read(out), "starhop " + project_version() + "\n");
    EXPECT_EQ(run("--no-such-option"), 2);
    EXPECT_EQ(read(out), "");
    EXPECT_EQ(read(err).rfind("starhop: unknown option '--no-such-option'\n" + usage, 0), 0u) << read(err);
    EXPECT_EQ(run("one.txt two.txt"), 2);
    EXPECT_NE(read(err).find(usage), std::string::npos);
    EXPECT_EQ(run("/nonexistent/sky.txt"), 1) << "a catalog alone goes on to start the graphics";
    EXPECT_NE(read(err).find("display"), std::string::npos) << read(err);
}

// The new options and keys are where a user looks for them, and the location
// the README shows is one the program reads.
TEST(CommandLineDocs, ReadmeAndManPageListTheViewSharingOptionsAndKeys)
{
    auto read = [](const char* path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const std::string readme = read(STARHOP_SOURCE_DIR "/README.md"), man = read(STARHOP_SOURCE_DIR "/dist/starhop.6");
    for (const char* part : {"--at", "--picture", "--names", "| P |", "| L |", "docs/orion.png"})
        EXPECT_NE(readme.find(part), std::string::npos) << "README.md does not mention " << part;
    for (const char* part : {"\\-\\-at", "\\-\\-picture", "\\-\\-names", ".B P\n", ".B L\n"})
        EXPECT_NE(man.find(part), std::string::npos) << "the man page does not mention " << part;

    const std::size_t at = readme.find("--at \"starhop-at:1 ");
    ASSERT_NE(at, std::string::npos) << "no location in the README";
    const std::size_t from = at + 6, to = readme.find('"', from);
    location l;
    std::string problem;
    EXPECT_TRUE(parse_location(readme.substr(from, to - from), l, problem)) << problem;
    EXPECT_EQ(readme.substr(from, to - from), format_location(l)) << "written as the program writes it";
}
