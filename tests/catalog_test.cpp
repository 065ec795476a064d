// The catalog loader and the angle conversions: the four-line example record by
// record, and hostile input that must neither crash nor write out of bounds.
#include "engine/catalog.h"
#include "engine/stars.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

const char* const example_path = STARHOP_SOURCE_DIR "/tests/worked_example.txt";
const char* const nothing_read = "Fail after reading  at Distance 0\n";

// A list as the loader left it, with its closing line; frees what it appended.
struct loaded {
    star_list list;
    star_type& head = *list.first();
    int result = -1;
    std::string report;
    // The n-th record, counting the head as 0; null past the end.
    const star_type* record(int n) const
    {
        const star_type* s = &head;
        for (; s && n > 0; --n) s = s->next;
        return s;
    }
};

std::unique_ptr<loaded> load_text(const std::string& text)
{
    auto l = std::make_unique<loaded>();
    std::istringstream in(text);
    std::ostringstream report;
    l->result = load_catalog(in, &l->head, report);
    l->report = report.str();
    return l;
}

// Through the file-name entry, which reports on standard output.
std::unique_ptr<loaded> load_file(const std::string& path)
{
    auto l = std::make_unique<loaded>();
    const catalog_load said = load_catalog_file(path, l->list);
    l->result = said.result;
    l->report = said.report;
    return l;
}

// What every load must leave: as many records as the result says (or just the
// unfilled head when it says 0), each name terminated inside its 25 bytes and
// zero after the terminator, and one closing line.
::testing::AssertionResult sound(const loaded& l)
{
    if (l.result < 0) return ::testing::AssertionFailure() << "result " << l.result;
    if (l.result == 0) {
        star_type fresh;
        if (std::memcmp(l.head.name, fresh.name, sizeof fresh.name) ||
            std::memcmp(l.head.spectral_class, fresh.spectral_class, 3) ||
            !std::isnan(l.head.abs_magnitude) || l.head.next)
            return ::testing::AssertionFailure() << "result 0 but the head was filled or linked";
    }
    int count = 0;
    for (const star_type* s = &l.head; s && count <= l.result + 1; s = s->next, ++count) {
        const char* end = static_cast<const char*>(std::memchr(s->name, 0, sizeof s->name));
        if (!end) return ::testing::AssertionFailure() << "record " << count << ": name unterminated";
        for (const char* p = end; p < s->name + sizeof s->name; ++p)
            if (*p) return ::testing::AssertionFailure() << "record " << count << ": bytes after the name";
    }
    if (count != (l.result ? l.result : 1))
        return ::testing::AssertionFailure() << "list of " << count << " for result " << l.result;
    const std::string opening = "Fail after reading ";
    if (l.report.compare(0, opening.size(), opening) || l.report.empty() || l.report.back() != '\n')
        return ::testing::AssertionFailure() << "closing line \"" << l.report << '"';
    return ::testing::AssertionSuccess();
}

// A float as the tables print it: seven significant digits.
std::string g7(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", (double)v);
    return text;
}

struct row {
    std::string name, magnitude, x, y, z, spectral_class;
};

// The records from the head on, field by field to float precision.
::testing::AssertionResult records_are(const loaded& l, std::initializer_list<row> want)
{
    int n = 0;
    for (const row& w : want) {
        const star_type* s = l.record(n);
        if (!s) return ::testing::AssertionFailure() << "no record " << n;
        std::string cls = w.spectral_class;
        cls.resize(3, '\0');
        const std::string got[] = {s->name, g7(s->abs_magnitude), g7(s->position.x),
                                   g7(s->position.y), g7(s->position.z),
                                   std::string(s->spectral_class, 3)};
        const std::string expected[] = {w.name, w.magnitude, w.x, w.y, w.z, cls};
        const char* field[] = {"name", "abs_magnitude", "x", "y", "z", "spectral_class"};
        for (int i = 0; i < 6; ++i)
            if (got[i] != expected[i])
                return ::testing::AssertionFailure() << "record " << n << ' ' << field[i] << " is \""
                                                     << got[i] << "\", want \"" << expected[i] << '"';
        ++n;
    }
    return ::testing::AssertionSuccess();
}

const row example[] = {
    {"Example One",  "2.072589", "-2.287176", "17.37282",      "17.83126",   "G2V"},
    {"Test Star B",  "3.857308", "4.204599",  "-3.134339e-05", "-0.9007483", "K1I"},
    {"Near Equator", "2.591931", "-99.99619", "-8.741945e-06", "0.8726535",  "A0"},  // north
    {"Ten Parsec",   "4.83",     "28.25708",  "0",             "-16.31423",  "F5I"},
};
const char* const example_closing = "Fail after reading Ten Parsec at Distance 32.6285\n";

// The record good_line(name) loads into.
row good_row(const std::string& name)
{
    return {name, "2.072589", "-2.287176", "17.37282", "17.83126", "G2V"};
}

std::string replace_all(std::string s, const std::string& from, const std::string& to)
{
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

} // namespace

TEST(CatalogAngles, RightAscension)
{
    EXPECT_EQ(AZ_RAD(0, 0, 0), 0.0f);
    EXPECT_EQ(AZ_RAD(12, 0, 0), 3.1415927f);
    EXPECT_EQ(AZ_RAD(24, 0, 0), 6.2831855f);                     // not reduced to 0
    EXPECT_EQ(g7(AZ_RAD(25, 0, 0)), "6.544985");
    EXPECT_EQ(g7(AZ_RAD(6, 30, 0)), "1.701696");
    EXPECT_EQ(g7(AZ_RAD(23, 59, 59.9f)), "6.283178");
    EXPECT_EQ(g7(AZ_RAD(0, 30, 0)), "0.1308997");
    EXPECT_EQ(g7(AZ_RAD(-0.0f, 30, 0)), "0.1308997");             // negative zero adds too
    EXPECT_EQ(g7(AZ_RAD(-1, 30, 0)), "-0.3926991");               // minutes take the sign
    EXPECT_EQ(g7(AZ_RAD(-1, 0, 1800)), "-0.3926991");             // and so do seconds
    EXPECT_TRUE(std::isnan(AZ_RAD(NAN, 0, 0)));
}

TEST(CatalogAngles, DeclinationTakesTheSignOfTheDegreeField)
{
    EXPECT_EQ(ALT_RAD(0, 0, 0), 0.0f);
    EXPECT_EQ(ALT_RAD(90, 0, 0), 1.5707964f);
    EXPECT_EQ(ALT_RAD(-90, 0, 0), -1.5707964f);
    EXPECT_EQ(g7(ALT_RAD(100, 0, 0)), "1.745329");                // not reduced either
    EXPECT_EQ(g7(ALT_RAD(45, 30, 0)), "0.7941248");
    EXPECT_EQ(g7(ALT_RAD(-12, 5, 30)), "-0.2110394");
    EXPECT_EQ(g7(ALT_RAD(-30, 0, 0)), "-0.5235988");
    EXPECT_EQ(g7(ALT_RAD(0, 30, 0)), "0.008726646");              // north of the equator
    EXPECT_EQ(g7(ALT_RAD(-0.0f, 30, 0)), "-0.008726646");         // south: the sign bit counts
    EXPECT_EQ(g7(ALT_RAD(0, 0, 1800)), "0.008726646");
    EXPECT_EQ(g7(ALT_RAD(-0.0f, 0, 1800)), "-0.008726646");
    EXPECT_EQ(g7(ALT_RAD(1, 30, 0)), "0.02617994");
    EXPECT_EQ(g7(ALT_RAD(-1, 30, 0)), "-0.02617994");
    EXPECT_TRUE(std::isnan(ALT_RAD(NAN, 30, 0)));
}

TEST(CatalogExample, RecordByRecord)
{
    std::ifstream in(example_path);
    ASSERT_TRUE(in.is_open()) << example_path;
    loaded l;
    std::ostringstream report;
    l.result = load_catalog(in, &l.head, report);
    l.report = report.str();
    EXPECT_TRUE(sound(l));
    EXPECT_EQ(l.result, 4);                                       // no unnamed fifth record
    EXPECT_TRUE(records_are(l, {example[0], example[1], example[2], example[3]}));
    EXPECT_EQ(l.report, example_closing);
}

TEST(CatalogExample, FileNameEntryReportsOnStandardOutput)
{
    auto l = load_file(example_path);
    EXPECT_TRUE(sound(*l));
    EXPECT_EQ(l->result, 4);
    EXPECT_TRUE(records_are(*l, {example[0], example[1], example[2], example[3]}));
    EXPECT_EQ(l->report, example_closing);
}

TEST(CatalogExample, SameWithoutFinalLineFeedOrWithCarriageReturns)
{
    const std::string text = file_text(example_path);
    ASSERT_EQ(text.back(), '\n');
    const std::string variants[] = {text.substr(0, text.size() - 1), replace_all(text, "\n", "\r\n"),
                                    replace_all(text, "\n", "\r\n").substr(0, text.size() + 3)};
    for (const std::string& v : variants) {
        SCOPED_TRACE(v.substr(v.size() - 12));
        auto l = load_text(v);
        EXPECT_TRUE(sound(*l));
        EXPECT_EQ(l->result, 4);
        EXPECT_TRUE(records_are(*l, {example[0], example[1], example[2], example[3]}));
        EXPECT_EQ(l->report, example_closing);
    }
}

TEST(CatalogLoad, DeclinationSignThroughTheLoader)
{
    auto l = load_text(catalog_line("Plus", "5.00", "100", "A0", "12 00 00", "+00 30 00") +
                       catalog_line("Bare", "5.00", "100", "A0", "12 00 00", "00 30 00") +
                       catalog_line("Minus", "5.00", "100", "A0", "12 00 00", "-00 30 00"));
    EXPECT_TRUE(sound(*l));
    EXPECT_EQ(l->result, 3);
    EXPECT_TRUE(records_are(*l, {{"Plus", "2.591931", "-99.99619", "-8.741945e-06", "0.8726535", "A0"},
                                 {"Bare", "2.591931", "-99.99619", "-8.741945e-06", "0.8726535", "A0"},
                                 {"Minus", "2.591931", "-99.99619", "-8.741945e-06", "-0.8726535", "A0"}}));
    EXPECT_EQ(l->report, "Fail after reading Minus at Distance 100\n");
}

TEST(CatalogLoad, EmptyOrMissingInputLeavesTheHeadUnfilled)
{
    for (const char* text : {"", "\n", "\t", "\n\n\n", "   "}) {
        SCOPED_TRACE(testing::PrintToString(text));
        auto l = load_text(text);
        EXPECT_TRUE(sound(*l));
        EXPECT_EQ(l->result, 0);
        EXPECT_EQ(l->report, nothing_read);
    }
    temp_dir dir;
    auto missing = load_file((dir.path / "stars.txt").string());
    EXPECT_TRUE(sound(*missing));
    EXPECT_EQ(missing->result, 0);
    EXPECT_EQ(missing->report, nothing_read);
    auto empty = load_file(dir.write("stars.txt", ""));
    EXPECT_TRUE(sound(*empty));
    EXPECT_EQ(empty->result, 0);
    EXPECT_EQ(empty->report, nothing_read);
}

TEST(CatalogLoad, FirstLineFailingLeavesTheHeadUnfilled)
{
    const std::string header = "Name\tHD\tMagnitude\tB-V\tDistance\tx\tClass\tx\tRA\tx\tDec\n";
    const std::string cases[] = {
        header,
        header + good_line("Never Read"),                         // nothing after it is read
        catalog_line("Half", "1.0", "7.5", "G2V", "06 30 00", "junk"),    // fails after its distance
        "Cut Short\t\t1.0\t\t7.5",                                // the file ends in the line
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        auto l = load_text(text);
        EXPECT_TRUE(sound(*l));
        EXPECT_EQ(l->result, 0);
        EXPECT_EQ(l->report, nothing_read);                       // nothing supplied: distance 0
    }
}

TEST(CatalogLoad, FailedLineAddsNothingAndReportsTheLastComplete)
{
    // Every bad line reads its own distance 7.5 before it fails; the closing
    // line still shows the distance of the last complete record.
    const std::string good = good_line("Good") + catalog_line("Ten Parsec", "4.83", "32.628463", "F5IV",
                                                      "00 00 00", "-30 00 00");
    const std::string after = good_line("After");
    const std::string bad[] = {
        catalog_line("Bad", "1.0", "7.5", "G2V", "06 30 00", "north") + after,
        catalog_line("Bad", "1.0", "7.5", "G2V", "06 xx 00", "+45 30 00") + after,
        "Bad\t\t1.0\t\t7.5\t\tG2V\t\t06 30 00\t\t+45 30",            // the file ends in the line
        "Bad\t\t1.0\t\t7.5\t\tG2V\t\t06 30 00\t\t",
        "Bad\t\t1.0\t\t7.5\t\tG2V",
        "Bad\t\t1.0\t\t7.5",
    };
    for (const std::string& b : bad) {
        SCOPED_TRACE(b);
        auto l = load_text(good + b);
        EXPECT_TRUE(sound(*l));
        EXPECT_EQ(l->result, 2);
        EXPECT_TRUE(records_are(*l, {good_row("Good"), example[3]}));
        EXPECT_EQ(l->report, example_closing);
    }
}

TEST(CatalogNames, ShortExactAndOverlong)
{
    const std::string n24 = "Twenty Four Characters!!";
    const std::string n25 = "Twenty Five Characters!!!";
    const std::string n500 = "Long" + std::string(496, '-');
    ASSERT_EQ(n24.size(), 24u);
    ASSERT_EQ(n25.size(), 25u);
    auto l = load_text(good_line("") + good_line(n24) + good_line(n25) + good_line(n500) +
                       good_line("After") + good_line(std::string(100, 'z')));
    EXPECT_TRUE(sound(*l));
    EXPECT_EQ(l->result, 6);                                      // every line loads
    EXPECT_TRUE(records_are(*l, {good_row(""), good_row(n24), good_row(n25.substr(0, 24)),
                                 good_row(n500.substr(0, 24)), good_row("After"),
                                 good_row(std::string(24, 'z'))}));
    EXPECT_EQ(l->report, "Fail after reading " + std::string(24, 'z') + " at Distance 25\n");
}

TEST(CatalogNames, OverlongNameRunningIntoTheNextColumns)
{
    // A name without its tab swallows the columns up to the next tab; the line
    // then reads out of step and fails at a column that is not a number.
    auto l = load_text(good_line("Good") + std::string(40, 'n') + "G2V\t\t06 30 00\t\t+45 30 00\n");
    EXPECT_TRUE(sound(*l));
    EXPECT_EQ(l->result, 1);
    EXPECT_EQ(l->report, "Fail after reading Good at Distance 25\n");
}

TEST(CatalogClassWords, CutToFifteenAndTheLineStillLoads)
{
    const std::string w16 = "ABCDEFGHIJKLMNOP", w1000 = "MZ" + std::string(998, 'q');
    auto l = load_text(catalog_line("One", "1.50", "25.00", "K", "06 30 00", "+45 30 00") +
                       catalog_line("Three", "1.50", "25.00", "G2V", "06 30 00", "+45 30 00") +
                       catalog_line("Sixteen", "1.50", "25.00", w16, "06 30 00", "+45 30 00") +
                       catalog_line("Thousand", "1.50", "25.00", w1000, "06 30 00", "+45 30 00") +
                       catalog_line("Words", "1.50", "25.00", w1000 + " and more", "06 30 00", "+45 30 00") +
                       catalog_line("Ten Parsec", "4.83", "32.628463", "F5IV", "00 00 00", "-30 00 00"));
    EXPECT_TRUE(sound(*l));
    EXPECT_EQ(l->result, 6);
    row one = good_row("One"), sixteen = good_row("Sixteen"), thousand = good_row("Thousand"),
        words = good_row("Words");
    one.spectral_class = "K";
    sixteen.spectral_class = "ABC";
    thousand.spectral_class = words.spectral_class = "MZq";
    EXPECT_TRUE(records_are(*l, {one, good_row("Three"), sixteen, thousand, words, example[3]}));
    EXPECT_EQ(l->report, example_closing);
}

TEST(CatalogColumns, EmptySkippedColumnsLoadEmptyReadColumnsFail)
{
    // Skipped columns may be empty or hold text; the columns that are read may
    // not: the read steps over the empty column's tab and gets out of step.
    auto ok = load_text("Filled\tx y\t1.50 mag\tz\t25.00 ly\tq\tG2V dwarf\tn\t06 30 00\t0\t"
                        "+45 30 00\tand text after the last column\n");
    EXPECT_TRUE(sound(*ok));
    EXPECT_EQ(ok->result, 1);
    EXPECT_TRUE(records_are(*ok, {good_row("Filled")}));

    const std::string bad[] = {
        catalog_line("Bad", "", "7.5", "G2V", "06 30 00", "+45 30 00"),
        catalog_line("Bad", "1.0", "", "G2V", "06 30 00", "+45 30 00"),
        catalog_line("Bad", "1.0", "7.5", "", "06 30 00", "+45 30 00"),
        catalog_line("Bad", "1.0", "7.5", "G2V", "", "+45 30 00"),
        catalog_line("Bad", "1.0", "7.5", "G2V", "06 30 00", ""),
        catalog_line("Bad", "", "", "", "", ""),
    };
    for (const std::string& b : bad) {
        SCOPED_TRACE(b);
        auto l = load_text(good_line("Good") + b);
        EXPECT_TRUE(sound(*l));
        EXPECT_EQ(l->result, 1);
        EXPECT_EQ(l->report, "Fail after reading Good at Distance 25\n");
    }
}

TEST(CatalogColumns, LongestTextThatStaysInStep)
{
    // Up to 99 characters of skipped text before a tab, and up to 199 after
    // the last number of a line, leave the next reads in step.
    const std::string skip(99, 'k'), rest = " " + std::string(98, 'r');
    const std::string text = "Wide\t" + skip + "\t1.50" + rest + "\t" + skip + "\t25.00" + rest +
                             "\t" + skip + "\tG2V" + rest + "\t" + skip + "\t06 30 00" + rest +
                             "\t" + skip + "\t+45 30 00\t" + std::string(198, 'a') + "\n" +
                             good_line("Next");
    auto l = load_text(text);
    EXPECT_TRUE(sound(*l));
    EXPECT_EQ(l->result, 2);
    EXPECT_TRUE(records_are(*l, {good_row("Wide"), good_row("Next")}));
}

TEST(CatalogNumbers, TextThatIsNoNumberEndsTheLoad)
{
    // Out of range, not-a-number and infinity are not read as numbers either.
    const std::string bad[] = {
        catalog_line("Bad", "1e39", "7.5", "G2V", "06 30 00", "+45 30 00"),
        catalog_line("Bad", "-1e39", "7.5", "G2V", "06 30 00", "+45 30 00"),
        catalog_line("Bad", "nan", "7.5", "G2V", "06 30 00", "+45 30 00"),
        catalog_line("Bad", "inf", "7.5", "G2V", "06 30 00", "+45 30 00"),
        catalog_line("Bad", "-", "7.5", "G2V", "06 30 00", "+45 30 00"),
        catalog_line("Bad", "+", "7.5", "G2V", "06 30 00", "+45 30 00"),
        catalog_line("Bad", ".", "7.5", "G2V", "06 30 00", "+45 30 00"),
        catalog_line("Bad", "1.0", "1e39", "G2V", "06 30 00", "+45 30 00"),
        catalog_line("Bad", "1.0", "NaN", "G2V", "06 30 00", "+45 30 00"),
        catalog_line("Bad", "1.0", "7.5", "G2V", "inf 30 00", "+45 30 00"),
        catalog_line("Bad", "1.0", "7.5", "G2V", "06 - 00", "+45 30 00"),
        catalog_line("Bad", "1.0", "7.5", "G2V", "06 30 00", "-"),
        catalog_line("Bad", "1.0", "7.5", "G2V", "06 30 00", "+45 30 nan"),
        catalog_line("Bad", "1.0", "7.5", "G2V", "06 30 00", "+45 30 1e39"),
    };
    for (const std::string& b : bad) {
        SCOPED_TRACE(b);
        auto l = load_text(good_line("Good") + b + good_line("After"));
        EXPECT_TRUE(sound(*l));
        EXPECT_EQ(l->result, 1);
        EXPECT_TRUE(records_are(*l, {good_row("Good")}));
        EXPECT_EQ(l->report, "Fail after reading Good at Distance 25\n");
    }
}

TEST(CatalogNumbers, OtherSpellingsOfTheSameNumberLoadAlike)
{
    auto l = load_text(catalog_line("A", "+1.50", "25", "G2V", "6 30 0", "45 30 00") +
                       catalog_line("B", "15e-1", "2.5e1", "G2V", "06.0 30.0 00.0", "+45.0 30 0") +
                       catalog_line("C", "1.50mag", "25.00ly", "G2V", "06 30 00", "+45 30 00 north") +
                       catalog_line("D", "1e-50", "25", "G2V", "06 30 00", "+45 30 00") +
                       catalog_line("E", "-0", "25", "G2V", "06 30 00", "+45 30 00"));
    EXPECT_TRUE(sound(*l));
    EXPECT_EQ(l->result, 5);
    EXPECT_TRUE(records_are(*l, {good_row("A"), good_row("B"), good_row("C")}));
    EXPECT_EQ(l->record(3)->abs_magnitude, l->record(4)->abs_magnitude);  // 1e-50 reads as 0
    EXPECT_NEAR(l->record(4)->abs_magnitude, 2.072589f - 1.5f, 1e-6f);
}

TEST(CatalogNumbers, DistancesAreNotValidated)
{
    auto l = load_text(catalog_line("Zero", "1.0", "0", "G2V", "06 30 00", "+45 30 00") +
                       catalog_line("Behind", "1.0", "-10", "G2V", "00 00 00", "00 00 00") +
                       catalog_line("Far", "1.0", "3e38", "G2V", "06 30 00", "+45 30 00") +
                       catalog_line("Odd", "1.0", "10", "G2V", "25 00 00", "100 00 00"));
    EXPECT_TRUE(sound(*l));
    ASSERT_EQ(l->result, 4);
    const star_type *zero = l->record(0), *behind = l->record(1), *far = l->record(2),
                    *odd = l->record(3);
    EXPECT_TRUE(std::isinf(zero->abs_magnitude) && zero->abs_magnitude > 0);
    EXPECT_TRUE(zero->position.x == 0 && zero->position.y == 0 && zero->position.z == 0);
    EXPECT_TRUE(std::isnan(behind->abs_magnitude));
    EXPECT_TRUE(behind->position.x == -10 && behind->position.y == 0 && behind->position.z == 0);
    EXPECT_TRUE(std::isfinite(far->abs_magnitude) && std::isfinite(far->position.z));
    EXPECT_GT(far->position.z, 2e38f);
    EXPECT_NEAR(odd->position.length(), 10.0f, 1e-5f);           // odd angles, same distance
    EXPECT_EQ(l->report, "Fail after reading Odd at Distance 10\n");
}

TEST(CatalogBytes, NulBytesInColumns)
{
    const std::string nul(1, '\0');
    auto l = load_text(good_line("Ab" + nul + "cd") +
                       catalog_line("Skip", "1.50", "25.00", "G2V", "06 30 00", "+45 30 00").insert(5, nul) +
                       catalog_line("Class", "1.50", "25.00", "G" + nul + "V", "06 30 00", "+45 30 00") +
                       catalog_line("Bad", nul, "7.5", "G2V", "06 30 00", "+45 30 00"));
    EXPECT_TRUE(sound(*l));
    EXPECT_EQ(l->result, 3);
    row cls = good_row("Class");
    cls.spectral_class = "G";
    EXPECT_TRUE(records_are(*l, {good_row("Ab"), good_row("Skip"), cls}));
    EXPECT_EQ(l->report, "Fail after reading Class at Distance 25\n");

    auto zeros = load_text(std::string(4096, '\0'));
    EXPECT_TRUE(sound(*zeros));
    EXPECT_EQ(zeros->result, 0);
}

TEST(CatalogLarge, MegabyteWithoutTabOrLineFeed)
{
    const size_t megabyte = 1 << 20;
    std::string lines;
    while (lines.size() < megabyte) lines += "a line without any tab in it\n";
    for (const std::string& text : {std::string(megabyte, 'x'), lines}) {
        auto l = load_text(text);
        EXPECT_TRUE(sound(*l));
        EXPECT_EQ(l->result, 0);
        EXPECT_EQ(l->report, nothing_read);
    }

    // One good line whose trailing text runs on to the end without a line feed.
    std::string tail = good_line("Good");
    tail.back() = '\t';
    tail += std::string(megabyte, 'y');
    auto l = load_text(tail);
    EXPECT_TRUE(sound(*l));
    EXPECT_EQ(l->result, 1);
    EXPECT_TRUE(records_are(*l, {good_row("Good")}));
    EXPECT_EQ(l->report, "Fail after reading Good at Distance 25\n");

    // Numbers and tabs only: read out of step, but every pass takes up text.
    std::string numbers;
    while (numbers.size() < megabyte) numbers += "1\t";
    auto n = load_text(numbers);
    EXPECT_TRUE(sound(*n));
    EXPECT_GT(n->result, 1000);
}

TEST(CatalogFiles, UnreadablePathsLoadNothing)
{
    temp_dir dir;
    std::filesystem::create_directory(dir.path / "stars.txt");
    const std::string regular = dir.write("plain.txt", good_line("Good"));
    const std::string paths[] = {
        (dir.path / "stars.txt").string(),                        // a directory
        regular + "/stars.txt",                                   // under a regular file
        "/proc/self/mem",                                         // opens, every read fails
    };
    for (const std::string& p : paths) {
        SCOPED_TRACE(p);
        auto l = load_file(p);
        EXPECT_TRUE(sound(*l));
        EXPECT_EQ(l->result, 0);
        EXPECT_EQ(l->report, nothing_read);
    }
    auto readable = load_file(regular);                           // the same text, readable
    EXPECT_EQ(readable->result, 1);
    EXPECT_TRUE(records_are(*readable, {good_row("Good")}));
}
