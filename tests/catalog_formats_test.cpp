// The catalogs as their sources write them: HYG and Gaia tables in CSV, and
// gzip of any catalog. The same stars given in each form load alike, each
// table's rules (units, names, classes, skipped rows, HYG's Sun) hold as
// worked by hand, and a table's row that cannot be read is skipped, counted
// and named, alike whether the table is read whole, in pieces or gzipped.
#include "engine/catalog.h"
#include "engine/catalog_formats.h"
#include "engine/stars.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace {

// Three stars, their values written by hand in each form: our format in
// light years and sexagesimal angles, HYG in parsecs and decimal hours, Gaia
// in milliarcseconds and decimal degrees, all for the same places.
const std::string ours =
    "Sirius\t\t-1.46\t\t8.60073372\t\tA1V\t\t06 45 08.9\t\t-16 42 58\n"
    "Arcturus\t\t-0.05\t\t36.7251656\t\tK1.5III\t\t14 15 39.7\t\t+19 10 57\n"
    "Vega\t\t0.03\t\t25.0487808\t\tA0Va\t\t18 36 56.3\t\t+38 47 01\n";
const std::string hyg =
    "id,hip,hd,hr,gl,bf,proper,ra,dec,dist,pmra,pmdec,rv,mag,absmag,spect,ci\n"
    "32263,32349,48915,2491,Gl 244A,9Alp CMa,Sirius,6.752472222,-16.716111111,2.637,-546.01,-1223.07,-5.5,-1.46,1.43,A1V,0.009\n"
    "69451,69673,124897,5340,Gl 541,16Alp Boo,Arcturus,14.261027778,19.1825,11.26,-1093.39,-2000.06,-5.2,-0.05,-0.3,K1.5III,1.239\n"
    "91020,91262,172167,7001,Gl 721,3Alp Lyr,Vega,18.615638889,38.783611111,7.68,200.94,286.23,-13.9,0.03,0.6,A0Va,-0.001\n";
const std::string gaia =
    "source_id,ra,dec,parallax,parallax_over_error,phot_g_mean_mag,bp_rp\n"
    "2947050466531873024,101.287083333,-16.716111111,379.219251076,160.3,-1.46,-0.02\n"
    "1275876111923436928,213.915416667,19.1825,88.810050185,120.5,-0.05,1.5\n"
    "2099906640426524160,279.234583333,38.783611111,130.208485037,200.1,0.03,0.1\n";

// Worked by hand (in double precision, from the values above).
struct by_hand { const char* name; float abs_magnitude; vector position; };
const by_hand stars_by_hand[] = {
    {"Sirius", 1.406796f, vector(-1.612242f, 8.077962f, -2.473828f)},
    {"Arcturus", -0.3043067f, vector(-28.78465f, -19.35373f, 12.06709f)},
    {"Vega", 0.5983975f, vector(3.133466f, -19.27289f, 15.69008f)},
};

::testing::AssertionResult same_star(const star_type& got, const star_type& want)
{
    const float tol = 2e-6f * want.position.length();          // float rounding of each path
    if (!same_vector(got.position, want.position, tol)) return same_vector(got.position, want.position, tol);
    if (std::fabs(got.abs_magnitude - want.abs_magnitude) > 2e-6f)
        return ::testing::AssertionFailure() << "magnitude " << got.abs_magnitude << " against " << want.abs_magnitude;
    return ::testing::AssertionSuccess();
}

std::string name_of(const star_type& s) { return std::string(s.name); }
std::string class_of(const star_type& s) { return std::string(s.spectral_class, strnlen(s.spectral_class, 3)); }

} // namespace

TEST(CatalogFormats, TheSameStarsInEveryForm)
{
    const catalog_load from_ours = load_catalog_text(ours);
    const catalog_load from_hyg = load_catalog_text(hyg);
    const catalog_load from_gaia = load_catalog_text(gaia);
    ASSERT_EQ(from_ours.result, 3);
    ASSERT_EQ(from_hyg.result, 3);
    ASSERT_EQ(from_gaia.result, 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(stars_by_hand[i].name);
        star_type want;
        want.star_set(stars_by_hand[i].name, stars_by_hand[i].abs_magnitude, stars_by_hand[i].position, "");
        EXPECT_TRUE(same_star(from_ours.stars[i], want));
        EXPECT_TRUE(same_star(from_hyg.stars[i], want));
        EXPECT_TRUE(same_star(from_gaia.stars[i], want));
        EXPECT_EQ(name_of(from_hyg.stars[i]), stars_by_hand[i].name);   // HYG's proper name
    }
    EXPECT_EQ(class_of(from_hyg.stars[1]), "K1.");                    // the first three characters
    EXPECT_EQ(name_of(from_gaia.stars[0]), "DR3 2947050466531873024");
    EXPECT_EQ(class_of(from_gaia.stars[0]), "B");                     // from the colour index
    EXPECT_EQ(class_of(from_gaia.stars[1]), "K");
    EXPECT_EQ(class_of(from_gaia.stars[2]), "A");
    // The closing line and its silence as for our format.
    EXPECT_EQ(from_hyg.report, "Fail after reading Vega at Distance 25.0488\n");
    EXPECT_EQ(from_gaia.report, "Fail after reading DR3 2099906640426524160 at Distance 25.0488\n");
    EXPECT_EQ(from_hyg.errors, "");
    EXPECT_EQ(from_gaia.errors, "");
}

TEST(CatalogFormats, HeadersInAnyOrderWithOtherColumns)
{
    struct expected { std::string text; table_kind kind; int ra, magnitude; long long lines_before; };
    const expected cases[] = {
        {"ra,dec,dist,mag\n", table_kind::hyg, 0, 3, 1},
        {"MAG, Dist ,x,\"dec\",RA\r\n1", table_kind::hyg, 4, 0, 1},
        {"\xef\xbb\xbfid,ra,dec,dist,mag\n", table_kind::hyg, 1, 4, 1},
        {"parallax,phot_g_mean_mag,dec,ra", table_kind::gaia, 3, 1, 0},   // the whole input, no line feed
        {"# %ECSV 1.0\n# ---\n# datatype: []\nsolution_id,ra,dec,parallax,phot_g_mean_mag\n", table_kind::gaia, 1, 4, 4},
        {"ra,dec,dist,mag,parallax,phot_g_mean_mag\n", table_kind::gaia, 0, 5, 1},   // both: Gaia's
        {"ra,dec,dist\n", table_kind::none, -1, -1, 0},
        {"ra,dec,parallax,mag\n", table_kind::none, -1, -1, 0},
        {"name,magnitude,distance\n", table_kind::none, -1, -1, 0},
        {"Sirius\t\t-1.46\t\t8.6\t\tA1V\t\t06 45 08.9\t\t-16 42 58\n", table_kind::none, -1, -1, 0},
        {"# ra,dec,dist,mag\n", table_kind::none, -1, -1, 0},
    };
    for (const expected& e : cases) {
        SCOPED_TRACE(e.text);
        table_layout layout;
        size_t data_start = 0;
        long long lines_before = -1;
        const recognition r = recognise_table(e.text.data(), e.text.data() + e.text.size(), true, layout, data_start,
                                              lines_before);
        EXPECT_EQ(r, e.kind == table_kind::none ? recognition::not_table : recognition::table);
        if (r != recognition::table) continue;
        EXPECT_EQ(layout.kind, e.kind);
        EXPECT_EQ(layout.ra, e.ra);
        EXPECT_EQ(layout.magnitude, e.magnitude);
        EXPECT_EQ(lines_before, e.lines_before);
    }
    // A header line not yet all there asks for more, unless nothing follows.
    const std::string cut = "# meta\nra,dec,dist,m";
    table_layout layout;
    size_t data_start;
    long long lines_before;
    EXPECT_EQ(recognise_table(cut.data(), cut.data() + cut.size(), false, layout, data_start, lines_before),
              recognition::more);
    EXPECT_EQ(recognise_table(cut.data(), cut.data() + 2, false, layout, data_start, lines_before), recognition::more);

    // Looking like CSV but naming none of the columns: our format, failing there.
    const catalog_load plain = load_catalog_text("name,magnitude,distance\nSirius,-1.46,8.6\n");
    EXPECT_EQ(plain.result, 0);
    EXPECT_EQ(plain.errors, "stars.txt:1: the line ends before its last column, in its name column; "
                            "0 stars loaded, the rest of the file skipped\n");
}

TEST(CatalogFormats, QuotesEmptyFieldsNullsAndLineEnds)
{
    const std::string header = "proper,bf,hip,ra,dec,dist,mag,spect\r\n";
    const std::string rows =
        "\"Smith, \"\"the\"\" Star\",,1,1.0,2.0,10,5.0,\"G2V\"\r\n"    // a comma and quotes in a quoted name
        "  \" Padded \" ,,2,1.0,2.0,10,5.0,G\r\n"                       // blanks around the quotes
        ",,3,\"1.0\",2.0,10,5.0,\r\n"                                  // a quoted number, an empty class
        ",,4,1.0,2.0,10,5.0\r\n";                                      // no line end, and one field short
    const catalog_load l = load_catalog_text("\xef\xbb\xbf" + header + rows.substr(0, rows.size() - 2));
    EXPECT_EQ(l.result, 3);
    ASSERT_GE(l.stars.size(), 3u);
    EXPECT_EQ(name_of(l.stars[0]), "Smith, \"the\" Star");
    EXPECT_EQ(class_of(l.stars[0]), "G2V");
    EXPECT_EQ(name_of(l.stars[1]), " Padded ");
    EXPECT_EQ(name_of(l.stars[2]), "HIP 3");
    EXPECT_EQ(class_of(l.stars[2]), "");
    EXPECT_EQ(l.errors, "stars.txt:5:19: the row has 7 fields, too few for its spect column (field 8); row skipped\n"
                        "stars.txt: 1 row that cannot be read skipped\n");

    // null and empty values are missing ones; the last line may lack its feed.
    const std::string survey = "ra,dec,parallax,phot_g_mean_mag,bp_rp\n"
                               "10,20,100,5,null\n"
                               "10,20,null,5,0.5\n"
                               "10,20,,5,0.5\n"
                               "10,20,100,NULL,0.5\n"
                               "10,20,100,5,";
    const catalog_load g = load_catalog_text(survey);
    EXPECT_EQ(g.result, 2);
    ASSERT_EQ(g.stars.size(), 2u);
    EXPECT_EQ(class_of(g.stars[0]), "");                               // no colour, no class
    EXPECT_EQ(name_of(g.stars[0]), "Gaia 1");                          // the row's number
    EXPECT_EQ(name_of(g.stars[1]), "Gaia 5");
    EXPECT_EQ(g.errors, "stars.txt:3: row without a usable distance skipped\n"
                        "stars.txt:4: row without a usable distance skipped\n"
                        "stars.txt:5: row without a magnitude skipped\n"
                        "stars.txt: 2 rows without a usable distance skipped\n"
                        "stars.txt: 1 row without a magnitude skipped\n");
}

TEST(CatalogFormats, HygRowsByTheirRules)
{
    const std::string header = "id,hip,hd,bf,proper,ra,dec,dist,mag,spect\n";
    struct expected { std::string row, name, class_word; };
    const expected kept[] = {
        {"1,2,3,Bf,Proper,0,0,10,1,G2V", "Proper", "G2V"},
        {"1,2,3,9Alp CMa,,0,0,10,1,K1.5III", "9Alp CMa", "K1."},
        {"1,2,3,,,0,0,10,1,", "HIP 2", ""},
        {"1,,3,,,0,0,10,1,M", "HD 3", "M"},
        {"1,0,0,,,0,0,10,1,M", "HYG 1", "M"},
        {"7,,,,A name much longer than twenty-four,0,0,10,1,M", "A name much longer than ", "M"},
        {"7,,,,Twenty-three letters ab\xc3\xa9,0,0,10,1,M", "Twenty-three letters ab", "M"},  // not inside a character
    };
    for (const expected& e : kept) {
        SCOPED_TRACE(e.row);
        const catalog_load l = load_catalog_text(header + e.row + "\n");
        ASSERT_EQ(l.result, 1);
        EXPECT_EQ(name_of(l.stars[0]), e.name);
        EXPECT_EQ(class_of(l.stars[0]), e.class_word);
    }
    // Hours and parsecs: 6 hours is the y axis; 1 parsec is 3.26156 light years.
    const catalog_load axis = load_catalog_text(header + "1,,,,,6,0,1,1,G\n" + "2,,,,,0,90,2,1,G\n");
    ASSERT_EQ(axis.result, 2);
    EXPECT_TRUE(same_vector(axis.stars[0].position, vector(0, 3.26156f, 0), 1e-6f));
    EXPECT_TRUE(same_vector(axis.stars[1].position, vector(0, 0, 6.52312f), 1e-6f));
    EXPECT_FLOAT_EQ(axis.stars[0].abs_magnitude, absolute_magnitude(1.0f, 3.26156f));

    // Distances HYG does not know are skipped, named and counted; so is the
    // distance 0 of any star but Sol.
    const catalog_load skipped = load_catalog_text(header + "1,,,,,0,0,,1,G\n" + "2,,,,Sun,0,0,0,1,G\n" +
                                                   "3,,,,,0,0,-5,1,G\n" + "4,,,,,0,0,100000,1,G\n" +
                                                   "5,,,,,0,0,99999,1,G\n" + "6,,,,,0,0,10,,G\n" + "7,,,,,,0,10,1,G\n");
    EXPECT_EQ(skipped.result, 1);
    EXPECT_EQ(skipped.errors, "stars.txt:2: row without a usable distance skipped\n"
                              "stars.txt:3: row without a usable distance skipped\n"
                              "stars.txt:4: row without a usable distance skipped\n"
                              "stars.txt:5: row without a usable distance skipped\n"
                              "stars.txt:7: row without a magnitude skipped\n"
                              "stars.txt:8: row without a position skipped\n"
                              "stars.txt: 4 rows without a usable distance skipped\n"
                              "stars.txt: 1 row without a magnitude skipped\n"
                              "stars.txt: 1 row without a position skipped\n");
}

// HYG gives the Sun, as Sol, the distance 0: it loads as the Sun the shipped
// catalog begins with, named so and one astronomical unit away, in its row's
// direction.
TEST(CatalogFormats, HygSolIsTheSun)
{
    const std::string shipped = file_text(STARHOP_SOURCE_DIR "/data/stars.txt");
    const catalog_load sun = load_catalog_text(shipped.substr(0, shipped.find('\n') + 1));
    ASSERT_EQ(sun.result, 1);
    ASSERT_EQ(name_of(sun.stars[0]), "Sun");

    const std::string header = "id,hip,hd,hr,gl,bf,proper,ra,dec,dist,pmra,pmdec,rv,mag,absmag,spect,ci\n";
    const std::string vega = "91020,91262,172167,7001,Gl 721,3Alp Lyr,Vega,18.615638889,38.783611111,7.68,200.94,"
                             "286.23,-13.9,0.03,0.6,A0Va,-0.001\n";
    const float au = 0.000015813f;
    struct expected { const char* ra; const char* dec; vector position; };
    const expected directions[] = {
        {"0.000000", "0.000000", vector(au, 0, 0)},             // where HYG has it
        {"6", "0", vector(0, au, 0)},
        {"3", "0", vector(au * 0.70710678f, au * 0.70710678f, 0)},
        {"0", "-90", vector(0, 0, -au)},
    };
    for (const expected& d : directions) {
        SCOPED_TRACE(d.ra + std::string(" ") + d.dec);
        const std::string sol = std::string("0,,,,,,Sol,") + d.ra + "," + d.dec + ",0.0000,0.00,0.00,0.00,-26.74,4.85,G2V,0.656\n";
        const catalog_load l = load_catalog_text(header + sol + vega);
        ASSERT_EQ(l.result, 2);
        EXPECT_EQ(name_of(l.stars[0]), "Sun");
        EXPECT_EQ(class_of(l.stars[0]), "G2V");
        EXPECT_TRUE(same_vector(l.stars[0].position, d.position, 1e-11f));
        EXPECT_FLOAT_EQ(l.stars[0].abs_magnitude, sun.stars[0].abs_magnitude);
        EXPECT_EQ(name_of(l.stars[1]), "Vega");
        EXPECT_EQ(l.errors, "");                                // nothing skipped
    }
    // At the March equinox, as the shipped catalog has it: the same record.
    const catalog_load at_equinox = load_catalog_text(header + "0,,,,,,Sol,0,0,0,0,0,0,-26.74,4.85,G2V,0.656\n");
    ASSERT_EQ(at_equinox.result, 1);
    EXPECT_TRUE(same_star(at_equinox.stars[0], sun.stars[0]));
}

TEST(CatalogFormats, GaiaRowsByTheirRules)
{
    const std::string header = "ra,dec,parallax,parallax_over_error,phot_g_mean_mag,bp_rp,source_id\n";
    // Below each limit the colour gives the hotter class, at it the cooler.
    struct colour { const char* bp_rp; const char* class_word; };
    const colour colours[] = {{"-1", "O"}, {"-0.35", "B"}, {"-0.01", "B"}, {"0", "A"},  {"0.39", "A"},
                              {"0.4", "F"}, {"0.75", "G"},  {"0.99", "G"},  {"1", "K"}, {"1.8", "M"}, {"4", "M"}};
    std::string rows;
    for (const colour& c : colours) rows += std::string("90,0,1,5,10,") + c.bp_rp + ",42\n";
    const catalog_load l = load_catalog_text(header + rows);
    ASSERT_EQ(l.result, (int)(sizeof colours / sizeof colours[0]));
    for (size_t i = 0; i < l.stars.size(); ++i) EXPECT_EQ(class_of(l.stars[i]), colours[i].class_word) << colours[i].bp_rp;
    EXPECT_EQ(name_of(l.stars[0]), "DR3 42");
    // Degrees and milliarcseconds: 90 degrees is the y axis, 1 mas 3261.5638 light years.
    EXPECT_TRUE(same_vector(l.stars[0].position, vector(0, 3261.5638f, 0), 1e-3f));

    const catalog_load skipped = load_catalog_text(header + "0,0,10,4.99,5,0,1\n" + "0,0,10,,5,0,2\n" + "0,0,0,9,5,0,3\n" +
                                                   "0,0,-1,9,5,0,4\n" + "0,0,10,5,5,0,5\n");
    EXPECT_EQ(skipped.result, 1);
    EXPECT_EQ(name_of(skipped.stars[0]), "DR3 5");
    EXPECT_EQ(skipped.errors, "stars.txt:2: row without a usable distance skipped\n"
                              "stars.txt:3: row without a usable distance skipped\n"
                              "stars.txt:4: row without a usable distance skipped\n"
                              "stars.txt:5: row without a usable distance skipped\n"
                              "stars.txt: 4 rows without a usable distance skipped\n");
    // Without a parallax_over_error column, any positive parallax serves.
    EXPECT_EQ(load_catalog_text("ra,dec,parallax,phot_g_mean_mag\n0,0,0.001,20\n").result, 1);

    // Many skipped rows: the first five named, all told with thousands separators.
    std::string many = header;
    for (int i = 0; i < 12004; ++i) many += "0,0,-1,1,5,0,1\n";
    EXPECT_EQ(load_catalog_text(many + "0,0,10,9,5,0,2\n").errors,
              "stars.txt:2: row without a usable distance skipped\n"
              "stars.txt:3: row without a usable distance skipped\n"
              "stars.txt:4: row without a usable distance skipped\n"
              "stars.txt:5: row without a usable distance skipped\n"
              "stars.txt:6: row without a usable distance skipped\n"
              "stars.txt: 12,004 rows without a usable distance skipped\n");
}

// A row that cannot be read is named by its line and column (in characters,
// as an editor counts them) and why, skipped and counted; the rows after it
// load.
TEST(CatalogFormats, RowsThatCannotBeReadAreSkipped)
{
    const std::string header = "# comment\nra,dec,dist,mag,proper\n";
    const std::string good = "1,2,10,5,Good\n";
    struct expected { std::string row, message; };
    const std::string rest = "; row skipped\nstars.txt: 1 row that cannot be read skipped\n";
    const expected cases[] = {
        {"1,north,10,5,Bad", "stars.txt:4:3: dec column (field 2) holds \"north\", not a number" + rest},
        {"1,2,10, 5 mag ,Bad", "stars.txt:4:9: mag column (field 4) holds \"5 mag\", not a number" + rest},
        {"1,2,inf,5,Bad", "stars.txt:4:5: dist column (field 3) holds \"inf\", not a number" + rest},
        {"1,2,1e999,5,Bad", "stars.txt:4:5: dist column (field 3) holds \"1e999\", not a number" + rest},
        {"1,\"2\",\"x\",5,Bad", "stars.txt:4:8: dist column (field 3) holds \"x\", not a number" + rest},
        {"x\x01y,2,,5,Bad", "stars.txt:4:1: ra column (field 1) holds \"x\\x01y\", not a number" + rest},  // even in a row skipped
        {"1,2,10", "stars.txt:4:7: the row has 3 fields, too few for its mag column (field 4)" + rest},
        {"1,2,10\xc2\xb0\r", "stars.txt:4:8: the row has 3 fields, too few for its mag column (field 4)" + rest},
        {"1,2,10,5,\"Bad", "stars.txt:4:10: a quoted field is not closed before the line ends, in field 5" + rest},
    };
    for (const expected& e : cases) {
        SCOPED_TRACE(e.row);
        const catalog_load l = load_catalog_text(header + good + e.row + "\n" + good);
        EXPECT_EQ(l.result, 2);
        EXPECT_EQ(l.report, "Fail after reading Good at Distance 32.6156\n");
        EXPECT_EQ(l.errors, e.message);
    }
    // Characters, not bytes: a name in UTF-8 before the field.
    const catalog_load utf8 = load_catalog_text("proper,ra,dec,dist,mag\n\xc3\x86tna \xe2\x98\x86,1,x,10,5\n");
    EXPECT_EQ(utf8.errors, "stars.txt:2:10: dec column (field 3) holds \"x\", not a number" + rest);
    // Blank lines and comments between rows are passed over.
    EXPECT_EQ(load_catalog_text(header + good + "\n \r\n# note\n" + good).result, 2);
}

// One malformed row in the middle of a HYG table and of a Gaia table, 79
// rows in all: the 78 others load, in order, and the row is named.
TEST(CatalogFormats, MalformedRowInTheMiddleOfATable)
{
    struct table {
        const char* header;
        std::string (*row)(int);
        const char* bad_row;
        const char* message;
        const char* name_prefix;
    };
    const table tables[] = {
        {"proper,ra,dec,dist,mag\n", [](int i) { return "Star " + std::to_string(i) + ",1.5,20,10,5"; },
         "Star 41,1.5,20,ten,5",
         "stars.txt:42:16: dist column (field 4) holds \"ten\", not a number; row skipped\n", "Star "},
        {"# %ECSV 1.0\nsource_id,ra,dec,parallax,phot_g_mean_mag\n",
         [](int i) { return std::to_string(i) + ",22.5,20,100,5"; }, "41,22.5,\"20,100,5",
         "stars.txt:43:9: a quoted field is not closed before the line ends, in field 3; row skipped\n", "DR3 "},
    };
    for (const table& t : tables) {
        SCOPED_TRACE(t.header);
        std::string text = t.header;
        for (int i = 1; i <= 79; ++i) text += (i == 41 ? std::string(t.bad_row) : t.row(i)) + "\n";
        const temp_file file(text);
        for (const catalog_load& l : {load_catalog_text(text), load_catalog_text(text, file.path(), 300, 2)}) {
            ASSERT_EQ(l.result, 78);
            for (int i = 1, k = 0; i <= 79; ++i) {
                if (i == 41) continue;
                EXPECT_EQ(name_of(l.stars[(size_t)k++]), t.name_prefix + std::to_string(i));
            }
            EXPECT_EQ(l.errors, std::string(t.message) + "stars.txt: 1 row that cannot be read skipped\n");
        }
    }
}

// Of each reason the first five rows are named, in the order of the file,
// and all are counted; the rows between them load. Alike read whole, handed
// out a few bytes at a time, from a file in pieces of every size on several
// threads, and gzipped.
TEST(CatalogFormats, FirstFiveNamedTheRestCounted)
{
    const std::string text = "proper,ra,dec,dist,mag\n"
                             "A,1,2,10,5\n"         // 2
                             "B,1,x,10,5\n"         // 3: cannot be read
                             "C,1,2,,5\n"           // 4: no distance
                             "D,1,2,10,5 m\n"       // 5: cannot be read
                             "E,1,2,0,5\n"          // 6: no distance
                             "F,1,2\n"              // 7: cannot be read
                             "G,1,2,100000,5\n"     // 8: no distance
                             "H,\"1,2,10,5\n"       // 9: cannot be read
                             "I,1,2,-1,5\n"         // 10: no distance
                             "J,1,2,10,\n"          // 11: no magnitude
                             "K,y,2,10,5\n"         // 12: cannot be read
                             "L,1,2,,5\n"           // 13: no distance
                             "M,1,2,nan%,5\n"       // 14: cannot be read, only counted
                             "N,1,2,,5\n"           // 15: no distance, only counted
                             "O,1,2,10,5\n"         // 16
                             "P,1,2,10,zz\n";       // 17: cannot be read, only counted
    const std::string told = "stars.txt:3:5: dec column (field 3) holds \"x\", not a number; row skipped\n"
                             "stars.txt:4: row without a usable distance skipped\n"
                             "stars.txt:5:10: mag column (field 5) holds \"5 m\", not a number; row skipped\n"
                             "stars.txt:6: row without a usable distance skipped\n"
                             "stars.txt:7:6: the row has 3 fields, too few for its dist column (field 4); row skipped\n"
                             "stars.txt:8: row without a usable distance skipped\n"
                             "stars.txt:9:3: a quoted field is not closed before the line ends, in field 2; row skipped\n"
                             "stars.txt:10: row without a usable distance skipped\n"
                             "stars.txt:11: row without a magnitude skipped\n"
                             "stars.txt:12:3: ra column (field 2) holds \"y\", not a number; row skipped\n"
                             "stars.txt:13: row without a usable distance skipped\n"
                             "stars.txt: 7 rows that cannot be read skipped\n"
                             "stars.txt: 6 rows without a usable distance skipped\n"
                             "stars.txt: 1 row without a magnitude skipped\n";
    const catalog_load whole = load_catalog_text(text);
    ASSERT_EQ(whole.result, 2);
    EXPECT_EQ(name_of(whole.stars[0]), "A");
    EXPECT_EQ(name_of(whole.stars[1]), "O");
    EXPECT_EQ(whole.report, "Fail after reading O at Distance 32.6156\n");
    EXPECT_EQ(whole.errors, told);

    const std::string packed = gzip_of(text);
    const temp_file file(text), packed_file(packed);
    std::vector<catalog_load> others = {load_catalog_text(packed), load_catalog_text(packed, packed_file.path())};
    for (unsigned seed = 1; seed <= 8; ++seed) others.push_back(load_catalog_trickled(text, seed));
    for (long long piece : {1, 2, 3, 7, 20, 64, 1000})
        for (unsigned threads : {1u, 2u, 3u}) others.push_back(load_catalog_text(text, file.path(), piece, threads));
    for (size_t k = 0; k < others.size(); ++k) {
        SCOPED_TRACE(k);
        const catalog_load& l = others[k];
        EXPECT_EQ(l.result, whole.result);
        EXPECT_EQ(l.report, whole.report);
        EXPECT_EQ(l.errors, told);
        ASSERT_EQ(l.stars.size(), whole.stars.size());
        for (size_t i = 0; i < whole.stars.size(); ++i) EXPECT_EQ(name_of(l.stars[i]), name_of(whole.stars[i]));
    }
}

// A table's numbers are the doubles from_chars makes of their text, bit for
// bit, however they are spelt: at the edges of what can be converted with one
// exact operation (15 digits, powers of ten up to 22) and beyond them.
TEST(CatalogFormats, NumbersAsFromChars)
{
    const char header[] = "ra,dec,dist,mag\n";
    table_layout layout;
    std::size_t start;
    long long lines;
    ASSERT_EQ(recognise_table(header, header + sizeof header - 1, true, layout, start, lines), recognition::table);
    auto check = [&](const std::string& text) {
        SCOPED_TRACE(text);
        double want;
        const std::from_chars_result r = std::from_chars(text.data(), text.data() + text.size(), want);
        const bool number = r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(want);
        const std::string row = "1," + text + ",10," + text;
        table_star t;
        skip_reason why;
        row_problem problem;
        const row_outcome got = read_table_row(layout, row.data(), row.data() + row.size(), 1, t, why, problem);
        if (!number) {
            EXPECT_EQ(got, row_outcome::failed);
            return;
        }
        ASSERT_EQ(got, row_outcome::star) << problem.text;
        EXPECT_EQ(std::memcmp(&t.dec_degrees, &want, sizeof want), 0) << t.dec_degrees << " against " << want;
        EXPECT_EQ(std::memcmp(&t.magnitude, &want, sizeof want), 0) << t.magnitude << " against " << want;
    };
    for (const char* text : {"4.35", "0.1", "-0", "-0.0", "0e-30", "5.", ".5", "-.5", "1E+05", "1e-05", "1e-0",
                             "123456789012345", "1234567890123456", "999999999999999.9", "9007199254740993",
                             "0.000000000000000000001", "0.0000000000000000000001", "0.00000000000000000000001",
                             "1e22", "1e23", "1e-22", "1e-23", "123456789012345e7", "123456789012345e8",
                             "1.23456789012345e-8", "00000000000000000000000012.5", "1e022", "1e0022", "1e-022",
                             "2.2250738585072014e-308", "4.9e-324", "1e-400", "1.7976931348623157e308",
                             "0.30000000000000004", "9.999999999999999e22", "8.98846567431158e307",
                             "1e", "1e+", "1e-", ".", "-", "e5", ".e5", "1.2.3", "0x10", "1 2", "--1", "1e5x", "1d5"})
        check(text);
    std::mt19937_64 random(19);
    for (int i = 0; i < 20000; ++i) {
        std::string text = random() % 4 == 0 ? "-" : "";
        text.append(random() % 8 == 0 ? random() % 20 : 0, '0');
        const int digits = 1 + (int)(random() % 18), dot = (int)(random() % (digits + 2));
        for (int d = 0; d < digits; ++d) {
            if (d == dot) text += '.';
            text += (char)('0' + random() % 10);
        }
        if (random() % 3 == 0) text += (random() % 2 ? "e" : "E") + std::to_string((int)(random() % 61) - 30);
        check(text);
    }
}

TEST(CatalogFormats, TablesReadByThreadsAsFromTheStart)
{
    std::string text = "# %ECSV 1.0\n" "source_id,ra,dec,parallax,parallax_over_error,phot_g_mean_mag,bp_rp\n";
    std::string damaged = text;
    for (int i = 0; i < 3000; ++i) {
        const std::string row = std::to_string(1000 + i) + "," + std::to_string(i % 360) + "," +
                                std::to_string(i % 180 - 90) + "," + std::to_string(i % 7 - 1) + ",9," +
                                std::to_string(5 + i % 11) + ",0.5\n";
        text += row;
        damaged += i % 250 == 3 ? "1,2,3\n" : row;                  // twelve rows that cannot be read
    }
    for (const std::string& t : {text, damaged}) {
        const catalog_load stream = load_catalog_text(t);
        EXPECT_EQ(stream.errors.find("stars.txt: 12 rows that cannot be read skipped\n") != std::string::npos,
                  t != text);
        const temp_file file(t);
        for (unsigned threads : {1u, 2u, 3u}) {
            SCOPED_TRACE(threads);
            const catalog_load pieces = load_catalog_text(t, file.path(), 1000, threads);
            EXPECT_EQ(pieces.result, stream.result);
            EXPECT_EQ(pieces.report, stream.report);
            EXPECT_EQ(pieces.errors, stream.errors);
            ASSERT_EQ(pieces.stars.size(), stream.stars.size());
            for (size_t i = 0; i < stream.stars.size(); ++i) {
                EXPECT_EQ(name_of(pieces.stars[i]), name_of(stream.stars[i]));
                EXPECT_TRUE(same_vector(pieces.stars[i].position, stream.stars[i].position));
            }
        }
    }
    // The first piece giving no star: the caller's record is still the first.
    std::string late = "ra,dec,parallax,phot_g_mean_mag\n";
    for (int i = 0; i < 200; ++i) late += "0,0,-1,5\n";
    late += "0,0,10,5\n";
    const temp_file file(late);
    const catalog_load l = load_catalog_text(late, file.path(), 100, 2);
    EXPECT_EQ(l.result, 1);
    EXPECT_EQ(l.errors, "stars.txt:2: row without a usable distance skipped\n"
                        "stars.txt:3: row without a usable distance skipped\n"
                        "stars.txt:4: row without a usable distance skipped\n"
                        "stars.txt:5: row without a usable distance skipped\n"
                        "stars.txt:6: row without a usable distance skipped\n"
                        "stars.txt: 200 rows without a usable distance skipped\n");
    // Rows named by their numbers are counted across the pieces, skipped
    // rows among them, and the closing line names the last one so.
    for (const char* header : {"ra,dec,parallax,phot_g_mean_mag\n", "ra,dec,dist,mag\n"}) {
        SCOPED_TRACE(header);
        std::string numbered = header;
        for (int i = 0; i < 300; ++i) numbered += i % 50 == 7 ? "0,0,,5\n" : "0,0,10,5\n";
        const temp_file numbered_file(numbered);
        const catalog_load n = load_catalog_text(numbered, numbered_file.path(), 100, 2);
        const catalog_load stream = load_catalog_text(numbered);
        ASSERT_EQ(n.result, 294);
        const std::string prefix = header[7] == 'p' ? "Gaia " : "HYG ";
        EXPECT_EQ(name_of(n.stars[0]), prefix + "1");
        EXPECT_EQ(name_of(n.stars[7]), prefix + "9");
        EXPECT_EQ(name_of(n.stars[293]), prefix + "300");
        EXPECT_EQ(n.report, stream.report);
        for (size_t i = 0; i < n.stars.size(); ++i) EXPECT_EQ(name_of(n.stars[i]), name_of(stream.stars[i]));
    }
}

TEST(CatalogFormats, GzipOfEveryForm)
{
    for (const std::string& plain : {ours, hyg, gaia}) {
        const catalog_load want = load_catalog_text(plain);
        const std::string packed = gzip_of(plain);
        const temp_file file(packed);
        for (const catalog_load& got : {load_catalog_text(packed), load_catalog_text(packed, file.path())}) {
            EXPECT_EQ(got.result, want.result);
            EXPECT_EQ(got.report, want.report);
            EXPECT_EQ(got.errors, "");
            ASSERT_EQ(got.stars.size(), want.stars.size());
            for (size_t i = 0; i < want.stars.size(); ++i) {
                EXPECT_EQ(name_of(got.stars[i]), name_of(want.stars[i]));
                EXPECT_TRUE(same_vector(got.stars[i].position, want.stars[i].position));
            }
        }
    }
    // Two members one after the other read as one stream.
    EXPECT_EQ(load_catalog_text(gzip_of(ours) + gzip_of(ours)).result, 6);
    EXPECT_EQ(load_catalog_text(gzip_of(hyg) + gzip_of(hyg.substr(hyg.find('\n') + 1))).result, 6);
}

TEST(CatalogFormats, DamagedGzipKeepsTheStarsBefore)
{
    std::string many;
    for (int i = 0; i < 20000; ++i) many += "Star " + std::to_string(i) + "\t\t1.5\t\t25\t\tG2V\t\t06 30 00\t\t+45 30 00\n";
    const std::string packed = gzip_of(many);
    ASSERT_GT(packed.size(), 1000u);
    // Cut short: the whole lines before the cut stay, the cut line goes.
    const catalog_load cut = load_catalog_text(packed.substr(0, packed.size() / 2));
    EXPECT_GT(cut.result, 1000);
    EXPECT_LT(cut.result, 20000);
    ASSERT_FALSE(cut.stars.empty());
    EXPECT_EQ(name_of(cut.stars.back()), "Star " + std::to_string(cut.result - 1));
    const std::string where = "stars.txt:" + std::to_string(cut.result + 1) + ": the compressed data ends early, after byte ";
    EXPECT_EQ(cut.errors.compare(0, where.size(), where), 0) << cut.errors;
    EXPECT_NE(cut.errors.find("; " + std::to_string(cut.result) + " stars loaded, the rest of the file cannot be read\n"),
              std::string::npos) << cut.errors;
    // Its trailer gone: every star read, and still the damage told.
    const catalog_load no_trailer = load_catalog_text(packed.substr(0, packed.size() - 4));
    EXPECT_EQ(no_trailer.result, 20000);
    EXPECT_NE(no_trailer.errors.find("the compressed data ends early"), std::string::npos);
    // Its check sum wrong: every star read, and the damage told.
    std::string wrong_sum = packed;
    wrong_sum[packed.size() - 8] = (char)~wrong_sum[packed.size() - 8];
    const catalog_load sum = load_catalog_text(wrong_sum);
    EXPECT_EQ(sum.result, 20000);
    EXPECT_NE(sum.errors.find(": the compressed data is damaged (incorrect data check), near byte "), std::string::npos)
        << sum.errors;
    // Bytes changed in the middle: what came before is kept as it was (the
    // garbage after may first stop the load as a bad line).
    std::string changed = packed;
    for (size_t i = packed.size() / 2; i < packed.size() / 2 + 16; ++i) changed[i] = (char)~changed[i];
    const catalog_load bad = load_catalog_text(changed);
    EXPECT_LT(bad.result, 20000);
    EXPECT_GT(bad.result, 1000);
    for (int i = 0; i < bad.result; i += 997) EXPECT_EQ(name_of(bad.stars[(size_t)i]), "Star " + std::to_string(i));
    EXPECT_NE(bad.errors, "");
    // Just the two marking bytes.
    const catalog_load bare = load_catalog_text("\x1f\x8b");
    EXPECT_EQ(bare.result, 0);
    EXPECT_NE(bare.errors.find("the compressed data ends early"), std::string::npos) << bare.errors;
}
