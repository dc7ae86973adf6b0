#include "model/Geometry.h"

#include <cmath>
#include <cstring>
#include <limits>

TAffineVector AffineVectorMake(float x, float y, float z) { return {x, y, z}; }
TAffineVector AffineVectorMake(const TVector& v) { return {v[0], v[1], v[2]}; }
TVector VectorMake(float x, float y, float z, float w) { return {x, y, z, w}; }
TVector PointMake(float x, float y, float z) { return {x, y, z, 1}; }
TVector VectorMake(const TAffineVector& v, float w) { return {v[0], v[1], v[2], w}; }
void SetVector(TAffineVector& dst, const TAffineVector& src) { dst = src; }
void SetVector(TVector& dst, const TVector& src) { dst = src; }
void SetVector(TAffineDblVector& dst, const TAffineVector& src) {
  for (int i = 0; i < 3; ++i) dst[i] = src[i];
}

TAffineVector VectorAdd(const TAffineVector& a, const TAffineVector& b) {
  return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
TVector VectorAdd(const TVector& a, const TVector& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2], a[3] + b[3]}; }
void AddVector(TAffineVector& a, const TAffineVector& b) {
  for (int i = 0; i < 3; ++i) a[i] += b[i];
}
void VectorSubtract(const TAffineVector& a, const TAffineVector& b, TAffineVector& result) {
  result = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
TAffineVector VectorSubtract(const TAffineVector& a, const TAffineVector& b) {
  TAffineVector r;
  VectorSubtract(a, b, r);
  return r;
}
void VectorSubtract(const TVector& a, const TVector& b, TVector& result) {
  result = {a[0] - b[0], a[1] - b[1], a[2] - b[2], a[3] - b[3]};
}
TVector VectorSubtract(const TVector& a, const TVector& b) {
  TVector r;
  VectorSubtract(a, b, r);
  return r;
}
TAffineVector VectorCombine(const TAffineVector& a, const TAffineVector& b, float f1, float f2) {
  TAffineVector r;
  for (int i = 0; i < 3; ++i) r[i] = static_cast<float>(double(f1) * a[i] + double(f2) * b[i]);
  return r;
}
void CombineVector(TAffineVector& a, const TAffineVector& b, float f) {
  for (int i = 0; i < 3; ++i) a[i] = static_cast<float>(a[i] + double(b[i]) * f);
}
void CombineVector(TVector& a, const TVector& b, float f) {
  for (int i = 0; i < 4; ++i) a[i] = static_cast<float>(a[i] + double(b[i]) * f);
}

float VectorDotProduct(const TAffineVector& a, const TAffineVector& b) {
  return static_cast<float>(double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2]);
}
void VectorCrossProduct(const TAffineVector& a, const TAffineVector& b, TAffineVector& result) {
  TAffineVector r;  // a or b may be result
  r[0] = static_cast<float>(double(a[1]) * b[2] - double(a[2]) * b[1]);
  r[1] = static_cast<float>(double(a[2]) * b[0] - double(a[0]) * b[2]);
  r[2] = static_cast<float>(double(a[0]) * b[1] - double(a[1]) * b[0]);
  result = r;
}
TAffineVector VectorCrossProduct(const TAffineVector& a, const TAffineVector& b) {
  TAffineVector r;
  VectorCrossProduct(a, b, r);
  return r;
}
TVector VectorCrossProduct(const TVector& a, const TVector& b) {
  return VectorMake(VectorCrossProduct(AffineVectorMake(a), AffineVectorMake(b)), 0);
}
TAffineVector VectorLerp(const TAffineVector& a, const TAffineVector& b, float t) {
  TAffineVector r;
  for (int i = 0; i < 3; ++i) r[i] = static_cast<float>(a[i] + (double(b[i]) - a[i]) * t);
  return r;
}

float VectorLength(const TAffineVector& v) {
  return static_cast<float>(std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]));
}
float VectorLength(const TVector& v) {
  return static_cast<float>(
      std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2] + double(v[3]) * v[3]));
}
void NormalizeVector(TAffineVector& v) {
  const double inv = 1.0 / std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
  for (int i = 0; i < 3; ++i) v[i] = static_cast<float>(v[i] * inv);
}
void NormalizeVector(TVector& v) {
  const double inv = 1.0 / double(VectorLength(v));
  for (int i = 0; i < 4; ++i) v[i] = static_cast<float>(v[i] * inv);
}
TAffineVector VectorNormalize(const TAffineVector& v) {
  TAffineVector r = v;
  NormalizeVector(r);
  return r;
}
void NegateVector(TAffineVector& v) {
  for (auto& c : v) c = -c;
}
void ScaleVector(TAffineVector& v, float f) {
  for (auto& c : v) c *= f;
}
void ScaleVector(TVector& v, float f) {
  for (auto& c : v) c *= f;
}
TAffineVector VectorScale(const TAffineVector& v, float f) { return {v[0] * f, v[1] * f, v[2] * f}; }
TVector VectorScale(const TVector& v, float f, float g) { return {v[0] * f, v[1] * f, v[2] * f, v[3] * g}; }
bool ZeroLength(const TVector& v) { return v[0] == 0 && v[1] == 0 && v[2] == 0; }
bool Finite(const TVector& v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]) && std::isfinite(v[3]);
}
bool VectorEquals(const TVector& a, const TVector& b) { return std::memcmp(a.data(), b.data(), 16) == 0; }
bool VectorEquals(const TAffineVector& a, const TAffineVector& b) { return std::memcmp(a.data(), b.data(), 12) == 0; }
float VectorSpacing(const TAffineVector& a, const TAffineVector& b) {
  return static_cast<float>(std::fabs(double(a[0]) - b[0]) + std::fabs(double(a[1]) - b[1]) +
                            std::fabs(double(a[2]) - b[2]));
}
float VectorSpacing(const TVector& a, const TVector& b) {
  return static_cast<float>(std::fabs(double(a[0]) - b[0]) + std::fabs(double(a[1]) - b[1]) +
                            std::fabs(double(a[2]) - b[2]) + std::fabs(double(a[3]) - b[3]));
}
TAffineVector VectorPerpendicular(const TAffineVector& a, const TAffineVector& n) {
  const double d = VectorDotProduct(a, n);
  TAffineVector r;
  for (int i = 0; i < 3; ++i) r[i] = static_cast<float>(a[i] - d * n[i]);
  return r;
}

void CalcPlaneNormal(const TAffineVector& p1, const TAffineVector& p2, const TAffineVector& p3, TAffineVector& normal) {
  VectorCrossProduct(VectorSubtract(p2, p1), VectorSubtract(p3, p1), normal);
  NormalizeVector(normal);
}

namespace {
template <typename I, typename F>
I TruncChecked(F v) {
  // The range test is written so that NaN fails it too.
  if (!(v > static_cast<F>(std::numeric_limits<I>::min()) - 1 && v < -static_cast<F>(std::numeric_limits<I>::min())))
    return std::numeric_limits<I>::min();
  return static_cast<I>(v);  // C++ conversion rounds toward zero, independent of the rounding mode
}
}  // namespace

int32_t Trunc(float v) { return TruncChecked<int32_t, double>(v); }
int64_t Trunc64(double v) { return TruncChecked<int64_t, long double>(v); }
int64_t Round64(double v) {
  if (!(v >= -9223372036854775808.0 && v < 9223372036854775808.0)) return std::numeric_limits<int64_t>::min();
  return std::llrint(v);
}
float Frac(float v) { return v - static_cast<float>(Trunc(v)); }

TMatrix CreateTranslationMatrix(const TAffineVector& v) {
  TMatrix m = IdentityHmgMatrix;
  m[3] = {v[0], v[1], v[2], 1};
  return m;
}
TMatrix CreateScaleAndTranslationMatrix(const TAffineVector& scale, const TAffineVector& offset) {
  TMatrix m = IdentityHmgMatrix;
  m[0][0] = scale[0];
  m[1][1] = scale[1];
  m[2][2] = scale[2];
  m[3] = {offset[0], offset[1], offset[2], 1};
  return m;
}
TMatrix CreateRotationMatrixX(float s, float c) { return {{{1, 0, 0, 0}, {0, c, s, 0}, {0, -s, c, 0}, {0, 0, 0, 1}}}; }
TMatrix CreateRotationMatrixZ(float s, float c) { return {{{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}; }
TMatrix CreateRotationMatrix(const TAffineVector& anAxis, double angle) {
  TAffineVector axis = anAxis;
  NormalizeVector(axis);
  double s, c;
  SinCos(angle, s, c);
  const double t = 1 - c;
  const double x = axis[0], y = axis[1], z = axis[2];
  auto f = [](double d) { return static_cast<float>(d); };
  return {{{f(t * x * x + c), f(t * x * y - z * s), f(t * x * z + y * s), 0},
           {f(t * x * y + z * s), f(t * y * y + c), f(t * y * z - x * s), 0},
           {f(t * x * z - y * s), f(t * y * z + x * s), f(t * z * z + c), 0},
           {0, 0, 0, 1}}};
}
TMatrix MatrixMultiply(const TMatrix& m1, const TMatrix& m2) {
  TMatrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += double(m1[i][k]) * m2[k][j];
      r[i][j] = static_cast<float>(s);
    }
  return r;
}
TVector VectorTransform(const TVector& v, const TMatrix& m) {
  TVector r;
  for (int j = 0; j < 4; ++j) {
    double s = 0;
    for (int i = 0; i < 4; ++i) s += double(v[i]) * m[i][j];
    r[j] = static_cast<float>(s);
  }
  return r;
}
TAffineVector VectorTransform(const TAffineVector& v, const TMatrix& m) {
  TAffineVector r;
  for (int j = 0; j < 3; ++j) {
    double s = 0;
    for (int i = 0; i < 3; ++i) s += double(v[i]) * m[i][j];
    r[j] = static_cast<float>(s);
  }
  return r;
}
void TransposeMatrix(TMatrix& m) {
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) std::swap(m[i][j], m[j][i]);
}
TMatrix InvertMatrix(const TMatrix& m) {
  // Gauss-Jordan elimination with partial pivoting, in double precision.
  double a[4][8];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      a[i][j] = m[i][j];
      a[i][j + 4] = i == j ? 1 : 0;
    }
  for (int col = 0; col < 4; ++col) {
    int piv = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[piv][col])) piv = r;
    if (std::fabs(a[piv][col]) < 1e-30) return IdentityHmgMatrix;
    if (piv != col)
      for (int j = 0; j < 8; ++j) std::swap(a[piv][j], a[col][j]);
    const double inv = 1.0 / a[col][col];
    for (int j = 0; j < 8; ++j) a[col][j] *= inv;
    for (int r = 0; r < 4; ++r) {
      if (r == col || a[r][col] == 0) continue;
      const double f = a[r][col];
      for (int j = 0; j < 8; ++j) a[r][j] -= f * a[col][j];
    }
  }
  TMatrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r[i][j] = static_cast<float>(a[i][j + 4]);
  return r;
}

double DegToRad(double degrees) { return degrees * cPIdiv180; }
float DegToRad(float degrees) { return degrees * 0.0174532924f; }
void SinCos(double theta, double& sine, double& cosine) {
  sine = std::sin(theta);
  cosine = std::cos(theta);
}
void SinCos(float theta, float& sine, float& cosine) {
  sine = std::sin(theta);
  cosine = std::cos(theta);
}

bool RayCastTriangleIntersect(const TVector& rayStart, const TVector& rayVector, const TAffineVector& p1,
                              const TAffineVector& p2, const TAffineVector& p3, TVector* intersectPoint,
                              TVector* intersectNormal) {
  // Moeller-Trumbore, in double precision.
  double e1[3], e2[3], o[3], d[3];
  for (int i = 0; i < 3; ++i) {
    e1[i] = double(p2[i]) - p1[i];
    e2[i] = double(p3[i]) - p1[i];
    o[i] = rayStart[i];
    d[i] = rayVector[i];
  }
  auto cross = [](const double* a, const double* b, double* r) {
    r[0] = a[1] * b[2] - a[2] * b[1];
    r[1] = a[2] * b[0] - a[0] * b[2];
    r[2] = a[0] * b[1] - a[1] * b[0];
  };
  auto dot = [](const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
  double pv[3];
  cross(d, e2, pv);
  const double det = dot(e1, pv);
  if (std::fabs(det) < 1e-12) return false;
  const double inv = 1.0 / det;
  double tv[3] = {o[0] - p1[0], o[1] - p1[1], o[2] - p1[2]};
  const double u = dot(tv, pv) * inv;
  if (u < 0 || u > 1) return false;
  double qv[3];
  cross(tv, e1, qv);
  const double v = dot(d, qv) * inv;
  if (v < 0 || u + v > 1) return false;
  const double t = dot(e2, qv) * inv;
  if (t < 0) return false;
  if (intersectPoint)
    *intersectPoint = {static_cast<float>(o[0] + t * d[0]), static_cast<float>(o[1] + t * d[1]),
                       static_cast<float>(o[2] + t * d[2]), 1};
  if (intersectNormal) {
    double n[3];
    cross(e1, e2, n);
    const double len = std::sqrt(dot(n, n));
    *intersectNormal = {static_cast<float>(n[0] / len), static_cast<float>(n[1] / len), static_cast<float>(n[2] / len),
                        0};
  }
  return true;
}
