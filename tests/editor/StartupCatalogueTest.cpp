// Start-up with the model extension files of the program folder: a broken file, an unreadable
// wire bitmap, and the writers that store the preview's position and presets and reload.
#include <gtest/gtest.h>

#include <algorithm>

#include <QScrollBar>

#include "MainWindowTestSupport.h"
#include "model/crvn_struc.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"

using namespace mainwindow_test;

namespace {
const char* const AlphaFile =
    "[Model-Alpha]\r\nName=Alpha\r\nPrefix=Alp\r\n3DFile=alpha.cvmd\r\nScaleX=1,5\r\n"
    "Section1=Body, TEAM\r\nSection2=Head, FACE, TextureIs128x128\r\n";

class TPositionPreview : public TRecordingPreview {
 public:
  using TRecordingPreview::TRecordingPreview;
  TModelPosition Position;
  bool Loaded = false;  // a model in the preview
  bool ModelPosition(TModelPosition& p) const override {
    p = Position;
    return Loaded;
  }
};
}  // namespace

TEST(StartupCatalogue, ABrokenExtensionFileIsShownAndStartUpGoesOn) {
  TWindowEnv env;
  WriteText(env.Home / "a.cvmx", AlphaFile);
  // Read second (name order): its scale is not a number. That model is left out and named; the
  // models after it still load.
  WriteText(env.Home / "b.cvmx", "[Model-Broken]\r\nPrefix=Brk\r\n3DFile=b.cvmd\r\nScaleX=abc\r\n");
  WriteText(env.Home / "c.cvmx", "[Model-Charlie]\r\nPrefix=Cha\r\n");
  Tmain_unificada& w = env.Create();

  ASSERT_EQ(env.Prompts.Shown.size(), 1u);
  EXPECT_EQ(env.Prompts.Shown[0].Caption, "Corvane");
  EXPECT_EQ(env.Prompts.Shown[0].Text, "FormCreate: Model file \"" + (env.Home / "b.cvmx").string() +
                                           "\", section [Model-Broken]: 'abc' is not a valid floating point value "
                                           "(the model was left out)");
  EXPECT_EQ(env.Prompts.Shown[0].Icon, TMsgIcon::Stop);
  // The other models are there; the rest of the start-up still ran.
  ASSERT_EQ(w.State().Models().size(), 2u);
  EXPECT_EQ(w.State().Models()[0]->Prefix, "Alp");
  EXPECT_EQ(w.State().Models()[1]->Prefix, "Cha");
  EXPECT_FLOAT_EQ(w.State().Models()[0]->ScaleX, 1.5f);
  EXPECT_EQ(w.State().GameFolder(), "C:\\UnrealTournament");
  EXPECT_EQ(C<TLabelScrollBar>(w, "brush_size")->Value(), 15);
  EXPECT_EQ(C<TLabelScrollBar>(w, "brush_intensity")->Value(), 50);
  env.Prompts.QueueOpenFiles(std::nullopt);
  Act(w, "mnu_LoadProject")->trigger();
  EXPECT_EQ(env.Prompts.FileDialogs.back().InitialDir, env.Home.string() + "/");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\.cvmx", false));
  EXPECT_EQ(reg.ReadString(""), "CVMXfile");
  EXPECT_EQ(env.PreviewLog.back(), "UpdateCaption");
}

TEST(StartupCatalogue, ReadsTheProgramFolderThenCustomModelsAndNamesAnUnreadableWire) {
  TWindowEnv env;
  WriteText(env.Home / "a.cvmx", AlphaFile);
  WriteText(env.Home / "CustomModels" / "z.cvmx", "[model-zeta]\r\nName=Zeta\r\nPrefix=Zet\r\nSection1=All\r\n");
  // Same prefix as Alpha, read later: left out.
  WriteText(env.Home / "CustomModels" / "alpha2.cvmx", "[Model-Alpha2]\r\nName=Other\r\nPrefix=Alp\r\n");
  // Not a bitmap: the start-up names it with the reason, and the section has no wire.
  WriteText(env.Home / "AlpWire1.bmp", "this is not a bitmap");
  Tmain_unificada& w = env.Create();
  ASSERT_EQ(env.Prompts.Shown.size(), 1u);
  EXPECT_EQ(env.Prompts.Shown[0].Text, "FormCreate: Wire bitmap \"" + (env.Home / "AlpWire1.bmp").string() +
                                           "\" cannot be read: Bitmap image is not valid: the \"BM\" signature is "
                                           "missing (the section is drawn without it)");
  ASSERT_EQ(w.State().Models().size(), 2u);
  EXPECT_EQ(w.State().Models()[0]->Name, "Alpha");
  EXPECT_EQ(w.State().Models()[1]->Name, "Zeta");
  ASSERT_EQ(w.State().Models()[0]->PartCount(), 2);
  EXPECT_EQ(w.State().Models()[0]->Part(0)->WireBitmap, nullptr);
  EXPECT_EQ(w.State().Models()[0]->Part(1)->Width, 128);
}

TEST(StartupCatalogue, SavingThePositionWritesTheFileAndRefreshesTheCurrentModel) {
  TWindowEnv env;
  WriteText(env.Home / "a.cvmx", AlphaFile);
  auto preview = std::make_unique<TPositionPreview>(&env.PreviewLog);
  TPositionPreview* p = preview.get();
  env.Window = std::make_unique<Tmain_unificada>(nullptr, std::move(preview));
  Tmain_unificada& w = *env.Window;
  ASSERT_EQ(w.State().Models().size(), 1u);
  auto model = std::make_unique<TModelo>();
  model->Assign(*w.State().Models()[0]);
  w.Document().SetUp({.Model = std::move(model)});
  const TModeloPart* before = w.State().CurrentModel()->Part(0);

  // Nothing loaded in the preview yet: nothing to save.
  Press(w, "btn_saveposition");
  EXPECT_EQ(ReadText(env.Home / "a.cvmx"), AlphaFile);

  p->Loaded = true;
  p->Position.ScaleX = 2.123456f;
  p->Position.OffsetZ = -10.5f;
  p->Position.Turn = 90;
  Press(w, "btn_saveposition");
  TIniFile ini((env.Home / "a.cvmx").string());
  EXPECT_EQ(ini.ReadString("Model-Alpha", "ScaleX", ""), "2.12346");
  EXPECT_EQ(ini.ReadString("Model-Alpha", "OffsetZ", ""), "-10.50000");
  EXPECT_EQ(ini.ReadString("Model-Alpha", "Section1", ""), "Body, TEAM");
  // The reload gave the current model the saved values and new part objects.
  EXPECT_FLOAT_EQ(w.State().CurrentModel()->ScaleX, 2.12346f);
  EXPECT_FLOAT_EQ(w.State().CurrentModel()->Turn, 90.0f);
  ASSERT_EQ(w.State().CurrentModel()->PartCount(), 2);
  EXPECT_NE(w.State().CurrentModel()->Part(0), before);
  EXPECT_EQ(w.State().CurrentModel()->PartIndexOfSection(2), 1);

  // Presets: two written, read back in order.
  w.State().CurrentModel()->Presets = {{"Front", 0, 0, 500, 0, 0, 0}, {"Side", 500, 0, 0, 0, 0, 10}};
  Act(w, "mnu_PresetSaveinCVMX")->trigger();
  ASSERT_EQ(w.State().CurrentModel()->Presets.size(), 2u);
  EXPECT_EQ(w.State().CurrentModel()->Presets[1].Name, "Side");
  EXPECT_FLOAT_EQ(w.State().CurrentModel()->Presets[1].TargetZ, 10.0f);
  EXPECT_TRUE(env.Prompts.Shown.empty());
}
