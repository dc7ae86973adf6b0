// The sample model of a fresh install: the build compiled it into its CustomModels, the
// catalogue of that program folder offers it, and a project made on it compiles to a package.
#include <gtest/gtest.h>

#include <filesystem>

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
  const std::string home = Scratch(s, "home") + "/";
  BuildSampleModel(Scratch(s, "Corvy.ms3d"), home + "CustomModels");
  TModelList models;
  TModelo current;
  LoadModelExtensions(models, current, home + "corvane", home);
  const TModelo* corvy = FindPrefix(models, "Corvy");
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
