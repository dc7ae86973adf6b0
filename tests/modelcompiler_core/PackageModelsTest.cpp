// Player models in packages assembled byte by byte: the .int scan with the class defaults found
// among decoy tags, the mesh list without .int, Mesh and LodMesh objects of versions 69 and 61,
// the vertex decoding of each game, frames, and refusal of counts and indices that do not fit.
#include <gtest/gtest.h>

#include <cstring>

#include "ModelCompilerTestSupport.h"
#include "modelcompiler/PackageModels.h"
#include "packages/RawPackage.h"
#include "packages/ut_packages.h"

using namespace mctest;
using pkgtest::RawPackage;

namespace {

struct TBuf {
  std::vector<uint8_t> B;
  TBuf& U8(uint8_t v) { B.push_back(v); return *this; }
  TBuf& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  TBuf& U32(uint32_t v) { RawPackage::U32(B, v); return *this; }
  TBuf& F32(float f) { uint32_t u; std::memcpy(&u, &f, 4); return U32(u); }
  TBuf& Idx(int32_t v) { RawPackage::Index(B, v); return *this; }
  TBuf& Zeros(size_t n) { B.insert(B.end(), n, 0); return *this; }
  TBuf& Bytes(const std::vector<uint8_t>& b) { B.insert(B.end(), b.begin(), b.end()); return *this; }
};

uint32_t Pack(uint32_t a, uint32_t b, uint32_t c) { return a | (b << 11) | (c << 22); }

enum : int32_t {
  N_None, N_Core, N_Class, N_Package, N_Engine, N_LodMesh, N_Mesh, N_Texture, N_MyPkg, N_Soldier, N_Trooper,
  N_Civilian, N_SoldierMesh, N_PlainMesh, N_MenuName, N_FaceSkin, N_TeamSkin1, N_TeamSkin2, N_FixedSkin, N_Breath1,
  N_Run, N_SkinTex, N_OtherPkg, N_DotDot
};
const std::vector<std::string> NAMES = {"None", "Core", "Class", "Package", "Engine", "LodMesh", "Mesh", "Texture",
                                        "MyPkg", "Soldier", "Trooper", "Civilian", "SoldierMesh", "PlainMesh",
                                        "MenuName", "FaceSkin", "TeamSkin1", "TeamSkin2", "FixedSkin", "Breath1",
                                        "Run", "SkinTex", "OtherPkg", ".."};
// Imports: 0 Engine (package), 1 class LodMesh, 2 class Mesh, 3 class Texture, 4 texture SkinTex.
// Exports: 0 Soldier, 1 Trooper, 2 Civilian (classes), 3 SoldierMesh (LodMesh), 4 PlainMesh (Mesh).
constexpr int32_t REF_SOLDIER_MESH = 4, REF_PLAIN_MESH = 5, REF_SKIN_TEXTURE = -5;

struct TMeshSpec {
  int32_t Version = 69;
  bool DeusEx = false;
  int32_t FrameVerts = 3, AnimFrames = 2;
  std::vector<uint32_t> Packed;  // FrameVerts * AnimFrames
  std::vector<std::pair<int32_t, std::pair<int32_t, int32_t>>> Seqs;  // name, start, count
  std::vector<int32_t> Textures = {0, REF_SKIN_TEXTURE};
  bool Lod = true;
  int32_t SpecialVerts = 1;
  uint16_t FaceWedge = 0;  // first wedge of the face
  int32_t PolyFlags = 0x02 | 0x100;
};

std::vector<uint8_t> MeshData(const TMeshSpec& s) {
  const bool v62 = s.Version > 61;
  TBuf b;
  auto offset = [&] { if (v62) b.U32(0xDEADBEEF); };
  auto sphere = [&] { b.Zeros(v62 ? 16 : 12); };
  b.Idx(N_None).Zeros(25);
  sphere();
  offset();
  b.Idx(static_cast<int32_t>(s.Packed.size()));
  for (uint32_t p : s.Packed) {
    if (s.DeusEx) {
      b.U16(static_cast<uint16_t>((p & 0x7FF) * 32)).U16(static_cast<uint16_t>(((p >> 11) & 0x7FF) * 32));
      b.U16(static_cast<uint16_t>((p >> 22) * 64)).U16(0xFFFF);
    } else {
      b.U32(p);
    }
  }
  offset();
  if (s.Lod) {
    b.Idx(0);
  } else {  // one triangle on slot 0
    b.Idx(1).U16(0).U16(1).U16(2);
    for (uint8_t c : {0, 255, 255, 255, 0, 0}) b.U8(c);
    b.U32(static_cast<uint32_t>(s.PolyFlags)).U32(0);
  }
  b.Idx(static_cast<int32_t>(s.Seqs.size()));
  for (const auto& q : s.Seqs)
    b.Idx(q.first).Idx(N_None).U32(static_cast<uint32_t>(q.second.first)).U32(static_cast<uint32_t>(q.second.second)).Idx(1).F32(0.5f).Idx(N_None).F32(15);
  offset();
  b.Idx(1).Zeros(8);
  b.Zeros(25);
  sphere();
  offset();
  b.Idx(2).Zeros(8);
  b.Idx(static_cast<int32_t>(s.Textures.size()));
  for (int32_t t : s.Textures) b.Idx(t);
  b.Idx(1).Zeros(25);
  b.Idx(1);
  sphere();
  b.U32(static_cast<uint32_t>(s.FrameVerts)).U32(static_cast<uint32_t>(s.AnimFrames)).Zeros(52);
  if (s.Version >= 66) b.Idx(1).F32(1);
  if (!s.Lod) return b.B;
  b.Idx(0).Idx(0);
  b.Idx(1).U16(s.FaceWedge).U16(1).U16(0).U16(0);  // one face of wedges (w, 1, 0), material 0
  b.Idx(0);
  b.Idx(2).U16(0).U8(0).U8(255).U16(1).U8(255).U8(0);  // wedges on vertices 0 and 1
  b.Idx(1).U32(static_cast<uint32_t>(s.PolyFlags)).U32(0);
  b.Idx(0);
  b.U32(0).U32(static_cast<uint32_t>(s.SpecialVerts)).Zeros(24);
  b.Idx(0).U32(0);
  return b.B;
}

std::vector<uint8_t> ClassDefaults(std::initializer_list<std::vector<uint8_t>> parts) {
  TBuf b;
  for (const auto& p : parts) b.Bytes(p);
  return b.Idx(N_None).B;
}

std::vector<uint8_t> ObjectProp(int32_t name, uint8_t info, int32_t ref) { return TBuf().Idx(name).U8(info).Idx(ref).B; }
std::vector<uint8_t> IntProp(int32_t name, int32_t v) { return TBuf().Idx(name).U8(0x22).U32(static_cast<uint32_t>(v)).B; }
std::vector<uint8_t> String5D(const std::string& s) {
  TBuf b;
  b.Idx(N_MenuName).U8(0x5D).Idx(static_cast<int32_t>(s.size() + 2)).Idx(static_cast<int32_t>(s.size() + 1));
  for (char c : s) b.U8(static_cast<uint8_t>(c));
  return b.U8(0).B;
}
std::vector<uint8_t> String4D(const std::string& s) {
  TBuf b;
  b.Idx(N_MenuName).U8(0x4D).Idx(static_cast<int32_t>(s.size() + 1));
  for (char c : s) b.U8(static_cast<uint8_t>(c));
  return b.U8(0).B;
}

RawPackage MakePackage(const TMeshSpec& lod, const TMeshSpec& plain) {
  RawPackage p;
  p.Version = lod.Version;
  p.Names = NAMES;
  p.Imports = {{N_Core, N_Package, 0, N_Engine},
               {N_Core, N_Class, -1, N_LodMesh},
               {N_Core, N_Class, -1, N_Mesh},
               {N_Core, N_Class, -1, N_Texture},
               {N_Engine, N_Texture, -1, N_SkinTex},
               {N_Core, N_Package, 0, N_OtherPkg},
               {N_Core, N_LodMesh, -6, N_SoldierMesh},  // 6: a mesh of another package
               {N_Core, N_Package, 0, N_DotDot},
               {N_Core, N_LodMesh, -8, N_SoldierMesh}};  // 8: a "package" that is no file name
  // Soldier: decoys first (a reference past the tables, a texture, a tag split by the data's end
  // is not possible here), then the mesh, the 0x5D menu name and the skins.
  const auto soldier = ClassDefaults({ObjectProp(N_Mesh, 0x05, 99), ObjectProp(N_Mesh, 0x05, REF_SKIN_TEXTURE),
                                      IntProp(N_FaceSkin, 0), ObjectProp(N_Mesh, 0x05, REF_SOLDIER_MESH),
                                      String5D("Commando"), IntProp(N_FaceSkin, 3), IntProp(N_TeamSkin1, 1),
                                      IntProp(N_TeamSkin2, 2), IntProp(N_FixedSkin, 0)});
  const auto trooper = ClassDefaults({ObjectProp(N_Mesh, 0x15, REF_PLAIN_MESH), String4D("Trooper Mk2")});
  const auto civilian = ClassDefaults({String5D("Civilian")});
  p.Exports = {{0, 0, 0, N_Soldier, 0, soldier},
               {0, 0, 0, N_Trooper, 0, trooper},
               {0, 0, 0, N_Civilian, 0, civilian},
               {-2, 0, 0, N_SoldierMesh, 0, MeshData(lod)},
               {-3, 0, 0, N_PlainMesh, 0, MeshData(plain)}};
  return p;
}

TMeshSpec LodSpec(int32_t version = 69) {
  TMeshSpec s;
  s.Version = version;
  s.Packed = {Pack(8, 16, 4), Pack(16, 8, 8), Pack(24, 24, 12),            // frame 0
              Pack(1024, 8, 4), Pack(8, 1025, 8), Pack(800, 1600, 1000)};  // frame 1
  s.Seqs = {{N_Run, {0, 1}}, {N_Breath1, {1, 1}}};
  return s;
}

TMeshSpec PlainSpec(int32_t version = 69) {
  TMeshSpec s = LodSpec(version);
  s.Lod = false;
  s.Seqs.clear();
  return s;
}

const char* const INT_TEXT =
    "[Public]\r\n"
    "Object=(Name=MyPkg.Soldier,Class=Class,MetaClass=Botpack.TournamentPlayer)\r\n"
    "Object=(Name=mypkg.TROOPER,Class=Class,MetaClass=Botpack.TournamentPlayer,Description=\"x\")\r\n"
    "Object=(Name=MyPkg.Civilian,Class=Class,MetaClass=Botpack.TournamentPlayer)\r\n"
    "Object=(Name=OtherPkg.Soldier,Class=Class,MetaClass=Botpack.TournamentPlayer)\r\n"
    "Object=(Name=MyPkg.SkinTex,Class=Texture)\r\n";

struct TFixture {
  TScratch Scratch;
  std::string Int, U;
  TFixture(const RawPackage& p, const std::string& intText = INT_TEXT) {
    Int = Scratch.File("MyPkg.int");
    U = Scratch.File("MyPkg.u");
    WriteFile(Int, intText);
    WriteFile(U, p.Build());
  }
};

}  // namespace

TEST(PackageScan, IntFileFindsPlayerClassesAndTheirDefaults) {
  for (int32_t version : {69, 61}) {
    SCOPED_TRACE(version);
    TFixture f(MakePackage(LodSpec(version), PlainSpec(version)));
    TUTPackage pkg;
    const TScanResult scan = ScanPackage(f.Int, true, pkg);
    EXPECT_EQ(scan.Note, "");
    ASSERT_EQ(scan.Rows.size(), 2u);  // Civilian has no mesh, OtherPkg is another package
    EXPECT_EQ(scan.Rows[0].Caption, "Commando");
    const TLodMeshItem& s = scan.Rows[0].Item;
    EXPECT_EQ(std::vector<int32_t>({s.FaceSkin, s.FixedSkin, s.TeamSkin1, s.TeamSkin2, s.Mesh}),
              std::vector<int32_t>({3, 0, 1, 2, REF_SOLDIER_MESH}));
    EXPECT_EQ(scan.Rows[1].Caption, "Trooper Mk2");
    EXPECT_EQ(scan.Rows[1].Item.Mesh, REF_PLAIN_MESH);
  }
}

TEST(PackageScan, WithoutIntEveryMeshIsARowAndEmptyResultsGiveNotes) {
  TFixture f(MakePackage(LodSpec(), PlainSpec()), "[Public]\r\nObject=(Name=MyPkg.SkinTex,Class=Texture)\r\n");
  TUTPackage pkg;
  TScanResult scan = ScanPackage(f.Int, false, pkg);
  ASSERT_EQ(scan.Rows.size(), 2u);
  EXPECT_EQ(scan.Rows[0].Caption, "SoldierMesh");
  EXPECT_EQ(scan.Rows[0].Item.FaceSkin, -1);
  EXPECT_EQ(scan.Rows[1].Item.Mesh, REF_PLAIN_MESH);
  scan = ScanPackage(f.Int, true, pkg);
  EXPECT_EQ(scan.Note, "The package does not have any model object.");
  RawPackage empty;
  empty.Names = NAMES;
  TFixture g(empty);
  scan = ScanPackage(g.U, false, pkg);
  EXPECT_EQ(scan.Note, "The package does not have any mesh or lodmesh objects.");
}

TEST(PackageMesh, FramesSequencesAndVertexDecodingPerGame) {
  struct {
    TGameKind Game;
    bool DeusEx;
    int32_t Version;
    TObjeto3DVertice Expected;  // wedge 0 of frame 1: vertex 0 + SpecialVerts = packed (8, 1025, 8)
  } cases[] = {
      // A = 1, B = 128.125 -> -127.875, C = 2.
      {TGameKind::UnrealTournament, false, 69, {127.875f, 2, 1}},  // (-B, C, A)
      {TGameKind::Other, false, 61, {127.875f, 2, 1}},
      {TGameKind::KlingonHonorGuard, false, 69, {-1, 2, 127.875f}},  // (-A, C, -B)
      {TGameKind::DeusEx, true, 69, {-1, 2, 127.875f}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Game));
    TMeshSpec lod = LodSpec(c.Version), plain = PlainSpec(c.Version);
    lod.DeusEx = plain.DeusEx = c.DeusEx;
    TFixture f(MakePackage(lod, plain));
    TUTPackage pkg;
    const TScanResult scan = ScanPackage(f.U, false, pkg);
    ASSERT_EQ(scan.Rows.size(), 2u);
    const TMeshObjectRead read = ReadMeshObject(pkg, scan.PackageFileName, scan.Rows[0].Item, c.Game);
    ASSERT_EQ(read.Error, "");
    EXPECT_TRUE(read.Mesh.IsLodMesh);
    EXPECT_EQ(read.MeshPackageName, "MyPkg");
    EXPECT_EQ(read.Mesh.TriangleCount(), 1);
    ASSERT_EQ(read.Mesh.AnimSeqs.size(), 2u);
    EXPECT_EQ(read.Mesh.AnimSeqs[1].Name, "Breath1");
    TObjeto3D m;
    BuildPackageFrame(read.Mesh, 1, false, m);
    ASSERT_EQ(m.Vertices.size(), 2u);
    EXPECT_FLOAT_EQ(m.Vertices[0].X, c.Expected.X);
    EXPECT_FLOAT_EQ(m.Vertices[0].Y, c.Expected.Y);
    EXPECT_FLOAT_EQ(m.Vertices[0].Z, c.Expected.Z);
    // Slot 0 is a texture of the package, slot 1 an import: only slot 0 is a section.
    ASSERT_EQ(m.Materials.size(), 1u);
    EXPECT_EQ(m.Materials[0].Name, "SKIN0");
    EXPECT_EQ(m.Materials[0].Flags, MATERIAL_MASKED | MATERIAL_TWOSIDED);
    EXPECT_EQ(m.Triangles[0].Normal0, 65535);
    EXPECT_EQ(m.UVs[0].V, 0.0f);  // wedge v is flipped
    EXPECT_THROW(BuildPackageFrame(read.Mesh, 2, false, m), EModelFileError);

    // The Mesh: no sequence gives "<All Frames>"; its data ends exactly at the serial size.
    const TMeshObjectRead plainRead = ReadMeshObject(pkg, scan.PackageFileName, scan.Rows[1].Item, c.Game);
    EXPECT_FALSE(plainRead.Mesh.IsLodMesh);
    const std::vector<TAnimSeq> seqs = OfferedSequences(plainRead.Mesh);
    ASSERT_EQ(seqs.size(), 1u);
    EXPECT_EQ(seqs[0].Name, "<All Frames>");
    EXPECT_EQ(seqs[0].NumFrames, 2);
    BuildPackageFrame(plainRead.Mesh, 0, true, m);
    EXPECT_EQ(m.Triangles.size(), 1u);
    EXPECT_EQ(m.Normals.size(), 1u);
    EXPECT_EQ(m.UVs[1].U, 1.0f);  // Tris bytes are not flipped
  }
}

TEST(PackageMesh, CountsAndIndicesThatDoNotFitAreRefused) {
  auto refused = [](const TMeshSpec& s, bool extraByte = false) {
    std::vector<uint8_t> data = MeshData(s);
    if (extraByte) data.push_back(0);
    TPackageMesh mesh;
    mesh.MeshName = "kept";
    EXPECT_THROW(ReadMeshObjectData(data, s.Version, TGameKind::UnrealTournament, NAMES, mesh, "t.u"), EModelFileError);
    EXPECT_TRUE(mesh.Verts.empty());
  };
  TMeshSpec s = LodSpec();
  s.FaceWedge = 7;  // past the two wedges
  refused(s);
  s = LodSpec();
  s.SpecialVerts = 2;  // wedge vertex 1 + 2 past the frame of three
  refused(s);
  s = LodSpec();
  s.AnimFrames = 3;  // more frames than vertices
  refused(s);
  s = LodSpec();
  s.FrameVerts = -1;
  refused(s);
  s = LodSpec();
  s.Seqs = {{9999, {0, 1}}};  // sequence name past the name table
  refused(s);
  refused(PlainSpec(), true);  // one byte more makes it a LodMesh, whose data is missing
  std::vector<uint8_t> huge = MeshData(LodSpec());
  huge.resize(60);
  TPackageMesh mesh;
  EXPECT_THROW(ReadMeshObjectData(huge, 69, TGameKind::UnrealTournament, NAMES, mesh, "t.u"), EModelFileError);
}

TEST(PackageMesh, RowsThatNameNoMeshGiveTheBoxTexts) {
  TFixture f(MakePackage(LodSpec(), PlainSpec()));
  TUTPackage pkg;
  pkg.LoadFromFile(f.U);
  EXPECT_EQ(ReadMeshObject(pkg, f.U, {0, 0, 0, 0, 1}, TGameKind::UnrealTournament).Error, "Invalid Mesh/LodMesh object");
  EXPECT_EQ(ReadMeshObject(pkg, f.U, {0, 0, 0, 0, 42}, TGameKind::UnrealTournament).Error, "Invalid Mesh/LodMesh object");
  EXPECT_EQ(ReadMeshObject(pkg, f.U, {0, 0, 0, 0, REF_SKIN_TEXTURE}, TGameKind::UnrealTournament).Error,
            "Invalid Mesh/LodMesh object");
}

TEST(PackageFinders, CompactIndexEncoderAndNegativeValues) {
  const struct {
    int32_t Value;
    std::string Bytes;
  } cases[] = {{0, std::string(1, '\0')}, {63, "\x3F"}, {64, "\x40\x01"}, {-1, ""}, {8191, "\x7F\x7F"}};
  for (const auto& c : cases) {
    std::string out = "x";
    EncodeCompactIndex(c.Value, out);
    EXPECT_EQ(out, "x" + c.Bytes) << c.Value;
  }
}

// An imported mesh is read from its own package beside this one, found without regard to case;
// a package name that is not a plain file name is refused.
TEST(PackageMesh, ImportedMeshesComeFromTheirOwnPackage) {
  TFixture f(MakePackage(LodSpec(), PlainSpec()));
  RawPackage other = MakePackage(LodSpec(), PlainSpec());
  WriteFile(f.Scratch.File("otherpkg.U"), other.Build());
  TUTPackage pkg;
  pkg.LoadFromFile(f.U);
  const TMeshObjectRead read = ReadMeshObject(pkg, f.U, {0, 0, 0, 0, -7}, TGameKind::UnrealTournament);
  EXPECT_EQ(read.Error, "");
  EXPECT_EQ(read.MeshPackageName, "otherpkg");
  EXPECT_TRUE(read.Mesh.IsLodMesh);
  EXPECT_EQ(read.Mesh.MeshName, "SoldierMesh");
  EXPECT_THROW(ReadMeshObject(pkg, f.U, {0, 0, 0, 0, -9}, TGameKind::UnrealTournament), EModelFileError);
}
