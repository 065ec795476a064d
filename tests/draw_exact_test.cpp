// The program's drawing takes shortcuts (a distance bound before the exact
// magnitude, records placed in blocks); here it must give the same bitmaps as
// the plain procedure kept in reference_draw.h, for thousands of random stars
// and cameras, with stars crowded at the magnitude and screen boundaries and
// values that are not numbers or not finite.
#include "engine/stars.h"
#include "test_support.h"
#include "allegro_env.h"
#include "reference_draw.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

static auto* env = register_allegro_env();

namespace {

const float inf = std::numeric_limits<float>::infinity();
const float not_a_number = std::numeric_limits<float>::quiet_NaN();

// The absolute magnitude that makes p show m, stepped float by float onto the
// last one that still shows less than m (or m itself when none does).
float aimed(vector p, float m, float nudge)
{
    float a = absolute_showing(m, p.length());
    for (int step = 0; step < 16 && seen_from(a, p.length()) < m; ++step) a = std::nextafter(a, inf);
    for (int step = 0; step < 16 && seen_from(a, p.length()) >= m; ++step) a = std::nextafter(a, -inf);
    for (; nudge > 0; --nudge) a = std::nextafter(a, inf);
    for (; nudge < 0; ++nudge) a = std::nextafter(a, -inf);
    return a;
}

// The smallest squared distance that surely_too_faint turns away for
// absolute magnitude a, found by halving on the float grid.
float bound_edge(float a)
{
    const float limit = lens().faint_limit();
    float near = 0.0f, far = std::numeric_limits<float>::max();
    if (!surely_too_faint(a, far, limit)) return far;
    for (int step = 0; step < 200 && std::nextafter(near, inf) < far; ++step) {
        const float mid = std::sqrt(near) * std::sqrt(far) > 0 ? std::sqrt(near) * std::sqrt(far) : far / 2;
        const float probe = mid > near && mid < far ? mid : (near + far) / 2;
        (surely_too_faint(a, probe, limit) ? far : near) = probe;
    }
    return far;
}

// Random cameras and stars; each star is kept with its own seed, so a failure
// can name the trial.
class field_maker {
public:
    explicit field_maker(unsigned seed) : rng_(seed) {}

    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }
    float log_uniform(float lo, float hi) { return std::exp(uniform(std::log(lo), std::log(hi))); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    // A rotation about a random axis, then a move to a random place.
    void new_camera()
    {
        rotation_ = matrix();
        rotation_.rotate(uniform(-3.2f, 3.2f), vector(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)));
        const float reach = log_uniform(0.01f, 1e5f);
        place_ = vector(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)) * reach;
        view_ = rotation_;
        view_.translate(-place_);
    }
    const matrix& view() const { return view_; }

    // A value that breaks the usual arithmetic, now and then.
    float odd_value()
    {
        const float odd[] = {not_a_number, inf, -inf, 0.0f, -0.0f, 1e38f, -1e38f, 1e-38f, 1e-45f, -1e-45f};
        return odd[std::uniform_int_distribution<int>(0, 9)(rng_)];
    }

    // A catalog position that the camera sees at `view_place`.
    vector catalog_place(vector view_place) const
    {
        const float* m = rotation_.m;                             // rotation inverse = transpose
        return vector(m[0] * view_place.x + m[4] * view_place.y + m[8] * view_place.z,
                      m[1] * view_place.x + m[5] * view_place.y + m[9] * view_place.z,
                      m[2] * view_place.x + m[6] * view_place.y + m[10] * view_place.z) + place_;
    }

    // A star: mostly in the field of view and near the interesting magnitudes,
    // some at the screen edges, right at magnitude 6, anywhere at all, or odd.
    star_type star()
    {
        star_type s;
        const char* classes[] = {"O5", "B2", "A0", "F5", "G2V", "K1III", "M3", "W", "g2", "", "C", "2"};
        s.star_set("Star", 0.0f, vector(), classes[std::uniform_int_distribution<int>(0, 11)(rng_)]);
        const float z = log_uniform(1e-3f, 1e6f);
        float column = uniform(-20, 660), row = uniform(-20, 500);
        if (chance(0.2)) {                                        // on an edge, a hair either side
            const float edges[] = {0, 1, 2, 638, 639, 640, 641};
            const float e = edges[std::uniform_int_distribution<int>(0, 6)(rng_)] + uniform(-0.01f, 0.01f);
            if (chance(0.5)) column = e;
            else row = e * 0.75f;
        }
        vector view_place((column - 320) * z / 400, (row - 240) * z / 400, z);
        if (chance(0.15)) view_place = vector(uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)) * z;
        s.position = catalog_place(view_place);
        s.transform_star(view_);
        const vector p = s.view_position;
        if (chance(0.3)) {                                        // right at magnitude 6
            s.abs_magnitude = aimed(p, 6.0f, std::uniform_int_distribution<int>(-2, 2)(rng_));
        } else if (chance(0.2)) {                                 // at the other boundaries
            const float levels[] = {2.0f, 1.5f, 0.5f};
            s.abs_magnitude = aimed(p, levels[std::uniform_int_distribution<int>(0, 2)(rng_)],
                                    std::uniform_int_distribution<int>(-1, 1)(rng_));
        } else if (chance(0.2)) {                                 // where the quick bound flips
            s.abs_magnitude = uniform(-45, 45);
            const float edge = bound_edge(s.abs_magnitude) * uniform(0.999f, 1.001f);
            const float d = std::sqrt(edge), l = p.length();
            if (l > 0 && std::isfinite(l)) s.view_position = p * (d / l);
        } else {
            s.abs_magnitude = uniform(-2, 10) - seen_from(0, p.length());  // shows -2 to 10
        }
        if (chance(0.05)) s.abs_magnitude = odd_value();
        if (chance(0.05)) (&s.view_position.x)[std::uniform_int_distribution<int>(0, 2)(rng_)] = odd_value();
        return s;
    }

private:
    std::mt19937 rng_;
    matrix rotation_, view_;
    vector place_;
};

} // namespace

// Whole frames: the stars overlap, so the halo rule and the drawing order
// are compared as well as each star's own figure.
TEST(DrawExact, RandomFramesMatchThePlainProcedure)
{
    test_bitmap fast, plain;
    field_maker make(20240611);
    int drawn = 0, trials = 0;
    for (int frame = 0; frame < 400; ++frame) {
        make.new_camera();
        const int names = frame % 3 == 0 ? 0 : 1;
        clear_bitmap(fast);
        clear_bitmap(plain);
        for (int i = 0; i < 40; ++i) {
            star_type s = make.star();
            star_type copy = s;
            s.draw(draw_context(fast, lens(), names));
            reference::draw(copy, plain, names);
            ++trials;
        }
        ASSERT_TRUE(same_bitmap(fast, plain)) << "frame " << frame;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) drawn += getpixel(plain, x, y) != 0;
    }
    EXPECT_EQ(trials, 16000);
    EXPECT_GT(drawn, 40000);                                      // the frames were not empty
}

// One star at a time, so a difference in a single figure cannot hide under a
// neighbour's pixels; every star that either side draws is counted.
TEST(DrawExact, SingleStarsMatchThePlainProcedure)
{
    test_bitmap fast, plain;
    field_maker make(77);
    int shown = 0, boundary = 0;
    for (int i = 0; i < 6000; ++i) {
        if (i % 50 == 0) make.new_camera();
        star_type s = make.star();
        star_type copy = s;
        clear_bitmap(fast);
        clear_bitmap(plain);
        s.draw(draw_context(fast, lens(), true));
        reference::draw(copy, plain, 1);
        ASSERT_TRUE(same_bitmap(fast, plain)) << "star " << i << " at (" << s.view_position.x << ", "
                                              << s.view_position.y << ", " << s.view_position.z
                                              << ") magnitude " << s.abs_magnitude;
        int sx, sy;
        project(s.view_position, &sx, &sy);
        if (sx >= 1 && sx <= 639 && sy >= 1 && sy <= 479 && getpixel(plain, sx, sy) != 0) {
            ++shown;
            boundary += getpixel(plain, sx, sy) == makecol(22, 22, 22);
        }
    }
    EXPECT_GT(shown, 1500);
    EXPECT_GT(boundary, 100);                                     // just below magnitude 6 drawn
}

// The quick bound on its own, against the exact magnitude: whatever it turns
// away is too faint at the exposure it was set for (-4, 0, +2 and +6), for
// ordinary and extreme values alike.
TEST(DrawExact, QuickBoundOnlyTurnsAwayStarsTooFaint)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> unit(0, 1);
    const float magnitudes[] = {-1e30f, -200, -82, 99, 100, 101, 107, 108, 200, 1e30f, inf, -inf, not_a_number};
    const float squares[] = {0, 1e-45f, 1e-40f, 1.1e-38f, FLT_MIN, 1e-30f, 1, 3e38f, inf, not_a_number};
    for (int half_steps : {-8, 0, 4, 12}) {
        lens optics;
        optics.expose_by(half_steps);
        const float e = optics.exposure(), limit = optics.faint_limit();
        auto sound = [&](float a, float squared) -> ::testing::AssertionResult {
            if (!surely_too_faint(a, squared, limit)) return ::testing::AssertionSuccess();
            const float l = (float)std::sqrt((double)squared);   // as length() takes it
            const float m = seen_from(a, l) - e;
            if (!(m < 6.0f)) return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure() << "magnitude " << a << " at squared distance " << squared
                                                 << " turned away at exposure " << e << ", but shows " << m;
        };
        for (float a : magnitudes)
            for (float squared : squares) ASSERT_TRUE(sound(a, squared));
        int turned_away = 0;
        for (int i = 0; i < 400000; ++i) {
            const float a = -60 + 120 * unit(rng);
            // Anywhere in the float range, or within a tenth of an octave of
            // where the star shows exactly the faintest magnitude.
            const double edge = 2 * std::log2(32.628463) + (6.0 + (double)e - (double)a) * std::log2(2.535);
            const float squared = i % 2 == 0 ? std::exp2(-140 + 265 * unit(rng))
                                             : (float)std::exp2(edge - 0.1 + 0.2 * (double)unit(rng));
            turned_away += surely_too_faint(a, squared, limit);
            ASSERT_TRUE(sound(a, squared));
        }
        EXPECT_GT(turned_away, 100000) << "exposure " << e;
    }
}

// At the boundary itself: the farthest place straight ahead where a star of
// magnitude a still shows below 6 is drawn exactly as the plain procedure
// draws it, and 10% farther the quick bound already turns the star away.
TEST(DrawExact, QuickBoundAtTheBoundary)
{
    test_bitmap fast, plain;
    int checked = 0;
    for (int i = 0; i <= 4000; ++i) {
        const float a = -40.0f + i * 0.02f;
        const double d = 32.628463 * std::exp((6.0 - (double)a) * std::log(2.535) / 2.0);
        float z = (float)d;
        for (int step = 0; step < 64 && seen_from(a, vector(0, 0, z).length()) >= 6.0f; ++step)
            z = std::nextafter(z, 0.0f);
        for (int step = 0; step < 64 && seen_from(a, vector(0, 0, std::nextafter(z, inf)).length()) < 6.0f; ++step)
            z = std::nextafter(z, inf);
        if (!(seen_from(a, vector(0, 0, z).length()) < 6.0f)) continue;  // the float grid skips past 6
        ++checked;
        star_type s;
        s.abs_magnitude = a;
        s.view_position = vector(0, 0, z);
        clear_bitmap(fast);
        clear_bitmap(plain);
        s.draw(draw_context(fast, lens(), false));
        reference::draw(s, plain, 0);
        ASSERT_NE(getpixel(plain, 320, 240), 0) << "magnitude " << a;
        ASSERT_TRUE(same_bitmap(fast, plain)) << "magnitude " << a << " at " << z;
        const float farther = 1.1f * z;
        EXPECT_TRUE(surely_too_faint(a, farther * farther, lens().faint_limit())) << "magnitude " << a << " at " << farther;
    }
    EXPECT_GT(checked, 3500);
}
