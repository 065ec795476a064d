// The affine matrix: identity, set, the product with a number, products and
// right composition, and rotations.
#include "base/vector.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const float half_pi = 1.5707964f;                          // pi / 2 in single precision

// All twelve elements, row by row with the translation last in each row.
::testing::AssertionResult same_matrix(const matrix& got, const matrix& want, float tol = 0)
{
    for (int i = 0; i < 12; ++i)
        if (!(std::fabs(got.m[i] - want.m[i]) <= tol)) {
            ::testing::AssertionResult r = ::testing::AssertionFailure();
            r << "element (" << i / 4 << ", " << i % 4 << ") is " << got.m[i] << ", want "
              << want.m[i] << "; got rows";
            for (int k = 0; k < 12; ++k) r << (k % 4 ? " " : " | ") << got.m[k];
            return r;
        }
    return ::testing::AssertionSuccess();
}

// Carries the three unit axes and a general point, so a wrong element shows.
const vector probes[] = {vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1), vector(1.5f, -2, 0.25f)};

} // namespace

TEST(MatrixIdentity, DefaultAndAssignFromOne)
{
    const matrix id;
    EXPECT_TRUE(same_matrix(id, matrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0)));
    EXPECT_TRUE(same_vector(id * vector(1, 2, 3), vector(1, 2, 3)));

    matrix m(9, 8, 7, 6, 5, 4, 3, 2, 1, -1, -2, -3);         // whatever it held before
    m = 2;
    EXPECT_TRUE(same_vector(m * vector(1, 2, 3), vector(2, 4, 6)));
    EXPECT_TRUE(same_vector(m * vector(0, 0, 0), vector(0, 0, 0)));  // translation cleared
    m = 1;
    EXPECT_TRUE(same_matrix(m, id));
    m = 0;
    EXPECT_TRUE(same_vector(m * vector(1, 2, 3), vector(0, 0, 0)));
}

TEST(MatrixSet, RowByRowWithTranslationLast)
{
    matrix m;
    m.set(1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7);
    EXPECT_TRUE(same_vector(m * vector(0, 0, 0), vector(5, 6, 7)));
    EXPECT_TRUE(same_vector(m * vector(1, 2, 3), vector(6, 8, 10)));
    // Each element read where it was put: (i, j) at 4 i + j.
    m.set(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12);
    EXPECT_TRUE(same_matrix(m, matrix(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12)));
    EXPECT_TRUE(same_vector(m * vector(1, 0, 0), vector(1 + 4, 5 + 8, 9 + 12)));
    EXPECT_TRUE(same_vector(m * vector(0, 1, 0), vector(2 + 4, 6 + 8, 10 + 12)));
    EXPECT_TRUE(same_vector(m * vector(0, 0, 1), vector(3 + 4, 7 + 8, 11 + 12)));
}

TEST(MatrixTimesNumber, EveryElementTheTranslationIncluded)
{
    const matrix t(1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7);
    EXPECT_TRUE(same_matrix(t * 2.0f, matrix(2, 0, 0, 10, 0, 2, 0, 12, 0, 0, 2, 14)));
    EXPECT_TRUE(same_matrix(t * 0.5f, matrix(0.5f, 0, 0, 2.5f, 0, 0.5f, 0, 3, 0, 0, 0.5f, 3.5f)));
    EXPECT_TRUE(same_matrix(t, matrix(1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7)));   // the operand kept
}

TEST(MatrixProduct, SumAndProductsAgreeWithApplyingInTurn)
{
    const matrix a(1, 2, 0, 1, 0, 1, -1, 2, 3, 0, 1, -1);
    const matrix b(0, 1, 0, 4, -1, 0, 2, 0, 1, 1, 1, 3);
    const matrix ab = a * b, ba = b * a;
    for (const vector& p : probes) {
        EXPECT_TRUE(same_vector(ab * p, a * (b * p), 1e-5f));     // b first, then a
        EXPECT_TRUE(same_vector(ba * p, b * (a * p), 1e-5f));
    }
    EXPECT_TRUE(same_matrix(a + b, matrix(1, 3, 0, 5, -1, 1, 1, 2, 4, 1, 2, 2)));
    EXPECT_TRUE(same_matrix(a * matrix(), a));
    EXPECT_TRUE(same_matrix(matrix() * a, a));
    EXPECT_TRUE(same_matrix(a, matrix(1, 2, 0, 1, 0, 1, -1, 2, 3, 0, 1, -1)));  // operands kept

    // A moves by (1, 0, 0), B doubles: the order of the product matters.
    const matrix move(1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0);
    matrix twice;
    twice = 2;
    EXPECT_TRUE(same_vector((move * twice) * vector(1, 1, 1), vector(3, 2, 2)));
    EXPECT_TRUE(same_vector((twice * move) * vector(1, 1, 1), vector(4, 2, 2)));
}

TEST(MatrixTranslate, ComposesOnTheRight)
{
    // Translating a rotated matrix moves along the rotated axes.
    matrix m(0, -1, 0, 10, 1, 0, 0, 20, 0, 0, 1, 30);
    const matrix before = m;
    m.translate(vector(1, 2, 3));
    EXPECT_TRUE(same_matrix(m, matrix(0, -1, 0, 8, 1, 0, 0, 21, 0, 0, 1, 33)));
    for (const vector& p : probes)
        EXPECT_TRUE(same_vector(m * p, before * (p + vector(1, 2, 3)), 1e-5f));
}

TEST(MatrixRotate, QuarterTurnsAboutEachAxis)
{
    matrix about_z;
    vector axis(0, 0, 5);                                    // not a unit vector
    about_z.rotate(half_pi, axis);
    EXPECT_TRUE(same_matrix(about_z, matrix(0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0), 1e-6f));
    EXPECT_TRUE(same_vector(axis, vector(0, 0, 5)));         // the caller's axis is kept
    EXPECT_TRUE(same_vector(about_z * vector(1, 0, 0), vector(0, 1, 0), 1e-6f));

    matrix about_x;
    about_x.rotate(half_pi, vector(1, 0, 0));
    EXPECT_TRUE(same_vector(about_x * vector(0, 1, 0), vector(0, 0, 1), 1e-6f));
    EXPECT_TRUE(same_vector(about_x * vector(0, 0, 1), vector(0, -1, 0), 1e-6f));
    EXPECT_TRUE(same_vector(about_x * vector(1, 0, 0), vector(1, 0, 0), 1e-6f));

    matrix about_y;
    about_y.rotate(half_pi, vector(0, 1, 0));
    EXPECT_TRUE(same_vector(about_y * vector(0, 0, 1), vector(1, 0, 0), 1e-6f));
    EXPECT_TRUE(same_vector(about_y * vector(1, 0, 0), vector(0, 0, -1), 1e-6f));

    matrix back = about_z;                                   // a negative angle undoes it
    back.rotate(-half_pi, vector(0, 0, 1));
    EXPECT_TRUE(same_matrix(back, matrix(), 1e-6f));
    matrix opposite;                                         // so does the opposite axis
    opposite.rotate(half_pi, vector(0, 0, -2));
    EXPECT_TRUE(same_vector(opposite * vector(1, 0, 0), vector(0, -1, 0), 1e-6f));
}

TEST(MatrixRotate, RotationAppliesFirst)
{
    matrix m(1, 0, 0, 10, 0, 1, 0, 0, 0, 0, 1, 0);
    m.rotate(half_pi, vector(0, 0, 1));
    EXPECT_TRUE(same_vector(m * vector(1, 0, 0), vector(10, 1, 0), 1e-5f));  // not (0, 11, 0)
    EXPECT_EQ(m.m[3], 10.0f);                                // translation untouched
    EXPECT_EQ(m.m[7], 0.0f);
}

TEST(MatrixRotate, TenthOfARadianAndGeneralAxis)
{
    matrix m;
    m.rotate(0.1f, vector(0, 0, 1));
    EXPECT_TRUE(same_matrix(m, matrix(0.9950042f, -0.0998334f, 0, 0,
                                      0.0998334f,  0.9950042f, 0, 0,
                                      0,           0,          1, 0), 1e-6f));
    // About (1, 1, 1) a third of a turn cycles the axes: x to y, y to z, z to x.
    matrix cycle;
    cycle.rotate(2.0943951f, vector(1, 1, 1));
    EXPECT_TRUE(same_vector(cycle * vector(1, 0, 0), vector(0, 1, 0), 1e-6f));
    EXPECT_TRUE(same_vector(cycle * vector(0, 1, 0), vector(0, 0, 1), 1e-6f));
    EXPECT_TRUE(same_vector(cycle * vector(0, 0, 1), vector(1, 0, 0), 1e-6f));
    // A rotation keeps lengths and leaves its axis where it is.
    matrix r;
    r.rotate(0.7f, vector(2, -1, 3));
    for (const vector& p : probes) EXPECT_NEAR((r * p).length(), p.length(), 1e-6f);
    EXPECT_TRUE(same_vector(r * vector(2, -1, 3), vector(2, -1, 3), 1e-5f));
}
