// The three-component vector: arithmetic, cross product, length, normalisation
// and the projection to a screen pixel.
#include "base/vector.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace {

const float nan_f = std::numeric_limits<float>::quiet_NaN();
const float inf_f = std::numeric_limits<float>::infinity();

// The pixel that `p` projects to, against the one expected.
::testing::AssertionResult projects_to(vector p, int column, int row)
{
    int c = 12345, r = 12345;                              // anything project must overwrite
    p.project(&c, &r);
    if (c == column && r == row) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << p.x << ", " << p.y << ", " << p.z
                                         << ") projects to " << c << ", " << r << ", want "
                                         << column << ", " << row;
}

} // namespace

TEST(VectorConstruct, DefaultIsZeroEvenOverGarbage)
{
    alignas(vector) unsigned char storage[sizeof(vector)];
    std::memset(storage, 0xA5, sizeof storage);            // what a fresh heap block might hold
    vector* v = new (storage) vector;
    EXPECT_TRUE(same_vector(*v, vector(0, 0, 0)));
    EXPECT_TRUE(same_vector(vector(1, -2, 3.5f) + vector(), vector(1, -2, 3.5f)));
}

TEST(VectorCross, RightHandedAndAnticommutative)
{
    const vector ex(1, 0, 0), ey(0, 1, 0), ez(0, 0, 1);
    EXPECT_TRUE(same_vector(ex & ey, ez));
    EXPECT_TRUE(same_vector(ey & ez, ex));
    EXPECT_TRUE(same_vector(ez & ex, ey));
    EXPECT_TRUE(same_vector(ey & ex, vector(0, 0, -1)));
    EXPECT_TRUE(same_vector(ez & ey, vector(-1, 0, 0)));
    const vector a(1.5f, -2, 3), b(-4, 0.5f, 2), c = a & b;
    EXPECT_TRUE(same_vector(c, vector(-5.5f, -15, -7.25f)));     // worked by hand
    EXPECT_TRUE(same_vector(b & a, -c));
    EXPECT_TRUE(same_vector(a & a, vector(0, 0, 0)));
    EXPECT_FLOAT_EQ(c.x * a.x + c.y * a.y + c.z * a.z, 0.0f);    // perpendicular to both
    EXPECT_FLOAT_EQ(c.x * b.x + c.y * b.y + c.z * b.z, 0.0f);
}

TEST(VectorLength, PythagoreanTriplesAreExact)
{
    EXPECT_EQ(vector(3, 4, 12).length(), 13.0f);
    EXPECT_EQ(vector(2, 3, 6).length(), 7.0f);
    EXPECT_EQ(vector(-2, -3, -6).length(), 7.0f);
    EXPECT_EQ(vector(0, 0, 0).length(), 0.0f);
}

TEST(VectorNormalize, UnitLengthSameDirection)
{
    vector a(3, 4, 0);
    a.normalize();
    EXPECT_TRUE(same_vector(a, vector(0.6f, 0.8f, 0)));
    vector b(0, 0, 5);
    b.normalize();
    EXPECT_TRUE(same_vector(b, vector(0, 0, 1)));
    vector c(-2, 3, 6);                                          // length 7, negative kept
    c.normalize();
    EXPECT_TRUE(same_vector(c, vector(-2.0f / 7, 3.0f / 7, 6.0f / 7), 1e-7f));
    vector zero(0, 0, 0);                                        // 0 / 0 everywhere
    zero.normalize();
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));
}

TEST(VectorArithmetic, SumsDifferencesAndScaling)
{
    const vector a(1, -2, 3), b(0.5f, 4, -8);
    EXPECT_TRUE(same_vector(a + b, vector(1.5f, 2, -5)));
    EXPECT_TRUE(same_vector(a - b, vector(0.5f, -6, 11)));
    EXPECT_TRUE(same_vector(b - a, vector(-0.5f, 6, -11)));
    EXPECT_TRUE(same_vector(vector(10, 20, 30) * 0.1f, vector(1, 2, 3)));
    EXPECT_TRUE(same_vector(a * -3, vector(-3, 6, -9)));
    EXPECT_TRUE(same_vector(a * 0, vector(0, 0, 0)));
}

TEST(VectorArithmetic, UnaryMinusNegatesEachComponent)
{
    const vector a(1, -2, 3);
    EXPECT_TRUE(same_vector(-a, vector(-1, 2, -3)));
    EXPECT_TRUE(same_vector(-(-a), a));
    EXPECT_TRUE(same_vector(-a + a, vector(0, 0, 0)));
}

TEST(VectorArithmetic, CompoundAssignReturnsACopy)
{
    vector a(1, 2, 3);
    vector r = (a += vector(10, 20, 30));
    EXPECT_TRUE(same_vector(a, vector(11, 22, 33)));
    EXPECT_TRUE(same_vector(r, vector(11, 22, 33)));
    // Writing through the result must not reach the object: a reference would.
    (a += vector(1, 1, 1)) = vector(-100, -100, -100);
    EXPECT_TRUE(same_vector(a, vector(12, 23, 34)));

    vector s(5, 5, 5);
    vector t = (s -= vector(1, 2, 3));
    EXPECT_TRUE(same_vector(s, vector(4, 3, 2)));
    EXPECT_TRUE(same_vector(t, vector(4, 3, 2)));
    (s -= vector(1, 1, 1)) = vector(-100, -100, -100);
    EXPECT_TRUE(same_vector(s, vector(3, 2, 1)));
}

TEST(VectorProject, CentreAndPerspective)
{
    EXPECT_TRUE(projects_to(vector(0, 0, 1), 320, 240));
    EXPECT_TRUE(projects_to(vector(0, 0, 1000), 320, 240));
    EXPECT_TRUE(projects_to(vector(1, 1, 2), 520, 440));          // y grows downward
    EXPECT_TRUE(projects_to(vector(2, 2, 4), 520, 440));          // same ray, same pixel
    EXPECT_TRUE(projects_to(vector(100, -100, 100), 720, -160));  // off screen, not clipped
    EXPECT_TRUE(projects_to(vector(2, 1, -2), -80, 40));          // behind: mirrored
}

TEST(VectorProject, TruncatesTowardZero)
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

TEST(VectorProject, UnrepresentableGivesSmallestInt)
{
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
    vector(5e6f, -5e6f, 1).project(&c, &r);
    EXPECT_NEAR(c, 2000000320.0, 256.0);
    EXPECT_NEAR(r, -1999999760.0, 256.0);
}
