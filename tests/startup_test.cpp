// The start as a user meets it, by the real program run without a display:
// which catalog is read when none is named, what is said when there is none,
// and a named catalog that gives no star refused, with its name and the
// reason, and status 1, before any window or picture.
#include "test_support.h"
#include "app/app.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// What a run of the program said and how it ended.
struct run_result {
    int status = -1;
    std::string err, out;
};

// Runs the program with `args` in `folder`, its output caught beside it.
run_result run_in(const temp_dir& folder, const std::string& args)
{
    run_result r;
    const std::string err = folder.file(".err"), out = folder.file(".out");
    r.status = run_without_display(args, err, out, folder.path.string());
    r.err = file_text(err);
    r.out = file_text(out);
    return r;
}

// The last line of `text`, without its newline.
std::string last_line(std::string text)
{
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const std::size_t newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

} // namespace

TEST(NamedCatalog, ThatGivesNoStarIsRefusedWithItsNameTheReasonAndStatusOne)
{
    temp_dir dir;
    dir.write("empty.txt", "");
    dir.write("blank.txt", "\n   \n\t\n");
    dir.write("words.txt", "a list of stars\nto look at\n");
    dir.write("program.bin", file_text(STARHOP_BINARY).substr(0, 4096));
    std::filesystem::create_directory(dir.path / "folder");
    dir.write("stars.txt", good_line("Default"));               // never read in place of a named one
    struct {
        const char* catalog;
        const char* said;                                       // the last line on standard error
        bool read;                                              // the load ran (and wrote its closing line)
    } cases[] = {
        {"nosuch.txt", "starhop: cannot open the catalog nosuch.txt: No such file or directory", false},
        {"folder", "starhop: the catalog folder is a directory, not a file", false},
        {"program.bin", "starhop: program.bin is not a star catalog: it holds binary data", true},
        {"empty.txt", "starhop: the catalog empty.txt holds no star: the file is empty", true},
        {"blank.txt", "starhop: the catalog blank.txt holds no star: only blank lines", true},
        {"words.txt", "starhop: no star could be read from the catalog words.txt", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.catalog);
        // The window's start needs a display to get past the library for a
        // file that opens; one that does not is refused before it.
        for (const bool picture : {true, false}) {
            if (!picture && c.read) continue;
            SCOPED_TRACE(picture ? "--picture" : "viewer");
            const run_result r = run_in(dir, (picture ? "--picture sky.png '" : "'") + std::string(c.catalog) + "'");
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_EQ(last_line(r.err), c.said) << r.err;
            if (!c.read) {
                EXPECT_EQ(r.err, std::string(c.said) + "\n") << "said once, by the program alone";
                EXPECT_EQ(r.out, "") << "no load began";
            } else {
                EXPECT_EQ(r.out, "Fail after reading  at Distance 0\n");
            }
            EXPECT_FALSE(std::filesystem::exists(dir.file("sky.png"))) << "a picture was written";
        }
    }
    const run_result loaded = run_in(dir, "--picture sky.png '" + dir.file("stars.txt") + "'");
    EXPECT_EQ(loaded.status, 0) << loaded.err;                 // the same folder and options, with a star
    EXPECT_EQ(loaded.err, "");
    EXPECT_TRUE(std::filesystem::exists(dir.file("sky.png")));
}

// A named pipe is opened once, by the load: a check that opened it first
// would take the writer's stars and leave the load waiting for another.
TEST(NamedCatalog, ANamedPipeIsOpenedOnceAndRead)
{
    temp_dir dir;
    const std::string pipe = dir.file("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0) << std::strerror(errno);
    std::atomic<bool> ended{false};
    std::thread writer([&] {
        // An open for writing that does not wait succeeds once a reader has
        // the pipe open; every later one lets a reader that waits see its end.
        const std::string line = good_line("Piped");
        bool written = false;
        while (!ended) {
            const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                if (!written) written = ::write(fd, line.data(), line.size()) == (ssize_t)line.size();
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const run_result r = run_in(dir, "--picture sky.png pipe");
    ended = true;
    writer.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Fail after reading Piped at Distance 25\n");
    EXPECT_EQ(r.err, "");
}

TEST(DefaultCatalog, InTheWorkingDirectoryIsReadAndNothingMoreIsSaid)
{
    temp_dir dir;
    dir.write("stars.txt", good_line("Only"));
    const run_result r = run_in(dir, "--picture sky.png");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Fail after reading Only at Distance 25\n");
    EXPECT_TRUE(std::filesystem::exists(dir.file("sky.png")));
}

// Neither in the working directory nor installed: the load says the default
// cannot be opened, a notice says where a catalog was looked for and how to
// name one, and a picture with no star is not written (status 1). The
// installed one, found, is read by the staged install's check
// (installed_catalog.sh).
TEST(DefaultCatalog, FoundNowhereSaysWhereItWasLookedForAndAPictureFails)
{
    const std::string installed = installed_catalog();
    ASSERT_EQ(installed, std::string(installed_catalog_folder()) + "/stars.txt");
    ASSERT_EQ(installed.front(), '/') << "the configured data folder is a full path";
    if (std::filesystem::exists(installed))
        GTEST_SKIP() << installed << " is installed on this machine, so the default is always found";
    temp_dir dir;
    const run_result r = run_in(dir, "--picture sky.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stars.txt: cannot open: No such file or directory\n"
                     "No catalog: looked for stars.txt in the working directory and for " + installed +
                         "; name one on the command line: starhop FILE\n"
                     "starhop: no star to draw, so the picture sky.png was not written\n");
    EXPECT_EQ(r.out, "Fail after reading  at Distance 0\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("sky.png")));
}
