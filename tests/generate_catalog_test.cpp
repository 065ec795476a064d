// The synthetic catalogs behind the benchmarks: the same seed gives the same
// bytes, every line loads, and the stars are spread as the benchmarks assume
// (most far and faint, a thin disc, a few hundred bright ones near the Sun,
// bright giants in every direction).
#include "engine/catalog.h"
#include "engine/stars.h"
#include "test_support.h"
#include "synthetic_catalog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

namespace {

std::string catalog_text(long long count, std::uint64_t seed)
{
    synthetic_catalog catalog(count, seed);
    synthetic_star s;
    std::string text;
    while (catalog.next(s)) text += catalog_line(s);
    return text;
}

} // namespace

TEST(SyntheticCatalog, SameSeedSameBytes)
{
    const std::string a = catalog_text(5000, 7);
    EXPECT_EQ(a, catalog_text(5000, 7));
    EXPECT_NE(a, catalog_text(5000, 8));
    EXPECT_EQ(catalog_text(0, 7), "");

    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(write_synthetic_catalog(f, 5000, 7));
    std::rewind(f);
    std::string written;
    char block[4096];
    for (size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) written.append(block, n);
    std::fclose(f);
    EXPECT_EQ(written, a);
}

TEST(SyntheticCatalog, EveryLineLoadsAndTheSpreadIsRealistic)
{
    const long long count = 200000;
    std::istringstream in(catalog_text(count, 1));
    std::ostringstream report, errors;
    load_notes notes;
    notes.errors = &errors;
    star_list stars;
    ASSERT_EQ(load_catalog(in, stars.first(), report, notes), count);
    EXPECT_EQ(errors.str(), "");

    const vector galactic_pole(-0.8676661490f, -0.1980763734f, 0.4559837762f);
    long long faint = 0, far = 0, near_bright = 0, in_disc = 0, giants = 0;
    int giant_octants[8] = {};
    for (const star_type* s = stars.first(); s; s = s->next) {
        const float d = s->position.length();
        const float m = seen_from(s->abs_magnitude, s->position.length());
        faint += m >= 6.0f;
        far += d > 1000.0f;
        near_bright += d <= 100.0f && m < 6.0f;
        const vector p = s->position;
        const float sine_latitude = (p.x * galactic_pole.x + p.y * galactic_pole.y + p.z * galactic_pole.z) / d;
        in_disc += d > 3000.0f && std::fabs(sine_latitude) < 0.17f;      // within 10 degrees
        if (s->abs_magnitude < -3.0f && d > 100.0f) {
            ++giants;
            ++giant_octants[(p.x > 0) + 2 * (p.y > 0) + 4 * (p.z > 0)];
        }
    }
    EXPECT_GT(faint, count * 95 / 100);                           // most too faint to see from Earth
    EXPECT_GT(far, count * 90 / 100);
    EXPECT_GE(near_bright, 150);                                  // a few hundred bright neighbours
    EXPECT_LE(near_bright, 300);
    EXPECT_GT(in_disc, far * 80 / 100);                           // a thin disc
    EXPECT_GE(giants, count / 2000);
    for (int octant : giant_octants) EXPECT_GT(octant, 0);        // in every direction
}

TEST(SyntheticCatalog, LineFormat)
{
    synthetic_star s{"A name longer than twenty-four", "K1III", -1.234, 4.5, 23.999999, -0.01};
    EXPECT_EQ(catalog_line(s), "A name longer than twent\t\t-1.23\t\t4.5000\t\tK1III\t\t24 00 00.00\t\t-00 00 36.0\n");
    s = {"B", "G2V", 0.004, 1234.56789, 6.5, 45.5};
    EXPECT_EQ(catalog_line(s), "B\t\t0.00\t\t1234.5679\t\tG2V\t\t06 30 00.00\t\t+45 30 00.0\n");
}
