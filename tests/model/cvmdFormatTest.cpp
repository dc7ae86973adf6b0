// The model data file: exact layout of what the writer produces, the unwelding of shared
// corners, the old versions, round trips of random meshes, and writer refusals.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "model/crvn_cvmdformat.h"
#include "platform/Exceptions.h"
#include "tests/model/cvmdTestBytes.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

namespace fs = std::filesystem;

namespace {

bool Load(TObjeto3D& m, const TCvmdBytes& b) { return LoadFromCVMDMemory(m, b.B.data(), b.B.size(), "test.cvmd"); }

// What one triangle corner looks like, whatever the indices.
struct TCorner {
  TObjeto3DVertice V;
  TObjeto3DCoordenadaUV UV;
  bool HasNormal;
  TObjeto3DNormal N;
  std::string Material;
  int32_t Flags;
};

TCorner CornerOf(const TObjeto3D& m, size_t tri, int c) {
  const TObjeto3DTriangulo& t = m.Triangles.at(tri);
  const int32_t v[3] = {t.Vertex0, t.Vertex1, t.Vertex2};
  const int32_t uv[3] = {t.UV0, t.UV1, t.UV2};
  const int32_t n[3] = {t.Normal0, t.Normal1, t.Normal2};
  TCorner k{};
  k.V = m.Vertices.at(v[c]);
  k.UV = m.UVs.at(uv[c]);
  k.HasNormal = !IsNoNormal(n[c]);
  if (k.HasNormal) k.N = m.Normals.at(n[c]);
  k.Material = m.Materials.at(t.Material).Name;
  k.Flags = m.Materials.at(t.Material).Flags;
  return k;
}

void ExpectSameCorners(const TObjeto3D& a, const TObjeto3D& b) {
  ASSERT_EQ(a.Triangles.size(), b.Triangles.size());
  for (size_t i = 0; i < a.Triangles.size(); ++i)
    for (int c = 0; c < 3; ++c) {
      TCorner x = CornerOf(a, i, c), y = CornerOf(b, i, c);
      SCOPED_TRACE("triangle " + std::to_string(i) + " corner " + std::to_string(c));
      EXPECT_EQ(x.V.X, y.V.X);
      EXPECT_EQ(x.V.Y, y.V.Y);
      EXPECT_EQ(x.V.Z, y.V.Z);
      EXPECT_EQ(x.UV.U, y.UV.U);
      EXPECT_EQ(x.UV.V, y.UV.V);
      ASSERT_EQ(x.HasNormal, y.HasNormal);
      if (x.HasNormal) {
        EXPECT_EQ(x.N.X, y.N.X);
        EXPECT_EQ(x.N.Y, y.N.Y);
        EXPECT_EQ(x.N.Z, y.N.Z);
      }
      EXPECT_EQ(x.Material, y.Material.substr(0, 255));
      EXPECT_EQ(x.Flags, y.Flags);
    }
}

// After loading, no two corners may share a vertex, texture coordinate or normal.
void ExpectUnwelded(const TObjeto3D& m) {
  std::set<int32_t> v, uv, n;
  for (const TObjeto3DTriangulo& t : m.Triangles) {
    for (int32_t i : {t.Vertex0, t.Vertex1, t.Vertex2}) EXPECT_TRUE(v.insert(i).second) << "vertex " << i;
    for (int32_t i : {t.UV0, t.UV1, t.UV2}) EXPECT_TRUE(uv.insert(i).second) << "uv " << i;
    for (int32_t i : {t.Normal0, t.Normal1, t.Normal2})
      if (!IsNoNormal(i)) {
        EXPECT_TRUE(n.insert(i).second) << "normal " << i;
      }
  }
}

TObjeto3D RandomMesh(std::mt19937& rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto real = [&]() { return std::uniform_real_distribution<float>(-1000, 1000)(rng); };
  TObjeto3D m;
  const int nv = pick(1, 60), nuv = pick(1, 60), nn = pick(0, 20), nm = pick(1, 5), nt = pick(0, 120);
  for (int i = 0; i < nv; ++i) m.Vertices.push_back({real(), real(), real()});
  for (int i = 0; i < nuv; ++i) m.UVs.push_back({real(), real()});
  for (int i = 0; i < nn; ++i) m.Normals.push_back({real(), real(), real()});
  for (int i = 0; i < nm; ++i) {
    std::string name(static_cast<size_t>(pick(0, 300)), '\0');
    for (char& ch : name) ch = static_cast<char>(pick(0, 255));
    m.Materials.push_back({name, pick(-5, 15)});
  }
  auto normal = [&]() {
    int k = pick(0, 3);
    if (nn == 0 || k == 0) return -1;
    if (k == 1) return 65535;
    return pick(0, nn - 1);
  };
  for (int i = 0; i < nt; ++i) {
    TObjeto3DTriangulo t;
    t.Vertex0 = pick(0, nv - 1), t.Vertex1 = pick(0, nv - 1), t.Vertex2 = pick(0, nv - 1);
    t.UV0 = pick(0, nuv - 1), t.UV1 = pick(0, nuv - 1), t.UV2 = pick(0, nuv - 1);
    t.Normal0 = normal(), t.Normal1 = normal(), t.Normal2 = normal();
    t.Material = pick(0, nm - 1);
    m.Triangles.push_back(t);
  }
  return m;
}

}  // namespace

TEST(CvmdWriter, EmptyMeshIsFiftyTwoBytesAndLoadsBackEmpty) {
  const testsupport::TScratchDir scratch("cvmd-empty");
  const fs::path& dir = scratch.Path();
  fs::path file = dir / "empty.cvmd";
  SaveToCVMD(TObjeto3D{}, file.string());
  TCvmdBytes want;
  want.U16(0x0200).Chunk("VERT", 0, 0).Chunk("TEXC", 0, 0).Chunk("NORM", 0, 0).Chunk("MATS", 2, 0).Chunk("MESH", 0, 0);
  EXPECT_EQ(testsupport::ReadBytes(file), want.B);
  EXPECT_EQ(want.B.size(), 2u + 5 * 10);

  TObjeto3D m = CvmdPrefilled();
  EXPECT_TRUE(LoadFromCVMD(m, file.string()));
  EXPECT_TRUE(m.Empty());
}

TEST(CvmdWriter, LayoutMatchesAHandBuiltFile) {
  TObjeto3D m;
  m.Vertices = {{1.5f, -2, 3}, {4, 5, 6}, {7, 8, 9.25f}};
  m.UVs = {{0.25f, 0.75f}, {1, 0}};
  m.Normals = {{0, 0, 1}};
  const std::string longName(300, 'x');
  m.Materials = {{"", 3}, {longName, -7}, {std::string(255, 'y'), 8}};
  TObjeto3DTriangulo t;
  t.Vertex0 = 2, t.Vertex1 = 0, t.Vertex2 = 1;
  t.UV0 = 1, t.UV1 = 0, t.UV2 = 1;
  t.Normal0 = -1, t.Normal1 = 65535, t.Normal2 = 0;
  t.Material = 2;
  m.Triangles = {t};

  TCvmdBytes want;
  want.U16(0x0200).Chunk("VERT", 36, 3);
  for (auto& v : m.Vertices) want.F32(v.X).F32(v.Y).F32(v.Z);
  want.Chunk("TEXC", 16, 2).F32(0.25f).F32(0.75f).F32(1).F32(0);
  want.Chunk("NORM", 12, 1).F32(0).F32(0).F32(1);
  // Names: 0, 255 (cut from 300) and 255 bytes, each with a length byte and 4 flag bytes.
  want.Chunk("MATS", 2 + 5 + 260 + 260, 3).Material("", 3).Material(std::string(255, 'x'), -7);
  want.Material(std::string(255, 'y'), 8);
  want.Chunk("MESH", 20, 1).Tri(2, 1, 0, 0, 1, 1, 2, 65535, 65535, 0);
  EXPECT_EQ(CVMDBytes(m, "x.cvmd"), want.B);
}

TEST(CvmdWriter, RefusesWhatTheFormatCannotHoldAndKeepsTheOldFile) {
  const testsupport::TScratchDir scratch("cvmd-refuse");
  const fs::path& dir = scratch.Path();
  fs::path file = dir / "model.cvmd";
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  testsupport::WriteBytes(file, old);

  TObjeto3D good;
  good.Vertices.resize(3);
  good.UVs.resize(3);
  good.Normals.resize(1);
  good.Materials.push_back({"skin", 0});
  good.Triangles.push_back({0, 1, 2, 0, -1, 65535, 0, 1, 2, 0});

  std::vector<std::pair<std::string, TObjeto3D>> bad;
  auto variant = [&](const std::string& why, auto change) {
    TObjeto3D m = good;
    change(m);
    bad.emplace_back(why, std::move(m));
  };
  variant("65536 vertices", [](TObjeto3D& m) { m.Vertices.resize(65536); });
  variant("65536 texture coordinates", [](TObjeto3D& m) { m.UVs.resize(65536); });
  variant("65536 normals", [](TObjeto3D& m) { m.Normals.resize(65536); });
  variant("65536 materials", [](TObjeto3D& m) { m.Materials.resize(65536); });
  variant("65536 triangles", [](TObjeto3D& m) { m.Triangles.resize(65536, m.Triangles[0]); });
  variant("negative vertex", [](TObjeto3D& m) { m.Triangles[0].Vertex1 = -1; });
  variant("vertex past the list", [](TObjeto3D& m) { m.Triangles[0].Vertex2 = 3; });
  variant("vertex the format cannot hold", [](TObjeto3D& m) { m.Triangles[0].Vertex0 = 65536; });
  variant("texture coordinate past the list", [](TObjeto3D& m) { m.Triangles[0].UV0 = 3; });
  variant("negative texture coordinate", [](TObjeto3D& m) { m.Triangles[0].UV2 = -1; });
  variant("normal -2", [](TObjeto3D& m) { m.Triangles[0].Normal1 = -2; });
  variant("normal past the list", [](TObjeto3D& m) { m.Triangles[0].Normal2 = 1; });
  variant("material past the list", [](TObjeto3D& m) { m.Triangles[0].Material = 1; });
  variant("negative material", [](TObjeto3D& m) { m.Triangles[0].Material = -1; });

  for (auto& [why, m] : bad) {
    SCOPED_TRACE(why);
    try {
      SaveToCVMD(m, file.string());
      ADD_FAILURE() << "saved";
    } catch (const EInOutError& e) {
      EXPECT_NE(e.Message.find(file.string()), std::string::npos) << e.Message;
    }
    EXPECT_EQ(testsupport::ReadBytes(file), old);
  }
  int files = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1) << "a temporary file was left behind";

  // The unchanged mesh is within the limits, including a -1 and a 65535 normal.
  SaveToCVMD(good, file.string());
  TObjeto3D back;
  ASSERT_TRUE(LoadFromCVMD(back, file.string()));
  ExpectSameCorners(good, back);

  EXPECT_THROW(SaveToCVMD(good, (dir / "no-such-folder" / "m.cvmd").string()), EInOutError);
}

TEST(CvmdWriter, SixtyFiveThousandFiveHundredThirtyFiveOfEverythingFits) {
  TObjeto3D m;
  m.Vertices.resize(65535);
  m.UVs.resize(65535);
  m.Normals.resize(65535);
  m.Materials.resize(65535);
  m.Triangles.resize(65535, TObjeto3DTriangulo{65534, 0, 1, 65534, 65533, -1, 65534, 2, 3, 65534});
  for (size_t i = 0; i < m.Vertices.size(); ++i) m.Vertices[i].X = static_cast<float>(i);
  std::vector<uint8_t> bytes = CVMDBytes(m, "max.cvmd");
  TObjeto3D back;
  ASSERT_TRUE(LoadFromCVMDMemory(back, bytes.data(), bytes.size(), "max.cvmd"));
  EXPECT_EQ(back.Triangles.size(), 65535u);
  EXPECT_EQ(back.Vertices[back.Triangles[0].Vertex0].X, 65534.0f);
  EXPECT_EQ(back.Vertices[back.Triangles[65534].Vertex0].X, 65534.0f);
  EXPECT_EQ(back.Triangles[100].Normal2, 65535);
  ExpectUnwelded(back);
}

TEST(CvmdUnweld, SharedCornersGetCopiesInCornerOrder) {
  // One triangle on vertices 0, 0, 1: the second corner gets a copy of vertex 0.
  TCvmdBytes one;
  one.U16(0x0200).Chunk("VERT", 24, 2).F32(1).F32(2).F32(3).F32(4).F32(5).F32(6);
  one.Chunk("TEXC", 8, 1).F32(0.1f).F32(0.2f).Chunk("MATS", 7, 1).Material("", 0);
  one.Chunk("MESH", 20, 1).Tri(0, 0, 0, 0, 1, 0, 0, 65535, 65535, 65535);
  TObjeto3D m;
  ASSERT_TRUE(Load(m, one));
  ASSERT_EQ(m.Vertices.size(), 3u);
  const TObjeto3DTriangulo& t = m.Triangles[0];
  EXPECT_EQ(t.Vertex0, 0);
  EXPECT_EQ(t.Vertex1, 2);
  EXPECT_EQ(t.Vertex2, 1);
  EXPECT_EQ(m.Vertices[2].X, 1);
  EXPECT_EQ(m.Vertices[2].Z, 3);
  // All three corners on texture coordinate 0: copies 1 and 2, in corner order.
  EXPECT_EQ(m.UVs.size(), 3u);
  EXPECT_EQ(t.UV0, 0);
  EXPECT_EQ(t.UV1, 1);
  EXPECT_EQ(t.UV2, 2);
  EXPECT_EQ(m.UVs[2].V, 0.2f);
  // 65535 means no normal: it stays 65535 and copies nothing.
  EXPECT_EQ(t.Normal0, 65535);
  EXPECT_EQ(t.Normal2, 65535);
  EXPECT_TRUE(m.Normals.empty());
}

TEST(CvmdUnweld, TwoTrianglesSharingAnEdgeGetSixOfEverything) {
  TCvmdBytes b;
  b.U16(0x0200).Chunk("VERT", 5 * 12, 5);
  for (int i = 0; i < 5; ++i) b.F32(static_cast<float>(i)).F32(0).F32(0);
  b.Chunk("TEXC", 5 * 8, 5);
  for (int i = 0; i < 5; ++i) b.F32(static_cast<float>(i) / 8).F32(0);
  b.Chunk("NORM", 5 * 12, 5);
  for (int i = 0; i < 5; ++i) b.F32(0).F32(static_cast<float>(i)).F32(0);
  b.Chunk("MATS", 2 + 6 + 7, 2).Material("a", 0).Material("bb", 2);
  b.Chunk("MESH", 40, 2).Tri(0, 0, 1, 1, 2, 2, 0, 0, 1, 2).Tri(2, 2, 1, 1, 3, 3, 1, 2, 1, 3);
  TObjeto3D m;
  ASSERT_TRUE(Load(m, b));
  ExpectUnwelded(m);
  // Entry 4 is used by no corner and stays; the shared edge adds two copies of each kind.
  EXPECT_EQ(m.Vertices.size(), 7u);
  EXPECT_EQ(m.UVs.size(), 7u);
  EXPECT_EQ(m.Normals.size(), 7u);
  EXPECT_EQ(m.Vertices[m.Triangles[1].Vertex0].X, 2);
  EXPECT_EQ(m.Vertices[m.Triangles[1].Vertex1].X, 1);
  EXPECT_EQ(m.UVs[m.Triangles[1].UV1].U, 1.0f / 8);
  EXPECT_EQ(m.Normals[m.Triangles[1].Normal0].Y, 2);
  EXPECT_EQ(m.Materials[1].Name, "bb");
  EXPECT_EQ(m.Triangles[1].Material, 1);
}

TEST(CvmdOldVersions, TextureCoordinatesAreFixedOnlyInVersion0102) {
  auto file = [](uint16_t version) {
    TCvmdBytes b;
    b.U16(version).U16(3).F32(1).F32(2).F32(3).F32(4).F32(5).F32(6).F32(7).F32(8).F32(9);
    b.U16(2).F32(0.75f).F32(0.25f).F32(0.5f).F32(0.4f);
    b.U16(1).Material("head", 4);
    b.U16(2).OldTri(0, 0, 1, 1, 2, 1, 0).OldTri(2, 1, 1, 0, 0, 0, 0);
    return b;
  };
  TObjeto3D m = CvmdPrefilled();
  ASSERT_TRUE(Load(m, file(0x0102)));
  EXPECT_EQ(m.UVs[0].U, 0.5f);
  EXPECT_EQ(m.UVs[0].V, 0.5f);
  EXPECT_EQ(m.UVs[1].U, 0.0f);  // exactly 0.5 counts as the upper half
  EXPECT_FLOAT_EQ(m.UVs[1].V, 0.8f);
  EXPECT_EQ(m.Materials.size(), 1u);
  EXPECT_EQ(m.Materials[0].Flags, 4);
  EXPECT_TRUE(m.Normals.empty());
  for (const auto& t : m.Triangles) {
    EXPECT_EQ(t.Normal0, -1);
    EXPECT_EQ(t.Normal1, -1);
    EXPECT_EQ(t.Normal2, -1);
  }
  ExpectUnwelded(m);
  EXPECT_EQ(m.Vertices.size(), 6u);

  ASSERT_TRUE(Load(m, file(0x0103)));
  EXPECT_EQ(m.UVs[0].U, 0.75f);
  EXPECT_EQ(m.UVs[0].V, 0.25f);
  EXPECT_EQ(m.Triangles.size(), 2u);
  EXPECT_EQ(m.Materials[0].Name, "head");
}

TEST(CvmdVersions, UnknownVersionReturnsFalseWithTheMeshEmpty) {
  for (uint16_t version : {0x0300, 0x0101, 0x0201, 0x0000, 0x0002}) {
    TCvmdBytes b;
    b.U16(version).Chunk("VERT", 0, 0);
    TObjeto3D m = CvmdPrefilled();
    EXPECT_FALSE(Load(m, b)) << version;
    EXPECT_TRUE(m.Empty()) << version;
  }
  // A version-only 0x0200 file is an empty mesh.
  TCvmdBytes bare;
  bare.U16(0x0200);
  TObjeto3D m = CvmdPrefilled();
  EXPECT_TRUE(Load(m, bare));
  EXPECT_TRUE(m.Empty());
}

TEST(CvmdRoundTrip, RandomMeshesKeepEveryCorner) {
  const testsupport::TScratchDir scratch("cvmd-roundtrip");
  const fs::path& dir = scratch.Path();
  std::mt19937 rng(20261207);
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TObjeto3D m = RandomMesh(rng);
    fs::path file = dir / "r.cvmd";
    SaveToCVMD(m, file.string());
    TObjeto3D back;
    ASSERT_TRUE(LoadFromCVMD(back, file.string()));
    ExpectSameCorners(back, m);
    ExpectUnwelded(back);
    // Entries no corner used stay: the lists only grow.
    EXPECT_GE(back.Vertices.size(), m.Vertices.size());
    EXPECT_EQ(back.Materials.size(), m.Materials.size());
    // An unwelded mesh saves and loads to the same corners again without new copies.
    SaveToCVMD(back, file.string());
    TObjeto3D again;
    ASSERT_TRUE(LoadFromCVMD(again, file.string()));
    ExpectSameCorners(again, back);
    EXPECT_EQ(again.Vertices.size(), back.Vertices.size());
    EXPECT_EQ(again.UVs.size(), back.UVs.size());
    EXPECT_EQ(again.Normals.size(), back.Normals.size());
  }
}
