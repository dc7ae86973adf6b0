#pragma once
// 3D vectors and 4x4 matrices for the scene graph, the preview's mesh building and the model
// compiler. Vectors are row vectors multiplied from the left (v x M): the translation of a
// transformation matrix is row 3, and a matrix goes to OpenGL in its storage order.
// Arithmetic is done in double precision and stored as 32-bit floats.
#include <array>
#include <cstdint>

using TAffineVector = std::array<float, 3>;  // a point or a direction
using TVector = std::array<float, 4>;        // w = 1 for a point, 0 for a direction
using TMatrix = std::array<TVector, 4>;      // four rows
using TAffineDblVector = std::array<double, 3>;

inline constexpr TMatrix IdentityHmgMatrix = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
inline constexpr TAffineVector NullVector = {0, 0, 0};
inline constexpr TVector NullHmgVector = {0, 0, 0, 0};
inline constexpr TVector NullHmgPoint = {0, 0, 0, 1};
inline constexpr TAffineVector XVector = {1, 0, 0};
inline constexpr TAffineVector YVector = {0, 1, 0};
inline constexpr TAffineVector ZVector = {0, 0, 1};
inline constexpr TVector XHmgVector = {1, 0, 0, 0};
inline constexpr TVector YHmgVector = {0, 1, 0, 0};
inline constexpr TVector ZHmgVector = {0, 0, 1, 0};
inline constexpr TVector WHmgVector = {0, 0, 0, 1};

// --- building and copying
TAffineVector AffineVectorMake(float x, float y, float z);
TAffineVector AffineVectorMake(const TVector& v);
TVector VectorMake(float x, float y, float z, float w = 0);
TVector PointMake(float x, float y, float z);  // w = 1
TVector VectorMake(const TAffineVector& v, float w = 0);
void SetVector(TAffineVector& dst, const TAffineVector& src);
void SetVector(TVector& dst, const TVector& src);
void SetVector(TAffineDblVector& dst, const TAffineVector& src);

// --- sums and differences
TAffineVector VectorAdd(const TAffineVector& a, const TAffineVector& b);
TVector VectorAdd(const TVector& a, const TVector& b);
void AddVector(TAffineVector& a, const TAffineVector& b);
void VectorSubtract(const TAffineVector& a, const TAffineVector& b, TAffineVector& result);
TAffineVector VectorSubtract(const TAffineVector& a, const TAffineVector& b);
void VectorSubtract(const TVector& a, const TVector& b, TVector& result);
TVector VectorSubtract(const TVector& a, const TVector& b);
// F1*A + F2*B
TAffineVector VectorCombine(const TAffineVector& a, const TAffineVector& b, float f1, float f2);
// A := A + B*F
void CombineVector(TAffineVector& a, const TAffineVector& b, float f);
void CombineVector(TVector& a, const TVector& b, float f);

// --- products
float VectorDotProduct(const TAffineVector& a, const TAffineVector& b);
void VectorCrossProduct(const TAffineVector& a, const TAffineVector& b, TAffineVector& result);
TAffineVector VectorCrossProduct(const TAffineVector& a, const TAffineVector& b);
TVector VectorCrossProduct(const TVector& a, const TVector& b);  // w := 0
TAffineVector VectorLerp(const TAffineVector& a, const TAffineVector& b, float t);

// --- lengths and scaling
float VectorLength(const TAffineVector& v);
float VectorLength(const TVector& v);
// Scales by 1/length with no test for a zero vector: its components become not-a-number.
void NormalizeVector(TAffineVector& v);
void NormalizeVector(TVector& v);  // all four components
TAffineVector VectorNormalize(const TAffineVector& v);
void NegateVector(TAffineVector& v);
void ScaleVector(TAffineVector& v, float f);
void ScaleVector(TVector& v, float f);
TAffineVector VectorScale(const TAffineVector& v, float f);
// x, y, z scaled by f and w by g.
TVector VectorScale(const TVector& v, float f, float g);
// x, y and z all zero (w is not looked at).
bool ZeroLength(const TVector& v);
// No component infinite or not-a-number.
bool Finite(const TVector& v);
bool VectorEquals(const TVector& a, const TVector& b);  // bitwise, all four
bool VectorEquals(const TAffineVector& a, const TAffineVector& b);
float VectorSpacing(const TAffineVector& a, const TAffineVector& b);  // sum of |differences|
float VectorSpacing(const TVector& a, const TVector& b);
// Component of A perpendicular to the unit vector N: A - (A.N) N.
TAffineVector VectorPerpendicular(const TAffineVector& a, const TAffineVector& n);

// --- the program's own routines
void CalcPlaneNormal(const TAffineVector& p1, const TAffineVector& p2, const TAffineVector& p3, TAffineVector& normal);
// Round toward zero whatever rounding mode is in force. Out-of-range values and NaN give the
// most negative integer (the processor's "integer indefinite") instead of undefined behaviour.
int32_t Trunc(float v);
int64_t Trunc64(double v);
// Round in the rounding mode in force (round to nearest, halves to even).
int64_t Round64(double v);
float Frac(float v);

// --- matrices
TMatrix CreateTranslationMatrix(const TAffineVector& v);
TMatrix CreateScaleAndTranslationMatrix(const TAffineVector& scale, const TAffineVector& offset);
TMatrix CreateRotationMatrixX(float sine, float cosine);
TMatrix CreateRotationMatrixZ(float sine, float cosine);
// About an arbitrary axis by an angle in radians; the axis is normalised (a copy).
TMatrix CreateRotationMatrix(const TAffineVector& axis, double angle);
TMatrix MatrixMultiply(const TMatrix& m1, const TMatrix& m2);
TVector VectorTransform(const TVector& v, const TMatrix& m);
// Upper-left 3x3 part only (no translation).
TAffineVector VectorTransform(const TAffineVector& v, const TMatrix& m);
void TransposeMatrix(TMatrix& m);
// Inverse of a general 4x4 matrix; a singular matrix gives the identity.
TMatrix InvertMatrix(const TMatrix& m);

// --- angles
inline constexpr double cPIdiv180 = 0.017453292519943295;
double DegToRad(double degrees);
float DegToRad(float degrees);
void SinCos(double theta, double& sine, double& cosine);
void SinCos(float theta, float& sine, float& cosine);

// Ray (start, unit or non-unit direction) against the triangle p1 p2 p3. When it hits in front
// of the start, fills the point and the triangle's normal (each when not null) and returns true.
bool RayCastTriangleIntersect(const TVector& rayStart, const TVector& rayVector, const TAffineVector& p1,
                              const TAffineVector& p2, const TAffineVector& p3, TVector* intersectPoint,
                              TVector* intersectNormal);
