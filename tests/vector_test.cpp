#include "vector.h"

#include <gtest/gtest.h>

TEST(VectorProject, Centre)
{
    int c, r;
    vector(0, 0, 1).project(&c, &r);
    EXPECT_EQ(c, 320);
    EXPECT_EQ(r, 240);
}
