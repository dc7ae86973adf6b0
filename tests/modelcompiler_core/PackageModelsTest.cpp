// Player models in packages assembled byte by byte: the .int scan with the class defaults found
// among decoy tags, the mesh list without .int, Mesh and LodMesh objects of versions 69 and 61,
// the vertex decoding of each game, frames, and refusal of counts and indices that do not fit.
#include <gtest/gtest.h>

#include "SyntheticPackages.h"
#include "modelcompiler/PackageModels.h"
#include "packages/ut_packages.h"

using namespace mctest;

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
  EXPECT_EQ(ReadMeshObject(pkg, f.U, {0, 0, 0, 0, 1}, TGameKind::UnrealTournament).Error,
            "Invalid Mesh/LodMesh object");
  EXPECT_EQ(ReadMeshObject(pkg, f.U, {0, 0, 0, 0, 42}, TGameKind::UnrealTournament).Error,
            "Invalid Mesh/LodMesh object");
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
  testsupport::WriteBytes(Scratch(f.Dir, "otherpkg.U"), other.Build());
  TUTPackage pkg;
  pkg.LoadFromFile(f.U);
  const TMeshObjectRead read = ReadMeshObject(pkg, f.U, {0, 0, 0, 0, -7}, TGameKind::UnrealTournament);
  EXPECT_EQ(read.Error, "");
  EXPECT_EQ(read.MeshPackageName, "otherpkg");
  EXPECT_TRUE(read.Mesh.IsLodMesh);
  EXPECT_EQ(read.Mesh.MeshName, "SoldierMesh");
  EXPECT_THROW(ReadMeshObject(pkg, f.U, {0, 0, 0, 0, -9}, TGameKind::UnrealTournament), EModelFileError);
}
