#pragma once
// An interpolating cubic spline through up to four coordinate arrays (X, Y, Z, W) of n points,
// parameterised by the point index: t = 0 at the first point, t = n - 1 at the last.
#include <array>
#include <vector>

#include "model/Geometry.h"

class TCubicSpline {
 public:
  // Each non-null array of n floats gets its table; n < 1 gives no tables.
  TCubicSpline(const float* x, const float* y, const float* z, const float* w, int n);
  float SplineX(float t) const { return Evaluate(0, t); }
  float SplineY(float t) const { return Evaluate(1, t); }
  float SplineZ(float t) const { return Evaluate(2, t); }
  float SplineW(float t) const { return Evaluate(3, t); }
  void SplineXYZ(float t, float& x, float& y, float& z) const;
  void SplineAffineVector(float t, TAffineVector& v) const;
  int Count() const { return FCount; }

 private:
  using TCoefficients = std::array<float, 4>;  // value = ((a t + b) t + c) t + d, t global
  float Evaluate(int table, float t) const;
  std::array<std::vector<TCoefficients>, 4> FTables;  // empty = no table
  std::array<bool, 4> FHasTable{};
  int FCount;
};
