// Player models in packages assembled byte by byte: the .int scan with the class defaults found
// among decoy tags, the mesh list without .int, Mesh and LodMesh objects of versions 69 and 61,
// the vertex decoding of each game, frames, and refusal of counts and indices that do not fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>

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
    int32_t Yaw;                // the game's usual yaw of a player mesh
    TObjeto3DVertice Expected;  // wedge 0 of frame 1: vertex 0 + SpecialVerts = packed (8, 1025, 8)
  } cases[] = {
      // A = 1, B = 128.125 -> -127.875, C = 2.
      {TGameKind::UnrealTournament, false, 69, 0, {127.875f, 2, 1}},  // (-B, C, A)
      {TGameKind::Other, false, 61, 0, {127.875f, 2, 1}},
      {TGameKind::KlingonHonorGuard, false, 69, 16384, {-1, 2, 127.875f}},  // (-A, C, -B)
      // 16-bit fields 256, 32800 and 512 at scale 1/256: (-A, C, -B) in our units, twice the engine's.
      {TGameKind::DeusEx, true, 69, 16384, {-2, 4, 255.75f}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Game));
    TMeshSpec lod = LodSpec(c.Version), plain = PlainSpec(c.Version);
    lod.DeusEx = plain.DeusEx = c.DeusEx;
    lod.RotOrigin[1] = plain.RotOrigin[1] = c.Yaw;
    if (c.DeusEx)
      for (TMeshSpec* spec : {&lod, &plain})
        for (float& f : spec->Scale) f = 1.0f / 256;
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
  s = LodSpec();
  s.Scale[1] = std::numeric_limits<float>::quiet_NaN();
  refused(s);
  s = LodSpec();
  s.Scale[2] = 3e38f;  // 1000 * 3e38 is beyond the float range
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

namespace {

// What the decoders have always made of a packed vertex of a standard Unreal Tournament mesh.
TObjeto3DVertice StandardVertex(uint32_t p) {
  auto wrap = [](float v) { return v > 128 ? v - 256 : v; };
  const float a = wrap(static_cast<float>(p & 0x7FF) / 8), b = wrap(static_cast<float>((p >> 11) & 0x7FF) / 8),
              c = wrap(static_cast<float>(p >> 22) / 4);
  return {-b, c, a};
}

// The engine's vertex (V - origin) * scale, twice over (our units), on the engine's axes.
std::array<double, 3> Engine(uint32_t p, const TMeshSpec& s) {
  auto field = [](uint32_t v, uint32_t bits) {
    return v >= (1u << (bits - 1)) + 1 ? static_cast<double>(v) - (1u << bits) : static_cast<double>(v);
  };
  const double raw[3] = {field(p & 0x7FF, 11), field((p >> 11) & 0x7FF, 11), field(p >> 22, 10)};
  std::array<double, 3> e;
  for (int k = 0; k < 3; ++k) e[k] = (raw[k] - s.Origin[k]) * s.Scale[k] * 2;
  return e;
}

}  // namespace

// A mesh's own scale, origin and rotation place every frame as the game places it, on the same
// axes for every game. A standard player mesh gives exactly the bytes it always gave; the others
// take the proportions and the
// orientation of the engine's formula. The rotations are quarter turns whose effect on the
// engine's axes is known: a pitch raises X (forward) to Z (up), a yaw turns X to Y (right), a
// roll turns Y down to -Z; a turned mesh is rolled first, then pitched, then yawed.
TEST(PackageMesh, OwnScaleOriginAndRotationPlaceEveryFrame) {
  using V = std::array<double, 3>;
  const struct {
    const char* Name;
    float Scale[3], Origin[3];
    int32_t Rot[3];  // pitch, yaw, roll
    V (*Turn)(const V&);
  } cases[] = {
      {"standard", {0.0625f, 0.0625f, 0.125f}, {0, 0, 0}, {0, 0, 0}, [](const V& v) { return v; }},
      {"short front to back", {0.0432f, 0.063f, 0.126f}, {0, 0, 0}, {0, 0, 0}, [](const V& v) { return v; }},
      {"moved", {0.065f, 0.065f, 0.117f}, {100, 0, -72}, {0, 0, 0}, [](const V& v) { return v; }},
      {"pitched",
       {0.0625f, 0.0625f, 0.125f},
       {0, 0, 0},
       {16384, 0, 0},
       [](const V& v) {
         return V{-v[2], v[1], v[0]};
       }},
      {"yawed back",
       {0.0625f, 0.0625f, 0.125f},
       {0, 0, 0},
       {0, -16384, 0},
       [](const V& v) {
         return V{v[1], -v[0], v[2]};
       }},
      {"rolled",
       {0.0625f, 0.0625f, 0.125f},
       {0, 0, 0},
       {0, 0, 16384},
       [](const V& v) {
         return V{v[0], v[2], -v[1]};
       }},
      // Rolled (x, z, -y), then pitched: (y, z, x).
      {"lying on its side",
       {0.0625f, 0.0625f, 0.125f},
       {0, -70, 30},
       {16384, 0, 16384},
       [](const V& v) {
         return V{v[1], v[2], v[0]};
       }},
  };
  for (TGameKind game : {TGameKind::UnrealTournament, TGameKind::KlingonHonorGuard})
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.Name) + (game == TGameKind::KlingonHonorGuard ? " (Klingon Honor Guard)" : ""));
      TMeshSpec spec = PlainSpec();
      std::copy(std::begin(c.Scale), std::end(c.Scale), spec.Scale);
      std::copy(std::begin(c.Origin), std::end(c.Origin), spec.Origin);
      std::copy(std::begin(c.Rot), std::end(c.Rot), spec.RotOrigin);
      TPackageMesh mesh;
      ReadMeshObjectData(MeshData(spec), spec.Version, game, NAMES, mesh, "t.u");
      ASSERT_EQ(mesh.Verts.size(), spec.Packed.size());  // both frames
      for (size_t i = 0; i < spec.Packed.size(); ++i) {
        const TObjeto3DVertice& got = mesh.Verts[i];
        if (std::string(c.Name) == "standard") {
          const TObjeto3DVertice old = StandardVertex(spec.Packed[i]);
          EXPECT_EQ(std::memcmp(&got, &old, sizeof got), 0) << "vertex " << i;
          continue;
        }
        const V e = c.Turn(Engine(spec.Packed[i], spec));
        const V want = {-e[1], e[2], e[0]};
        EXPECT_NEAR(got.X, want[0], 1e-3) << "vertex " << i;
        EXPECT_NEAR(got.Y, want[1], 1e-3) << "vertex " << i;
        EXPECT_NEAR(got.Z, want[2], 1e-3) << "vertex " << i;
      }
      // The frame built for the writer holds the placed vertices.
      TObjeto3D built;
      BuildPackageFrame(mesh, 1, false, built);
      ASSERT_EQ(built.Vertices.size(), 3u);
      EXPECT_EQ(std::memcmp(&built.Vertices[2], &mesh.Verts[5], sizeof built.Vertices[2]), 0);
    }
}

// DeusEx and Klingon Honor Guard import their player meshes with a quarter turn of yaw and their
// own scale: so turned, every frame faces the front as (-A, C, -B) of the stored fields; unturned
// it lies as an Unreal Tournament mesh does, (-B, C, A). A standard Unreal Tournament mesh keeps
// its bytes. The expected values come from the stored integers, wrapped here.
TEST(PackageMesh, GameLayoutsWithAndWithoutTheirUsualYaw) {
  const struct {
    TGameKind Game;
    int32_t Yaw;
    float Scale[3];
  } cases[] = {
      {TGameKind::KlingonHonorGuard, 16384, {0.056f, 0.056f, 0.112f}},
      {TGameKind::KlingonHonorGuard, 0, {0.056f, 0.056f, 0.112f}},
      {TGameKind::DeusEx, 16384, {1.0f / 256, 1.0f / 256, 1.0f / 256}},
      {TGameKind::DeusEx, 0, {1.0f / 256, 1.0f / 256, 1.0f / 256}},
      {TGameKind::UnrealTournament, 0, {0.0625f, 0.0625f, 0.125f}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.Game)) + " yaw " + std::to_string(c.Yaw));
    const bool deusEx = c.Game == TGameKind::DeusEx;
    TMeshSpec lod = LodSpec(), plain = PlainSpec();
    for (TMeshSpec* spec : {&lod, &plain}) {
      spec->DeusEx = deusEx;
      spec->RotOrigin[1] = c.Yaw;
      std::copy(std::begin(c.Scale), std::end(c.Scale), spec->Scale);
    }
    TFixture f(MakePackage(lod, plain));
    TUTPackage pkg;
    const TScanResult scan = ScanPackage(f.U, false, pkg);
    ASSERT_EQ(scan.Rows.size(), 2u);
    const TMeshObjectRead read = ReadMeshObject(pkg, scan.PackageFileName, scan.Rows[1].Item, c.Game);
    ASSERT_EQ(read.Error, "");
    for (int frame = 0; frame < plain.AnimFrames; ++frame) {
      TObjeto3D built;
      BuildPackageFrame(read.Mesh, frame, false, built);
      ASSERT_EQ(built.Vertices.size(), static_cast<size_t>(plain.FrameVerts));
      for (size_t i = 0; i < built.Vertices.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(frame) + " vertex " + std::to_string(i));
        const uint32_t p = plain.Packed[static_cast<size_t>(frame * plain.FrameVerts) + i];
        const TObjeto3DVertice& got = built.Vertices[i];
        if (c.Game == TGameKind::UnrealTournament) {
          const TObjeto3DVertice old = StandardVertex(p);
          EXPECT_EQ(std::memcmp(&got, &old, sizeof got), 0);
          continue;
        }
        // The stored integers as the fixture writes them (DeusEx: 16 bits, 32 or 64 to a step).
        const uint32_t fields[3] = {p & 0x7FF, (p >> 11) & 0x7FF, p >> 22};
        double stored[3];
        for (int k = 0; k < 3; ++k) {
          const uint32_t bits = k == 2 ? 10 : 11;
          const int64_t v = deusEx ? int64_t{fields[k]} << (16 - bits) : int64_t{fields[k]};
          const int64_t half = int64_t{1} << (deusEx ? 15 : bits - 1);
          stored[k] = static_cast<double>(v > half ? v - 2 * half : v);
        }
        const double a = stored[0] * c.Scale[0] * 2, b = stored[1] * c.Scale[1] * 2, cc = stored[2] * c.Scale[2] * 2;
        const double want[3] = {c.Yaw != 0 ? -a : -b, cc, c.Yaw != 0 ? -b : a};
        EXPECT_NEAR(got.X, want[0], 1e-4);
        EXPECT_NEAR(got.Y, want[1], 1e-4);
        EXPECT_NEAR(got.Z, want[2], 1e-4);
      }
    }
  }
}
