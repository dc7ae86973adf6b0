// The writer: material rows and their ordering, the .cvmx read back by the catalogue, wire
// bitmaps as ImageMagick sees them, stable recompiles, and refusals that write nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "ModelCompilerTestSupport.h"
#include "model/ModelCatalogue.h"
#include "model/crvn_cvmdformat.h"
#include "modelcompiler/ModelCompilerCore.h"
#include "modelcompiler/ModelWriter.h"
#include "modelcompiler/SampleModel.h"

using namespace mctest;

namespace {

// One triangle per material, each in its own corner of the texture.
TObjeto3D MeshOf(const std::vector<std::string>& materials) {
  TObjeto3D m;
  for (size_t i = 0; i < materials.size(); ++i) {
    m.Materials.push_back({materials[i], MATERIAL_NORMAL});
    const int32_t v = static_cast<int32_t>(m.Vertices.size());
    const float o = 0.1f * static_cast<float>(i);
    for (int k = 0; k < 3; ++k) {
      m.Vertices.push_back({o + k, 2.0f * k, -1.0f * k});
      m.UVs.push_back({o + 0.05f * k, o + 0.05f * (k == 2)});
    }
    TObjeto3DTriangulo t;
    t.Vertex0 = t.UV0 = v, t.Vertex1 = t.UV1 = v + 1, t.Vertex2 = t.UV2 = v + 2;
    t.Material = static_cast<int32_t>(i);
    m.Triangles.push_back(t);
  }
  return m;
}

std::vector<std::string> Texts(const std::vector<TMaterialRow>& rows) {
  std::vector<std::string> t;
  for (const auto& r : rows) t.push_back(r.Text);
  return t;
}

std::vector<std::string> Names(const TObjeto3D& m) {
  std::vector<std::string> t;
  for (const auto& x : m.Materials) t.push_back(x.Name + "/" + std::to_string(x.Flags));
  return t;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TCompileOptions External(const std::string& folder, const std::string& file) {
  TCompileOptions o;
  o.Kind = TSourceKind::MilkShape3D;
  o.ModelFileName = file;
  o.Name = "Test";
  o.OutputFolder = folder;
  return o;
}

}  // namespace

TEST(MaterialOrder, RowsAndAdjustedMaterials) {
  const struct {
    std::vector<std::string> Materials;
    std::vector<std::string> Rows;
    int MoveRow;  // moved down by one before adjusting, -1 for none
    std::vector<std::string> Adjusted;
    std::vector<int32_t> TriangleMaterials;
  } cases[] = {
      {{"SKIN.MASK"}, {"SKIN"}, -1, {"SKIN/4"}, {0}},
      {{"WEAPON.WEAP", "SKIN"}, {"SKIN", "WEAPON"}, -1, {"SKIN/0", "WEAPON/8"}, {1, 0}},
      {{"A", "A.MASK", "skin0"}, {"SKIN0", "A"}, 0, {"A/4", "SKIN0/0"}, {0, 0, 1}},
      // Without SKIN: row 0 stays unused and keeps an empty material (the list is one longer).
      {{"BODY", "HEAD.TWOS", "body.tran"},
       {"Unused material #0", "BODY", "HEAD"},
       -1,
       {"/0", "BODY/2", "HEAD/3"},
       {1, 2, 1}},
      {{"HEAD", "BODY"}, {"Unused material #0", "HEAD", "BODY"}, 1, {"/0", "BODY/0", "HEAD/0"}, {2, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Materials[0]);
    TObjeto3D m = MeshOf(c.Materials);
    std::vector<TMaterialRow> rows = BuildMaterialList(m);
    EXPECT_EQ(Texts(rows), c.Rows);
    if (c.MoveRow >= 0) std::swap(rows[static_cast<size_t>(c.MoveRow)], rows[static_cast<size_t>(c.MoveRow) + 1]);
    AdjustMaterials(m, rows);
    EXPECT_EQ(Names(m), c.Adjusted);
    std::vector<int32_t> tm;
    for (const auto& t : m.Triangles) tm.push_back(t.Material);
    EXPECT_EQ(tm, c.TriangleMaterials);
  }
}

TEST(ExtensionFile, SectionLinesTalkTextureAndHint) {
  TObjeto3D one = MeshOf({"SKIN.MASK"});
  AdjustMaterials(one, BuildMaterialList(one));
  TCompileOptions o = External("/nowhere", "/models/knight.3ds");
  o.Kind = TSourceKind::Studio3DS;
  std::vector<std::string> lines = CVMXLines(one, o);
  EXPECT_EQ(lines[0], "[Model-Test]");
  EXPECT_TRUE(Has(lines, "Prefix=knight"));
  EXPECT_TRUE(Has(lines, "Pitch=90"));
  EXPECT_TRUE(Has(lines, "TalkTextureIndex=5"));
  EXPECT_TRUE(Has(lines, "; Fix any incorrect value in sections 1 to 4"));
  EXPECT_EQ(lines.back(), "Section5=Talk Texture, Face, OneMipMap, LODSetWorld, TextureIs64x64, TalkTexture");
  EXPECT_EQ(lines[lines.size() - 2], "Section1=SKIN, Face, Team, Masked");
  // Offsets centre the bounding box: x 0..2, y 0..4, z -2..0.
  EXPECT_TRUE(Has(lines, "OffsetX=-1.000"));
  EXPECT_TRUE(Has(lines, "OffsetY=-2.000"));
  EXPECT_TRUE(Has(lines, "OffsetZ=1.000"));

  // Package route, ten materials: skins by index, no talk section, sorted without case.
  TObjeto3D ten = MeshOf({"S0", "S1", "S2", "S3", "S4", "S5", "S6", "S7", "S8", "S9"});
  ten.Materials[4].Flags = MATERIAL_WEAPON;
  o.Kind = TSourceKind::Package;
  o.MeshPackageName = "MyPkg";
  o.FaceSkin = 3, o.TeamSkin1 = 1, o.TeamSkin2 = 9;
  lines = CVMXLines(ten, o);
  EXPECT_TRUE(Has(lines, "LodMesh=MyPkg.knight"));
  EXPECT_TRUE(Has(lines, "ScaleX=1.5"));
  EXPECT_TRUE(Has(lines, ";TalkTextureIndex=<-- fill this with the correct value!"));
  // Sorted as text: "Section10" comes before "Section1=" ('0' < '=').
  const auto first = std::find(lines.begin(), lines.end(), "; Fix any incorrect value in sections 1 to 4");
  ASSERT_NE(first, lines.end());
  EXPECT_EQ(std::vector<std::string>(first + 1, lines.end()),
            (std::vector<std::string>{"Section10=S9, Team", "Section1=S0", "Section2=S1, Team", "Section3=S2",
                                      "Section4=S3, Face", "Section6=S5", "Section7=S6", "Section8=S7",
                                      "Section9=S8"}));
}

TEST(CompileModel, OutputsReadBackByTheCatalogueAndPeers) {
  TScratch s;
  const std::string folder = Scratch(s, "CustomModels");
  TObjeto3D m = MeshOf({"SKIN", "WEAPON.WEAP", "VISOR.MASK"});
  AdjustMaterials(m, BuildMaterialList(m));
  const TCompileResult r = CompileModel(m, External(folder, Scratch(s, "knight.ms3d")));
  EXPECT_TRUE(r.ExtensionWritten);
  ASSERT_EQ(r.WireFiles.size(), 2u);  // no wire for the weapon
  EXPECT_EQ(r.WireFiles[1], folder + "/knightWire3.bmp");

  TModelList models;
  std::vector<std::string> problems;
  ReadModelExtensionFile(r.ExtensionFile, models, problems);
  EXPECT_TRUE(problems.empty());
  ASSERT_EQ(models.size(), 1u);
  const TModelo& model = *models[0];
  EXPECT_EQ(model.Prefix, "knight");
  EXPECT_EQ(model.File3D, folder + "/knight.cvmd");
  ASSERT_EQ(model.PartCount(), 3);  // SKIN, VISOR and the talk texture
  EXPECT_EQ(model.PartName(1), "VISOR");
  EXPECT_TRUE(model.HasMaskedSection);
  ASSERT_NE(model.Part(1)->WireBitmap, nullptr);
  EXPECT_EQ(model.Part(1)->Section(), 3);

  if (access("/usr/bin/identify", X_OK) != 0) GTEST_SKIP() << "ImageMagick's identify is missing";
  for (const std::string& wire : r.WireFiles) {
    const std::string id = RunCommand("/usr/bin/identify '" + wire + "'");
    for (const char* fact : {" 256x256 ", " 4-bit ", " 16c "}) EXPECT_NE(id.find(fact), std::string::npos) << id;
    // Grey and white only.
    EXPECT_EQ(RunCommand("/usr/bin/identify -format '%k' '" + wire + "'"), "2");
  }
}

TEST(CompileModel, RecompileIsStableAndStartsFromTheMeshAsRead) {
  TScratch s;
  const std::string file = Scratch(s, "Figure.ms3d");
  testsupport::WriteBytes(file, MilkShape3DBytes(MakeSampleFigure()));
  TModelCompilerCore core;
  core.OutputFolder = Scratch(s, "out");
  int asked = 0;
  core.ConfirmOverwrite = [&] { return ++asked, true; };
  ASSERT_EQ(core.LoadModelInfo(file), "");
  core.GetMeshData(0);
  const TCompileResult first = core.CompileExternal("Figure");
  const auto cvmd = testsupport::ReadBytes(first.ModelDataFile), cvmx = testsupport::ReadBytes(first.ExtensionFile),
             wire = testsupport::ReadBytes(first.WireFiles[0]);
  const TCompileResult second = core.CompileExternal("Figure");
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(second.ExtensionFile, first.ExtensionFile);
  EXPECT_EQ(testsupport::ReadBytes(first.ModelDataFile), cvmd);
  EXPECT_EQ(testsupport::ReadBytes(first.ExtensionFile), cvmx);
  EXPECT_EQ(testsupport::ReadBytes(first.WireFiles[0]), wire);
  // Reordered rows after a compile give what a first compile with that order gives.
  ASSERT_TRUE(core.MoveMaterial(0, 1));
  EXPECT_FALSE(core.MoveMaterial(0, -1));
  EXPECT_FALSE(core.MoveMaterial(3, 1));
  core.CompileExternal("Figure");
  const auto reordered = testsupport::ReadBytes(first.ModelDataFile);
  TModelCompilerCore fresh;
  fresh.OutputFolder = Scratch(s, "fresh");
  fresh.LoadModelInfo(file);
  fresh.GetMeshData(0);
  fresh.MoveMaterial(0, 1);
  EXPECT_EQ(testsupport::ReadBytes(fresh.CompileExternal("Figure").ModelDataFile), reordered);
  EXPECT_NE(reordered, cvmd);
  // Declining the question keeps the extension file.
  const auto kept = testsupport::ReadBytes(first.ExtensionFile);
  core.ConfirmOverwrite = [] { return false; };
  EXPECT_FALSE(core.CompileExternal("Other name").ExtensionWritten);
  EXPECT_EQ(testsupport::ReadBytes(first.ExtensionFile), kept);
}

TEST(CompileModel, RefusalsWriteNothing) {
  TScratch s;
  const std::string folder = Scratch(s, "CustomModels");
  TObjeto3D big = MeshOf({"SKIN"});
  big.Vertices.resize(70000);
  EXPECT_THROW(CompileModel(big, External(folder, "big.ms3d")), EInOutError);
  // Mesh names from packages are arbitrary: only a plain file name part names the outputs.
  for (const char* name : {"", "mesh/..", "."})
    EXPECT_THROW(CompileModel(MeshOf({"SKIN"}), External(folder, name)), EInOutError) << name;
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_EQ(CompileModel(MeshOf({"SKIN"}), External(folder, "../a\\escape")).ExtensionFile, folder + "/escape.cvmx");
}

TEST(CompileModel, AFailedCompileLeavesTheOldFilesAndSaysSo) {
  // A model of two sections compiled before; a compile of three fails at one of its files.
  const struct {
    const char* File;
    bool Folder;  // a folder in the file's place, else the file made read-only
  } faults[] = {{"knightWire3.bmp", true}, {"knight.cvmx", false}};
  for (const auto& f : faults) {
    SCOPED_TRACE(f.File);
    TScratch s;
    const std::string folder = Scratch(s, "CustomModels");
    TCompileOptions o = External(folder, "knight.ms3d");
    o.ConfirmOverwrite = [] { return true; };
    const TCompileResult before = CompileModel(MeshOf({"SKIN", "VISOR"}), o);
    std::vector<std::string> files = before.WireFiles;
    files.insert(files.end(), {before.ModelDataFile, before.ExtensionFile});
    std::vector<std::vector<uint8_t>> old;
    for (const std::string& file : files) old.push_back(testsupport::ReadBytes(file));
    const std::string faulty = folder + "/" + f.File;
    if (f.Folder)
      std::filesystem::create_directory(faulty);
    else
      std::filesystem::permissions(faulty, std::filesystem::perms::owner_read);
    std::string message;
    try {
      CompileModel(MeshOf({"SKIN", "VISOR", "HELMET"}), o);
    } catch (const Exception& e) {
      message = e.Message;
    }
    EXPECT_NE(message.find("\"" + faulty + "\""), std::string::npos) << message;
    EXPECT_NE(message.find("No file was replaced."), std::string::npos) << message;
    for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(testsupport::ReadBytes(files[i]), old[i]) << files[i];
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()),
              f.Folder ? 5 : 4)
        << "no temporary or backup file left";
  }
}

TEST(WireBitmap, OutlinesAndClipping) {
  TObjeto3D m = MeshOf({"SKIN"});
  m.UVs = {{0, 1}, {0.5f, 1}, {0, 0.5f}};  // a corner at the top left: pixels (0,0), (128,0), (0,128)
  bool drawn = false;
  TBitmap b = DrawWireBitmap(m, 0, drawn);
  EXPECT_TRUE(drawn);
  for (auto [x, y] : {std::pair{0, 0}, {64, 0}, {127, 0}, {0, 127}, {64, 64}})
    EXPECT_EQ(b.Pixel(x, y), WIRE_PEN) << x << "," << y;
  EXPECT_EQ(b.Pixel(100, 100), WIRE_BRUSH);
  DrawWireBitmap(m, 1, drawn);
  EXPECT_FALSE(drawn);
  // Coordinates of 1.0 land on pixel 256 and are clipped; huge and NaN ones cost nothing.
  const float huge = 3e38f, nan = std::nanf("");
  for (auto uvs : {std::vector<TObjeto3DCoordenadaUV>{{1, 0}, {1, 1}, {0, 0}},
                   std::vector<TObjeto3DCoordenadaUV>{{-huge, huge}, {huge, -huge}, {0.5f, 0.5f}},
                   std::vector<TObjeto3DCoordenadaUV>{{nan, 0}, {0, nan}, {0.25f, 0.25f}}}) {
    m.UVs = uvs;
    b = DrawWireBitmap(m, 0, drawn);
    EXPECT_TRUE(drawn);
  }
  EXPECT_EQ(b.Pixel(255, 255), WIRE_BRUSH);
}

TEST(GameFolders, RegistryCommandsAndHiddenModels) {
  const struct {
    const char* Command;
    const char* Folder;
  } cases[] = {
      {"\"C:\\UnrealTournament\\System\\UnrealTournament.exe\" %1", "C:\\UnrealTournament"},
      {"D:\\Games\\UT\\System\\UnrealTournament.exe", "D:\\Games\\UT"},
      {"C:\\UT\\UnrealTournament.exe", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(GameFolderOfCommand(c.Command), c.Folder) << c.Command;

  TScratch s;
  TModelList models;
  auto earlier = std::make_unique<TModelo>();
  earlier->Prefix = "knight";
  earlier->Key = Scratch(s, "first.cvmx") + "|Model-Knight";
  models.push_back(std::move(earlier));
  TCompileResult r;
  r.Prefix = "knight";
  r.ExtensionFile = Scratch(s, "CustomModels/knight.cvmx");
  r.ExtensionWritten = true;
  EXPECT_NE(HiddenModelNote(models, r).find(Scratch(s, "first.cvmx")), std::string::npos);
  r.ExtensionFile = Scratch(s, "first.cvmx");
  EXPECT_EQ(HiddenModelNote(models, r), "");
  r.Prefix = "other";
  EXPECT_EQ(HiddenModelNote(models, r), "");
}

// Each route keeps its own mesh; a refused header stops its route.
TEST(CompilerRoutes, RoutesKeepTheirOwnStateAndRefusedHeadersStop) {
  TScratch s;
  TModelCompilerCore core;
  core.OutputFolder = Scratch(s, "out");
  const std::string p3d = Scratch(s, "fake.P3D"), ms3d = Scratch(s, "FIG.MS3D"), other = Scratch(s, "x.obj");
  testsupport::WriteBytes(p3d, std::string("not painter\n"));
  testsupport::WriteBytes(ms3d, MilkShape3DBytes(MakeSampleFigure()));
  EXPECT_EQ(core.LoadModelInfo(other), "Unknown file format.");
  EXPECT_EQ(core.LoadModelInfo(p3d), p3d + " is not a valid Painter 3D file.");
  core.GetMeshData(0);
  EXPECT_FALSE(core.External().HaveMesh);
  EXPECT_THROW(core.CompileExternal("x"), EInvalidOperation);
  EXPECT_THROW(core.CompilePackage(0, true, false, "x"), EInvalidOperation);
  // Upper-case extensions are recognised.
  ASSERT_EQ(core.LoadModelInfo(ms3d), "");
  EXPECT_EQ(core.External().Kind, TSourceKind::MilkShape3D);
  core.GetMeshData(0);
  EXPECT_TRUE(core.External().HaveMesh);
  EXPECT_THROW(core.CompilePackage(0, true, false, "x"), EInvalidOperation);
  EXPECT_TRUE(std::filesystem::exists(core.CompileExternal("x").ExtensionFile));
  EXPECT_FALSE(core.PackageRoute().HaveMesh);
}

// A file typed or chosen that cannot be read is named in the error the user sees.
TEST(CompilerRoutes, AFileThatIsMissingIsNamed) {
  TScratch s;
  const std::string data = Scratch(s, "half_d.3d");
  testsupport::WriteBytes(data, std::string(4, '\0'));  // its _a.3d is missing
  const struct {
    std::string chosen, missing;
    bool package;
  } rows[] = {
      {Scratch(s, "gone.3ds"), Scratch(s, "gone.3ds"), false},
      {Scratch(s, "gone.ms3d"), Scratch(s, "gone.ms3d"), false},
      {Scratch(s, "gone.p3d"), Scratch(s, "gone.p3d"), false},
      {Scratch(s, "gone_d.3d"), Scratch(s, "gone_d.3d"), false},
      {data, Scratch(s, "half_a.3d"), false},
      {Scratch(s, "gone.int"), Scratch(s, "gone.int"), true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.chosen);
    TModelCompilerCore core;
    try {
      if (row.package)
        core.ScanPackage(row.chosen, true);
      else
        core.LoadModelInfo(row.chosen);
      ADD_FAILURE() << "nothing raised";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Message, row.missing + ": File not found");
    }
  }
}

// Triangles without a material (a MilkShape3D group without one) keep their geometry in the
// model data file under a nameless weapon material: no section, no wire, and the file is valid.
TEST(CompileModel, TrianglesWithoutMaterialGetANamelessOne) {
  TScratch s;
  TObjeto3D m = MeshOf({"SKIN", "HEAD"});
  m.Triangles[1].Material = -1;
  AdjustMaterials(m, BuildMaterialList(m));
  const TCompileResult r = CompileModel(m, External(Scratch(s, "out"), "loose.ms3d"));
  EXPECT_EQ(r.WireFiles.size(), 1u);
  TObjeto3D back;
  ASSERT_TRUE(LoadFromCVMD(back, r.ModelDataFile));
  ASSERT_EQ(back.Materials.size(), 3u);
  EXPECT_EQ(back.Materials[2].Name, "");
  EXPECT_EQ(back.Materials[2].Flags, MATERIAL_WEAPON);
  EXPECT_EQ(back.Triangles[1].Material, 2);
}
