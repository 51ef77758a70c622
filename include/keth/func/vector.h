#pragma once
#include "keth/base/sys.h"

namespace NKeth
{
template <class T> struct TVector2
{
    T x, y;
    TVector2() : x(0), y(0) {}
    TVector2(T x_, T y_) : x(x_), y(y_) {}
    TVector2 operator+(const TVector2& o) const { return TVector2(x + o.x, y + o.y); }
    TVector2 operator-(const TVector2& o) const { return TVector2(x - o.x, y - o.y); }
    TVector2 operator*(T s) const { return TVector2(x * s, y * s); }
    bool operator==(const TVector2& o) const { return x == o.x && y == o.y; }
};

template <class T> struct TVector3
{
    T x, y, z;
    TVector3() : x(0), y(0), z(0) {}
    TVector3(T x_, T y_, T z_) : x(x_), y(y_), z(z_) {}
    TVector3 operator+(const TVector3& o) const { return TVector3(x + o.x, y + o.y, z + o.z); }
    TVector3 operator-(const TVector3& o) const { return TVector3(x - o.x, y - o.y, z - o.z); }
    TVector3 operator*(T s) const { return TVector3(x * s, y * s, z * s); }
    bool operator==(const TVector3& o) const { return x == o.x && y == o.y && z == o.z; }
    T Dot(const TVector3& o) const { return x * o.x + y * o.y + z * o.z; }
    TVector3 Cross(const TVector3& o) const
    {
        return TVector3(y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x);
    }
    T Length() const { return Sqrt(Dot(*this)); }
};

template <class T> struct TVector4
{
    T x, y, z, w;
    TVector4() : x(0), y(0), z(0), w(0) {}
    TVector4(T x_, T y_, T z_, T w_) : x(x_), y(y_), z(z_), w(w_) {}
    bool operator==(const TVector4& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
};

typedef TVector2<float> CVector2;
typedef TVector3<float> CVector3;
typedef TVector4<float> CVector4;

// 4x4 matrix in OpenGL's column-major order: element 4 * column + row, passed unchanged to
// glLoadMatrixf and glMultMatrixf.
struct SMatrix
{
    float m[16];

    float& operator[](int i) { return m[i]; }
    float operator[](int i) const { return m[i]; }

    static SMatrix Identity();
    static SMatrix RotX(float a);
    static SMatrix RotY(float a);
    static SMatrix RotZ(float a);
    // RotY(a) * RotX(b) * RotZ(c).
    static SMatrix Rotation(float a, float b, float c);
    // Unlike glFrustum's matrix, element 15 is 1.
    static SMatrix Frustum(float nearPlane, float farPlane, float right, float left, float top, float bottom);
    static SMatrix Translation(float x, float y, float z);
    static SMatrix Scale(float x, float y, float z);

    SMatrix Transposed() const;
    // Column i of the result is this matrix times column i of b.
    SMatrix operator*(const SMatrix& b) const;
    CVector3 TransformPoint(const CVector3& p) const;
    CVector3 GetTranslation() const { return CVector3(m[12], m[13], m[14]); }
};
} // namespace NKeth
