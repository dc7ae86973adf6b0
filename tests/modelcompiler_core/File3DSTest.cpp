// The 3DS reader on files built chunk by chunk: structure checks, release, mesh counting and
// the winding the model compiler takes from the release.
#include <gtest/gtest.h>

#include <cstring>

#include "ModelCompilerTestSupport.h"
#include "modelcompiler/ModelFileReaders.h"
#include "scene/File3DS.h"

namespace {

using TBytes = std::vector<uint8_t>;

void U16(TBytes& o, uint16_t v) { o.push_back(v & 0xFF), o.push_back(v >> 8); }
void U32(TBytes& o, uint32_t v) {
  for (int k = 0; k < 4; ++k) o.push_back(static_cast<uint8_t>(v >> (8 * k)));
}
void F32(TBytes& o, float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  U32(o, u);
}
void Str(TBytes& o, const std::string& s) { o.insert(o.end(), s.begin(), s.end()), o.push_back(0); }

TBytes Chunk(uint16_t tag, const TBytes& data, std::initializer_list<TBytes> children = {}) {
  TBytes o;
  U16(o, tag);
  size_t size = 6 + data.size();
  for (const TBytes& c : children) size += c.size();
  U32(o, static_cast<uint32_t>(size));
  o.insert(o.end(), data.begin(), data.end());
  for (const TBytes& c : children) o.insert(o.end(), c.begin(), c.end());
  return o;
}

TBytes Version(uint32_t v) {
  TBytes d;
  U32(d, v);
  return Chunk(0x0002, d);
}

// One triangle (0,1,2) over three vertices, with texture vertices unless withTex is false, and
// a material group "SKIN" holding it when grouped.
TBytes TriObject(const std::string& name, bool withTex = true, bool grouped = true) {
  TBytes pts, tex, faces, group, nameData;
  U16(pts, 3);
  for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) F32(pts, v);
  U16(tex, 3);
  for (float v : {0.f, 0.f, 1.f, 0.f, 0.f, 1.f}) F32(tex, v);
  U16(faces, 1);
  for (uint16_t v : {0, 1, 2, 7}) U16(faces, v);
  Str(group, "SKIN");
  U16(group, 1), U16(group, 0);
  Str(nameData, name);
  TBytes faceChunk = grouped ? Chunk(0x4120, faces, {Chunk(0x4130, group)}) : Chunk(0x4120, faces);
  TBytes tri = withTex ? Chunk(0x4100, {}, {Chunk(0x4110, pts), Chunk(0x4140, tex), faceChunk})
                       : Chunk(0x4100, {}, {Chunk(0x4110, pts), faceChunk});
  TBytes obj = nameData;
  obj.insert(obj.end(), tri.begin(), tri.end());
  return Chunk(0x4000, obj);
}

TBytes LightObject(const std::string& name) {
  TBytes obj;
  Str(obj, name);
  TBytes light;
  for (float v : {1.f, 2.f, 3.f}) F32(light, v);
  TBytes c = Chunk(0x4600, light);
  obj.insert(obj.end(), c.begin(), c.end());
  return Chunk(0x4000, obj);
}

TBytes File(uint32_t version, std::initializer_list<TBytes> objects) {
  TBytes mdataBody;
  for (const TBytes& o : objects) mdataBody.insert(mdataBody.end(), o.begin(), o.end());
  TBytes mdata = Chunk(0x3D3D, mdataBody);
  return Chunk(0x4D4D, {}, {Version(version), mdata});
}

void Load(TFile3DS& f, const TBytes& b) { f.LoadFromMemory(b.data(), b.size()); }

}  // namespace

TEST(File3DS, ReleaseAndMeshCount) {
  struct {
    TBytes Bytes;
    int Release, Meshes;
  } cases[] = {
      {File(1, {TriObject("a")}), 0, 1},
      {File(2, {TriObject("a")}), 1, 1},
      {File(3, {TriObject("a"), LightObject("lamp"), TriObject("b")}), 2, 2},
      {File(4, {LightObject("lamp")}), 3, 0},
      {Chunk(0x3DAA, {}), 2, 0},                // material library
      {Chunk(0x1234, {}, {Version(3)}), 3, 0},  // not a database: no error, nothing read
      {TBytes{1, 2, 3}, 3, 0},
  };
  for (auto& c : cases) {
    TFile3DS f;
    Load(f, c.Bytes);
    EXPECT_EQ(f.GetDatabaseRelease(), c.Release);
    EXPECT_EQ(f.Objects.MeshCount(), c.Meshes);
  }
}

TEST(File3DS, BrokenStructureIsRefused) {
  TBytes good = File(3, {TriObject("a")});
  auto patched = [&](size_t at, uint32_t v) {
    TBytes b = good;
    for (size_t k = 0; k < 4; ++k) b.at(at + k) = static_cast<uint8_t>(v >> (8 * k));
    return b;
  };
  // Offsets: top header 0, version chunk 6 (10 bytes), MDATA header 16, object header 22.
  const TBytes cases[] = {
      patched(8, 3),             // version chunk shorter than its header
      patched(8, 0x7FFF),        // version chunk past its parent
      patched(24, 0xFFFFFFF0u),  // object length past the file
  };
  for (const TBytes& b : cases) {
    TFile3DS f;
    EXPECT_THROW(Load(f, b), E3DSError);
    EXPECT_EQ(f.Objects.MeshCount(), 0);
  }
  // A face naming a vertex that does not exist: refused when the mesh is read.
  TBytes bad = good;
  const uint8_t face[] = {0, 0, 1, 0, 2, 0, 7, 0};
  auto it = std::search(bad.begin(), bad.end(), std::begin(face), std::end(face));
  ASSERT_NE(it, bad.end());
  it[4] = 9;
  TFile3DS f;
  Load(f, bad);
  EXPECT_THROW(f.Objects.Mesh(0), E3DSError);
}

// Releases 1 and 2 store faces the other way round: the triangles and their normals turn over.
TEST(File3DS, OldReleasesFlipWindingAndNormals) {
  TObjeto3D oldMesh, newMesh;
  for (auto [version, mesh] : {std::pair{1u, &oldMesh}, std::pair{3u, &newMesh}}) {
    TFile3DS f;
    Load(f, File(version, {TriObject("a")}));
    Read3DSMesh(f, 0, *mesh, "t.3ds");
  }
  ASSERT_EQ(oldMesh.Triangles.size(), 1u);
  ASSERT_EQ(newMesh.Triangles.size(), 1u);
  EXPECT_EQ(oldMesh.Triangles[0].Vertex0, newMesh.Triangles[0].Vertex2);
  EXPECT_EQ(oldMesh.Triangles[0].Vertex2, newMesh.Triangles[0].Vertex0);
  const TObjeto3DNormal a = oldMesh.Normals[0], b = newMesh.Normals[0];
  EXPECT_FLOAT_EQ(a.Z, -b.Z);
  EXPECT_NE(a.Z, 0.0f);
  EXPECT_EQ(newMesh.Materials.size(), 1u);
  EXPECT_EQ(newMesh.Materials[0].Name, "SKIN");
}

TEST(File3DS, MissingTextureVerticesReadAsZeroWithANote) {
  TFile3DS f;
  Load(f, File(3, {TriObject("a", false, false)}));
  TObjeto3D mesh;
  std::vector<std::string> notes;
  Read3DSMesh(f, 0, mesh, "t.3ds", &notes);
  ASSERT_EQ(mesh.UVs.size(), 3u);
  for (const auto& uv : mesh.UVs) EXPECT_EQ(uv.U + uv.V, 0.0f);
  EXPECT_EQ(notes.size(), 1u);
  // No group: the triangle keeps material 0 with no material listed.
  EXPECT_EQ(mesh.Triangles[0].Material, 0);
  EXPECT_TRUE(mesh.Materials.empty());
}
