#include "modelcompiler/ModelFileReaders.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "model/Geometry.h"
#include "platform/ByteReader.h"
#include "platform/Numbers.h"
#include "platform/Streams.h"
#include "platform/StrUtils.h"
#include "scene/File3DS.h"

void RaiseInvalidModelFile(const std::string& displayName, const std::string& detail) {
  throw EModelFileError("Invalid file " + displayName + ": " + detail);
}

TBytes ReadModelFile(const std::string& fileName) {
  try {
    return ReadWholeFile(fileName);
  } catch (const EInOutError& e) {
    throw EInOutError(fileName + ": " + e.Message, e.ErrorCode);
  }
}

namespace {

TByteReader Reader(const TBytes& data, const std::string& name) {
  return TByteReader(data.data(), data.size(), [name](const std::string& m) { RaiseInvalidModelFile(name, m); });
}

int32_t AddMaterial(TObjeto3D& mesh, const std::string& name) {
  for (size_t i = 0; i < mesh.Materials.size(); ++i)
    if (mesh.Materials[i].Name == name) return static_cast<int32_t>(i);
  mesh.Materials.push_back({name, MATERIAL_NORMAL});
  return static_cast<int32_t>(mesh.Materials.size() - 1);
}

int32_t AddUV(TObjeto3D& mesh, float u, float v) {
  mesh.UVs.push_back({u, v});
  return static_cast<int32_t>(mesh.UVs.size() - 1);
}

// Runs fill on a fresh mesh; the target changes only when the whole read succeeded.
template <class F>
void FillMesh(TObjeto3D& mesh, F fill) {
  mesh.Clear();
  TObjeto3D work;
  fill(work);
  mesh = std::move(work);
}

std::string CountLine(const char* label, long long n) { return std::string(label) + std::to_string(n); }

}  // namespace

// ---- Unreal 3D ----------------------------------------------------------------------------------

float WrapCoordinate(float v) { return v > 128.0f ? v - 256.0f : v; }

void DecodePackedVertex(uint32_t packed, float& a, float& b, float& c) {
  a = WrapCoordinate(static_cast<float>(packed & 0x7FF) / 8.0f);
  b = WrapCoordinate(static_cast<float>((packed >> 11) & 0x7FF) / 8.0f);
  c = WrapCoordinate(static_cast<float>(packed >> 22) / 4.0f);
}

TModelInfo Read3DInfo(const TBytes& data, const TBytes& anim, const std::string& name) {
  TByteReader d = Reader(data, name + "_d.3d");
  TByteReader a = Reader(anim, name + "_a.3d");
  const uint16_t triangles = d.U16("triangle count");
  const uint16_t frames = a.U16("frame count");
  TModelInfo info;
  info.Lines = {"Unreal3D model", CountLine("Triangles = ", triangles), CountLine("Frames    = ", frames)};
  info.MaxNumber = std::max(0, frames - 1);
  return info;
}

void Read3DMesh(const TBytes& data, const TBytes& anim, int frame, TObjeto3D& mesh, const std::string& name) {
  FillMesh(mesh, [&](TObjeto3D& m) {
    TByteReader d = Reader(data, name + "_d.3d");
    const uint16_t triangles = d.U16("triangle count");
    const uint16_t vertices = d.U16("vertex count");
    d.Skip(44, "header");
    d.RequireCount(triangles, 16, "triangle");
    for (unsigned i = 0; i < triangles; ++i) {
      uint16_t v[3];
      for (uint16_t& x : v) {
        x = d.U16("triangle vertex");
        d.CheckIndex(x, vertices, "triangle vertex");
      }
      const uint8_t type = d.U8("triangle type");
      d.Skip(1, "triangle colour");
      uint8_t uv[6];
      d.Read(uv, 6, "triangle texture corners");
      const uint8_t texture = d.U8("triangle texture number");
      d.Skip(1, "triangle flags");
      std::string material = "SKIN" + std::to_string(texture);
      if (type & 8) material += ".WEAP";
      if (type & 3) material += ".TWOS";
      if (type & 4) material += ".MASK";
      const int32_t mat = AddMaterial(m, material);
      if (type & 8) continue;  // weapon triangles only name their material
      TObjeto3DTriangulo t;
      t.Vertex0 = v[0], t.Vertex1 = v[1], t.Vertex2 = v[2];
      int32_t* corners[3] = {&t.UV0, &t.UV1, &t.UV2};
      for (int k = 0; k < 3; ++k) *corners[k] = AddUV(m, uv[2 * k] / 255.0f, 1.0f - uv[2 * k + 1] / 255.0f);
      t.Material = mat;
      m.Triangles.push_back(t);
    }
    TByteReader a = Reader(anim, name + "_a.3d");
    const uint16_t frames = a.U16("frame count");
    a.Skip(2, "frame size");
    if (frame < 0 || frame >= frames)
      RaiseInvalidModelFile(name + "_a.3d", "frame " + std::to_string(frame) + " beyond the animation file (" +
                                                std::to_string(frames) + " frames)");
    const uint64_t frameBytes = static_cast<uint64_t>(vertices) * 4;
    a.Skip(frameBytes * static_cast<uint64_t>(frame), "frames");
    a.RequireCount(vertices, 4, "frame vertex");
    m.Vertices.resize(vertices);
    for (TObjeto3DVertice& p : m.Vertices) {
      float va, vb, vc;
      DecodePackedVertex(a.U32("frame vertex"), va, vb, vc);
      p = {-vb, -va, vc};
    }
  });
}

// ---- Painter3D ----------------------------------------------------------------------------------

namespace {

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The comma-separated numbers after a four-letter keyword ("Vect 1.0, 2.5, -3").
std::vector<double> Numbers(const std::string& line, const std::string& name, size_t lineNo) {
  std::string rest = line.substr(std::min<size_t>(4, line.size()));
  for (char& c : rest)
    if (c == '(' || c == ')' || c == ';' || c == '{' || c == '}') c = ' ';
  std::vector<double> values;
  std::string field;
  std::istringstream in(rest);
  while (std::getline(in, field, ',')) {
    double v;
    if (Trim(field).empty()) continue;
    if (!TryStrToFloat(Trim(field), v))
      RaiseInvalidModelFile(name, "line " + std::to_string(lineNo) + ": '" + Trim(field) + "' is not a number");
    values.push_back(v);
  }
  return values;
}

}  // namespace

bool IsPainter3DText(const std::string& text) {
  std::vector<std::string> lines = TextLines(text.substr(0, 64));
  return !lines.empty() && lines[0] == "Voodoo Ascii File";
}

TModelInfo ReadP3DInfo(const std::string& text) {
  int meshes = 0, triangles = 0;
  for (const std::string& raw : TextLines(text)) {
    const std::string key = Trim(raw).substr(0, 4);
    if (key == "TriM")
      ++meshes;
    else if (key == "MshT" && meshes == 1)
      ++triangles;
  }
  TModelInfo info;
  info.Lines = {"Painter3D model", CountLine("Triangles = ", triangles), CountLine("Meshes    = ", meshes)};
  info.MaxNumber = std::max(0, meshes - 1);
  return info;
}

void ReadP3DMesh(const std::string& text, int meshNumber, TObjeto3D& mesh, const std::string& name) {
  FillMesh(mesh, [&](TObjeto3D& m) {
    enum { None, Coor, UVCo, MshT } block = None;
    int current = -1;
    int corner = 0;
    TObjeto3DTriangulo tri;
    const std::vector<std::string> lines = TextLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string line = Trim(lines[i]);
      const std::string key = line.substr(0, 4);
      if (key == "TriM") {
        ++current;
        block = None;
        continue;
      }
      if (current != meshNumber) continue;
      if (line == "}") {
        if (block == MshT) m.Triangles.push_back(tri);
        block = None;
      } else if (key == "Coor") {
        block = Coor;
      } else if (key == "UVCo") {
        block = UVCo;
      } else if (key == "MshT") {
        block = MshT;
        tri = TObjeto3DTriangulo{};
        tri.Material = 0;
        corner = 0;
      } else if (key == "Vect" && (block == Coor || block == UVCo)) {
        std::vector<double> v = Numbers(line, name, i + 1);
        if (v.size() < (block == Coor ? 3u : 2u))
          RaiseInvalidModelFile(name, "line " + std::to_string(i + 1) + ": too few numbers");
        if (block == Coor)
          m.Vertices.push_back({static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])});
        else
          m.UVs.push_back({static_cast<float>(v[0]), static_cast<float>(1.0 - v[1])});
      } else if (key == "CNUV" && block == MshT) {
        std::vector<double> v = Numbers(line, name, i + 1);
        if (v.size() < 3 || corner > 2)
          RaiseInvalidModelFile(name, "line " + std::to_string(i + 1) + ": bad triangle corner");
        // 1-based indices; the range is checked once the whole mesh is read.
        const double vi = v[0] - 1, ti = v[2] - 1;
        if (!(vi >= 0 && vi < 65536 && ti >= 0 && ti < 65536))
          RaiseInvalidModelFile(name, "line " + std::to_string(i + 1) + ": index out of range");
        int32_t* vs[3] = {&tri.Vertex0, &tri.Vertex1, &tri.Vertex2};
        int32_t* ts[3] = {&tri.UV0, &tri.UV1, &tri.UV2};
        *vs[corner] = static_cast<int32_t>(vi);
        *ts[corner] = static_cast<int32_t>(ti);
        ++corner;
      }
    }
    if (meshNumber < 0 || meshNumber > current)
      RaiseInvalidModelFile(name, "mesh " + std::to_string(meshNumber) + " is not in the file");
    for (const TObjeto3DTriangulo& t : m.Triangles) {
      for (int32_t v : {t.Vertex0, t.Vertex1, t.Vertex2})
        if (static_cast<size_t>(v) >= m.Vertices.size())
          RaiseInvalidModelFile(name, "vertex index " + std::to_string(v + 1) + " out of range");
      for (int32_t v : {t.UV0, t.UV1, t.UV2})
        if (static_cast<size_t>(v) >= m.UVs.size())
          RaiseInvalidModelFile(name, "texture coordinate index " + std::to_string(v + 1) + " out of range");
    }
  });
}

void AssignP3DSkins(TObjeto3D& mesh) {
  const int32_t first = static_cast<int32_t>(mesh.Materials.size());
  for (const char* n : {"SKIN0", "SKIN1", "SKIN2", "SKIN3"}) mesh.Materials.push_back({n, MATERIAL_NORMAL});
  for (TObjeto3DTriangulo& t : mesh.Triangles) {
    if (t.UV0 < 0 || static_cast<size_t>(t.UV0) >= mesh.UVs.size()) continue;
    const TObjeto3DCoordenadaUV& uv = mesh.UVs[static_cast<size_t>(t.UV0)];
    const int quarter = (uv.U >= 0.5f ? 1 : 0) + (uv.V < 0.5f ? 2 : 0);
    t.Material = first + quarter;
  }
  for (TObjeto3DCoordenadaUV& uv : mesh.UVs) {
    if (uv.U >= 0.5f) uv.U -= 0.5f;
    if (uv.V >= 0.5f) uv.V -= 0.5f;
    uv.U *= 2;
    uv.V *= 2;
  }
}

// ---- MilkShape3D --------------------------------------------------------------------------------

namespace {

constexpr char MS3D_MAGIC[] = "MS3D000000";

struct TMS3DContent {
  int32_t Version = 0;
  std::vector<TObjeto3DVertice> Vertices;
  struct Tri {
    uint16_t V[3];
    float N[3][3];
    float S[3], T[3];
  };
  std::vector<Tri> Triangles;
  std::vector<int32_t> TriangleMaterial;  // from the groups; -1 for none
  std::vector<std::string> Materials;
  int32_t TotalFrames = 0;
};

std::string FixedName(const uint8_t* p, size_t n) {
  const void* z = std::memchr(p, 0, n);
  return std::string(reinterpret_cast<const char*>(p), z ? static_cast<const uint8_t*>(z) - p : n);
}

TMS3DContent ParseMS3D(const TBytes& data, const std::string& name) {
  TByteReader r = Reader(data, name);
  if (!IsMilkShape3D(data)) RaiseInvalidModelFile(name, "not a MilkShape 3D file");
  r.Skip(10, "signature");
  TMS3DContent c;
  c.Version = r.I32("version");
  const uint16_t nv = r.U16("vertex count");
  r.RequireCount(nv, 15, "vertex");
  c.Vertices.resize(nv);
  for (TObjeto3DVertice& v : c.Vertices) {
    r.Skip(1, "vertex flags");
    v.X = r.F32("vertex");
    v.Y = r.F32("vertex");
    v.Z = r.F32("vertex");
    r.Skip(2, "vertex bone");
  }
  const uint16_t nt = r.U16("triangle count");
  r.RequireCount(nt, 70, "triangle");
  c.Triangles.resize(nt);
  for (TMS3DContent::Tri& t : c.Triangles) {
    r.Skip(2, "triangle flags");
    for (uint16_t& v : t.V) {
      v = r.U16("triangle vertex");
      r.CheckIndex(v, nv, "triangle vertex");
    }
    for (auto& n : t.N)
      for (float& x : n) x = r.F32("triangle normal");
    for (float& s : t.S) s = r.F32("triangle s");
    for (float& s : t.T) s = r.F32("triangle t");
    r.Skip(2, "triangle groups");
  }
  c.TriangleMaterial.assign(nt, -1);
  const uint16_t ng = r.U16("group count");
  r.RequireCount(ng, 36, "group");
  std::vector<std::pair<std::vector<uint16_t>, uint8_t>> groups(ng);
  for (auto& g : groups) {
    r.Skip(1 + 32, "group header");
    const uint16_t n = r.U16("group triangle count");
    r.RequireCount(n, 2, "group triangle");
    g.first.resize(n);
    for (uint16_t& t : g.first) {
      t = r.U16("group triangle");
      r.CheckIndex(t, nt, "group triangle");
    }
    g.second = r.U8("group material");
  }
  const uint16_t nm = r.U16("material count");
  r.RequireCount(nm, 361, "material");
  for (unsigned i = 0; i < nm; ++i) c.Materials.push_back(FixedName(r.Bytes(361, "material"), 32));
  for (const auto& g : groups) {
    if (g.second == 255) continue;
    r.CheckIndex(g.second, nm, "group material");
    for (uint16_t t : g.first) c.TriangleMaterial[t] = g.second;
  }
  r.Skip(8, "animation times");
  c.TotalFrames = r.I32("total frames");
  return c;
}

}  // namespace

bool IsMilkShape3D(const TBytes& data) { return data.size() >= 10 && std::memcmp(data.data(), MS3D_MAGIC, 10) == 0; }

TModelInfo ReadMS3DInfo(const TBytes& data, const std::string& name) {
  const TMS3DContent c = ParseMS3D(data, name);
  TModelInfo info;
  info.Lines = {"MilkShape3D model", CountLine("Triangles = ", static_cast<long long>(c.Triangles.size())),
                CountLine("Frames    = ", c.TotalFrames) + " (cannot select in this version)"};
  return info;
}

void ReadMS3DMesh(const TBytes& data, TObjeto3D& mesh, const std::string& name) {
  FillMesh(mesh, [&](TObjeto3D& m) {
    TMS3DContent c = ParseMS3D(data, name);
    m.Vertices = std::move(c.Vertices);
    for (size_t i = 0; i < c.Triangles.size(); ++i) {
      const TMS3DContent::Tri& s = c.Triangles[i];
      TObjeto3DTriangulo t;
      int32_t* vs[3] = {&t.Vertex0, &t.Vertex1, &t.Vertex2};
      int32_t* ns[3] = {&t.Normal0, &t.Normal1, &t.Normal2};
      int32_t* ts[3] = {&t.UV0, &t.UV1, &t.UV2};
      for (int k = 0; k < 3; ++k) {
        *vs[k] = s.V[k];
        m.Normals.push_back({s.N[k][0], s.N[k][1], s.N[k][2]});
        *ns[k] = static_cast<int32_t>(m.Normals.size() - 1);
        *ts[k] = AddUV(m, s.S[k], 1.0f - s.T[k]);
      }
      t.Material = c.TriangleMaterial[i];
      m.Triangles.push_back(t);
    }
    for (const std::string& mat : c.Materials) m.Materials.push_back({mat, MATERIAL_NORMAL});
  });
}

// ---- 3DStudio -----------------------------------------------------------------------------------

TModelInfo Read3DSInfo(TFile3DS& file) {
  TModelInfo info;
  const int meshes = file.Objects.MeshCount();
  const TMesh3DS* first = meshes > 0 ? file.Objects.Mesh(0) : nullptr;
  info.Lines = {"3DStudio model", CountLine("Triangles = ", first ? static_cast<long long>(first->Faces.size()) : 0),
                CountLine("Meshes    = ", meshes)};
  info.MaxNumber = std::max(0, meshes - 1);
  return info;
}

void Read3DSMesh(TFile3DS& file, int meshNumber, TObjeto3D& mesh, const std::string& name,
                 std::vector<std::string>* notes) {
  FillMesh(mesh, [&](TObjeto3D& m) {
    if (file.Objects.MeshCount() == 0) RaiseInvalidModelFile(name, "the file holds no triangle mesh");
    if (meshNumber < 0 || meshNumber >= file.Objects.MeshCount())
      RaiseInvalidModelFile(name, "mesh " + std::to_string(meshNumber) + " is not in the file");
    const TMesh3DS& src = *file.Objects.Mesh(meshNumber);
    if (src.TexVerts.size() < src.Vertices.size() && notes)
      notes->push_back(src.TexVerts.empty() ? "No texture coordinates: all are (0,0)"
                                            : "Missing texture coordinates are (0,0)");
    for (size_t k = 0; k < src.Vertices.size(); ++k) {
      m.Vertices.push_back({src.Vertices[k].X, src.Vertices[k].Y, src.Vertices[k].Z});
      const TTexVert3DS tv = k < src.TexVerts.size() ? src.TexVerts[k] : TTexVert3DS{};
      m.UVs.push_back({tv.U, tv.V});
    }
    const bool oldWinding = file.GetDatabaseRelease() < 2;
    for (const TFace3DS& f : src.Faces) {
      TObjeto3DTriangulo t;
      t.Vertex0 = oldWinding ? f.V3 : f.V1;
      t.Vertex1 = f.V2;
      t.Vertex2 = oldWinding ? f.V1 : f.V3;
      t.UV0 = t.Vertex0, t.UV1 = t.Vertex1, t.UV2 = t.Vertex2;
      auto P = [&](int32_t i) {
        const TObjeto3DVertice& v = m.Vertices[static_cast<size_t>(i)];
        return AffineVectorMake(v.X, v.Y, v.Z);
      };
      const TAffineVector pb = P(t.Vertex1);
      const TAffineVector n = VectorCrossProduct(VectorSubtract(P(t.Vertex0), pb), VectorSubtract(P(t.Vertex2), pb));
      m.Normals.push_back({n[0], n[1], n[2]});
      t.Normal0 = t.Normal1 = t.Normal2 = static_cast<int32_t>(m.Normals.size() - 1);
      t.Material = 0;
      m.Triangles.push_back(t);
    }
    for (const TMeshMatGroup3DS& g : src.MatGroups) {
      if (g.Faces.empty()) continue;
      const int32_t mat = AddMaterial(m, g.Name);
      for (uint16_t f : g.Faces) m.Triangles[f].Material = mat;
    }
  });
}
