// The location line: written and read back to the same bits, every kind of
// malformed line refused with what is wrong, and the camera it starts.
#include "model/location.h"

#include "test_support.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

::testing::AssertionResult same_location(const location& got, const location& want)
{
    const float g[9] = {got.position.x, got.position.y, got.position.z, got.forward.x, got.forward.y,
                        got.forward.z, got.down.x, got.down.y, got.down.z};
    const float w[9] = {want.position.x, want.position.y, want.position.z, want.forward.x, want.forward.y,
                        want.forward.z, want.down.x, want.down.y, want.down.z};
    for (int i = 0; i < 9; ++i)
        if (!same_bits(g[i], w[i]))
            return ::testing::AssertionFailure() << "float " << i << " is " << g[i] << ", want " << w[i];
    if (got.zoom_step != want.zoom_step || got.exposure_steps != want.exposure_steps ||
        got.speed_level != want.speed_level)
        return ::testing::AssertionFailure() << "settings " << got.zoom_step << ' ' << got.exposure_steps << ' '
                                             << got.speed_level;
    return ::testing::AssertionSuccess();
}

// A random orthonormal pair as the camera's turns leave it: normalized floats.
void random_axes(std::mt19937& rng, vector& forward, vector& down)
{
    std::normal_distribution<float> n(0, 1);
    forward = vector(n(rng), n(rng), n(rng));
    forward.normalize();
    vector side = forward & vector(n(rng), n(rng), n(rng));
    side.normalize();
    down = forward & side;
    down.normalize();
}

// A float of any size and sign a location may hold, denormals included (up to
// 2^29, so that three of them lie within the farthest a location can be); now
// and then a small whole number or zero.
float random_coordinate(std::mt19937& rng)
{
    std::uniform_real_distribution<float> mantissa(-1, 1);
    std::uniform_int_distribution<int> exponent(-140, 29), kind(0, 9);
    const int k = kind(rng);
    if (k == 0) return 0.0f;
    if (k == 1) return (float)std::uniform_int_distribution<int>(-1000, 1000)(rng);
    if (k < 5) return std::ldexp(mantissa(rng), std::uniform_int_distribution<int>(-20, 20)(rng));
    return std::ldexp(mantissa(rng), exponent(rng));
}

} // namespace

TEST(LocationLine, RoundTripsToTheSameBits)
{
    std::mt19937 rng(18);
    std::uniform_int_distribution<int> zoom(lens::widest_zoom, lens::narrowest_zoom),
        exposure(lens::darkest_exposure, lens::brightest_exposure),
        speed(slowest_speed, fastest_speed);
    for (int i = 0; i < 20000; ++i) {
        location l;
        l.position = vector(random_coordinate(rng), random_coordinate(rng), random_coordinate(rng));
        random_axes(rng, l.forward, l.down);
        l.zoom_step = zoom(rng);
        l.exposure_steps = exposure(rng);
        l.speed_level = speed(rng);
        const std::string text = format_location(l);
        location back;
        std::string problem;
        ASSERT_TRUE(parse_location(text, back, problem)) << text << ": " << problem;
        ASSERT_TRUE(same_location(back, l)) << text;
        location bare;                              // without the first word, as pasted by hand
        ASSERT_TRUE(parse_location("  " + text.substr(text.find(' ') + 1) + "\n", bare, problem)) << problem;
        ASSERT_TRUE(same_location(bare, l)) << text;
    }
}

TEST(LocationLine, IsWrittenInTheDocumentedForm)
{
    location l;
    l.position = vector(1.5f, -2, 0.1f);
    l.zoom_step = -4;
    l.exposure_steps = -3;
    l.speed_level = 4;
    EXPECT_EQ(format_location(l), "starhop-at:1 1.5,-2,0.100000001 0,1,0 0,0,-1 zoom=-4 exposure=-1.5 speed=4");
    l.exposure_steps = 12;
    l.speed_level = -4;
    EXPECT_EQ(format_location(l), "starhop-at:1 1.5,-2,0.100000001 0,1,0 0,0,-1 zoom=-4 exposure=+6.0 speed=-4");
    l.exposure_steps = 0;
    EXPECT_NE(format_location(l).find(" exposure=+0.0 "), std::string::npos);
}

TEST(LocationLine, MalformedLinesAreRefusedWithWhatIsWrong)
{
    struct { const char* text; const char* problem; } cases[] = {
        {"", "the location has 0 fields; it needs 6"},
        {"starhop-at:1", "the location has 0 fields; it needs 6"},
        {"1,2,3", "the location has 1 field; it needs 6"},
        {"starhop-at:1 1,2,3 0,1,0", "the location has 2 fields; it needs 6"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=+0.0", "the location has 5 fields; it needs 6"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0 more", "the location has 7 fields; it needs 6"},
        {"starhop-at:2 1,2,3 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the line is of version '2'"},
        {"1,2 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position needs three numbers separated by commas, not '1,2'"},
        {"1,2,3,4 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position needs three numbers"},
        {"1,,3 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position holds '', which is not a finite number"},
        {"1,2,x 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position holds 'x', which is not a finite number"},
        {"1,2,3q 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position holds '3q'"},
        {"nan,2,3 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position holds 'nan', which is not a finite number"},
        {"1,inf,3 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position holds 'inf'"},
        {"1,2,-infinity 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position holds '-infinity'"},
        {"1,2,1e39 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position holds '1e39'"},
        {"1e20,1e20,1e20 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0",
         "the position is 1.73205084e+20 light years from Earth; a location lies at most 1e+09 light years away"},
        {"1e38,0,0 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position is 9.99999968e+37 light years from"},
        {"0,-1000000064,0 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position is 1.00000006e+09 light years"},
        {"6e8,-6e8,6e8 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the position is 1.03923048e+09 light years"},
        {"1,2,3 0,NaN,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the forward axis holds 'NaN'"},
        {"1,2,3 0,1,0 0,0,-inf zoom=0 exposure=+0.0 speed=0", "the down axis holds '-inf'"},
        {"1,2,3 0,1.001,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the forward axis is not of unit length: its length is 1.00100005"},
        {"1,2,3 0,0,0 0,0,-1 zoom=0 exposure=+0.0 speed=0", "the forward axis is not of unit length: its length is 0"},
        {"1,2,3 0,1,0 0,0,-0.999 zoom=0 exposure=+0.0 speed=0", "the down axis is not of unit length"},
        {"1,2,3 0,1,0 0,0.001,-0.9999995 zoom=0 exposure=+0.0 speed=0", "the forward and down axes are not at right angles"},
        {"1,2,3 0,1,0 0,1,0 zoom=0 exposure=+0.0 speed=0", "the forward and down axes are not at right angles: their dot product is 1"},
        {"1,2,3 0,1,0 0,0,-1 zoom=41 exposure=+0.0 speed=0", "zoom=41 is out of range: the zoom step is a whole number from -4 to 40"},
        {"1,2,3 0,1,0 0,0,-1 zoom=-5 exposure=+0.0 speed=0", "zoom=-5 is out of range"},
        {"1,2,3 0,1,0 0,0,-1 zoom=1.5 exposure=+0.0 speed=0", "zoom=1.5 is out of range"},
        {"1,2,3 0,1,0 0,0,-1 zoom= exposure=+0.0 speed=0", "zoom= is out of range"},
        {"1,2,3 0,1,0 0,0,-1 zoom=99999999999999999999 exposure=+0.0 speed=0", "zoom=99999999999999999999 is out of range"},
        {"1,2,3 0,1,0 0,0,-1 exposure=+0.0 zoom=0 speed=0", "expected zoom=..., found 'exposure=+0.0'"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=6.5 speed=0", "exposure=6.5 is out of range: the exposure goes from -4.0 to +6.0 in steps of 0.5"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=-4.5 speed=0", "exposure=-4.5 is out of range"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=0.25 speed=0", "exposure=0.25 must be a multiple of 0.5: the exposure goes from -4.0 to +6.0 in steps of 0.5"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=+0.3 speed=0", "exposure=+0.3 must be a multiple of 0.5"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=-3.99 speed=0", "exposure=-3.99 must be a multiple of 0.5"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=6.25 speed=0", "exposure=6.25 is out of range"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=nan speed=0", "exposure=nan is out of range"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=inf speed=0", "exposure=inf is out of range"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=5", "speed=5 is out of range: the speed level is a whole number from -4 to +4"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=+0.0 speed=-5", "speed=-5 is out of range"},
        {"1,2,3 0,1,0 0,0,-1 zoom=0 exposure=+0.0 pace=1", "expected speed=..., found 'pace=1'"},
    };
    for (const auto& k : cases) {
        location l;
        l.zoom_step = 7;                            // left as it was on a refusal
        std::string problem;
        EXPECT_FALSE(parse_location(k.text, l, problem)) << k.text;
        EXPECT_EQ(problem.rfind(k.problem, 0), 0u) << k.text << "\n  said: " << problem;
        EXPECT_EQ(l.zoom_step, 7) << k.text;
    }
    // Right at the edges of what is taken.
    for (const char* text : {"1,2,3 0,1.00009,0 0,0,-1 zoom=-4 exposure=-4 speed=-4",
                             "1,2,3 0,1,0 0,0.00009,-1 zoom=40 exposure=+6 speed=+4",
                             "-0,2,3 0,1,0 0,0,-1 zoom=0 exposure=-0.5 speed=0",
                             "0,-1e9,0 0,1,0 0,0,-1 zoom=0 exposure=+0 speed=0",       // at the farthest
                             "6e8,-8e8,0 0,1,0 0,0,-1 zoom=0 exposure=+0 speed=0",
                             "5.77e8,5.77e8,-5.77e8 0,1,0 0,0,-1 zoom=0 exposure=+0 speed=0"}) {
        location l;
        std::string problem;
        EXPECT_TRUE(parse_location(text, l, problem)) << text << ": " << problem;
    }
}

TEST(LocationCamera, StartsAtRestWhereTheLineSays)
{
    camera home;                                    // the default camera's own right axis is the derived one
    EXPECT_TRUE(same_vector(right_axis(home.down, home.forward), home.right));

    std::mt19937 rng(7);
    for (int i = 0; i < 1000; ++i) {
        location l;
        l.position = vector(random_coordinate(rng), random_coordinate(rng), random_coordinate(rng));
        random_axes(rng, l.forward, l.down);
        l.zoom_step = (i % 45) - 4;
        l.exposure_steps = (i % 21) - 8;
        l.speed_level = (i % 9) - 4;
        camera c;
        c.velocity = vector(1, 2, 3);
        c.homing = 1;
        place_camera(c, l);
        ASSERT_TRUE(same_location(location_of(c), l));
        EXPECT_TRUE(same_vector(c.velocity, vector(0, 0, 0)));
        EXPECT_EQ(c.homing, 0);
        EXPECT_TRUE(same_vector(c.right, right_axis(l.down, l.forward)));
        EXPECT_NEAR(c.right.length(), 1.0f, 1e-6f);
        const vector d = c.right & c.down;          // right-handed: right x down = forward
        EXPECT_TRUE(same_vector(d, c.forward, 1e-5f));
    }
}

// Thrust out to the farthest the camera goes, in any direction, leaves it
// where its line, read back, puts it again: the limit that stops the flight
// never refuses the line of a place the flight reached.
TEST(LocationCamera, TheLineOfACameraStoppedAtTheLimitReadsBack)
{
    std::mt19937 rng(30);
    flight_controls thrust;
    thrust.forward = true;
    for (int i = 0; i < 2000; ++i) {
        camera c;
        random_axes(rng, c.forward, c.down);
        c.right = right_axis(c.down, c.forward);
        c.camera_position = c.forward * (float)(farthest_from_earth - 3000);
        c.speed_level = fastest_speed;
        for (int frame = 0; frame < 10; ++frame) update_camera(c, thrust);
        ASSERT_GT(length(dvector(c.camera_position)), farthest_from_earth * (1 - 1e-6));
        const std::string line = format_location(location_of(c));
        location back;
        std::string problem;
        ASSERT_TRUE(parse_location(line, back, problem)) << line << ": " << problem;
        camera again;
        place_camera(again, back);
        ASSERT_TRUE(same_vector(again.camera_position, c.camera_position)) << line;
    }
}
