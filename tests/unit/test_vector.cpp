#include "keth/func/vector.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace NKeth;

namespace
{
void ExpectMatrix(const SMatrix& m, const float (&expected)[16], float tolerance = 1e-5f)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(m[i], expected[i], tolerance) << "element " << i;
}
} // namespace

TEST(Matrix, RotationsPlaceSinesWhereOpenGLReadsThem)
{
    float a = 0.5f, c = std::cos(a), s = std::sin(a);
    ExpectMatrix(SMatrix::RotX(a), {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1});
    ExpectMatrix(SMatrix::RotY(a), {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1});
    ExpectMatrix(SMatrix::RotZ(a), {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

TEST(Matrix, ProductTakesColumnsOfTheRightFactor)
{
    // Translation then scale: a point is scaled first, then moved.
    SMatrix m = SMatrix::Translation(1, 2, 3) * SMatrix::Scale(2, 3, 4);
    ExpectMatrix(m, {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1});
    EXPECT_EQ(m.TransformPoint(CVector3(1, 1, 1)), CVector3(3, 5, 7));

    SMatrix a, b;
    for (int i = 0; i < 16; ++i)
    {
        a[i] = float(i + 1);
        b[i] = float(16 - i);
    }
    // Hand-computed: element (row 0, column 0) = sum a[4k] * b[k] = 1*16 + 5*15 + 9*14 + 13*13.
    SMatrix ab = a * b;
    EXPECT_FLOAT_EQ(ab[0], 1 * 16 + 5 * 15 + 9 * 14 + 13 * 13);
    EXPECT_FLOAT_EQ(ab[13], 2 * 4 + 6 * 3 + 10 * 2 + 14 * 1);
    ExpectMatrix(a.Transposed(), {1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 4, 8, 12, 16});
}
