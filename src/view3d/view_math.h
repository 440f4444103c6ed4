// The 3D view's small single-precision toolkit: four-float vectors (points
// with w 1, directions with w 0), quaternions (x, y, z, w with w the scalar
// part), column-major 4x4 matrices as OpenGL takes them and axis-aligned
// boxes. Everything is an inline value function: nothing allocates and
// nothing reports an error.
//
// Matrices: element (row r, column c) is at index 4c + r; column i is the
// vector at elements 4i..4i + 3 and the translation sits in elements 12..14.
// A product A x B applies B first to a point.
#ifndef SKW_VIEW3D_VIEW_MATH_H
#define SKW_VIEW3D_VIEW_MATH_H

#include <cfloat>
#include <cmath>

namespace ViewMath {

struct Vec4 {
    float v[4];

    float& operator[](int i) { return v[i]; }
    float operator[](int i) const { return v[i]; }
    float& x() { return v[0]; }
    float& y() { return v[1]; }
    float& z() { return v[2]; }
    float& w() { return v[3]; }
    float x() const { return v[0]; }
    float y() const { return v[1]; }
    float z() const { return v[2]; }
    float w() const { return v[3]; }
};

using Quat = Vec4;

struct Mat4 {
    float m[16];

    float& operator[](int i) { return m[i]; }
    float operator[](int i) const { return m[i]; }
    float& At(int row, int column) { return m[4 * column + row]; }
    float At(int row, int column) const { return m[4 * column + row]; }
};

struct Box {
    float min[3];
    float max[3];
};

// --- Vectors -----------------------------------------------------------------------

inline Vec4 MakeVector(float x, float y, float z) { return {{x, y, z, 0.0f}}; }
inline Vec4 MakeVector(float x, float y, float z, float w) { return {{x, y, z, w}}; }
inline Vec4 MakeVector(const float* xyz, float w) { return {{xyz[0], xyz[1], xyz[2], w}}; }
inline Vec4 MakePoint(const float* xyz) { return MakeVector(xyz, 1.0f); }
inline Vec4 MakeDirection(const float* xyz) { return MakeVector(xyz, 0.0f); }

inline Vec4 Add(const Vec4& a, const Vec4& b) { return {{a[0] + b[0], a[1] + b[1], a[2] + b[2], a[3] + b[3]}}; }
inline Vec4 Subtract(const Vec4& a, const Vec4& b) { return {{a[0] - b[0], a[1] - b[1], a[2] - b[2], a[3] - b[3]}}; }
inline Vec4 Multiply(const Vec4& a, const Vec4& b) { return {{a[0] * b[0], a[1] * b[1], a[2] * b[2], a[3] * b[3]}}; }
inline Vec4 Scale(float s, const Vec4& a) { return {{s * a[0], s * a[1], s * a[2], s * a[3]}}; }
inline Vec4 Scale(const Vec4& a, float s) { return Scale(s, a); }
inline Vec4 Negate(const Vec4& a) { return {{-a[0], -a[1], -a[2], -a[3]}}; }

inline Vec4& AddInPlace(Vec4& a, const Vec4& b)
{
    for (int i = 0; i < 4; ++i)
        a[i] += b[i];
    return a;
}

// a - b on x, y and z; the result keeps a's w.
inline Vec4 SubtractXYZ(const Vec4& a, const Vec4& b) { return {{a[0] - b[0], a[1] - b[1], a[2] - b[2], a[3]}}; }

inline float Sum(const Vec4& a) { return a[0] + a[1] + a[2] + a[3]; }
inline float Dot(const Vec4& a, const Vec4& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]; }
inline float LengthSquared(const Vec4& a) { return Dot(a, a); }

// Over all four components; a zero vector gives infinities or NaN.
inline Vec4 Normalize(const Vec4& a) { return Scale(a, 1.0f / std::sqrt(LengthSquared(a))); }

inline Vec4 Cross(const Vec4& a, const Vec4& b)
{
    return {{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0], 0.0f}};
}

// (sin t, sin t, sin t, cos t), the shape an axis-angle quaternion is built from.
inline Vec4 SinCos(float t)
{
    const float s = std::sin(t);
    return {{s, s, s, std::cos(t)}};
}

inline void SinCos(float t, float& s, float& c)
{
    s = std::sin(t);
    c = std::cos(t);
}

inline float Abs(float v) { return std::fabs(v); }

// --- Quaternions and matrices ----------------------------------------------------------

// A rotation by `angle` radians about the unit `axis` (its w is ignored).
inline Quat AxisAngleQuat(float angle, const Vec4& axis)
{
    const Vec4 sc = SinCos(angle * 0.5f);
    return {{axis[0] * sc[0], axis[1] * sc[1], axis[2] * sc[2], sc[3]}};
}

inline Mat4 QuatToMatrix(const Quat& q)
{
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    return {{2.0f * (x * x + w * w - 0.5f), 2.0f * (x * y + w * z), 2.0f * (x * z - w * y), 0.0f,  //
             2.0f * (x * y - w * z), 2.0f * (y * y + w * w - 0.5f), 2.0f * (y * z + w * x), 0.0f,  //
             2.0f * (x * z + w * y), 2.0f * (y * z - w * x), 2.0f * (z * z + w * w - 0.5f), 0.0f,  //
             0.0f, 0.0f, 0.0f, 1.0f}};
}

// A right-handed rotation of points by `angle` radians about the unit `axis`.
inline Mat4 AxisAngleMatrix(float angle, const Vec4& axis) { return QuatToMatrix(AxisAngleQuat(angle, axis)); }

inline Mat4 Multiply(const Mat4& a, const Mat4& b)
{
    Mat4 c;
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += a.At(row, k) * b.At(k, col);
            c.At(row, col) = sum;
        }
    }
    return c;
}

// M x v: the matrix applied to a column vector.
inline Vec4 Multiply(const Mat4& a, const Vec4& v)
{
    Vec4 r;
    for (int row = 0; row < 4; ++row)
        r[row] = a.At(row, 0) * v[0] + a.At(row, 1) * v[1] + a.At(row, 2) * v[2] + a.At(row, 3) * v[3];
    return r;
}

inline void Copy(Mat4& to, const Mat4& from) { to = from; }

inline Mat4 FromColumns(const Vec4& c0, const Vec4& c1, const Vec4& c2, const Vec4& c3)
{
    return {{c0[0], c0[1], c0[2], c0[3], c1[0], c1[1], c1[2], c1[3], c2[0], c2[1], c2[2], c2[3], c3[0], c3[1], c3[2],
             c3[3]}};
}

inline Vec4 Column(const Mat4& a, int i) { return {{a[4 * i], a[4 * i + 1], a[4 * i + 2], a[4 * i + 3]}}; }

// Filled on first use; every caller shares the one copy.
inline const Mat4& Identity()
{
    static const Mat4 identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    return identity;
}

inline void SetTranslation(Mat4& a, const Vec4& t)
{
    a[12] = t[0];
    a[13] = t[1];
    a[14] = t[2];
}

inline Vec4 TranslationColumn(const Mat4& a) { return Column(a, 3); }

// The identity with elements 12..15 copied from `a`.
inline Mat4 TranslationOnly(const Mat4& a)
{
    Mat4 r = Identity();
    for (int i = 12; i < 16; ++i)
        r[i] = a[i];
    return r;
}

// `a` without its translation (elements 12..14 zero, 15 one).
inline Mat4 RotationPart(const Mat4& a)
{
    Mat4 r = a;
    r[12] = r[13] = r[14] = 0.0f;
    r[15] = 1.0f;
    return r;
}

// The identity with elements 12..15 the negated ones of `a`.
inline Mat4 NegatedTranslation(const Mat4& a)
{
    Mat4 r = Identity();
    for (int i = 12; i < 16; ++i)
        r[i] = -a[i];
    return r;
}

// World-to-eye matrix in the manner of gluLookAt. s = f x u is not normalised
// again: with an up vector perpendicular to the view direction it is a unit
// vector already.
inline Mat4 LookAt(const Vec4& eye, const Vec4& target, const Vec4& up)
{
    const Vec4 f = Normalize(Subtract(target, eye));
    const Vec4 u = Normalize(up);
    const Vec4 s = Cross(f, u);
    const Vec4 u2 = Cross(s, f);
    Mat4 rotation = Identity();
    for (int c = 0; c < 3; ++c) {
        rotation.At(0, c) = s[c];
        rotation.At(1, c) = u2[c];
        rotation.At(2, c) = -f[c];
    }
    Mat4 translation = Identity();
    translation[12] = -eye[0];
    translation[13] = -eye[1];
    translation[14] = -eye[2];
    return Multiply(rotation, translation);
}

// --- Boxes -------------------------------------------------------------------------------

// A reset box holds nothing: the first point grown into it becomes both corners.
inline void Reset(Box& b)
{
    for (int i = 0; i < 3; ++i) {
        b.min[i] = FLT_MAX;
        b.max[i] = -FLT_MAX;
    }
}

inline Box ResetBox()
{
    Box b;
    Reset(b);
    return b;
}

inline void Grow(Box& b, const float* p)
{
    for (int i = 0; i < 3; ++i) {
        b.min[i] = p[i] < b.min[i] ? p[i] : b.min[i];
        b.max[i] = p[i] > b.max[i] ? p[i] : b.max[i];
    }
}

inline void Grow(Box& b, const Box& other)
{
    Grow(b, other.min);
    Grow(b, other.max);
}

inline float ExtentX(const Box& b) { return b.max[0] - b.min[0]; }
inline float ExtentY(const Box& b) { return b.max[1] - b.min[1]; }
inline float ExtentZ(const Box& b) { return b.max[2] - b.min[2]; }

inline Vec4 Centre(const Box& b)
{
    return {{b.min[0] + (b.max[0] - b.min[0]) * 0.5f, b.min[1] + (b.max[1] - b.min[1]) * 0.5f,
             b.min[2] + (b.max[2] - b.min[2]) * 0.5f, 1.0f}};
}

// --- Scalars -------------------------------------------------------------------------------

inline float DegreesToRadians(float degrees) { return degrees * 0.017453292f; }

inline void Clamp(float& v, float lo, float hi)
{
    if (v > hi)
        v = hi;
    else if (v < lo)
        v = lo;
}

}  // namespace ViewMath

#endif
