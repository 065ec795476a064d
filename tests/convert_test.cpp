// The catalog converter on real lines of the Hipparcos/Tycho source, and what
// the viewer's loader makes of its output; the built program on files that are
// no catalog.
#include "engine/catalog.h"
#include "catalog_convert.h"
#include "engine/stars.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Real source lines, copied verbatim.
const std::string sirius     = "064508.92 -164258.0 -000546.0-001223.100379.2 -1.4400.01A0 1            , alp CMa, Sirius";
const std::string canopus    = "062357.11 -524144.4 +000020.0+000023.700010.4 -0.6200.16F0 0            , alp Car, Canopus";
const std::string mintaka    = "053200.40 -001756.7 +000001.7+000000.600003.6 02.25-0.17O9 1 0.10   0.00, del Ori, Mintaka";
const std::string del_cet    = "023928.96 +001942.7 +000014.4-000002.500005.0 04.08-0.21B2 0 0.03   0.16, del Cet";
const std::string mu_vel     = "104646.18 -492513.0 +000062.5-000053.600028.2 02.6900.90G5 1            , mu  Vel";
const std::string ten_tau    = "033652.38 +002406.0 -000232.7-000482.000072.9 04.2900.57F9 0            , 10  Tau";
const std::string atlas      = "034909.74 +240312.3 +000017.8-000044.700008.6 03.62-0.07B8 1            ,        , Atlas";
const std::string xi_uma     = "111811.24 +313150.8 +000000.0+000000.000000.0 03.7900.61G0 0            , xi  UMa";
const std::string g_unknown  = "003500.86 +424141.2 -000171.4-000073.700044.0 08.0000.87G? 0";
const std::string blank_type = "080814.42 -610437.4 +000075.3+000190.200008.8 06.7700.65   1";
const std::string a_blank    = "114759.14 +201308.2 -000145.5-000004.000014.4 04.5000.55A  1";
const std::string sixty_sec  = "001460.00 -360937.4 +000025.4+000016.400002.8 08.0901.48K? 0";

catalog_star convert(const std::string& line)
{
    catalog_star star;
    std::string problem;
    EXPECT_EQ(read_source_line(line, star, problem), source_line::star) << problem;
    return star;
}

std::vector<std::string> columns(const std::string& line)
{
    std::vector<std::string> out(1);
    for (char c : line)
        if (c == '\t') out.emplace_back();
        else out.back().push_back(c);
    return out;
}

// Loads catalog text through the viewer's loader; the records are copied out
// and the list freed.
std::vector<star_type> load(const std::string& text, int* count = nullptr)
{
    const catalog_load l = load_catalog_text(text);
    if (count) *count = l.result;
    return l.stars;
}

double declination_of(const star_type& s) { return std::asin(s.position.z / s.position.length()); }

// `text` told apart as a table, then converted as the converter does it: from
// the first row after what the recogniser read as the header. `name` is the
// file's name in the messages.
struct table_converted {
    table_counts counts;
    std::string out, errors;
};
table_converted convert_table_text(const std::string& text, const char* name)
{
    table_converted c;
    std::istringstream probe(text);
    table_layout layout;
    long long lines_before = 0;
    refusal why;
    if (recognise_source(probe, layout, lines_before, why) != source_kind::table) {
        ADD_FAILURE() << "not told apart as a table: " << why.reason;
        return c;
    }
    std::istringstream rows(text);
    std::string skipped;
    for (long long i = 0; i < lines_before; ++i) std::getline(rows, skipped);
    std::ostringstream out, errors;
    c.counts = convert_table(rows, layout, lines_before, name, out, errors);
    c.out = out.str();
    c.errors = errors.str();
    return c;
}

} // namespace

TEST(ConvertLine, BrightStarsKeepTheirFiguresAndCommonNames)
{
    EXPECT_EQ(catalog_line(convert(sirius)), "Sirius\t\t-1.44\t\t8.6012\t\tA0\t\t06 45 08.92\t\t-16 42 58.0");
    EXPECT_EQ(catalog_line(convert(canopus)), "Canopus\t\t-0.62\t\t313.6119\t\tF0\t\t06 23 57.11\t\t-52 41 44.4");

    // Every line has the eleven columns, the skipped ones empty.
    const std::vector<std::string> c = columns(catalog_line(convert(mintaka)));
    ASSERT_EQ(c.size(), 11u);
    for (int skipped : {1, 3, 5, 7, 9}) EXPECT_EQ(c[skipped], "");
    EXPECT_EQ(c[0], "Mintaka");
    EXPECT_EQ(c[2], "2.25");
    EXPECT_NEAR(std::stod(c[4]), 3261.5638 / 3.6, 5e-5);
}

TEST(ConvertLine, NameFallsBackToDesignationThenEmpty)
{
    EXPECT_EQ(convert(mu_vel).name, "mu Vel");          // Bayer, the padding squeezed
    EXPECT_EQ(convert(ten_tau).name, "10 Tau");         // Flamsteed
    EXPECT_EQ(convert(del_cet).name, "del Cet");
    EXPECT_EQ(convert(atlas).name, "Atlas");            // common name with a blank designation
    EXPECT_EQ(convert(g_unknown).name, "");
    EXPECT_EQ(columns(catalog_line(convert(g_unknown)))[0], "");

    // A name longer than the loader keeps is cut to 24 characters, and a blank
    // left at the cut goes too.
    EXPECT_EQ(convert(sirius + " the Dog Star and more").name, "Sirius the Dog Star and");
    EXPECT_EQ(convert(sirius + " the Dog Star of Egypt").name, "Sirius the Dog Star of E");
}

TEST(ConvertLine, ClassIsTheSourceTypeAndNeverEmpty)
{
    EXPECT_EQ(convert(g_unknown).spectral_class, "G?");
    EXPECT_EQ(convert(a_blank).spectral_class, "A");
    EXPECT_EQ(convert(blank_type).spectral_class, unknown_class);
    EXPECT_STRNE(unknown_class, "");

    // Through the loader, a blank type must not pull the next column into the
    // class, and the lines after it must still be read in step.
    int count = 0;
    const std::vector<star_type> stars =
        load(catalog_line(convert(blank_type)) + "\n" + catalog_line(convert(sirius)) + "\n", &count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(std::string(stars[0].spectral_class, 1), unknown_class);
    EXPECT_STREQ(stars[1].name, "Sirius");
    EXPECT_EQ(std::string(stars[1].spectral_class, 2), "A0");
}

TEST(ConvertLine, ZeroParallaxIsLeftOutAndCounted)
{
    catalog_star star;
    std::string problem;
    EXPECT_EQ(read_source_line(xi_uma, star, problem), source_line::no_parallax);

    std::istringstream source("# header\n#\n" + sirius + "\n" + xi_uma + "\n" + canopus + "\n");
    std::ostringstream out, errors;
    const conversion_counts counts = convert_catalog(source, "src.dat", out, errors);
    EXPECT_EQ(counts.stars_read, 3);
    EXPECT_EQ(counts.no_parallax, 1);
    EXPECT_EQ(counts.lines_written, 3);                 // the Sun, Sirius, Canopus
    EXPECT_EQ(counts.named, 3);
    EXPECT_EQ(counts.bad_lines, 0);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(out.str().find("xi UMa"), std::string::npos);
}

TEST(ConvertLine, DeclinationSignIsAlwaysWritten)
{
    EXPECT_EQ(convert(mintaka).declination, "-00 17 56.7");
    EXPECT_EQ(convert(del_cet).declination, "+00 19 42.7");
    EXPECT_EQ(convert(ten_tau).declination, "+00 24 06.0");

    // The loader puts each on its own side of the equator.
    const std::vector<star_type> stars =
        load(catalog_line(convert(mintaka)) + "\n" + catalog_line(convert(del_cet)) + "\n");
    ASSERT_EQ(stars.size(), 2u);
    EXPECT_NEAR(declination_of(stars[0]), -(17 + 56.7 / 60) / 60 * M_PI / 180, 1e-6);
    EXPECT_NEAR(declination_of(stars[1]), (19 + 42.7 / 60) / 60 * M_PI / 180, 1e-6);
}

TEST(ConvertLine, SixtySecondsCarryIntoTheMinute)
{
    EXPECT_EQ(convert(sixty_sec).right_ascension, "00 15 00.00");
    EXPECT_EQ(convert("235960.00" + sixty_sec.substr(9)).right_ascension, "00 00 00.00");
    EXPECT_EQ(convert(sixty_sec.substr(0, 10) + "-005960.0" + sixty_sec.substr(19)).declination, "-01 00 00.0");
    EXPECT_EQ(convert(sixty_sec.substr(0, 10) + "+895960.0" + sixty_sec.substr(19)).declination, "+90 00 00.0");
}

TEST(ConvertLine, BadLinesAreReportedWithTheirNumberAndSkipped)
{
    const std::vector<std::string> bad = {
        sirius.substr(0, 59),                                   // cut short
        sirius.substr(0, 38) + "0037x.2" + sirius.substr(45),   // letter in the parallax
        " " + sirius,                                           // columns slipped
        "001461.00" + sixty_sec.substr(9),                      // 61 seconds
        "240000.00" + sixty_sec.substr(9),                      // hour 24
        sixty_sec.substr(0, 10) + "+900000.1" + sixty_sec.substr(19),  // beyond the pole
        sixty_sec.substr(0, 10) + " 360937.4" + sixty_sec.substr(19),  // no sign
        sirius.substr(0, 45) + "  -.  " + sirius.substr(51),    // magnitude without digits
    };
    std::string text = sirius + "\n";
    for (const std::string& line : bad) text += line + "\n";
    text += canopus + "\n";

    std::istringstream source(text);
    std::ostringstream out, errors;
    const conversion_counts counts = convert_catalog(source, "src.dat", out, errors);
    EXPECT_EQ(counts.bad_lines, (long)bad.size());
    EXPECT_EQ(counts.lines_written, 3);
    std::istringstream reported(errors.str());
    std::string message;
    for (std::size_t i = 0; i < bad.size(); ++i) {
        ASSERT_TRUE(std::getline(reported, message));
        EXPECT_EQ(message.rfind("src.dat:" + std::to_string(i + 2) + ": ", 0), 0u) << message;
    }
    EXPECT_FALSE(std::getline(reported, message));
}

TEST(ConvertCatalog, SunFirstThenSourceOrderSameOnEveryRun)
{
    const std::string text = canopus + "\r\n" + sirius + "\n" + mintaka;   // CR LF, no final line feed
    std::string runs[2];
    for (std::string& run : runs) {
        std::istringstream source(text);
        std::ostringstream out, errors;
        convert_catalog(source, "src.dat", out, errors);
        run = out.str();
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(runs[0], "Sun\t\t-26.74\t\t0.000015813\t\tG2V\t\t00 00 00.00\t\t+00 00 00.0\n" +
                           catalog_line(convert(canopus)) + "\n" + catalog_line(convert(sirius)) + "\n" +
                           catalog_line(convert(mintaka)) + "\n");
}

// A table written out in our format loads as the table itself does, to the
// rounding of the written text (hundredths of a second of time, tenths of
// arc, ten-thousandths of a light year), with the same names and classes.
TEST(ConvertTable, WrittenLinesLoadAsTheTableDoes)
{
    const std::string hyg = "id,hip,hd,bf,proper,ra,dec,dist,mag,spect\n"
                            "1,32349,48915,9Alp CMa,Sirius,6.752472222,-16.716111111,2.637,-1.46,A1V\n"
                            "2,,,,,1,2,100000,3,G\n"
                            "3,,1234,,,0.0001,-0.01,10,3,\n"
                            "4,,,,,23.99999999,89.9,1500,12.5,M5e\n";
    const std::string gaia = "# %ECSV 1.0\nsource_id,ra,dec,parallax,phot_g_mean_mag,bp_rp\n"
                             "42,279.234583333,38.783611111,130.208485037,0.03,0.1\n"
                             "43,0,0,-1,5,0\n";
    struct table { const std::string& text; const char* skipped; };
    for (const table& t : {table{hyg, "t.csv:3: row without a usable distance skipped\n"},
                           table{gaia, "t.csv:4: row without a usable distance skipped\n"}}) {
        const std::string& text = t.text;
        SCOPED_TRACE(text);
        const table_converted c = convert_table_text(text, "t.csv");
        const table_counts& counts = c.counts;
        EXPECT_EQ(counts.skipped[unreadable], 0);
        EXPECT_EQ(c.errors, t.skipped);
        int direct_count = 0, written_count = 0;
        const std::vector<star_type> direct = load(text, &direct_count);
        const std::vector<star_type> written = load(c.out, &written_count);
        EXPECT_EQ(counts.lines_written, direct_count);
        ASSERT_EQ(written_count, direct_count);
        EXPECT_EQ(counts.skipped[no_distance], 1);
        for (int i = 0; i < direct_count; ++i) {
            EXPECT_STREQ(written[i].name, direct[i].name);
            const float d = direct[i].position.length();
            EXPECT_TRUE(same_vector(written[i].position, direct[i].position, 2e-6f * d + 1e-4f)) << direct[i].name;
            EXPECT_NEAR(written[i].abs_magnitude, direct[i].abs_magnitude, 0.006f);   // two decimals written
        }
    }
    // A row that cannot be read is skipped, named by its line and column as
    // the loader names it, and the rows after it written.
    const table_converted bad = convert_table_text("ra,dec,dist,mag\n1,2,3,4\n1,two,3,4\n1,2,3,4\n", "t.csv");
    EXPECT_EQ(bad.counts.skipped[unreadable], 1);
    EXPECT_EQ(bad.counts.rows, 3);
    EXPECT_EQ(bad.counts.lines_written, 2);
    EXPECT_EQ(bad.errors, "t.csv:3:3: dec column (field 2) holds \"two\", not a number; row skipped\n");
}

// HYG's row of Sol, at the distance 0, is written as the Sun the shipped
// catalog begins with, one astronomical unit away in the row's direction.
TEST(ConvertTable, HygSolWrittenAsTheSun)
{
    const table_converted sol =
        convert_table_text("id,hip,proper,ra,dec,dist,mag,spect\n0,0,Sol,0.0,0.0,0.0000,-26.74,G2V\n", "hyg.csv");
    EXPECT_EQ(sol.counts.lines_written, 1);
    EXPECT_EQ(sol.errors, "");
    const std::string shipped = file_text(STARHOP_SOURCE_DIR "/data/stars.txt");
    EXPECT_EQ(sol.out, shipped.substr(0, shipped.find('\n') + 1));
}

TEST(ConvertTable, SourcesToldByTheirContent)
{
    struct expected { std::string text; source_kind kind; };
    const expected cases[] = {
        {"ra,dec,dist,mag\n1,2,3,4\n", source_kind::table},
        {"\xef\xbb\xbf# meta\n# more\nra,dec,parallax,phot_g_mean_mag\n1,2,3,4\n", source_kind::table},
        {"ra,dec,dist,mag\n\n \r\n1,2,3,4\n", source_kind::table},
        {"Sirius\t\t-1.46\t\t8.6\t\tA1V\t\t06 45 08.9\t\t-16 42 58\n", source_kind::ours},
        {"\n \t\r\nSirius\t\t-1.46\t\t8.6\t\tA1V\t\t06 45 08.9\t\t-16 42 58", source_kind::ours},
        {"Sirius\t\t-1.46\t\t8.6\t\tA1V\t\t06 45 08.9\t\t-16 42 58\nanything\n", source_kind::ours},
        {sirius + "\n", source_kind::fixed_columns},
        {"# header\n\n" + xi_uma + "\r\n", source_kind::fixed_columns},
    };
    for (const expected& e : cases) {
        SCOPED_TRACE(e.text);
        std::istringstream in(e.text);
        table_layout layout;
        long long lines_before;
        refusal why;
        EXPECT_EQ(recognise_source(in, layout, lines_before, why), e.kind) << why.reason;
    }
}

// What is none of the formats, or holds nothing to convert, is refused with
// the line to blame and why.
TEST(ConvertTable, NoCatalogIsRefused)
{
    struct expected { std::string text; long long line; std::string reason; };
    const expected cases[] = {
        {"", 0, "is empty, not a catalog"},
        {"\n\n", 0, "not a catalog: only comments and blank lines"},
        {"# a\n#b\n \n", 0, "not a catalog: only comments and blank lines"},
        {"ra,dec,dist,mag\n\n", 0, "not a catalog: a table header and no row"},
        {std::string("\x7f" "ELF\x02\x01\x01\0\0\0\t\x03\n", 13) + sirius + "\n", 1,
         "not a catalog: a NUL byte, so binary data"},
        {"#\n" + std::string("ab\0c\td\n", 7), 2, "not a catalog: a NUL byte, so binary data"},
        {"hello\tworld\n", 1,
         "not a catalog: as a line of starhop's format, the line ends before its last column, in its magnitude column"},
        {"Sirius\t\tbright\t\t8.6\t\tA1V\t\t06 45 08.9\t\t-16 42 58\n", 1,
         "not a catalog: as a line of starhop's format, its magnitude column holds \"bright\", not a number"},
        // The viewer reads no comments in its own format.
        {"# stars\nSirius\t\t-1.46\t\t8.6\t\tA1V\t\t06 45 08.9\t\t-16 42 58\n", 1,
         "not a catalog: as a line of starhop's format, the line ends before its last column, in its name column"},
        {"# notes\n\nA star list of mine.\n" + sirius + "\n", 3,
         "not a catalog: as a line of the Hipparcos/Tycho list, line too short (20 characters, want at least 60)"},
    };
    for (const expected& e : cases) {
        SCOPED_TRACE(e.text);
        std::istringstream in(e.text);
        table_layout layout;
        long long lines_before;
        refusal why;
        EXPECT_EQ(recognise_source(in, layout, lines_before, why), source_kind::refused);
        EXPECT_EQ(why.line, e.line);
        EXPECT_EQ(why.reason, e.reason);
    }
}

namespace {

// Runs the built converter on `args` (shell words); its exit status, with
// what it wrote on standard error in `errors`.
int run_converter(const temp_dir& dir, const std::string& args, std::string& errors)
{
    const std::string command = std::string("'") + CONVERT_BINARY + "' " + args + " >'" + dir.file("stdout") +
                                "' 2>'" + dir.file("stderr") + "' </dev/null";
    const int status = std::system(command.c_str());
    errors = dir.read("stderr");
    std::remove(dir.file("stdout").c_str());
    std::remove(dir.file("stderr").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

// A program, an empty file and a directory are refused with status 2 and a
// message naming them; the output is not made, or left as it was.
TEST(ConvertProgram, RefusesWhatIsNoCatalogAndWritesNothing)
{
    temp_dir dir;
    const std::string program = STARHOP_BINARY;
    const std::string empty = dir.write("empty.txt", "");
    const std::string notes = dir.write("notes.txt", "# to do\n\n");
    std::filesystem::create_directory(dir.file("folder"));
    const std::pair<std::string, std::string> cases[] = {
        {program, program + ":1: not a catalog: a NUL byte, so binary data; nothing written\n"},
        {empty, empty + ": is empty, not a catalog; nothing written\n"},
        {notes, notes + ": not a catalog: only comments and blank lines; nothing written\n"},
        {dir.file("folder"), dir.file("folder") + ": is a directory, not a catalog; nothing written\n"},
    };
    const std::vector<std::string> files = dir.names();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        std::string errors;
        EXPECT_EQ(run_converter(dir, "'" + c.first + "' '" + dir.file("new.txt") + "'", errors), 2);
        EXPECT_EQ(errors, c.second);
        EXPECT_EQ(dir.names(), files);                          // no output, no scratch file left

        dir.write("old.txt", "kept\n");
        EXPECT_EQ(run_converter(dir, "'" + c.first + "' '" + dir.file("old.txt") + "'", errors), 2);
        EXPECT_EQ(dir.read("old.txt"), "kept\n");
        std::remove(dir.file("old.txt").c_str());
    }

    // A catalog converts into place, replacing what was there, with no scratch file left.
    const std::string ours = good_line("Vega") + "\n" + good_line("Deneb") + "\n";
    dir.write("ours.txt", ours);
    dir.write("old.txt", "old\n");
    std::string errors;
    EXPECT_EQ(run_converter(dir, "'" + dir.file("ours.txt") + "' '" + dir.file("old.txt") + "'", errors), 0) << errors;
    EXPECT_EQ(dir.read("old.txt"), ours);
    std::vector<std::string> expected = files;
    expected.push_back("old.txt");
    expected.push_back("ours.txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dir.names(), expected);
}
