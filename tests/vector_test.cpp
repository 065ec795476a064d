// The three-component vector: arithmetic, cross product, length and
// normalisation.
#include "base/vector.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <new>

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
