// The lens: where a view-space point lands on screens of several sizes and
// zooms (worked by hand), which pixels count as on the screen, the zoom and
// exposure steps and their limits, and the magnitude law the drawing uses.
#include "engine/lens.h"
#include "engine/stars.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

lens lens_of(int w, int h, int zoom = 0, int half_steps = 0)
{
    lens l(w, h);
    l.zoom_by(zoom);
    l.expose_by(half_steps);
    return l;
}

::testing::AssertionResult lands_at(const lens& l, vector p, int column, int row)
{
    int c = 12345, r = 12345;
    l.project(p, &c, &r);
    if (c == column && r == row) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << p.x << ", " << p.y << ", " << p.z << ") lands on " << c << ", "
                                         << r << ", want " << column << ", " << row;
}

// The pixel of the window opened by default that `p` projects to, against the one expected.
::testing::AssertionResult projects_to(vector p, int column, int row) { return lands_at(lens(), p, column, row); }

} // namespace

TEST(LensProjection, FocalLengthAndCentreForSizeAndZoom)
{
    struct { int w, h, zoom; float focal, cx, cy; double fov; } cases[] = {
        {640, 480, 0, 400, 320, 240, 77.3196},                     // the window as it always was
        {1920, 1080, 0, 900, 960, 540, 93.6952},                   // 400 * 1080 / 480
        {1280, 960, 4, 1600, 640, 480, 43.6028},                   // twice the rows, twice the zoom
        {640, 480, -4, 200, 320, 240, 115.9892},                   // zoomed out to half
        {7680, 4320, 40, 3686400, 3840, 2160, 0.1194},             // 400 * 9 * 1024
        {320, 4320, 0, 3600, 160, 2160, 5.0896},                   // tall and narrow
        {321, 241, 0, (float)(400.0 * 241 / 480), 160.5f, 120.5f, 77.2616},   // odd: the centre between pixels
        {640, 480, 1, (float)(400.0 * std::exp2(0.25)), 320, 240, 67.8588},
    };
    for (const auto& k : cases) {
        const lens l = lens_of(k.w, k.h, k.zoom);
        EXPECT_EQ(l.focal(), k.focal) << k.w << "x" << k.h << " zoom " << k.zoom;
        EXPECT_EQ(l.centre_x(), k.cx);
        EXPECT_EQ(l.centre_y(), k.cy);
        EXPECT_NEAR(l.field_of_view(), k.fov, 1e-4) << k.w << "x" << k.h << " zoom " << k.zoom;
        EXPECT_DOUBLE_EQ(l.half_width(), (k.w - (double)k.cx) / (double)k.focal);
        EXPECT_DOUBLE_EQ(l.half_height(), (k.h - (double)k.cy) / (double)k.focal);
    }
    EXPECT_DOUBLE_EQ(lens().half_width(), 0.8);
    EXPECT_DOUBLE_EQ(lens().half_height(), 0.6);
}

TEST(LensProjection, PointsLandWhereWorkedByHand)
{
    const float nan_f = std::numeric_limits<float>::quiet_NaN();
    struct { lens l; vector p; int column, row; } cases[] = {
        {lens_of(640, 480), {1, 1, 2}, 520, 440},
        {lens_of(640, 480), {-320.5f, 0, 400}, 0, 240},            // -0.5 truncates to 0
        {lens_of(1920, 1080), {1, 1, 2}, 1410, 990},               // 450 + 960, 450 + 540
        {lens_of(1920, 1080), {-2, -1, 1}, -840, -360},
        {lens_of(1280, 960, 4), {1, -1, 4}, 1040, 80},             // 1600 / 4 = 400 from the centre
        {lens_of(640, 480, -4), {1, 1, 2}, 420, 340},              // f = 200
        {lens_of(640, 480, 1), {1, 0, 1}, 795, 240},               // 475.68 + 320
        {lens_of(7680, 4320, 40), {0.001f, -0.0005f, 1}, 7526, 316},   // 3686.4 + 3840, 2160 - 1843.2
        {lens_of(320, 4320), {0.04f, 0.5f, 1}, 304, 3960},         // 144 + 160, 1800 + 2160
        {lens_of(321, 241), {0, 0, 1}, 160, 120},
        {lens_of(1920, 1080), {nan_f, 0, 1}, INT_MIN, 540},
        {lens_of(7680, 4320, 40), {1, 0, 1e-3f}, INT_MIN, 2160},   // past the int range
    };
    for (const auto& k : cases) EXPECT_TRUE(lands_at(k.l, k.p, k.column, k.row)) << k.l.width() << "x" << k.l.height();
}

// The default lens is the projection the program always had: the same
// operations in the same order, so every float lands on the same pixel.
TEST(LensProjection, DefaultIsTodaysProjectionBitForBit)
{
    const lens l;
    for (int i = 0; i < 200000; ++i) {
        const float x = (float)std::sin(i * 0.37) * (float)(1 + i % 977), y = (float)std::cos(i * 0.11) * (float)(i % 613);
        const float z = (float)std::exp((i % 41) * 0.5 - 10);
        int c, r;
        l.project(vector(x, y, z), &c, &r);
        const float want_c = (x * 400.0f) / z + 320.0f, want_r = (y * 400.0f) / z + 240.0f;
        const int wc = want_c >= -2147483648.0f && want_c < 2147483648.0f ? (int)want_c : INT_MIN;
        const int wr = want_r >= -2147483648.0f && want_r < 2147483648.0f ? (int)want_r : INT_MIN;
        ASSERT_EQ(c, wc) << x << " " << z;
        ASSERT_EQ(r, wr) << y << " " << z;
    }
}

TEST(LensProjection, OnScreenLeavesTheOuterPixelsDark)
{
    struct { int w, h, column, row; bool on; } cases[] = {
        {640, 480, 1, 1, true},     {640, 480, 639, 479, true},  {640, 480, 0, 5, false},
        {640, 480, 640, 5, false},  {640, 480, 5, 480, false},   {640, 480, 5, 0, false},
        {1920, 1080, 1919, 1079, true}, {1920, 1080, 1920, 1079, false}, {1920, 1080, 700, 1080, false},
        {320, 4320, 319, 4319, true}, {320, 4320, 320, 100, false}, {320, 4320, 100, 4320, false},
        {7680, 4320, INT_MIN, 5, false}, {7680, 4320, 7679, 4319, true},
    };
    for (const auto& k : cases)
        EXPECT_EQ(lens_of(k.w, k.h).on_screen(k.column, k.row), k.on) << k.w << "x" << k.h << " " << k.column << ", " << k.row;
}

TEST(LensSteps, ZoomAndExposureStopAtTheirLimitsAndSurviveAResize)
{
    lens l;
    EXPECT_FALSE(l.zoom_by(0));
    EXPECT_TRUE(l.zoom_by(-3));
    EXPECT_TRUE(l.zoom_by(-3));                                 // held at -4
    EXPECT_EQ(l.zoom_step(), -4);
    EXPECT_FALSE(l.zoom_by(-1));
    EXPECT_EQ(l.focal(), 200.0f);
    EXPECT_TRUE(l.zoom_by(100));
    EXPECT_EQ(l.zoom_step(), 40);
    EXPECT_EQ(l.focal(), 409600.0f);                            // 1024 times
    EXPECT_FALSE(l.zoom_by(1));
    EXPECT_TRUE(l.expose_by(100));
    EXPECT_EQ(l.exposure(), 6.0f);
    EXPECT_FALSE(l.expose_by(1));
    EXPECT_TRUE(l.expose_by(-100));
    EXPECT_EQ(l.exposure(), -4.0f);
    EXPECT_TRUE(l.expose_by(9));
    EXPECT_EQ(l.exposure(), 0.5f);
    l.resize(1920, 1080);
    EXPECT_EQ(l.zoom_step(), 40);
    EXPECT_EQ(l.exposure(), 0.5f);
    EXPECT_EQ(l.focal(), (float)(400.0 * (1080 / 480.0) * 1024));
}

// The record's absolute magnitude and the magnitude a star shows are the one
// law both ways: a catalog star seen again from where it was catalogued shows
// its apparent magnitude, nearer it is brighter, farther fainter.
TEST(LensMagnitudes, AbsoluteMagnitudeUndoesTheSeenMagnitude)
{
    struct {
        float apparent, distance, absolute;                     // absolute to 1e-4
    } cases[] = {
        {1.5f,   32.628463f, 1.5f},                             // at the reference distance
        {3.5f,   (float)(32.628463 * 2.535), 1.5f},             // a ratio farther: 2 fainter seen
        {-1.46f, 8.6f, 1.4070f},                                // nearer: fainter from the reference distance
        {6.0f,   3261.5638f, -3.9007f},                         // farther: brighter from there
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        const float absolute = absolute_magnitude(c.apparent, c.distance);
        EXPECT_NEAR(absolute, c.absolute, 1e-4f);
        EXPECT_NEAR(lens::seen_magnitude(absolute, c.distance), c.apparent, 1e-5f);
        EXPECT_NEAR(magnitude_shift((double)c.distance), (double)c.apparent - (double)absolute, 1e-6);
    }
}

TEST(LensMagnitudes, LawReachAndExposure)
{
    EXPECT_NEAR(lens::seen_magnitude(1.5f, 32.628463f), 1.5f, 1e-6f);           // at the reference distance
    EXPECT_NEAR(lens::seen_magnitude(1.5f, (float)(32.628463 * 2.535)), 3.5f, 1e-5f);   // a ratio farther: 2 fainter
    for (float a : {-10.0f, 0.0f, 4.5f})
        EXPECT_NEAR(lens::seen_magnitude(a, (float)lens::reach(a)), 6.0f, 1e-5f) << a;
    EXPECT_NEAR(lens::distance_showing(-1.0, -1.0), 32.628463, 1e-9);
    EXPECT_DOUBLE_EQ(lens().reach_scale(), 1.0);
    EXPECT_NEAR(lens_of(640, 480, 0, 4).reach_scale(), 2.535, 1e-12);         // +2: a ratio farther
    const lens bright = lens_of(640, 480, 0, 2), dark = lens_of(640, 480, 0, -8);
    EXPECT_EQ(bright.exposed(6.5f), 5.5f);
    EXPECT_TRUE(bright.shows(bright.exposed(6.9f)));
    EXPECT_FALSE(bright.shows(bright.exposed(7.0f)));
    EXPECT_EQ(dark.exposed(1.75f), 5.75f);
    EXPECT_FALSE(dark.shows(dark.exposed(2.0f)));
    EXPECT_FALSE(lens().shows(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(lens().exposed(3.25f), 3.25f);                                    // exposure 0 changes nothing
}

// The quick test's limit: today's constant at exposure 0, and half a magnitude
// of exposure moves it by half a magnitude's worth of bits.
TEST(LensMagnitudes, QuickTestLimitFollowsTheExposure)
{
    EXPECT_EQ(lens().faint_limit(), 1217262848.0f);
    float before = lens_of(640, 480, 0, -8).faint_limit();
    for (int e = -7; e <= 12; ++e) {
        const float now = lens_of(640, 480, 0, e).faint_limit();
        EXPECT_NEAR((double)now - (double)before, 0.5 * 8388608.0 * std::log2(2.535), 256.0) << e;
        EXPECT_GE((double)now, faint_test::limit_at(e * 0.5)) << "rounded up";
        before = now;
    }
}

// The window opened by default: the centre at (320, 240), 400 pixels a unit
// at distance 1, truncation toward zero, and the smallest int for what no int holds.
TEST(LensDefaultWindow, CentreAndPerspective)
{
    EXPECT_TRUE(projects_to(vector(0, 0, 1), 320, 240));
    EXPECT_TRUE(projects_to(vector(0, 0, 1000), 320, 240));
    EXPECT_TRUE(projects_to(vector(1, 1, 2), 520, 440));          // y grows downward
    EXPECT_TRUE(projects_to(vector(2, 2, 4), 520, 440));          // same ray, same pixel
    EXPECT_TRUE(projects_to(vector(100, -100, 100), 720, -160));  // off screen, not clipped
    EXPECT_TRUE(projects_to(vector(2, 1, -2), -80, 40));          // behind: mirrored
}

TEST(LensDefaultWindow, TruncatesTowardZero)
{
    EXPECT_TRUE(projects_to(vector(-320.5f, 0, 400), 0, 240));    // -0.5 gives 0, not -1
    EXPECT_TRUE(projects_to(vector(-321, 0, 400), -1, 240));
    EXPECT_TRUE(projects_to(vector(-321.5f, 0, 400), -1, 240));   // -1.5 gives -1, not -2
    EXPECT_TRUE(projects_to(vector(-319.5f, 0, 400), 0, 240));    // 0.5 gives 0
    EXPECT_TRUE(projects_to(vector(0.75f, 0, 400), 320, 240));
    EXPECT_TRUE(projects_to(vector(0, -240.5f, 400), 320, 0));
    EXPECT_TRUE(projects_to(vector(0, -241.5f, 400), 320, -1));
    EXPECT_TRUE(projects_to(vector(0, 239.5f, 400), 320, 479));   // 479.5 gives 479
}

TEST(LensDefaultWindow, UnrepresentableGivesSmallestInt)
{
    const float nan_f = std::numeric_limits<float>::quiet_NaN(), inf_f = std::numeric_limits<float>::infinity();
    EXPECT_TRUE(projects_to(vector(1, 0, 0.0000001f), INT_MIN, 240));
    EXPECT_TRUE(projects_to(vector(-1, 0, 0.0000001f), INT_MIN, 240));
    EXPECT_TRUE(projects_to(vector(0, 1, 0.0000001f), 320, INT_MIN));
    EXPECT_TRUE(projects_to(vector(nan_f, 0, 1), INT_MIN, 240));
    EXPECT_TRUE(projects_to(vector(0, nan_f, 1), 320, INT_MIN));
    EXPECT_TRUE(projects_to(vector(0, 0, nan_f), INT_MIN, INT_MIN));
    EXPECT_TRUE(projects_to(vector(0, 0, 0), INT_MIN, INT_MIN));      // 0 / 0
    EXPECT_TRUE(projects_to(vector(1, -1, 0), INT_MIN, INT_MIN));     // +inf and -inf
    EXPECT_TRUE(projects_to(vector(inf_f, -inf_f, 1), INT_MIN, INT_MIN));
    EXPECT_TRUE(projects_to(vector(1e30f, -1e30f, 1), INT_MIN, INT_MIN));
    EXPECT_TRUE(projects_to(vector(6e6f, -6e6f, 1), INT_MIN, INT_MIN)); // just past the range
    // Large but in range: converted, sign kept, not taken for out of range.
    int c, r;
    lens().project(vector(5e6f, -5e6f, 1), &c, &r);
    EXPECT_NEAR(c, 2000000320.0, 256.0);
    EXPECT_NEAR(r, -1999999760.0, 256.0);
}
