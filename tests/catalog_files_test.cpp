// The files a load opens are closed again however it ends: at the end of the
// file, at a line that stops it, on a read that fails, or when what it writes
// throws, on the file read in pieces by several threads and on a gzip file.
#include "engine/catalog.h"
#include "engine/stars.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ios>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

namespace {

// Descriptors this process holds open now.
int open_descriptors()
{
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++n;
    }
    return n;
}

// A stream that refuses every write and throws when it does.
struct refusing_buffer : std::streambuf {};

struct throwing_stream : std::ostream {
    throwing_stream() : std::ostream(&buffer) { exceptions(std::ios::badbit); }
    refusing_buffer buffer;
};

TEST(CatalogFiles, NoDescriptorIsLeftOpenHoweverTheLoadEnds)
{
    temp_dir dir;
    ASSERT_FALSE(dir.path.empty());
    std::filesystem::create_directory(dir.path / "folder");
    const std::string many = numbered_catalog(3000);             // many pieces of 4 KiB
    const std::string table = "ra,dec,dist,mag,proper\n1.5,20,10,4,Alpha\n2.5,x,10,4,Beta\n";
    struct {
        const char* what;
        std::string path;
        bool progress_throws;                                    // the progress line's stream refuses it
        unsigned threads;
    } cases[] = {
        {"a whole file in pieces",        dir.write("good.txt", many), false, 2},
        {"a line that stops the load",    dir.write("bad.txt", many + "Bad\t\tx\n" + many), false, 2},
        {"a table with a bad row",        dir.write("table.csv", table), false, 2},
        {"a gzip file",                   dir.write("good.gz", gzip_of(many)), false, 2},
        {"a gzip file cut short",         dir.write("cut.gz", gzip_of(many).substr(0, 2000)), false, 2},
        {"a directory, every read fails", (dir.path / "folder").string(), false, 2},
        {"no such file",                  (dir.path / "missing.txt").string(), false, 2},
        // One thread, so that the throw comes after the first piece is read.
        {"throws while read in pieces",   dir.write("pieces.txt", many), true, 1},
        {"throws while decompressing",    dir.write("throw.gz", gzip_of(many)), true, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        throwing_stream refusing;
        std::ostringstream report, errors;
        load_notes notes;
        notes.errors = &errors;
        notes.piece_bytes = 4096;
        notes.threads = c.threads;
        if (c.progress_throws) {
            notes.progress = &refusing;
            notes.progress_after = 0;                           // the first note is due at once
        }
        star_list list;
        catalog_load kept;
        const int before = open_descriptors();
        bool threw = false;
        try {
            keep_records(list, load_catalog(c.path.c_str(), list.first(), report, notes), kept);
        } catch (const std::ios_base::failure&) {
            threw = true;
        }
        EXPECT_EQ(threw, c.progress_throws);
        EXPECT_EQ(open_descriptors(), before);
        if (threw) {
            EXPECT_EQ(list.first()->next, nullptr);              // nothing of a load that threw is kept
        }
    }
}

} // namespace
