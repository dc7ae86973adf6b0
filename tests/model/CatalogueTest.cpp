#include <gtest/gtest.h>

#include <cmath>

#include "ModelTestFiles.h"
#include "model/ModelCatalogue.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/MessagePump.h"

namespace {

const TModelo* Find(const TModelList& models, const std::string& prefix) {
  for (const auto& m : models)
    if (m->Prefix == prefix) return m.get();
  return nullptr;
}

std::vector<std::string> Prefixes(const TModelList& models) {
  std::vector<std::string> r;
  for (const auto& m : models) r.push_back(m->Prefix);
  return r;
}

void ExpectPreset(const TCameraPreset& p, const std::string& name, std::vector<float> v) {
  EXPECT_EQ(p.Name, name);
  EXPECT_FLOAT_EQ(p.CameraX, v[0]);
  EXPECT_FLOAT_EQ(p.CameraY, v[1]);
  EXPECT_FLOAT_EQ(p.CameraZ, v[2]);
  EXPECT_FLOAT_EQ(p.TargetX, v[3]);
  EXPECT_FLOAT_EQ(p.TargetY, v[4]);
  EXPECT_FLOAT_EQ(p.TargetZ, v[5]);
}

}  // namespace

TEST(Catalogue, FilesAreReadInTheirFixedOrder) {
  TModelFolder dir("catalogue", "order");
  std::vector<std::string> files = ModelExtensionFiles(dir.ProgramFile(), dir.Folder());
  EXPECT_EQ(files, (std::vector<std::string>{dir / "corvane.ini", dir / "Alpha.cvmx", dir / "beta.cvmx",
                                             dir / "CustomModels/aaa.cvmx", dir / "CustomModels/AAB.cvmx",
                                             dir / "CustomModels/female.cvmx", dir / "CustomModels/Male.cvmx"}));
  // The program's .ini is listed when missing, and a CustomModels folder copied from Windows
  // in another letter case is found.
  TModelFolder other("", "order2");
  std::filesystem::create_directories(other.Path / "custommodels");
  WriteBytes(other / "custommodels/x.cvmx", "");
  files = ModelExtensionFiles(other.ProgramFile(), other.Folder());
  EXPECT_EQ(files, (std::vector<std::string>{other / "corvane.ini", other / "custommodels/x.cvmx"}));
}

TEST(Catalogue, CorpusLoadsWithEveryRule) {
  TModelFolder dir("catalogue", "corpus");
  TModelList models;
  TModelo current;
  LoadModelExtensions(models, current, dir.ProgramFile(), dir.Folder());

  // First read wins for an exact prefix; 'male' differs from 'Male'; "Models" is no model
  // section; aaa.cvmx comes before AAB.cvmx although 'A' < 'a' in bytes.
  EXPECT_EQ(Prefixes(models), (std::vector<std::string>{"Soldier", "Male", "male", "NoMesh", "First", "Female"}));
  EXPECT_EQ(Find(models, "First")->Name, "Read first: aaa sorts before AAB");
  EXPECT_EQ(Find(models, "Male")->Name, "Male Commando");

  const TModelo& soldier = *Find(models, "Soldier");
  EXPECT_EQ(soldier.Key, dir / "corvane.ini" + "|Model-Soldier");
  EXPECT_EQ(soldier.LodMesh, "Botpack.Soldier");
  EXPECT_EQ(soldier.File3D, "");
  EXPECT_FLOAT_EQ(soldier.ScaleX, 0.5f);
  EXPECT_FLOAT_EQ(soldier.ScaleY, 0.5f);
  EXPECT_FLOAT_EQ(soldier.OffsetZ, -12.75f);
  EXPECT_FLOAT_EQ(soldier.Turn, 180);
  EXPECT_EQ(soldier.TalkTextureIndex, 5);  // "abc"
  ASSERT_EQ(soldier.Presets.size(), 1u);
  ExpectPreset(soldier.Presets[0], "Front", {0, 0, 500, 0, 0, 0});

  const TModelo& male = *Find(models, "Male");
  EXPECT_EQ(male.Key, dir / "Alpha.cvmx" + "|Model-Male");
  EXPECT_EQ(male.File3D, dir / "Male.cvmd");
  EXPECT_FLOAT_EQ(male.ScaleX, 1.25f);
  EXPECT_FLOAT_EQ(male.ScaleY, 1);
  EXPECT_FLOAT_EQ(male.OffsetX, 3);
  EXPECT_FLOAT_EQ(male.Pitch, -90);
  EXPECT_EQ(male.TalkTextureIndex, 4);
  EXPECT_EQ(male.FormatTeam, "%SKIN%%SECTION%Team%TEAM%");
  EXPECT_EQ(male.FormatTalk, "%SKIN%%SECTION%%FACE%");  // empty keeps the default
  ASSERT_EQ(male.PartCount(), 2);                       // Section2 empty, Section9 beyond 8
  EXPECT_EQ(male.PartName(0), "Body");
  EXPECT_EQ(male.Part(0)->Flags, 1u | mpTEAM);
  EXPECT_EQ(male.Part(0)->Width, 256);
  EXPECT_EQ(male.Part(0)->Height, 256);
  EXPECT_EQ(male.PartName(1), "Head");
  EXPECT_EQ(male.Part(1)->Flags, 3u | mpFACE | mpMASKED);
  EXPECT_EQ(male.Part(1)->Width, 128);
  EXPECT_EQ(male.Part(1)->Height, 64);
  EXPECT_TRUE(male.HasMaskedSection);
  // Preset list stops at the first missing number; empty fields give 0, CameraZ 500.
  ASSERT_EQ(male.Presets.size(), 2u);
  ExpectPreset(male.Presets[0], "Side", {500, 0, 0, 0, 0, 0});
  ExpectPreset(male.Presets[1], "High", {0, 250.5f, 500, 1.5f, -2, 0});

  const TModelo& lower = *Find(models, "male");
  EXPECT_FLOAT_EQ(lower.ScaleX, 1);  // no 3DFile or LodMesh: scale not read
  ASSERT_EQ(lower.PartCount(), 1);
  EXPECT_EQ(lower.Part(0)->Flags, 5u | mpTALKTEXTURE);
  EXPECT_EQ(lower.Part(0)->Width, 64);
  EXPECT_EQ(lower.Part(0)->Height, 64);
  EXPECT_FALSE(lower.HasMaskedSection);

  const TModelo& nomesh = *Find(models, "NoMesh");
  EXPECT_FLOAT_EQ(nomesh.ScaleX, 1);
  EXPECT_FLOAT_EQ(nomesh.OffsetY, 0);
  ASSERT_EQ(nomesh.PartCount(), 1);
  EXPECT_EQ(nomesh.Part(0)->Flags,
            2u | mpNOINT | mpONEMIPMAP | mpLODSETWORLD | mpCANNOTRESAMPLE | mpTEAM | mpFACE | mpMASKED | mpTALKTEXTURE);
  EXPECT_EQ(nomesh.Part(0)->Width, 32);

  // Written on Windows: BOM, CRLF, keys in other letter case, a backslash, comma decimals.
  const TModelo& female = *Find(models, "Female");
  EXPECT_EQ(female.Name, "Female Commando");
  EXPECT_EQ(female.Key, dir / "CustomModels/female.cvmx" + "|model-Female");
  EXPECT_EQ(female.File3D, dir / "CustomModels/" + "Meshes\\Female.cvmd");
  EXPECT_FLOAT_EQ(female.ScaleX, 1.5f);
  EXPECT_FLOAT_EQ(female.ScaleY, 2.25f);
  EXPECT_FLOAT_EQ(female.Roll, 12.5f);
  ASSERT_EQ(female.PartCount(), 3);
  EXPECT_EQ(female.Part(0)->Flags, 1u | mpTEAM);
  EXPECT_EQ(female.Part(0)->Width, 256);
  EXPECT_EQ(female.Part(0)->Height, 128);
  EXPECT_EQ(female.PartName(1), "Legs");
  EXPECT_EQ(female.Part(1)->Width, 64);  // textureis0x0 is skipped for the next size
  EXPECT_EQ(female.Part(1)->Height, 32);
  EXPECT_EQ(female.Part(2)->Width, 64);  // 256 by nothing on a talk texture
  EXPECT_EQ(female.Part(2)->Height, 64);
  ASSERT_EQ(female.Presets.size(), 1u);
  ExpectPreset(female.Presets[0], "Front view", {0, 0, 500, 0, 0, 0});

  // The current model had no prefix: it stays empty.
  EXPECT_EQ(current.Prefix, "");
  EXPECT_EQ(current.PartCount(), 0);
}

TEST(Catalogue, SectionValues) {
  struct Case {
    const char* Value;
    std::string Name;
    uint32_t Options;
    int Width, Height;
  } cases[] = {
      {"Body, team, TextureIs256x256", "Body", mpTEAM, 256, 256},
      {"Talk, TalkTexture", "Talk", mpTALKTEXTURE, 64, 64},
      {"Talk, TextureIs32x32, TalkTexture", "Talk", mpTALKTEXTURE, 32, 32},
      {"Head, TextureIs256", "Head", 0, 256, 0},
      {"Head, TextureIsX128", "Head", 0, 0, 128},
      {"TEAM", "TEAM", 0, 0, 0},  // field 0 is always the name
      {"  Spaced Name  ,  face  ", "Spaced Name", mpFACE, 0, 0},
      {"A, TEAM, team, Team, Wings, TEXTURE", "A", mpTEAM, 0, 0},
      {"A, TEXTUREIS0X0, TEXTUREISaxb", "A", 0, 0, 0},        // values of the last field tried
      {"A, TextureIs16x16, TextureIs32x32", "A", 0, 16, 16},  // the first good one wins
      {"A, TextureIs-8x16", "A", 0, 0, 16},                   // negative sizes are no size
      {"A, TextureIs99999x64, TalkTexture", "A", mpTALKTEXTURE, 64, 64},
      {"", "", 0, 0, 0},
  };
  for (const Case& c : cases) {
    std::string name;
    uint32_t flags;
    int w, h;
    ParseSectionValue(c.Value, 6, name, flags, w, h);
    EXPECT_EQ(name, c.Name) << c.Value;
    EXPECT_EQ(flags, 6u | c.Options) << c.Value;
    EXPECT_EQ(w, c.Width) << c.Value;
    EXPECT_EQ(h, c.Height) << c.Value;
  }
}

TEST(Catalogue, RealValues) {
  EXPECT_FLOAT_EQ(ValueToFloat("1,25", 0), 1.25f);
  EXPECT_FLOAT_EQ(ValueToFloat("1.25", 0), 1.25f);
  EXPECT_FLOAT_EQ(ValueToFloat("-3", 0), -3);
  EXPECT_FLOAT_EQ(ValueToFloat("", 7), 7);
  try {
    ValueToFloat("1.2.3", 0);
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'1.2.3' is not a valid floating point value");
  }
  EXPECT_THROW(ValueToFloat("abc", 0), EConvertError);
  EXPECT_THROW(ValueToFloat("1e39", 0), EConvertError);  // beyond a 32-bit float
  std::string field = "keep";
  AssignIfNotEmpty(field, "");
  EXPECT_EQ(field, "keep");
  AssignIfNotEmpty(field, "new");
  EXPECT_EQ(field, "new");
}

// A broken model section is left out and named; every model after it, in its file and in the
// files read later, still loads, and the current model is refreshed.
TEST(Catalogue, BrokenModelsAreLeftOutAndNamedAndTheRestLoads) {
  TModelFolder dir("broken", "broken");
  TModelList models;
  models.push_back(std::make_unique<TModelo>());  // the previous catalogue
  TModelo current;
  current.Prefix = "Good";
  current.Name = "previous content";
  const struct {
    std::string BFile;
    std::string Why;
  } cases[] = {
      {"", "'abc' is not a valid floating point value"},
      {"[Model-Short]\nPrefix=Short\nPreset1=Short;1;2\n[Model-Late]\nPrefix=Late\n", "List index out of bounds (3)"},
  };
  for (const auto& c : cases) {
    if (!c.BFile.empty()) WriteBytes(dir / "b.cvmx", c.BFile);
    try {
      LoadModelExtensions(models, current, dir.ProgramFile(), dir.Folder());
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      const std::string file = dir / "b.cvmx";
      const std::string section = c.BFile.empty() ? "Model-Bad" : "Model-Short";
      EXPECT_EQ(e.Message,
                "Model file \"" + file + "\", section [" + section + "]: " + c.Why + " (the model was left out)");
    }
    std::vector<std::string> expected = {"Good", "After"};
    if (!c.BFile.empty()) expected = {"Good", "Late", "After"};
    EXPECT_EQ(Prefixes(models), expected);
    EXPECT_EQ(current.Name, "");  // refreshed from the catalogue's entry
    EXPECT_FALSE(IsBusy());
  }
}

TEST(Catalogue, ReloadRefreshesTheCurrentModelWithPartsOfItsOwn) {
  TModelFolder dir("catalogue", "reload");
  WriteBytes(dir / "MaleWire1.bmp", MakeBmp(24, {0x112233}));
  TModelList models;
  TModelo current;
  current.Prefix = "Male";
  // While the load runs (the field routines pump messages) the old catalogue is still there
  // and the program counts as busy.
  int pumps = 0;
  bool sawBusy = true, sawOld = true;
  models.push_back(std::make_unique<TModelo>());
  models.back()->Prefix = "Old";
  TMessagePumpHook old = SetMessagePumpHook([&] {
    ++pumps;
    sawBusy = sawBusy && IsBusy();
    sawOld = sawOld && models.size() == 1 && models[0]->Prefix == "Old";
  });
  LoadModelExtensions(models, current, dir.ProgramFile(), dir.Folder());
  SetMessagePumpHook(std::move(old));
  EXPECT_GT(pumps, 0);
  EXPECT_TRUE(sawBusy);
  EXPECT_TRUE(sawOld);
  EXPECT_FALSE(IsBusy());

  const TModelo& entry = *Find(models, "Male");
  EXPECT_EQ(current.Name, "Male Commando");
  ASSERT_EQ(current.PartCount(), 2);
  EXPECT_NE(current.Part(0), entry.Part(0));
  ASSERT_TRUE(entry.Part(0)->WireBitmap);
  EXPECT_EQ(current.Part(0)->WireBitmap, entry.Part(0)->WireBitmap);

  // A texture keeps its section's wire bitmap across a reload; callers find the new part by
  // its section number.
  TObjetoTextura texture;
  texture.WireBitmap = current.Part(current.PartIndexOfSection(1))->WireBitmap;
  WriteBytes(dir / "Alpha.cvmx", ReadText(dir / "Alpha.cvmx") + "\n");  // any change
  LoadModelExtensions(models, current, dir.ProgramFile(), dir.Folder());
  ASSERT_TRUE(texture.WireBitmap);
  EXPECT_EQ(texture.WireBitmap->Width(), 1);
  EXPECT_EQ(current.PartIndexOfSection(3), 1);

  // A prefix that is gone leaves the current model as it was.
  std::filesystem::remove(dir / "Alpha.cvmx");
  std::filesystem::remove(dir / "CustomModels/Male.cvmx");
  std::filesystem::remove(dir / "beta.cvmx");
  LoadModelExtensions(models, current, dir.ProgramFile(), dir.Folder());
  EXPECT_EQ(Find(models, "Male"), nullptr);
  EXPECT_EQ(current.Name, "Male Commando");
}

TEST(Catalogue, SavingThePositionRewritesOnlyItsNineKeys) {
  TModelFolder dir("catalogue", "position");
  const std::string file = dir / "CustomModels/female.cvmx";
  const std::string before = ReadText(file);
  TModelPosition p;
  p.ScaleX = 1.0f / 3;
  p.ScaleY = 2;
  p.ScaleZ = 0.5f;
  p.OffsetX = -0.000001f;
  p.OffsetY = 12.345678f;
  p.OffsetZ = NAN;  // never written as text that cannot be read back
  p.Pitch = -90;
  p.Roll = 0;
  p.Turn = 359.999999f;
  SaveModelPosition(file + "|model-Female", p);

  // Existing keys keep their place, spelling and line ends; new ones follow the last key.
  std::string expected = before;
  auto replace = [&](const std::string& from, const std::string& to) {
    size_t at = expected.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    expected.replace(at, from.size(), to);
  };
  replace("scalex=1,5\r\n", "scalex=0.33333\r\n");
  replace("SCALEY = 2,25\r\n", "SCALEY = 2.00000\r\n");
  replace("roll=12,5\r\n", "roll=0.00000\r\n");
  replace("PRESET1=Front view;0;0;500,0;0;0;0\r\n",
          "PRESET1=Front view;0;0;500,0;0;0;0\r\nScaleZ=0.50000\r\nOffsetX=0.00000\r\n"
          "OffsetY=12.34568\r\nOffsetZ=0.00000\r\nPitch=-90.00000\r\nTurn=360.00000\r\n");
  EXPECT_EQ(ReadText(file), expected);

  TModelList models;
  TModelo current;
  current.Prefix = "Female";
  LoadModelExtensions(models, current, dir.ProgramFile(), dir.Folder());
  EXPECT_FLOAT_EQ(current.ScaleX, 0.33333f);
  EXPECT_FLOAT_EQ(current.OffsetY, 12.34568f);
  EXPECT_FLOAT_EQ(current.Turn, 360);
  EXPECT_FLOAT_EQ(current.OffsetZ, 0);

  EXPECT_THROW(SaveModelPosition("", p), EInOutError);
  EXPECT_THROW(SaveModelPosition(dir / "no-such-folder/x.cvmx|Model-X", p), Exception);
}

TEST(Catalogue, SavingPresetsBlanksStaleKeysAndKeepsTheFileReadable) {
  TModelFolder dir("", "presets");
  const std::string file = dir / "Man.cvmx";
  WriteBytes(file,
             "[Model-Man]\nPrefix=Man\nPreset1=A;1;1;1;1;1;1\nPreset2=B;2;2;2;2;2;2\n"
             "Preset3=C;3;3;3;3;3;3\nPreset4=D;4;4;4;4;4;4\n[Model-Other]\nPrefix=Other\nPreset5=Z;0;0;0;0;0;0\n");
  std::vector<TCameraPreset> presets = {{"Semi;colon\r\nand break", 1.005f, -2.5f, 500, 0, 0, 0},
                                        {"Two", 10, 20, 30, 40, 50, 60.125f}};
  SaveModelPresets(file + "|Model-Man", presets);
  TIniFile ini(file);
  EXPECT_EQ(ini.ReadString("Model-Man", "Preset1", "?"), "Semi,colon  and break;1.00;-2.50;500.00;0.00;0.00;0.00");
  EXPECT_EQ(ini.ReadString("Model-Man", "Preset2", "?"), "Two;10.00;20.00;30.00;40.00;50.00;60.12");
  EXPECT_EQ(ini.ReadString("Model-Man", "Preset3", "?"), "");
  EXPECT_EQ(ini.ReadString("Model-Man", "Preset4", "?"), "");
  EXPECT_TRUE(ini.ValueExists("Model-Man", "Preset4"));
  EXPECT_EQ(ini.ReadString("Model-Other", "Preset5", "?"), "Z;0;0;0;0;0;0");

  TModelList models;
  TModelo current;
  LoadModelExtensions(models, current, dir.ProgramFile(), dir.Folder());
  const TModelo& man = *Find(models, "Man");
  ASSERT_EQ(man.Presets.size(), 2u);
  ExpectPreset(man.Presets[0], "Semi,colon  and break", {1, -2.5f, 500, 0, 0, 0});
  ExpectPreset(man.Presets[1], "Two", {10, 20, 30, 40, 50, 60.12f});

  // Saving more presets than the file had: no blank keys are needed.
  presets.push_back({"Three", 0, 0, 0, 0, 0, 0});
  presets.push_back({"Four", 0, 0, 0, 0, 0, 0});
  presets.push_back({"Five", 0, 0, 0, 0, 0, 0});
  SaveModelPresets(file + "|Model-Man", presets);
  LoadModelExtensions(models, current, dir.ProgramFile(), dir.Folder());
  EXPECT_EQ(Find(models, "Man")->Presets.size(), 5u);
}
