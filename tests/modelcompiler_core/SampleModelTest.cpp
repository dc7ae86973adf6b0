// The sample model of a fresh install: the build compiled it into its CustomModels, the
// catalogue of that program folder offers it, and a project made on it compiles to a package.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "ModelCompilerTestSupport.h"
#include "model/ModelCatalogue.h"
#include "model/crvn_cvmdformat.h"
#include "modelcompiler/SampleModel.h"
#include "packages/CompilePackage.h"
#include "packages/ut_packages.h"
#include "platform/StrUtils.h"

using namespace mctest;

namespace {

const TModelo* FindPrefix(const TModelList& models, const std::string& prefix) {
  for (const auto& m : models)
    if (m->Prefix == prefix) return m.get();
  return nullptr;
}

// The sample model compiled into a program folder of its own, as the catalogue reads it.
const TModelo* CompileCorvy(const TScratch& s, TModelList& models) {
  const std::string home = Scratch(s, "home") + "/";
  BuildSampleModel(Scratch(s, "Corvy.ms3d"), home + "CustomModels");
  TModelo current;
  LoadModelExtensions(models, current, home + "corvane", home);
  return FindPrefix(models, "Corvy");
}

}  // namespace

TEST(SampleModel, TheBuildPutItIntoTheProgramCatalogue) {
  const std::string folder = std::string(CORVANE_BINARY_DIR) + "/";
  TModelList models;
  TModelo current;
  LoadModelExtensions(models, current, folder + "corvane", folder);
  const TModelo* corvy = FindPrefix(models, "Corvy");
  ASSERT_NE(corvy, nullptr) << "the build writes " << folder << "CustomModels/Corvy.cvmx";
  EXPECT_EQ(corvy->PartCount(), 5);  // four materials and the talk texture
  TObjeto3D mesh;
  ASSERT_TRUE(LoadFromCVMD(mesh, corvy->File3D));
  EXPECT_GE(mesh.Triangles.size(), 300u);
  EXPECT_LE(mesh.Triangles.size(), 1000u);
}

TEST(SampleModel, AProjectOnItCompilesToAPackage) {
  TScratch s;
  TModelList models;
  const TModelo* corvy = CompileCorvy(s, models);
  ASSERT_NE(corvy, nullptr);
  EXPECT_TRUE(corvy->HasMaskedSection);
  EXPECT_EQ(corvy->PartName(3), "VISOR");
  for (int i = 0; i < 4; ++i) EXPECT_NE(corvy->Part(i)->WireBitmap, nullptr) << i;

  // One skin, a default texture in every section but the talk texture's.
  std::vector<TBitmap> bitmaps;
  bitmaps.reserve(static_cast<size_t>(corvy->PartCount()));
  TPackageProject project;
  project.ProjectFileName = Scratch(s, "corvy_skins.cvp");
  TPackageSkin skin;
  skin.Code = "corv";
  skin.Description = "Sample";
  std::vector<TPaletteEntry> grey(256);
  for (int i = 0; i < 256; ++i)
    grey[static_cast<size_t>(i)] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
  const HPALETTE palette = CreatePalette(grey);
  for (int i = 0; i < corvy->PartCount(); ++i) {
    project.Model.SectionFlags.push_back(corvy->Part(i)->Flags);
    if (corvy->Part(i)->Flags & mpTALKTEXTURE) continue;
    bitmaps.emplace_back(64, 64, TPixelFormat::pf8bit);
    bitmaps.back().SetPalette(palette);
    bitmaps.back().Fill(
        RGBColor(static_cast<uint8_t>(40 * i), static_cast<uint8_t>(40 * i), static_cast<uint8_t>(40 * i)));
    TPackageSkinSection section;
    section.Section = corvy->Part(i)->Section();
    section.Textures.push_back({"", "", &bitmaps.back(), palette});
    skin.Sections.push_back(section);
  }
  project.Skins.push_back(skin);
  const TCompileMessage message = CompilePackageFiles(project, false);
  EXPECT_FALSE(message.IsError) << message.Text;
  TUTPackage package(PackageUtxFileName(project));
  std::vector<std::string> textures;
  for (const auto& e : package.Exports)
    if (e.ClassNameStr == "Texture") textures.push_back(LowerCase(e.ObjectNameStr));
  EXPECT_EQ(textures, (std::vector<std::string>{"corv1", "corv2", "corv3", "corv4"}));
}

// A word painted on a texture must read the right way round on the figure: seen from the Front
// preset's camera (on +Z, looking at the figure, which is neither turned nor tilted), u grows
// towards the screen's right on every triangle facing the camera, and the seam where u jumps
// back lies behind each part's axis (every part stands on z = 0).
TEST(SampleModel, TexturesRunLeftToRightSeenFromTheFront) {
  TScratch s;
  TModelList models;
  const TModelo* corvy = CompileCorvy(s, models);
  ASSERT_NE(corvy, nullptr);
  ASSERT_FALSE(corvy->Presets.empty());
  const TCameraPreset& front = corvy->Presets[0];
  EXPECT_EQ(front.Name, "Front");
  EXPECT_GT(front.CameraZ, 0);
  EXPECT_EQ(front.CameraX, 0);
  EXPECT_EQ(front.CameraY, 0);
  EXPECT_EQ(std::vector<float>({corvy->Pitch, corvy->Roll, corvy->Turn}), std::vector<float>({0, 0, 0}));
  TObjeto3D mesh;
  ASSERT_TRUE(LoadFromCVMD(mesh, corvy->File3D));

  // The u values at the edges of each section's texture strips.
  const std::map<std::string, std::vector<float>> seams = {{"SKIN", {0.0f, 0.6f, 1.0f}},
                                                           {"LEGS", {0.0f, 0.5f, 1.0f}},
                                                           {"FACE", {0.0f, 1.0f}},
                                                           {"VISOR", {0.0f, 1.0f}}};
  std::map<std::string, int> facing;
  for (const TObjeto3DTriangulo& t : mesh.Triangles) {
    const std::string material = mesh.Materials.at(static_cast<size_t>(t.Material)).Name;
    const TObjeto3DVertice* p[3] = {&mesh.Vertices.at(static_cast<size_t>(t.Vertex0)),
                                    &mesh.Vertices.at(static_cast<size_t>(t.Vertex1)),
                                    &mesh.Vertices.at(static_cast<size_t>(t.Vertex2))};
    const float u[3] = {mesh.UVs.at(static_cast<size_t>(t.UV0)).U, mesh.UVs.at(static_cast<size_t>(t.UV1)).U,
                        mesh.UVs.at(static_cast<size_t>(t.UV2)).U};
    for (int k = 0; k < 3; ++k)
      for (float edge : seams.at(material)) {
        if (std::fabs(u[k] - edge) < 1e-5f) {
          EXPECT_LE(p[k]->Z, 1e-4f) << material << " seam vertex in front of its part";
        }
      }
    // Placed by the model's offsets and seen through the camera: the triangle faces it when
    // its screen winding is counter-clockwise.
    double sx[3], sy[3];
    for (int k = 0; k < 3; ++k) {
      const double depth = front.CameraZ - (p[k]->Z * corvy->ScaleZ + corvy->OffsetZ);
      sx[k] = (p[k]->X * corvy->ScaleX + corvy->OffsetX) / depth;
      sy[k] = (p[k]->Y * corvy->ScaleY + corvy->OffsetY) / depth;
    }
    const double x1 = sx[1] - sx[0], y1 = sy[1] - sy[0], x2 = sx[2] - sx[0], y2 = sy[2] - sy[0];
    const double area = x1 * y2 - x2 * y1;
    if (area < 1e-9) continue;
    // u = a x + b y + c over the triangle; a is how u changes towards the screen's right.
    const double u1 = u[1] - u[0], u2 = u[2] - u[0];
    const double towardsRight = (u1 * y2 - u2 * y1) / area;
    EXPECT_GT(towardsRight, 0) << material << " triangle " << (&t - mesh.Triangles.data());
    ++facing[material];
  }
  for (const auto& [material, edges] : seams) EXPECT_GT(facing[material], 0) << material;
}
