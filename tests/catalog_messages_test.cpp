// What the loader says besides its closing line: the line that stopped the
// load (file, line, column by meaning, what stood there), a file that cannot
// be opened or read, and the progress of a long load. A clean end says nothing.
#include "engine/catalog.h"
#include "engine/stars.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string two_good = good_line("One") + good_line("Two");
const std::string two_loaded = "Fail after reading Two at Distance 25\n";

} // namespace

TEST(CatalogMessages, NumberColumnsByTheirMeaning)
{
    struct expected { std::string line, message; };
    const std::string rest = "; 2 stars loaded, the rest of the file skipped\n";
    const expected cases[] = {
        {catalog_line("Bad", "bright", "7.5", "G2V", "06 30 00", "+45 30 00"),
         "stars.txt:3: magnitude column holds \"bright\", not a number" + rest},
        {catalog_line("Bad", "1.0", "far", "G2V", "06 30 00", "+45 30 00"),
         "stars.txt:3: distance column holds \"far\", not a number" + rest},
        {catalog_line("Bad", "1.0", "7.5", "G2V", "6h 30 00", "+45 30 00"),
         "stars.txt:3: right ascension column holds \"h 30 00\", not a number" + rest},
        {catalog_line("Bad", "1.0", "7.5", "G2V", "06 30 x", "+45 30 00"),
         "stars.txt:3: right ascension column holds \"x\", not a number" + rest},
        {catalog_line("Bad", "1.0", "7.5", "G2V", "06 30 00", "north"),
         "stars.txt:3: declination column holds \"north\", not a number" + rest},
        {catalog_line("Bad", "1.0", "7.5", "G2V", "06 30 00", "+45 30 1e"),
         "stars.txt:3: declination column holds \"1e\", not a number" + rest},
        {catalog_line("Bad", "1e39", "7.5", "G2V", "06 30 00", "+45 30 00"),
         "stars.txt:3: magnitude column holds \"1e39\", a number too large" + rest},
        {catalog_line("Bad", "1.0", "-4e38", "G2V", "06 30 00", "+45 30 00"),
         "stars.txt:3: distance column holds \"-4e38\", a number too large" + rest},
        {catalog_line("Bad", "nan", "7.5", "G2V", "06 30 00", "+45 30 00"),
         "stars.txt:3: magnitude column holds \"nan\", not a number" + rest},
    };
    for (const expected& e : cases) {
        SCOPED_TRACE(e.line);
        const catalog_load s = load_catalog_text(two_good + e.line + good_line("After"));
        EXPECT_EQ(s.result, 2);
        EXPECT_EQ(s.report, two_loaded);                          // the closing line is as before
        EXPECT_EQ(s.errors, e.message);
    }
}

TEST(CatalogMessages, WhatStoodThereIsShortenedAndMadePrintable)
{
    const catalog_load longer = load_catalog_text(
        good_line("One") + catalog_line("Bad", "1.0", "abcdefghijklmnopqrstuvwxyz", "G", "1 2 3", "4 5 6"));
    EXPECT_EQ(longer.errors, "stars.txt:2: distance column holds \"abcdefghijklmnopqrst...\", not a number; "
                             "1 star loaded, the rest of the file skipped\n");
    const catalog_load twenty =
        load_catalog_text(catalog_line("Bad", "abcdefghijklmnopqrst", "7.5", "G", "1 2 3", "4 5 6"));
    EXPECT_EQ(twenty.errors, "stars.txt:1: magnitude column holds \"abcdefghijklmnopqrst\", not a number; "
                             "0 stars loaded, the rest of the file skipped\n");
    const catalog_load control =
        load_catalog_text(catalog_line("Bad", std::string("a\0b\x1b", 4) + "c", "7.5", "G", "1 2 3", "4 5 6"));
    EXPECT_EQ(control.errors, "stars.txt:1: magnitude column holds \"a\\x00b\\x1bc\", not a number; "
                              "0 stars loaded, the rest of the file skipped\n");
    // 19 letters and a two-byte character: cut before the character, not inside it.
    const catalog_load wide =
        load_catalog_text(catalog_line("Bad", std::string(19, 'x') + "\xc3\xa9" + "tail", "7.5", "G", "1 2 3", "4 5 6"));
    EXPECT_EQ(wide.errors, "stars.txt:1: magnitude column holds \"" + std::string(19, 'x') +
                           "...\", not a number; 0 stars loaded, the rest of the file skipped\n");
    const catalog_load crlf = load_catalog_text(good_line("One") + "Bad\t\t1.0\t\tfar\r\n");
    EXPECT_EQ(crlf.errors, "stars.txt:2: distance column holds \"far\", not a number; "
                           "1 star loaded, the rest of the file skipped\n");
}

TEST(CatalogMessages, FileEndingInsideALine)
{
    const std::string cut = "Bad\t\t1.0\t\t7.5\t\tG2V\t\t06 30 00\t\t+45 30 00";
    struct expected { size_t length; std::string column; };
    // The column named is the one the line ran out at: a number cut short by
    // the end still reads, and the next column is the one missing.
    const expected cases[] = {
        {3, "name"}, {5, "magnitude"}, {8, "distance"}, {10, "distance"}, {13, "class"},
        {15, "class"}, {17, "class"}, {20, "right ascension"}, {22, "right ascension"},
        {27, "declination"}, {30, "declination"}, {35, "declination"},
    };
    for (const expected& e : cases) {
        SCOPED_TRACE(cut.substr(0, e.length));
        const catalog_load s = load_catalog_text(two_good + cut.substr(0, e.length));
        EXPECT_EQ(s.result, 2);
        EXPECT_EQ(s.report, two_loaded);
        EXPECT_EQ(s.errors, "stars.txt:3: the file ends inside the line, at its " + e.column +
                            " column; 2 stars loaded\n");
    }
    for (size_t length : {cut.size() - 1, cut.size()}) {          // the last number ends the file
        const catalog_load whole = load_catalog_text(two_good + cut.substr(0, length));
        EXPECT_EQ(whole.result, 3);
        EXPECT_EQ(whole.errors, "");
    }
}

// A record never takes values from the line after its own: a line that ends
// before its last column stops the load at that line, in the column where it
// ended, whatever follows; the column named is the one the end is met in.
TEST(CatalogMessages, LineEndingBeforeItsLastColumn)
{
    const std::string cut = "Bad\t\t1.0\t\t7.5\t\tG2V\t\t06 30 00\t\t+45 30 00";
    struct expected { size_t length; std::string column; };
    const expected cases[] = {
        {0, "name"}, {3, "name"}, {4, "magnitude"}, {5, "magnitude"}, {9, "distance"}, {13, "class"},
        {15, "class"}, {20, "right ascension"}, {22, "right ascension"}, {25, "right ascension"},
        {30, "declination"}, {33, "declination"}, {36, "declination"},
    };
    for (const expected& e : cases) {
        SCOPED_TRACE(cut.substr(0, e.length));
        std::string broken = cut.substr(0, e.length) + "\n";
        if (e.length == 0) broken = "x\v\n";                      // white space, but not a blank line
        const catalog_load s = load_catalog_text(two_good + broken + good_line("After"));
        EXPECT_EQ(s.result, 2);
        EXPECT_EQ(s.report, two_loaded);
        EXPECT_EQ(s.errors, "stars.txt:3: the line ends before its last column, in its " + e.column +
                            " column; 2 stars loaded, the rest of the file skipped\n");
    }
    const catalog_load whole = load_catalog_text(two_good + cut + "\n" + good_line("After"));
    EXPECT_EQ(whole.result, 4);
    EXPECT_EQ(whole.errors, "");
}

// A note in plain text between two stars: once it became a star named after
// its first 24 characters, with the following line's numbers, and that star
// was lost. Blank lines (spaces, tabs, carriage returns) are passed over, and
// no name ever holds a line feed.
TEST(CatalogMessages, PlainTextAndBlankLinesBetweenStars)
{
    const std::string sirius = catalog_line("Sirius", "-1.46", "8.6", "A1V", "06 45 08.9", "-16 42 58");
    const std::string arcturus = catalog_line("Arcturus", "-0.05", "36.7", "K1.5III", "14 15 39.7", "+19 10 57");
    const catalog_load note = load_catalog_text(sirius + "These are the stars of spring evenings\n" + arcturus);
    EXPECT_EQ(note.result, 1);
    EXPECT_EQ(note.report, "Fail after reading Sirius at Distance 8.6\n");
    EXPECT_EQ(note.errors, "stars.txt:2: the line ends before its last column, in its name column; "
                           "1 star loaded, the rest of the file skipped\n");
    for (const std::string& blank : {std::string("\n"), std::string(" \t \r\n"), std::string("\r\n\n\t\n")}) {
        SCOPED_TRACE(blank);
        const catalog_load s = load_catalog_text(blank + sirius + blank + arcturus + blank);
        EXPECT_EQ(s.result, 2);
        EXPECT_EQ(s.report, "Fail after reading Arcturus at Distance 36.7\n");
        EXPECT_EQ(s.errors, "");
    }
    // The same through a file read in pieces by two threads, each piece
    // starting on a blank line.
    const temp_file file(sirius + "\n" + arcturus + "  \n" + sirius);
    star_list list;
    std::ostringstream report, errors;
    load_notes notes;
    notes.errors = &errors;
    notes.piece_bytes = 8;
    notes.threads = 2;
    EXPECT_EQ(load_catalog(file.path(), list.first(), report, notes), 3);
    ASSERT_NE(list.first()->next, nullptr);
    EXPECT_STREQ(list.first()->next->name, "Arcturus");
    EXPECT_EQ(errors.str(), "");
}

TEST(CatalogMessages, CleanEndsSayNothing)
{
    for (const std::string& text : {std::string(), two_good, two_good + "\n", two_good + "\r\n \t\n",
                                    two_good.substr(0, two_good.size() - 1), std::string("\n\n")}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(load_catalog_text(text).errors, "");
    }
}

TEST(CatalogMessages, LineNumbersCountEveryLineFeedBeforeTheStop)
{
    std::string text;
    for (int i = 0; i < 20000; ++i) text += good_line("Star " + std::to_string(i));  // several refills
    ASSERT_GT(text.size(), 500000u);
    const catalog_load s = load_catalog_text(text + "Header\t\tMagnitude\n");
    EXPECT_EQ(s.result, 20000);
    EXPECT_EQ(s.errors, "stars.txt:20001: magnitude column holds \"Magnitude\", not a number; "
                        "20000 stars loaded, the rest of the file skipped\n");
    // A long name without a tab ends at its own line feed, not at a later line's tab.
    const catalog_load over = load_catalog_text(good_line("One") + std::string(30, 'n') + "\nmore\nstill\t\tx\n");
    EXPECT_EQ(over.result, 1);
    EXPECT_EQ(over.errors, "stars.txt:2: the line ends before its last column, in its name column; "
                           "1 star loaded, the rest of the file skipped\n");
}

TEST(CatalogMessages, FilesThatCannotBeOpenedOrRead)
{
    const temp_dir scratch;
    const std::filesystem::path& dir = scratch.path;
    std::filesystem::create_directory(dir / "stars.txt");
    std::ofstream(dir / "plain.txt") << good_line("Only");
    struct expected { std::string path, message; };
    const expected cases[] = {
        {(dir / "missing.txt").string(), (dir / "missing.txt").string() + ": cannot open: No such file or directory\n"},
        {(dir / "stars.txt").string(), (dir / "stars.txt").string() + ": cannot read: Is a directory\n"},
        {(dir / "plain.txt/stars.txt").string(), (dir / "plain.txt/stars.txt").string() + ": cannot open: Not a directory\n"},
    };
    for (const expected& e : cases) {
        const catalog_load s = load_catalog_file(e.path);
        EXPECT_EQ(s.result, 0);
        EXPECT_EQ(s.report, "Fail after reading  at Distance 0\n");
        EXPECT_EQ(s.errors, e.message);
    }
    const catalog_load plain = load_catalog_file((dir / "plain.txt").string());
    EXPECT_EQ(plain.result, 1);
    EXPECT_EQ(plain.errors, "");
    std::ofstream(dir / "bad.txt") << good_line("One") << "Two\t\tdim\n";
    const catalog_load bad = load_catalog_file((dir / "bad.txt").string());
    EXPECT_EQ(bad.errors, (dir / "bad.txt").string() + ":2: magnitude column holds \"dim\", not a number; "
                          "1 star loaded, the rest of the file skipped\n");
}

TEST(CatalogProgress, PercentReadRisesToAHundredOnItsOwnLine)
{
    std::string text;
    for (int i = 0; i < 10000; ++i) text += good_line("Star");
    auto run = [&](double after, long long size) {
        star_list list;
        std::istringstream in(text);
        std::ostringstream report, progress;
        load_notes notes;
        notes.source_name = "big.txt";
        notes.progress = &progress;
        notes.input_size = size;
        notes.progress_after = after;
        EXPECT_EQ(load_catalog(in, list.first(), report, notes), 10000);
        EXPECT_EQ(report.str(), "Fail after reading Star at Distance 25\n");
        return progress.str();
    };
    auto rises_to_a_hundred = [](const std::string& shown) {
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), '\n');
        std::vector<int> percents;
        std::istringstream notes(shown);
        std::string piece;
        while (std::getline(notes, piece, '\r')) {
            if (piece.empty()) continue;
            ASSERT_EQ(piece.compare(0, 9, "big.txt: "), 0) << piece;
            percents.push_back(std::atoi(piece.c_str() + 9));
            EXPECT_NE(piece.find("% read"), std::string::npos) << piece;
        }
        ASSERT_GE(percents.size(), 1u);
        for (size_t i = 1; i < percents.size(); ++i) EXPECT_LT(percents[i - 1], percents[i]);
        EXPECT_EQ(percents.back(), 100);
    };
    rises_to_a_hundred(run(0.0, (long long)text.size()));
    EXPECT_EQ(run(1e9, (long long)text.size()), "");              // a quick load shows nothing
    EXPECT_EQ(run(0.0, 0), "");                                   // nor one of unknown size

    // A file read in pieces by two threads shows its progress as pieces end.
    const temp_file file(text);
    star_list list;
    std::ostringstream report, progress;
    load_notes notes;
    notes.source_name = "big.txt";
    notes.progress = &progress;
    notes.progress_after = 0;
    notes.piece_bytes = 20000;
    notes.threads = 2;
    EXPECT_EQ(load_catalog(file.path(), list.first(), report, notes), 10000);
    rises_to_a_hundred(progress.str());
}
