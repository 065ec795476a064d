// The catalog shipped in data/: the loader reads all of it, the well-known
// stars land where they are, and it is what the converter makes of its source.
#include "engine/catalog.h"
#include "catalog_convert.h"
#include "engine/stars.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

const std::string shipped_path = STARHOP_SOURCE_DIR "/data/stars.txt";
// The converter's source sits beside the project, not in it.
const std::string source_path = STARHOP_SOURCE_DIR "/../shared/catalogs/hipparcos-tycho.dat";

// Loads the shipped catalog once for every test here.
class ShippedCatalog : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        text = new std::string(file_text(shipped_path));
        std::istringstream in(*text);
        std::ostringstream report;
        stars = std::make_unique<star_list>();
        head = stars->first();
        count = load_catalog(in, head, report);
        closing = new std::string(report.str());
    }
    static void TearDownTestSuite()
    {
        stars.reset();
        head = nullptr;
        delete text;
        delete closing;
    }
    static const star_type* find(const char* name)
    {
        for (const star_type* s = head; s; s = s->next)
            if (std::string(s->name) == name) return s;
        return nullptr;
    }

    static std::string* text;
    static std::string* closing;
    static std::unique_ptr<star_list> stars;
    static star_type* head;                     // the first of stars
    static int count;
};

std::string* ShippedCatalog::text = nullptr;
std::string* ShippedCatalog::closing = nullptr;
std::unique_ptr<star_list> ShippedCatalog::stars;
star_type* ShippedCatalog::head = nullptr;
int ShippedCatalog::count = 0;

constexpr double pi = 3.14159265358979323846;

// Right ascension in hours, 0 to 24, and declination in degrees.
double right_ascension_hours(const star_type& s)
{
    double a = std::atan2((double)s.position.y, (double)s.position.x);
    if (a < 0) a += 2 * pi;
    return a * 12 / pi;
}
double declination_degrees(const star_type& s)
{
    return (double)(std::asin(s.position.z / s.position.length()) * 180) / pi;
}

} // namespace

TEST_F(ShippedCatalog, LoaderReadsEveryLine)
{
    ASSERT_FALSE(text->empty()) << shipped_path;
    ASSERT_EQ(text->back(), '\n');
    long lines = 0;
    for (char c : *text) lines += c == '\n';
    EXPECT_GT(lines, 120000);
    EXPECT_EQ(count, lines);

    // The load ran to the end of the file: the closing line names the last
    // line's star and its distance.
    const std::size_t last_begin = text->rfind('\n', text->size() - 2) + 1;
    const std::string last = text->substr(last_begin, text->size() - 1 - last_begin);
    const std::string last_name = last.substr(0, last.find('\t'));
    std::istringstream fields(last);
    std::string column;
    for (int i = 0; i < 5; ++i) std::getline(fields, column, '\t');
    std::ostringstream want;
    want << "Fail after reading " << last_name << " at Distance " << std::stof(column) << "\n";
    EXPECT_EQ(*closing, want.str());
}

TEST_F(ShippedCatalog, SiriusWhereItShouldBe)
{
    const star_type* s = find("Sirius");
    ASSERT_NE(s, nullptr);
    EXPECT_NEAR(s->position.length(), 8.6, 0.05);
    EXPECT_NEAR(right_ascension_hours(*s), 6 + 45 / 60.0 + 8.9 / 3600, 0.05 / 3600);
    EXPECT_NEAR(declination_degrees(*s), -(16 + 42 / 60.0 + 58 / 3600.0), 0.5 / 3600);
    EXPECT_NEAR(seen_from(s->abs_magnitude, s->position.length()), -1.44, 0.01);
    EXPECT_EQ(s->spectral_class[0], 'A');
}

TEST_F(ShippedCatalog, SunOneAstronomicalUnitAwayAtTheEquinox)
{
    ASSERT_STREQ(head->name, "Sun");                    // brighter than all, so first
    EXPECT_EQ(head->position.x, 1.5813e-5f);            // right ascension 0, declination +0
    EXPECT_EQ(head->position.y, 0.0f);
    EXPECT_EQ(head->position.z, 0.0f);
    EXPECT_NEAR(seen_from(head->abs_magnitude, head->position.length()), -26.74, 0.01);
    EXPECT_EQ(std::string(head->spectral_class, 3), "G2V");
}

TEST_F(ShippedCatalog, OtherBrightStarsByNameAndDistance)
{
    struct { const char* name; double light_years; char type; } bright[] = {
        {"Canopus", 313.6, 'F'}, {"Vega", 25.30, 'A'}, {"Betelgeuse", 429.2, 'M'}, {"Rigel Kentaurus", 4.395, 'G'},
    };
    for (const auto& b : bright) {
        const star_type* s = find(b.name);
        ASSERT_NE(s, nullptr) << b.name;
        EXPECT_NEAR(s->position.length(), b.light_years, b.light_years * 1e-3) << b.name;
        EXPECT_EQ(s->spectral_class[0], b.type) << b.name;
    }
}

TEST(ShippedCatalogSource, RegeneratingGivesTheSameBytes)
{
    std::ifstream source(source_path);
    if (!source) GTEST_SKIP() << "no source catalog at " << source_path;
    std::ostringstream out, errors;
    const conversion_counts counts = convert_catalog(source, source_path, out, errors);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(counts.bad_lines, 0);
    EXPECT_EQ(counts.lines_written + counts.no_parallax, counts.stars_read + 1);   // the Sun
    EXPECT_TRUE(out.str() == file_text(shipped_path)) << "data/stars.txt is not what the converter writes";
}
