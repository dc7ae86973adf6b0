#include "scene/Spline.h"

#include <cmath>

namespace {

// Slopes D of the natural-end spline: the tridiagonal system with diagonal 2, 4, ..., 4, 2 and
// off-diagonals 1, solved by a Cholesky factorisation.
std::vector<double> Slopes(const float* y, int n) {
  std::vector<double> r(n), diag(n), off(n), d(n);
  if (n == 1) return {0.0};
  r[0] = 3.0 * (double(y[1]) - y[0]);
  r[n - 1] = 3.0 * (double(y[n - 1]) - y[n - 2]);
  for (int i = 1; i < n - 1; ++i) r[i] = 3.0 * (double(y[i + 1]) - y[i - 1]);
  diag[0] = std::sqrt(2.0);
  off[0] = 1.0 / diag[0];
  for (int i = 1; i < n - 1; ++i) {
    diag[i] = std::sqrt(4.0 - off[i - 1] * off[i - 1]);
    off[i] = 1.0 / diag[i];
  }
  diag[n - 1] = std::sqrt(2.0 - off[n - 2] * off[n - 2]);
  // L z = r, then L^T D = z.
  std::vector<double> z(n);
  z[0] = r[0] / diag[0];
  for (int i = 1; i < n; ++i) z[i] = (r[i] - off[i - 1] * z[i - 1]) / diag[i];
  d[n - 1] = z[n - 1] / diag[n - 1];
  for (int i = n - 2; i >= 0; --i) d[i] = (z[i] - off[i] * d[i + 1]) / diag[i];
  return d;
}

}  // namespace

TCubicSpline::TCubicSpline(const float* x, const float* y, const float* z, const float* w, int n) : FCount(n) {
  const float* arrays[4] = {x, y, z, w};
  for (int k = 0; k < 4; ++k) {
    if (!arrays[k] || n < 1) continue;
    FHasTable[k] = true;
    const float* v = arrays[k];
    const std::vector<double> D = Slopes(v, n);
    auto& table = FTables[k];
    if (n == 1) {
      table.push_back({0, 0, 0, v[0]});  // a single point: a constant
      continue;
    }
    for (int i = 0; i + 1 < n; ++i) {
      const double delta = double(v[i + 1]) - v[i];
      const double A = -2 * delta + D[i] + D[i + 1];
      const double B = 3 * delta - 2 * D[i] - D[i + 1];
      // Expanded in the global parameter t = i + s.
      const double a = A, b = B - 3 * i * A, c = (3 * i * A - 2 * B) * i + D[i],
                   d = ((B - i * A) * i - D[i]) * i + v[i];
      table.push_back({float(a), float(b), float(c), float(d)});
    }
  }
}

float TCubicSpline::Evaluate(int k, float t) const {
  if (!FHasTable[k] || FTables[k].empty()) return 0;
  const int n = FCount;
  int i;
  if (!(t >= 0))  // also not a number
    i = 0;
  else if (t <= float(n - 1))
    i = static_cast<int>(t);
  else
    i = n - 1;
  if (i >= static_cast<int>(FTables[k].size())) i = static_cast<int>(FTables[k].size()) - 1;
  const TCoefficients& c = FTables[k][static_cast<size_t>(i)];
  return ((c[0] * t + c[1]) * t + c[2]) * t + c[3];
}

void TCubicSpline::SplineXYZ(float t, float& x, float& y, float& z) const {
  x = Evaluate(0, t);
  y = Evaluate(1, t);
  z = Evaluate(2, t);
}

void TCubicSpline::SplineAffineVector(float t, TAffineVector& v) const { SplineXYZ(t, v[0], v[1], v[2]); }
