#include "modelcompiler/PackageModels.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "model/Geometry.h"
#include "packages/UnrealFormat.h"
#include "packages/ut_packages.h"
#include "platform/ByteReader.h"
#include "platform/Paths.h"
#include "platform/StrUtils.h"
#include "platform/Streams.h"

namespace {

int32_t ReadIndex(TByteReader& r, const char* field) {
  int32_t v = 0;
  const int n = DecodeCompactIndex(r.Data() + r.Pos(), r.Remaining(), v);
  if (n == 0) r.Fail(std::string("unexpected end of data reading ") + field);
  r.Skip(static_cast<uint64_t>(n), field);
  return v;
}

// A count (compact index) of records of at least minRecord bytes each.
uint32_t ReadCount(TByteReader& r, uint64_t minRecord, const char* field) {
  const int32_t n = ReadIndex(r, field);
  if (n < 0) r.Fail(std::string(field) + " count is negative");
  r.RequireCount(static_cast<uint64_t>(n), minRecord, field);
  return static_cast<uint32_t>(n);
}

void SkipOffset(TByteReader& r, int32_t version, const char* field) {
  if (version > 61) r.Skip(4, field);
}

void SkipBox(TByteReader& r, const char* field) { r.Skip(25, field); }
void SkipSphere(TByteReader& r, int32_t version, const char* field) { r.Skip(version > 61 ? 16 : 12, field); }

// A vertex as stored, in the mesh's own units on the engine's axes (X forward, Y right, Z up).
// The values keep the wrap of the decoders (a field of exactly 128 stays positive).
TAffineDblVector DecodeVertex(TByteReader& r, TGameKind game) {
  float a, b, c;
  if (game == TGameKind::DeusEx) {
    a = WrapCoordinate(r.U16("UMesh.Verts") / 256.0f);
    b = WrapCoordinate(r.U16("UMesh.Verts") / 256.0f);
    c = WrapCoordinate(r.U16("UMesh.Verts") / 256.0f);
    r.Skip(2, "UMesh.Verts");
    return {a * 256.0, b * 256.0, c * 256.0};
  }
  DecodePackedVertex(r.U32("UMesh.Verts"), a, b, c);
  return {a * 8.0, b * 8.0, c * 4.0};
}

// Our units are twice the engine's: a standard player mesh (scale 1/16, 1/16, 1/8, origin and
// rotation 0) has always compiled to (bits / 8, bits / 8, bits / 4), and models compiled before
// must keep their size.
constexpr double PACKAGE_UNITS_PER_ENGINE_UNIT = 2.0;

// Turns v by an engine rotator as the engine turns an actor: roll about X, then pitch about Y,
// then yaw about Z (a positive pitch raises X towards Z, a positive yaw turns X towards Y).
void Rotate(TAffineDblVector& v, const int32_t rot[3]) {
  auto angle = [](int32_t units) { return static_cast<double>(units & 0xFFFF) * (2.0 * std::numbers::pi / 65536.0); };
  const double p = angle(rot[0]), y = angle(rot[1]), r = angle(rot[2]);
  const double cr = std::cos(r), sr = std::sin(r), cp = std::cos(p), sp = std::sin(p), cy = std::cos(y),
               sy = std::sin(y);
  v = {v[0], v[1] * cr + v[2] * sr, v[2] * cr - v[1] * sr};
  v = {v[0] * cp - v[2] * sp, v[1], v[0] * sp + v[2] * cp};
  v = {v[0] * cy - v[1] * sy, v[0] * sy + v[1] * cy, v[2]};
}

// (V - origin) * scale, turned, in our units and our axes. A mesh that is not turned skips
// the rotation so that its values stay exactly those of the plain products.
// Every game shares one mapping to our axes. DeusEx and Klingon Honor Guard import their player
// meshes with a quarter turn of yaw, and that yaw is all that sets their layout apart; the
// rotation has made it, so swapping their axes as well would turn them twice.
TObjeto3DVertice PlaceVertex(TAffineDblVector v, const TPackageMesh& m) {
  for (int k = 0; k < 3; ++k) v[k] = (v[k] - m.Origin[k]) * m.Scale[k] * PACKAGE_UNITS_PER_ENGINE_UNIT;
  if (m.RotOrigin[0] != 0 || m.RotOrigin[1] != 0 || m.RotOrigin[2] != 0) Rotate(v, m.RotOrigin);
  const float x = static_cast<float>(v[0]), y = static_cast<float>(v[1]), z = static_cast<float>(v[2]);
  return {-y, z, x};
}

// Texture indices above this are taken for garbage: the material list is sized from them.
constexpr int32_t MAX_TEXTURE_INDEX = 255;

}  // namespace

void ReadMeshObjectData(const std::vector<uint8_t>& data, int32_t version, TGameKind game,
                        const std::vector<std::string>& names, TPackageMesh& out, const std::string& displayName) {
  TByteReader r(data.data(), data.size(), [&](const std::string& m) { RaiseInvalidModelFile(displayName, m); });
  TPackageMesh m;
  m.ClassName = out.ClassName;
  m.MeshName = out.MeshName;
  ReadIndex(r, "property list");
  SkipBox(r, "UPrimitive.BoundingBox");
  SkipSphere(r, version, "UPrimitive.BoundingSphere");

  SkipOffset(r, version, "UMesh.Verts");
  const uint32_t nVerts = ReadCount(r, game == TGameKind::DeusEx ? 8 : 4, "UMesh.Verts");
  // Placed once the scale, origin and rotation further on are known.
  std::vector<TAffineDblVector> stored;
  stored.reserve(nVerts);
  for (uint32_t i = 0; i < nVerts; ++i) stored.push_back(DecodeVertex(r, game));

  SkipOffset(r, version, "UMesh.Tris");
  const uint32_t nTris = ReadCount(r, 20, "UMesh.Tris");
  m.Tris.resize(nTris);
  for (TPackageMesh::TTri& t : m.Tris) {
    for (int32_t& v : t.V) v = r.U16("UMesh.Tris");
    for (int k = 0; k < 3; ++k) {
      t.U[k] = r.U8("UMesh.Tris") / 255.0f;
      t.V2[k] = r.U8("UMesh.Tris") / 255.0f;
    }
    t.PolyFlags = r.I32("UMesh.Tris");
    t.TextureIndex = r.I32("UMesh.Tris");
    if (t.TextureIndex < 0 || t.TextureIndex > MAX_TEXTURE_INDEX) r.Fail("UMesh.Tris texture index out of range");
  }

  const uint32_t nSeqs = ReadCount(r, 15, "UMesh.AnimSeqs");
  for (uint32_t i = 0; i < nSeqs; ++i) {
    TAnimSeq s;
    const int32_t nameIndex = ReadIndex(r, "UMesh.AnimSeqs.Name");
    r.CheckIndex(nameIndex, names.size(), "UMesh.AnimSeqs.Name");
    s.Name = names[static_cast<size_t>(nameIndex)];
    ReadIndex(r, "UMesh.AnimSeqs.Group");
    s.StartFrame = r.I32("UMesh.AnimSeqs.StartFrame");
    s.NumFrames = r.I32("UMesh.AnimSeqs.NumFrames");
    const uint32_t notifies = ReadCount(r, 5, "UMesh.AnimSeqs.Notifys");
    for (uint32_t k = 0; k < notifies; ++k) {
      r.Skip(4, "UMesh.AnimSeqs.Notifys.Time");
      ReadIndex(r, "UMesh.AnimSeqs.Notifys.Function");
    }
    r.Skip(4, "UMesh.AnimSeqs.Rate");
    m.AnimSeqs.push_back(std::move(s));
  }

  SkipOffset(r, version, "UMesh.Connects");
  r.Skip(static_cast<uint64_t>(ReadCount(r, 8, "UMesh.Connects")) * 8, "UMesh.Connects");
  SkipBox(r, "UMesh.BoundingBox");
  SkipSphere(r, version, "UMesh.BoundingSphere");
  SkipOffset(r, version, "UMesh.VertLinks");
  r.Skip(static_cast<uint64_t>(ReadCount(r, 4, "UMesh.VertLinks")) * 4, "UMesh.VertLinks");
  const uint32_t nTextures = ReadCount(r, 1, "UMesh.Textures");
  for (uint32_t i = 0; i < nTextures; ++i) m.Textures.push_back(ReadIndex(r, "UMesh.Textures"));
  r.Skip(static_cast<uint64_t>(ReadCount(r, 25, "UMesh.BoundingBoxes")) * 25, "UMesh.BoundingBoxes");
  const uint64_t sphere = version > 61 ? 16 : 12;
  r.Skip(static_cast<uint64_t>(ReadCount(r, sphere, "UMesh.BoundingSpheres")) * sphere, "UMesh.BoundingSpheres");
  m.FrameVerts = r.I32("UMesh.FrameVerts");
  m.AnimFrames = r.I32("UMesh.AnimFrames");
  r.Skip(8, "UMesh.AndFlags and OrFlags");
  for (float& f : m.Scale) f = r.F32("UMesh.Scale");
  for (float& f : m.Origin) f = r.F32("UMesh.Origin");
  for (int32_t& a : m.RotOrigin) a = r.I32("UMesh.RotOrigin");
  r.Skip(8, "UMesh.CurPoly and CurVertex");
  if (version >= 66)
    r.Skip(static_cast<uint64_t>(ReadCount(r, 4, "UMesh.TextureLOD")) * 4, "UMesh.TextureLOD");
  else if (version == 65)
    r.Skip(4, "UMesh.TextureLOD");

  if (m.FrameVerts < 0 || m.AnimFrames < 0) r.Fail("negative frame size or frame count");
  if (static_cast<uint64_t>(m.FrameVerts) * static_cast<uint64_t>(m.AnimFrames) > stored.size())
    r.Fail("frames exceed the vertices (" + std::to_string(m.AnimFrames) + " frames of " +
           std::to_string(m.FrameVerts) + ", " + std::to_string(stored.size()) + " vertices)");

  m.Verts.reserve(stored.size());
  for (const TAffineDblVector& v : stored) {
    m.Verts.push_back(PlaceVertex(v, m));
    const TObjeto3DVertice& p = m.Verts.back();
    // A scale or origin that is no number, or that throws a vertex beyond the float range.
    if (!std::isfinite(p.X) || !std::isfinite(p.Y) || !std::isfinite(p.Z))
      r.Fail("UMesh.Scale and UMesh.Origin place vertex " + std::to_string(m.Verts.size() - 1) + " at no number");
  }

  m.IsLodMesh = !r.AtEnd();
  if (m.IsLodMesh) {
    r.Skip(static_cast<uint64_t>(ReadCount(r, 2, "ULodMesh.CollapsePointThus")) * 2, "ULodMesh.CollapsePointThus");
    r.Skip(static_cast<uint64_t>(ReadCount(r, 2, "ULodMesh.FaceLevel")) * 2, "ULodMesh.FaceLevel");
    const uint32_t nFaces = ReadCount(r, 8, "ULodMesh.Faces");
    m.Faces.resize(nFaces);
    for (TPackageMesh::TFace& f : m.Faces) {
      for (int32_t& w : f.Wedge) w = r.U16("ULodMesh.Faces");
      f.Material = r.U16("ULodMesh.Faces");
    }
    r.Skip(static_cast<uint64_t>(ReadCount(r, 2, "ULodMesh.CollapseWedgeThus")) * 2, "ULodMesh.CollapseWedgeThus");
    const uint32_t nWedges = ReadCount(r, 4, "ULodMesh.Wedges");
    m.Wedges.resize(nWedges);
    for (TPackageMesh::TWedge& w : m.Wedges) {
      w.Vertex = r.U16("ULodMesh.Wedges");
      w.U = r.U8("ULodMesh.Wedges") / 255.0f;
      w.V = 1.0f - r.U8("ULodMesh.Wedges") / 255.0f;
    }
    const uint32_t nMaterials = ReadCount(r, 8, "ULodMesh.Materials");
    m.LodMaterials.resize(nMaterials);
    for (TPackageMesh::TLodMaterial& mat : m.LodMaterials) {
      mat.PolyFlags = r.I32("ULodMesh.Materials");
      mat.TextureIndex = r.I32("ULodMesh.Materials");
      if (mat.TextureIndex < 0 || mat.TextureIndex > MAX_TEXTURE_INDEX)
        r.Fail("ULodMesh.Materials texture index out of range");
    }
    r.Skip(static_cast<uint64_t>(ReadCount(r, 8, "ULodMesh.SpecialFaces")) * 8, "ULodMesh.SpecialFaces");
    r.Skip(4, "ULodMesh.ModelVerts");
    m.SpecialVerts = r.I32("ULodMesh.SpecialVerts");
    r.Skip(4 * 6, "ULodMesh scalars");
    r.Skip(static_cast<uint64_t>(ReadCount(r, 2, "ULodMesh.RemapAnimVerts")) * 2, "ULodMesh.RemapAnimVerts");
    r.Skip(4, "ULodMesh.OldFrameVerts");
    for (const TPackageMesh::TFace& f : m.Faces) {
      for (int32_t w : f.Wedge) r.CheckIndex(w, m.Wedges.size(), "ULodMesh.Faces wedge");
      r.CheckIndex(f.Material, m.LodMaterials.size(), "ULodMesh.Faces material");
    }
    if (m.SpecialVerts < 0) r.Fail("ULodMesh.SpecialVerts is negative");
    for (const TPackageMesh::TWedge& w : m.Wedges)
      r.CheckIndex(static_cast<int64_t>(w.Vertex) + m.SpecialVerts, static_cast<uint64_t>(m.FrameVerts),
                   "ULodMesh.Wedges vertex");
  } else {
    for (const TPackageMesh::TTri& t : m.Tris)
      for (int32_t v : t.V) r.CheckIndex(v, static_cast<uint64_t>(m.FrameVerts), "UMesh.Tris vertex");
  }
  out = std::move(m);
}

std::vector<TAnimSeq> OfferedSequences(const TPackageMesh& mesh) {
  if (!mesh.AnimSeqs.empty()) return mesh.AnimSeqs;
  return {TAnimSeq{"<All Frames>", 0, mesh.AnimFrames}};
}

void BuildPackageFrame(const TPackageMesh& src, int frameNumber, bool addNormals, TObjeto3D& mesh) {
  mesh.Clear();
  if (frameNumber < 0 || frameNumber >= src.AnimFrames)
    RaiseInvalidModelFile(src.MeshName, "frame " + std::to_string(frameNumber) + " beyond the " +
                                            std::to_string(src.AnimFrames) + " frames of the mesh");
  const size_t base = static_cast<size_t>(frameNumber) * static_cast<size_t>(src.FrameVerts);
  TObjeto3D m;
  // Materials: the highest texture index among the triangles sizes the list, so a triangle on
  // an imported texture slot still has a material (without a name: no section).
  auto usable = [&](int32_t slot) {
    return slot >= 0 && static_cast<size_t>(slot) < src.Textures.size() && src.Textures[static_cast<size_t>(slot)] >= 0;
  };
  auto addMaterialFlags = [&](int32_t slot, int32_t polyFlags) {
    if (!usable(slot)) return;
    TObjeto3DMaterial& mat = m.Materials[static_cast<size_t>(slot)];
    if (mat.Name.empty()) mat.Name = "SKIN" + std::to_string(slot);
    if (polyFlags & 0x02) mat.Flags |= MATERIAL_MASKED;
    if (polyFlags & 0x100) mat.Flags |= MATERIAL_TWOSIDED;
    if (polyFlags & 0x04) mat.Flags |= MATERIAL_TRANSLUCENT;
  };
  int32_t highest = 0;
  if (!src.IsLodMesh) {
    for (const auto& t : src.Tris) highest = std::max(highest, t.TextureIndex);
    m.Materials.resize(static_cast<size_t>(highest) + 1);
    for (size_t i = 0; i < static_cast<size_t>(src.FrameVerts); ++i) m.Vertices.push_back(src.Verts[base + i]);
    for (const auto& s : src.Tris) {
      TObjeto3DTriangulo t;
      t.Vertex0 = s.V[0], t.Vertex1 = s.V[1], t.Vertex2 = s.V[2];
      int32_t* uv[3] = {&t.UV0, &t.UV1, &t.UV2};
      for (int k = 0; k < 3; ++k) {
        m.UVs.push_back({s.U[k], s.V2[k]});
        *uv[k] = static_cast<int32_t>(m.UVs.size() - 1);
      }
      t.Material = s.TextureIndex;
      addMaterialFlags(s.TextureIndex, s.PolyFlags);
      m.Triangles.push_back(t);
    }
  } else {
    for (const auto& mat : src.LodMaterials) highest = std::max(highest, mat.TextureIndex);
    m.Materials.resize(static_cast<size_t>(highest) + 1);
    for (const auto& w : src.Wedges) {
      m.Vertices.push_back(src.Verts[base + static_cast<size_t>(w.Vertex) + static_cast<size_t>(src.SpecialVerts)]);
      m.UVs.push_back({w.U, w.V});
    }
    for (const auto& mat : src.LodMaterials) addMaterialFlags(mat.TextureIndex, mat.PolyFlags);
    for (const auto& f : src.Faces) {
      TObjeto3DTriangulo t;
      t.Vertex0 = t.UV0 = f.Wedge[0];
      t.Vertex1 = t.UV1 = f.Wedge[1];
      t.Vertex2 = t.UV2 = f.Wedge[2];
      t.Material = src.LodMaterials[static_cast<size_t>(f.Material)].TextureIndex;
      m.Triangles.push_back(t);
    }
  }
  for (TObjeto3DTriangulo& t : m.Triangles) {
    if (addNormals) {
      auto P = [&](int32_t i) {
        const TObjeto3DVertice& v = m.Vertices[static_cast<size_t>(i)];
        return AffineVectorMake(v.X, v.Y, v.Z);
      };
      TAffineVector n;
      CalcPlaneNormal(P(t.Vertex0), P(t.Vertex1), P(t.Vertex2), n);
      m.Normals.push_back({n[0], n[1], n[2]});
      t.Normal0 = t.Normal1 = t.Normal2 = static_cast<int32_t>(m.Normals.size() - 1);
    } else {
      t.Normal0 = t.Normal1 = t.Normal2 = 65535;
    }
  }
  mesh = std::move(m);
}

// ---- finders ----------------------------------------------------------------------------------

void EncodeCompactIndex(int32_t value, std::string& bytes) {
  if (value < 0) return;
  uint8_t b[UT_MAX_COMPACT_INDEX_BYTES];
  const int n = EncodeCompactIndex(value, b);
  bytes.append(reinterpret_cast<const char*>(b), static_cast<size_t>(n));
}

namespace {

std::string PropertyTag(const TUTPackage& package, const std::string& property, uint8_t info) {
  std::string tag;
  const int32_t index = package.FindName(property);
  if (index < 0) return tag;
  EncodeCompactIndex(index, tag);
  tag.push_back(static_cast<char>(info));
  return tag;
}

// Calls hit with a reader placed after each non-overlapping occurrence of tag in data, until hit
// returns true. A value that runs past the data is no hit.
template <class F>
bool SearchTag(const std::string& data, const std::string& tag, F hit) {
  if (tag.empty()) return false;
  size_t from = 0;
  while (true) {
    const size_t p = data.find(tag, from);
    if (p == std::string::npos) return false;
    from = p + tag.size();
    TByteReader r(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    r.Seek(from, "property");
    try {
      if (hit(r)) return true;
    } catch (const EReadError&) {
      // the value does not fit the data: not this occurrence
    }
  }
}

}  // namespace

namespace {

int32_t FindObjectByTag(const TUTPackage& package, const std::string& data, const std::string& tag,
                        const std::string& classes) {
  int32_t result = 0;
  const std::string list = "|" + LowerCase(classes) + "|";
  SearchTag(data, tag, [&](TByteReader& r) {
    const int32_t ref = ReadIndex(r, "object reference");
    if (ref == 0) return false;
    const int64_t index = RefTableIndex(ref);
    std::string className;
    if (ref > 0) {
      if (index >= static_cast<int64_t>(package.Exports.size())) return false;
      className = package.Exports[static_cast<size_t>(index)].ClassNameStr;
    } else {
      if (index >= static_cast<int64_t>(package.Imports.size())) return false;
      className = package.Imports[static_cast<size_t>(index)].ClassNameStr;
    }
    if (list.find("|" + LowerCase(className) + "|") == std::string::npos) return false;
    result = ref;
    return true;
  });
  return result;
}

int32_t FindIntByTag(const std::string& data, const std::string& tag) {
  int32_t result = 0;
  SearchTag(data, tag, [&](TByteReader& r) {
    result = r.I32("int property");
    return result != 0;
  });
  return result;
}

std::string FindStringByTag(const std::string& data, const std::string& tag, uint8_t info) {
  std::string result;
  SearchTag(data, tag, [&](TByteReader& r) {
    int32_t length;
    if (info == 0x5D) {
      const int32_t size = ReadIndex(r, "string size");
      length = ReadIndex(r, "string length");
      if (length < 1 || size != length + 1) return false;
    } else {
      length = ReadIndex(r, "string length");
      if (length < 1) return false;
    }
    const std::string text = r.String(static_cast<size_t>(length), "string");
    if (info != 0x5D && text.back() != '\0') return false;
    result = text.substr(0, text.size() - 1);
    return true;
  });
  return result;
}

}  // namespace

int32_t FindObjectProperty(const TUTPackage& package, const std::string& data, const std::string& property,
                           uint8_t info, const std::string& classes) {
  return FindObjectByTag(package, data, PropertyTag(package, property, info), classes);
}

int32_t FindIntProperty(const TUTPackage& package, const std::string& data, const std::string& property) {
  return FindIntByTag(data, PropertyTag(package, property, 0x22));
}

std::string FindStringProperty(const TUTPackage& package, const std::string& data, const std::string& property,
                               uint8_t info) {
  return FindStringByTag(data, PropertyTag(package, property, info), info);
}

TDefaultTags::TDefaultTags(const TUTPackage& package)
    : Mesh05(PropertyTag(package, "Mesh", 0x05)),
      Mesh15(PropertyTag(package, "Mesh", 0x15)),
      MenuName5D(PropertyTag(package, "MenuName", 0x5D)),
      MenuName4D(PropertyTag(package, "MenuName", 0x4D)),
      MenuName3D(PropertyTag(package, "MenuName", 0x3D)),
      FaceSkin(PropertyTag(package, "FaceSkin", 0x22)),
      FixedSkin(PropertyTag(package, "FixedSkin", 0x22)),
      TeamSkin1(PropertyTag(package, "TeamSkin1", 0x22)),
      TeamSkin2(PropertyTag(package, "TeamSkin2", 0x22)) {}

std::vector<uint8_t> ReadExportData(TUTPackage& package, int32_t exportIndex) {
  const TExportTableData& e = package.GetExport(exportIndex);
  std::vector<uint8_t> data(static_cast<size_t>(std::max(0, e.SerialSize)));
  if (data.empty()) return data;
  package.Open();
  try {
    package.Seek(e.SerialOffset);
    package.Read(data.data(), data.size());
  } catch (...) {
    package.Close();
    throw;
  }
  package.Close();
  return data;
}

TClassDefaults ReadClassDefaults(TUTPackage& package, int32_t exportIndex) {
  return ReadClassDefaults(package, exportIndex, TDefaultTags(package));
}

TClassDefaults ReadClassDefaults(TUTPackage& package, int32_t exportIndex, const TDefaultTags& tags) {
  const std::vector<uint8_t> bytes = ReadExportData(package, exportIndex);
  const std::string d(bytes.begin(), bytes.end());
  TClassDefaults c;
  c.Mesh = FindObjectByTag(package, d, tags.Mesh05, "lodmesh|mesh");
  if (c.Mesh == 0) c.Mesh = FindObjectByTag(package, d, tags.Mesh15, "lodmesh|mesh");
  if (c.Mesh == 0) return c;
  c.MenuName = FindStringByTag(d, tags.MenuName5D, 0x5D);
  if (c.MenuName.empty()) c.MenuName = FindStringByTag(d, tags.MenuName4D, 0x4D);
  if (c.MenuName.empty()) c.MenuName = FindStringByTag(d, tags.MenuName3D, 0x3D);
  c.FaceSkin = FindIntByTag(d, tags.FaceSkin);
  c.FixedSkin = FindIntByTag(d, tags.FixedSkin);
  c.TeamSkin1 = FindIntByTag(d, tags.TeamSkin1);
  c.TeamSkin2 = FindIntByTag(d, tags.TeamSkin2);
  return c;
}

// ---- scanning ---------------------------------------------------------------------------------

namespace {

const char* const NOTE_NO_MODEL = "The package does not have any model object.";
const char* const NOTE_NO_MESH = "The package does not have any mesh or lodmesh objects.";

std::vector<std::string> PlayerClassesOfInt(const std::string& text) {
  std::vector<std::string> found;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.find("MetaClass=Botpack.TournamentPlayer") == std::string::npos) continue;
    const size_t name = line.find("Name=");
    if (name == std::string::npos) continue;
    const size_t from = name + 5;
    const size_t cls = line.find(",Class=", from);
    found.push_back(line.substr(from, cls == std::string::npos ? std::string::npos : cls - from));
  }
  return found;
}

}  // namespace

TScanResult ScanPackage(const std::string& chosenFile, bool useInt, TUTPackage& package) {
  TScanResult result;
  result.PackageFileName = ResolveCaseInsensitive(ChangeFileExt(chosenFile, ".u"));
  if (useInt) {
    const TBytes bytes = ReadModelFile(chosenFile);
    const std::vector<std::string> classesOfInt = PlayerClassesOfInt(std::string(bytes.begin(), bytes.end()));
    if (classesOfInt.empty()) {
      result.Note = NOTE_NO_MODEL;
      return result;
    }
    package.LoadFromFile(result.PackageFileName);
    const std::string own = LowerCase(ChangeFileExt(ExtractFileName(result.PackageFileName), ""));
    // The first class export of each (package path, name), so a large package is not walked
    // once per listed class.
    std::unordered_map<std::string, int32_t> classes;
    for (int32_t i = package.GetExportCount() - 1; i >= 0; --i) {
      const TExportTableData& e = package.Exports[static_cast<size_t>(i)];
      if (e.ClassNameStr.empty()) classes[LowerCase(e.PackagePath) + '\0' + LowerCase(e.ObjectNameStr)] = i;
    }
    const TDefaultTags tags(package);
    package.Open();  // once for every class read below
    try {
      for (const std::string& entry : classesOfInt) {
        const size_t dot = entry.find('.');
        std::string pkg = LowerCase(entry.substr(0, dot));
        const std::string cls = dot == std::string::npos ? std::string() : LowerCase(entry.substr(dot + 1));
        if (pkg == own) pkg.clear();
        const auto found = classes.find(pkg + '\0' + cls);
        if (found == classes.end()) continue;
        const TExportTableData& e = package.Exports[static_cast<size_t>(found->second)];
        const TClassDefaults d = ReadClassDefaults(package, found->second, tags);
        if (d.Mesh == 0) continue;
        TMeshRow row;
        row.Caption = d.MenuName.empty() ? e.ObjectNameStr : d.MenuName;
        row.Item = {d.FaceSkin, d.FixedSkin, d.TeamSkin1, d.TeamSkin2, d.Mesh};
        result.Rows.push_back(std::move(row));
      }
    } catch (...) {
      package.Close();
      throw;
    }
    package.Close();
  } else {
    package.LoadFromFile(result.PackageFileName);
    for (int32_t i = 0; i < package.GetExportCount(); ++i) {
      const TExportTableData& e = package.Exports[static_cast<size_t>(i)];
      const std::string cls = LowerCase(e.ClassNameStr);
      if (cls == "lodmesh" || cls == "mesh") result.Rows.push_back({e.ObjectNameStr, {-1, -1, -1, -1, i + 1}});
    }
  }
  if (result.Rows.empty()) result.Note = NOTE_NO_MESH;
  return result;
}

TMeshObjectRead ReadMeshObject(TUTPackage& package, const std::string& packageFileName, const TLodMeshItem& row,
                               TGameKind game) {
  TMeshObjectRead result;
  std::string className, meshName, file = packageFileName;
  if (row.Mesh > 0 && RefTableIndex(row.Mesh) < package.GetExportCount()) {
    const TExportTableData& e = package.Exports[static_cast<size_t>(RefTableIndex(row.Mesh))];
    className = e.ClassNameStr;
    meshName = e.ObjectNameStr;
  } else if (row.Mesh < 0 && RefTableIndex(row.Mesh) < static_cast<int64_t>(package.Imports.size())) {
    const TImportTableData& im = package.Imports[static_cast<size_t>(RefTableIndex(row.Mesh))];
    className = im.ClassNameStr;
    meshName = im.ObjectNameStr;
    // The outermost package of the path names the file; it must be a plain name.
    const std::string outer = im.PackagePath.substr(0, im.PackagePath.find('.'));
    if (outer.empty() || outer.find_first_of("/\\:") != std::string::npos || outer == "." || outer == "..")
      RaiseInvalidModelFile(packageFileName, "import package name '" + im.PackagePath + "' is not a file name");
    file = ResolveCaseInsensitive(ExtractFilePath(packageFileName) + outer + ".u");
  }
  result.Mesh.ClassName = className;
  result.Mesh.MeshName = meshName;
  result.MeshPackageName = ChangeFileExt(ExtractFileName(file), "");
  if (LowerCase(className).find("mesh") == std::string::npos) {
    result.Error = "Invalid Mesh/LodMesh object";
    return result;
  }
  TUTPackage second;
  TUTPackage* source = &package;
  if (row.Mesh < 0) {
    second.LoadFromFile(file);
    source = &second;
  }
  const int32_t index = source->FindExport(meshName, className);
  if (index < 0) {
    result.Error = "Mesh/LodMesh object not found.";
    return result;
  }
  const std::vector<uint8_t> data = ReadExportData(*source, index);
  std::vector<std::string> names;
  names.reserve(source->Names.size());
  for (const TUTName& n : source->Names) names.push_back(n.Name);
  ReadMeshObjectData(data, source->Version, game, names, result.Mesh, file);
  return result;
}
