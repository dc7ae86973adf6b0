#include "modelcompiler/SampleModel.h"

#include <cmath>
#include <cstring>

#include "model/Geometry.h"
#include "modelcompiler/ModelCompilerCore.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace {

constexpr double PI = 3.14159265358979323846;

struct TUVRect {
  float U0, V0, U1, V1;
};

// A closed surface of revolution around a vertical axis: rings from bottom to top, each ring
// an ellipse of radii (rx, rz) scaled by profile(t). Texture coordinates wrap around once
// inside rect, starting at the back (-Z) and passing the viewer's left (-X), the front (+Z,
// the Front camera's side) and the right, so u runs left to right as seen from the front and
// the seam, which gets its own column of vertices, is at the back.
template <class Profile>
void AddLathe(TObjeto3D& m, int material, float cx, float cy, float cz, float height, float rx, float rz, int segments,
              int rings, TUVRect rect, Profile profile) {
  const int32_t first = static_cast<int32_t>(m.Vertices.size());
  for (int r = 0; r <= rings; ++r) {
    const double t = static_cast<double>(r) / rings;
    const double s = profile(t);
    for (int k = 0; k <= segments; ++k) {
      const double a = 2 * PI * k / segments;
      m.Vertices.push_back({static_cast<float>(cx - rx * s * std::sin(a)), static_cast<float>(cy + height * t),
                            static_cast<float>(cz - rz * s * std::cos(a))});
      m.UVs.push_back({rect.U0 + (rect.U1 - rect.U0) * static_cast<float>(k) / segments,
                       rect.V0 + (rect.V1 - rect.V0) * static_cast<float>(t)});
    }
  }
  auto at = [&](int r, int k) { return first + r * (segments + 1) + k; };
  for (int r = 0; r < rings; ++r)
    for (int k = 0; k < segments; ++k) {
      const int32_t a = at(r, k), b = at(r, k + 1), c = at(r + 1, k + 1), d = at(r + 1, k);
      for (auto tri : {std::array<int32_t, 3>{a, b, c}, std::array<int32_t, 3>{a, c, d}}) {
        TObjeto3DTriangulo t;
        t.Vertex0 = t.UV0 = tri[0];
        t.Vertex1 = t.UV1 = tri[1];
        t.Vertex2 = t.UV2 = tri[2];
        t.Material = material;
        m.Triangles.push_back(t);
      }
    }
}

double Straight(double) { return 1.0; }

}  // namespace

TObjeto3D MakeSampleFigure() {
  TObjeto3D m;
  m.Materials = {{"SKIN", MATERIAL_NORMAL},
                 {"LEGS", MATERIAL_NORMAL},
                 {"FACE", MATERIAL_NORMAL},
                 {"VISOR.MASK", MATERIAL_NORMAL}};
  // Torso, closed at both ends by rings of radius zero; shoulders wider than the waist.
  AddLathe(m, 0, 0, 38, 0, 26, 11, 6, 12, 6, {0.0f, 0.0f, 0.6f, 1.0f},
           [](double t) { return t <= 0 || t >= 1 ? 0.05 : 0.8 + 0.25 * t; });
  // Arms hang beside the torso.
  for (float side : {-1.0f, 1.0f})
    AddLathe(m, 0, side * 15, 30, 0, 30, 3, 3, 8, 3, {0.6f, 0.0f, 1.0f, 1.0f},
             [](double t) { return t <= 0 ? 0.3 : 1.0 - 0.2 * t; });
  // Legs.
  for (float side : {-1.0f, 1.0f})
    AddLathe(m, 1, side * 5, 0, 0, 38, 4, 4, 8, 4, {side < 0 ? 0.0f : 0.5f, 0.0f, side < 0 ? 0.5f : 1.0f, 1.0f},
             [](double t) { return t <= 0 ? 0.4 : 1.0 + 0.2 * t; });
  // Head: an ellipsoid on a short neck.
  AddLathe(m, 2, 0, 64, 0, 14, 6, 6.5f, 10, 6, {0.0f, 0.0f, 1.0f, 1.0f},
           [](double t) { return std::max(0.05, std::sin(PI * t)); });
  // Visor: an open band in front of the eyes, masked so the face shows through its holes.
  AddLathe(m, 3, 0, 70, 0, 3, 6.6f, 7.0f, 6, 1, {0.0f, 0.0f, 1.0f, 1.0f}, Straight);
  return m;
}

namespace {

void Put(std::vector<uint8_t>& o, const void* p, size_t n) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  o.insert(o.end(), b, b + n);
}
template <class T>
void PutLE(std::vector<uint8_t>& o, T v) {
  uint8_t b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));  // little-endian hosts only, as the rest of the build
  Put(o, b, sizeof(T));
}
void PutName(std::vector<uint8_t>& o, const std::string& s, size_t n) {
  std::vector<uint8_t> b(n, 0);
  std::memcpy(b.data(), s.data(), std::min(s.size(), n - 1));
  Put(o, b.data(), n);
}

}  // namespace

std::vector<uint8_t> MilkShape3DBytes(const TObjeto3D& m) {
  if (m.Vertices.size() > 65535 || m.Triangles.size() > 65535 || m.Materials.size() > 255)
    throw EInOutError("The mesh is too large for a MilkShape3D file");
  std::vector<uint8_t> o;
  Put(o, "MS3D000000", 10);
  PutLE<int32_t>(o, 4);
  PutLE<uint16_t>(o, static_cast<uint16_t>(m.Vertices.size()));
  for (const TObjeto3DVertice& v : m.Vertices) {
    PutLE<uint8_t>(o, 0);
    PutLE(o, v.X), PutLE(o, v.Y), PutLE(o, v.Z);
    PutLE<int8_t>(o, -1);
    PutLE<uint8_t>(o, 0);
  }
  PutLE<uint16_t>(o, static_cast<uint16_t>(m.Triangles.size()));
  for (const TObjeto3DTriangulo& t : m.Triangles) {
    const int32_t vs[3] = {t.Vertex0, t.Vertex1, t.Vertex2};
    const int32_t ts[3] = {t.UV0, t.UV1, t.UV2};
    auto P = [&](int k) {
      const TObjeto3DVertice& v = m.Vertices.at(static_cast<size_t>(vs[k]));
      return AffineVectorMake(v.X, v.Y, v.Z);
    };
    TAffineVector n;
    CalcPlaneNormal(P(0), P(1), P(2), n);
    PutLE<uint16_t>(o, 0);
    for (int32_t v : vs) PutLE<uint16_t>(o, static_cast<uint16_t>(v));
    for (int k = 0; k < 3; ++k) PutLE(o, n[0]), PutLE(o, n[1]), PutLE(o, n[2]);
    for (int32_t uv : ts) PutLE(o, m.UVs.at(static_cast<size_t>(uv)).U);
    for (int32_t uv : ts) PutLE(o, 1.0f - m.UVs.at(static_cast<size_t>(uv)).V);
    PutLE<uint8_t>(o, 1);
    PutLE<uint8_t>(o, static_cast<uint8_t>(t.Material));
  }
  PutLE<uint16_t>(o, static_cast<uint16_t>(m.Materials.size()));
  for (size_t g = 0; g < m.Materials.size(); ++g) {
    std::vector<uint16_t> members;
    for (size_t t = 0; t < m.Triangles.size(); ++t)
      if (m.Triangles[t].Material == static_cast<int32_t>(g)) members.push_back(static_cast<uint16_t>(t));
    PutLE<uint8_t>(o, 0);
    PutName(o, "group" + std::to_string(g), 32);
    PutLE<uint16_t>(o, static_cast<uint16_t>(members.size()));
    for (uint16_t t : members) PutLE(o, t);
    PutLE<uint8_t>(o, static_cast<uint8_t>(g));
  }
  PutLE<uint16_t>(o, static_cast<uint16_t>(m.Materials.size()));
  for (const TObjeto3DMaterial& mat : m.Materials) {
    PutName(o, mat.Name, 32);
    for (float c : {0.2f, 0.2f, 0.2f, 1.0f, 0.8f, 0.8f, 0.8f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f})
      PutLE(o, c);
    PutLE(o, 0.0f);  // shininess
    PutLE(o, 1.0f);  // transparency
    PutLE<uint8_t>(o, 0);
    PutName(o, "", 128);  // texture
    PutName(o, "", 128);  // alpha map
  }
  PutLE(o, 24.0f);        // frames per second
  PutLE(o, 1.0f);         // current time
  PutLE<int32_t>(o, 1);   // total frames
  PutLE<uint16_t>(o, 0);  // joints
  return o;
}

std::string BuildSampleModel(const std::string& ms3dFile, const std::string& outputFolder) {
  const std::vector<uint8_t> bytes = MilkShape3DBytes(MakeSampleFigure());
  WriteFileAtomically(ms3dFile, bytes.data(), bytes.size());
  TModelCompilerCore compiler;
  compiler.OutputFolder = outputFolder;
  compiler.ConfirmOverwrite = [] { return true; };
  const std::string refused = compiler.LoadModelInfo(ms3dFile);
  if (!refused.empty()) throw EInOutError(refused);
  compiler.GetMeshData(0);
  return compiler.CompileExternal("Corvy").ExtensionFile;
}
