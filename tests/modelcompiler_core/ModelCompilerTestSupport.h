#pragma once
// Shared by the model compiler tests: files, and triangle soups
// (each triangle's corners as positions and texture coordinates) compared without regard to
// the order of triangles, corners or how a reader shares vertices.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Files.h"
#include "tests/support/PeerTools.h"
#include "tests/support/Scratch.h"
#include "model/crvn_o3d.h"

namespace mctest {

using testsupport::RunCommand;
using TScratch = testsupport::TScratchDir;

// A file of a scratch folder.
inline std::string Scratch(const TScratch& dir, const std::string& name) { return dir / name; }

// One corner: x, y, z, u, v.
using TCorner = std::array<double, 5>;
using TTriangle = std::array<TCorner, 3>;
using TSoup = std::vector<TTriangle>;

// Corners sorted inside each triangle, triangles sorted: a canonical form for comparison.
inline void Canonical(TSoup& soup, double quantum) {
  for (TTriangle& t : soup) {
    for (TCorner& c : t)
      for (double& x : c) x = std::round(x / quantum) * quantum + 0.0;
    std::sort(t.begin(), t.end());
  }
  std::sort(soup.begin(), soup.end());
}

inline TSoup SoupOf(const TObjeto3D& m, const std::function<TCorner(const TCorner&)>& map = {}) {
  TSoup soup;
  for (const TObjeto3DTriangulo& t : m.Triangles) {
    TTriangle tri;
    const int32_t vs[3] = {t.Vertex0, t.Vertex1, t.Vertex2}, uvs[3] = {t.UV0, t.UV1, t.UV2};
    for (int k = 0; k < 3; ++k) {
      const TObjeto3DVertice& v = m.Vertices.at(static_cast<size_t>(vs[k]));
      const TObjeto3DCoordenadaUV& uv = m.UVs.at(static_cast<size_t>(uvs[k]));
      tri[k] = {v.X, v.Y, v.Z, uv.U, uv.V};
      if (map) tri[k] = map(tri[k]);
    }
    soup.push_back(tri);
  }
  return soup;
}

// The triangles of a Wavefront OBJ file (v, vt and f lines; faces of three corners).
inline TSoup SoupOfObj(const std::string& path) {
  std::ifstream f(path);
  std::vector<std::array<double, 3>> v;
  std::vector<std::array<double, 2>> vt;
  TSoup soup;
  std::string line;
  while (std::getline(f, line)) {
    std::istringstream in(line);
    std::string kind;
    in >> kind;
    if (kind == "v") {
      std::array<double, 3> p{};
      in >> p[0] >> p[1] >> p[2];
      v.push_back(p);
    } else if (kind == "vt") {
      std::array<double, 2> p{};
      in >> p[0] >> p[1];
      vt.push_back(p);
    } else if (kind == "f") {
      TTriangle tri{};
      std::string corner;
      int k = 0;
      while (in >> corner && k < 3) {
        const int vi = std::stoi(corner);
        const size_t slash = corner.find('/');
        int ti = 0;
        if (slash != std::string::npos && slash + 1 < corner.size() && corner[slash + 1] != '/')
          ti = std::stoi(corner.substr(slash + 1));
        const auto& p = v.at(static_cast<size_t>(vi - 1));
        const std::array<double, 2> uv = ti > 0 ? vt.at(static_cast<size_t>(ti - 1)) : std::array<double, 2>{0, 0};
        tri[static_cast<size_t>(k++)] = {p[0], p[1], p[2], uv[0], uv[1]};
      }
      soup.push_back(tri);
    }
  }
  return soup;
}

// Equal within tolerance after both are made canonical; names the first difference.
inline ::testing::AssertionResult SameSoup(TSoup a, TSoup b, double quantum, double tolerance) {
  if (a.size() != b.size()) return ::testing::AssertionFailure() << a.size() << " triangles against " << b.size();
  Canonical(a, quantum);
  Canonical(b, quantum);
  for (size_t i = 0; i < a.size(); ++i)
    for (int k = 0; k < 3; ++k)
      for (int c = 0; c < 5; ++c)
        if (std::fabs(a[i][k][c] - b[i][k][c]) > tolerance)
          return ::testing::AssertionFailure() << "triangle " << i << " corner " << k << " value " << c << ": "
                                               << a[i][k][c] << " against " << b[i][k][c];
  return ::testing::AssertionSuccess();
}

}  // namespace mctest
