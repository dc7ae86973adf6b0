// Save Position: the preview's model position goes into the model extension file, and the
// catalogue read again leaves the project's skin tree and the preview's choices valid.
#include <gtest/gtest.h>

#include "editor/SkinTree.h"
#include "model/ModelCatalogue.h"
#include "model/ModelTestFiles.h"
#include "preview/PreviewScene.h"

namespace {

TEST(SavePosition, WritesTheFileAndTheReloadedCatalogueKeepsTheTreeValid) {
  TModelFolder dir("", "preview_save");
  const std::string cvmx = dir / "Soldier.cvmx";
  WriteBytes(cvmx,
             "; installed by hand\r\n[Model-Soldier]\r\nName=Soldier\r\nPrefix=Soldier\r\n3DFile=Soldier.cvmd\r\n"
             "ScaleX=1,5\r\nSection1=Head, FACE, MASKED\r\nSection2=Body, TEAM\r\n"
             "Preset1=A;0;0;500;0;0;0\r\nPreset2=B;1;0;0;0;0;0\r\nPreset3=C;2;0;0;0;0;0\r\nPreset4=D;3;0;0;0;0;0\r\n");
  TModelList models;
  TModelo current;
  LoadModelExtensions(models, current, dir.ProgramFile(), dir.Folder());
  ASSERT_EQ(models.size(), 1u);
  current.Assign(*models[0]);

  TSkinTree tree;
  tree.SetRoot("project");
  TSkinNode* skin = AddSkin(tree, "Soldier", "sol", current);
  auto texture = std::make_unique<TObjetoTextura>();
  TObjetoTextura* head = texture.get();
  AddTexture(skin->Child(0), std::move(texture), "< Default >");

  TPreviewScene scene;
  TModelPosition p;
  p.ScaleX = current.ScaleX, p.ScaleY = current.ScaleY, p.ScaleZ = current.ScaleZ;
  scene.SetPlayerPosition(p);
  for (char key : {'X', 'X', 'p', 's', 'Z'}) scene.KeyPress(key, 1);
  SaveModelPosition(current.Key, scene.PlayerPosition());
  const TModeloPart* before = current.Part(0);
  LoadModelExtensions(models, current, dir.ProgramFile(), dir.Folder());

  const std::string text = ReadText(cvmx);
  EXPECT_EQ(text.rfind("; installed by hand\r\n[Model-Soldier]\r\n", 0), 0u) << text;
  for (const char* line : {"ScaleX=1.40000\r\n", "OffsetX=10.00000\r\n", "OffsetZ=5.00000\r\n", "Pitch=-22.50000\r\n",
                           "Section2=Body, TEAM\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  EXPECT_FLOAT_EQ(current.ScaleY, 0.9f);
  EXPECT_FLOAT_EQ(current.OffsetX, 10);
  EXPECT_FLOAT_EQ(current.Pitch, -22.5f);
  EXPECT_EQ(current.Presets.size(), 4u);

  // The parts are new objects; the tree finds them again by section number.
  EXPECT_NE(current.Part(0), before);
  const TModeloPart* part = PartOfSection(skin->Child(0), current);
  ASSERT_NE(part, nullptr);
  EXPECT_TRUE(part->Flags & mpMASKED);
  TPreviewSkin view{skin->Text, {{1, {{"< Default >", head}}}, {2, {}}}};
  TTextureSelection sel;
  sel.Skin = &view;
  const TSlotChoices slots = ChooseSectionTextures(current, current.Key, sel);
  EXPECT_EQ(slots[0].Texture, head);
  EXPECT_TRUE(slots[0].Masked);
  EXPECT_TRUE(slots[1].Used);

  // Two presets saved over four: the reload reads two.
  current.Presets.resize(2);
  SaveModelPresets(current.Key, current.Presets);
  LoadModelExtensions(models, current, dir.ProgramFile(), dir.Folder());
  EXPECT_EQ(current.Presets.size(), 2u);
}

}  // namespace
