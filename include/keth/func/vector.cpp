#include "keth/func/vector.h"

namespace NKeth
{
SMatrix SMatrix::Identity()
{
    SMatrix r;
    for (int i = 0; i < 16; ++i)
        r.m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    return r;
}

SMatrix SMatrix::RotX(float a)
{
    SMatrix r = Identity();
    r.m[5] = Cos(a);
    r.m[6] = Sin(a);
    r.m[9] = -Sin(a);
    r.m[10] = Cos(a);
    return r;
}

SMatrix SMatrix::RotY(float a)
{
    SMatrix r = Identity();
    r.m[0] = Cos(a);
    r.m[2] = -Sin(a);
    r.m[8] = Sin(a);
    r.m[10] = Cos(a);
    return r;
}

SMatrix SMatrix::RotZ(float a)
{
    SMatrix r = Identity();
    r.m[0] = Cos(a);
    r.m[1] = Sin(a);
    r.m[4] = -Sin(a);
    r.m[5] = Cos(a);
    return r;
}

SMatrix SMatrix::Rotation(float a, float b, float c)
{
    return RotY(a) * RotX(b) * RotZ(c);
}

SMatrix SMatrix::Frustum(float n, float f, float r, float l, float t, float b)
{
    SMatrix x;
    for (float& e : x.m)
        e = 0.0f;
    x.m[0] = 2 * n / (r - l);
    x.m[5] = 2 * n / (t - b);
    x.m[8] = (r + l) / (r - l);
    x.m[9] = (t + b) / (t - b);
    x.m[10] = (n + f) / (n - f);
    x.m[11] = -1;
    x.m[14] = 2 * n * f / (n - f);
    x.m[15] = 1;
    return x;
}

SMatrix SMatrix::Translation(float x, float y, float z)
{
    SMatrix r = Identity();
    r.m[12] = x;
    r.m[13] = y;
    r.m[14] = z;
    return r;
}

SMatrix SMatrix::Scale(float x, float y, float z)
{
    SMatrix r = Identity();
    r.m[0] = x;
    r.m[5] = y;
    r.m[10] = z;
    return r;
}

SMatrix SMatrix::Transposed() const
{
    SMatrix r;
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
            r.m[4 * row + c] = m[4 * c + row];
    return r;
}

SMatrix SMatrix::operator*(const SMatrix& b) const
{
    SMatrix r;
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
        {
            float sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += m[4 * k + row] * b.m[4 * c + k];
            r.m[4 * c + row] = sum;
        }
    return r;
}

CVector3 SMatrix::TransformPoint(const CVector3& p) const
{
    return CVector3(m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
                    m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                    m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]);
}
} // namespace NKeth
