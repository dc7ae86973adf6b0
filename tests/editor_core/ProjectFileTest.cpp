// The project file: save/load round trips, the file's layout, relative texture paths when the
// folders move, files written on Windows, failures that must leave the old file in place, and
// the model lookup.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "SkinTreeTestModel.h"
#include "editor/PaletteGroups.h"
#include "editor/ProjectFile.h"
#include "editor/SkinNaming.h"
#include "platform/FileTimes.h"
#include "platform/IniFile.h"
#include "platform/Streams.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

using namespace editor_test;
namespace fs = std::filesystem;

namespace {

using testsupport::ReadText;
void WriteText(const std::string& f, const std::string& text) { testsupport::WriteBytes(f, text); }

// Texts of the whole tree below the root, one line per node, indented by level.
std::string Dump(const TSkinTree& tree) {
  std::ostringstream o;
  for (TSkinNode* n : tree.Nodes()) {
    o << std::string(static_cast<size_t>(n->Level()) * 2, ' ') << n->Text;
    if (n->Texture) o << " [" << n->Texture->Identifier << "|" << n->Texture->Description << "]";
    o << "\n";
  }
  return o.str();
}

class ProjectFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    catalogue.push_back(MakeModel("Other", "Other model"));
    catalogue.push_back(MakeModel("Male", "Male Soldier"));
    program = dir.Folder() + "prog/";
    fs::create_directories(program);
    show = [this](const std::string& c, const std::string& t) { boxes.push_back(c + ": " + t); };
  }
  std::unique_ptr<TLoadedProject> Load(const std::string& file) {
    return LoadProjectFile(file, catalogue, program, show);
  }
  // A project like a user makes it: two skins (descriptions with "(" and ";"), textures of
  // every kind, a masked 8-bit one, textures under the program folder and elsewhere.
  void MakeProject(const std::string& projectFile, const std::string& textureFolder) {
    const TModelo& m = *catalogue[1];
    tree.SetRoot(ProjectRootText(projectFile, m.Prefix));
    TSkinNode* a = AddSkin(tree, "Boss (v2); red", "boss", m);
    TSkinNode* b = AddSkin(tree, "Plain", "pln1", m);
    auto add = [&](TSkinNode* skin, int sec, const std::string& file, const std::string& choice, bool eight = false) {
      TSkinNode* section = SectionNode(skin, sec);
      const TModeloPart& part = *PartOfSection(section, m);
      if (eight)
        WritePicture8(file, part.Width ? part.Width : 32, part.Height ? part.Height : 32, 200);
      else
        WritePicture(file, part.Width ? part.Width : 32, part.Height ? part.Height : 32, static_cast<int>(file.size()));
      std::string id, desc;
      ChoiceToIdentifier(choice, id, desc);
      AddTexture(section, CreateTexture(file, id, desc, section->Text, part, show), TextureNodeText(id, desc));
    };
    add(a, 1, textureFolder + "boss1.bmp", "< Default >");
    add(a, 1, textureFolder + "boss1t_2.bmp", "<Green Team>");
    add(a, 2, textureFolder + "boss2face.bmp", "Big Boss");
    add(a, 3, textureFolder + "Sub Dir/boss3face.bmp", "Big Boss");
    add(a, 4, textureFolder + "boss4.bmp", "< Default >", true);
    add(b, 1, textureFolder + "pln11.bmp", "< Default >");
    tree.Sort();
    options.OnlyFirstMipMap = true;
    options.ReducePalettes = 1;
    options.ClientOptional = true;
    options.NotAllowDownload = true;
  }
  void Save(const std::string& file, const TAskSaveTexture& ask = nullptr, const TAskBitmapName& askName = nullptr) {
    SaveProjectFile(file, tree, *catalogue[1], options, program, ask, askName);
  }
  void ExpectSameProject(const TLoadedProject& p) {
    EXPECT_EQ(Dump(p.Tree), Dump(tree));
    EXPECT_EQ(p.Model->Prefix, "Male");
    EXPECT_EQ(p.ModelIndex, 1);
    EXPECT_EQ(p.Options.OnlyFirstMipMap, options.OnlyFirstMipMap);
    EXPECT_EQ(p.Options.ReducePalettes, options.ReducePalettes);
    EXPECT_EQ(p.Options.ClientOptional, options.ClientOptional);
    EXPECT_FALSE(p.Options.NotAllowDownload) << "not stored";
    auto mine = tree.TextureNodes(), theirs = p.Tree.TextureNodes();
    ASSERT_EQ(mine.size(), theirs.size());
    for (size_t i = 0; i < mine.size(); ++i) {
      EXPECT_TRUE(theirs[i]->Texture->Bitmap->SameAs(*mine[i]->Texture->Bitmap)) << mine[i]->Text;
      EXPECT_EQ(theirs[i]->Parent()->SectionNumber, mine[i]->Parent()->SectionNumber);
    }
    EXPECT_TRUE(p.MissingFiles.empty());
  }

  testsupport::TScratchDir dir{"editor"};
  std::string program;
  std::vector<std::unique_ptr<TModelo>> catalogue;
  TSkinTree tree;
  TProjectOptions options;
  std::vector<std::string> boxes;
  TShowBox show;
};

}  // namespace

TEST_F(ProjectFiles, SaveThenLoadGivesTheSameProject) {
  std::string file = program + "projects/boss.cvp";
  MakeProject(file, program + "tex/");
  fs::create_directories(program + "projects");
  Save(file);
  auto p = Load(file);
  ExpectSameProject(*p);
  EXPECT_EQ(p->Tree.Root()->Text, "boss (Male)");
  EXPECT_TRUE(boxes.empty());

  // The file's layout: General first in its key order, the skins in tree order, one section
  // per texture, CRLF lines, paths under the program folder relative with backslashes.
  std::string text = ReadText(file);
  EXPECT_EQ(text.rfind("[General]\r\nModel=Male\r\nOnlyFirstMipMap=1\r\nReducePalettes=1\r\nClientOptional=1\r\n", 0),
            0u)
      << text;
  EXPECT_NE(text.find("[Groups]\r\nboss=Boss (v2); red\r\npln1=Plain\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[boss#2#Big Boss (bigboss)]\r\nIdentifier=bigboss\r\nDescription=Big "
                      "Boss\r\nFilename=tex\\boss2face.bmp\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[boss#1#< Default >]\r\nFilename=tex\\boss1.bmp\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Filename=tex\\Sub Dir\\boss3face.bmp"), std::string::npos);
  EXPECT_EQ(text.find('\n', 0) - 1, text.find('\r', 0));
  // Nothing but the project is left in its folder (no temporary file).
  EXPECT_EQ(std::distance(fs::directory_iterator(program + "projects"), fs::directory_iterator()), 1);

  // Saving the loaded project again gives the same bytes.
  std::string again = program + "projects/again.cvp";
  SaveProjectFile(again, p->Tree, *p->Model, p->Options, program, nullptr);
  std::string t2 = ReadText(again);
  EXPECT_EQ(t2.substr(t2.find("[Groups]")), text.substr(text.find("[Groups]")));
}

TEST_F(ProjectFiles, RelativePathsSurviveMovingTheFolders) {
  // Inside the program folder: relative to it; the whole program folder moves.
  std::string file = program + "boss.cvp";
  MakeProject(file, program + "Textures/");
  Save(file);
  std::string moved = dir.Folder() + "moved-prog/";
  fs::rename(program, moved);
  program = moved;
  auto p = Load(moved + "boss.cvp");
  ExpectSameProject(*p);
  EXPECT_EQ(p->Tree.TextureNodes()[0]->Texture->Filename.rfind(moved, 0), 0u);

  // Outside the program folder: the project's own folder with its textures moves.
  std::string home = dir.Folder() + "skins/";
  MakeProject(home + "b.cvp", home + "t/");
  Save(home + "b.cvp");
  EXPECT_NE(ReadText(home + "b.cvp").find("Filename=t\\boss1.bmp\r\n"), std::string::npos);
  fs::rename(home, dir.Folder() + "elsewhere");
  ExpectSameProject(*Load(dir.Folder() + "elsewhere/b.cvp"));

  // Anywhere else: the whole path.
  std::string outside = dir.Folder() + "outside/";
  MakeProject(home + "c.cvp", outside);
  fs::create_directories(home);
  Save(home + "c.cvp");
  EXPECT_NE(ReadText(home + "c.cvp").find("Filename=" + outside + "boss1.bmp\r\n"), std::string::npos);
}

TEST_F(ProjectFiles, ProjectWrittenOnWindowsLoads) {
  // A Wine prefix whose C: drive is a folder of the test.
  std::string wine = dir.Folder() + "wine/";
  fs::create_directories(wine + "dosdevices");
  fs::create_directories(wine + "drive_c/Skins");
  fs::create_symlink(wine + "drive_c", wine + "dosdevices/c:");
  setenv("WINEPREFIX", wine.c_str(), 1);
  WritePicture(program + "Textures/Boss1.bmp", 256, 256, 1);
  WritePicture(wine + "drive_c/Skins/boss2face.bmp", 100, 100, 2);  // resampled to 128x128
  WritePicture(program + "Textures/pln11.bmp", 256, 256, 3);
  std::string file = program + "win.cvp";
  WriteText(file,
            "\xEF\xBB\xBF[General]\r\nModel=MALE\r\nOnlyFirstMipMap=0\r\nReducePalettes=2\r\nClientOptional=1\r\n"
            "[Groups]\r\nboss=Boss (v2); red\r\nBOSS=Boss (v2); red\r\npln1=Plain\r\n"
            "[boss#1#< Default >]\r\nFilename=textures\\boss1.bmp\r\n"
            "[boss#2#Big Boss (bigboss)]\r\nIdentifier=bigboss\r\nDescription=Big "
            "Boss\r\nFilename=C:\\SKINS\\Boss2Face.bmp\r\n"
            "[pln1#1#< Default >]\r\nFilename=textures\\pln11.bmp\r\n"
            "[pln1#9#< Default >]\r\nFilename=textures\\pln11.bmp\r\n"  // no section 9: skipped
            "[nope#1#< Default >]\r\nFilename=textures\\pln11.bmp\r\n"  // no such skin: skipped
            "[pln1#2#Gone (gone)]\r\nIdentifier=gone\r\nFilename=textures\\gone.bmp\r\n"
            "[pln1#3#Gone (gone)]\r\nIdentifier=gone\r\nFilename=textures\\gone.bmp\r\n");
  auto p = Load(file);
  unsetenv("WINEPREFIX");
  EXPECT_EQ(p->Model->Prefix, "Male");
  EXPECT_EQ(p->Options.ReducePalettes, 2);
  EXPECT_TRUE(p->Options.ClientOptional);
  EXPECT_EQ(Dump(p->Tree),
            "win (Male)\n"
            "  Boss (v2); red (boss)\n"
            "    Body\n      < Default > [|]\n"
            "    Head\n      Big Boss (bigboss) [bigboss|Big Boss]\n"
            "    Talk\n    Mask\n    Fixed\n"
            "  Plain (pln1)\n"
            "    Body\n      < Default > [|]\n"
            "    Head\n    Talk\n    Mask\n    Fixed\n");
  auto tex = p->Tree.TextureNodes();
  EXPECT_EQ(tex[1]->Texture->Bitmap->Width(), 128);
  EXPECT_EQ(tex[1]->Texture->Filename, wine + "drive_c/Skins/boss2face.bmp");
  EXPECT_EQ(p->MissingFiles, (std::vector<std::string>{"textures\\gone.bmp"})) << "each missing file once";
  EXPECT_NE(MissingFilesMessage(p->MissingFiles).find("textures\\gone.bmp"), std::string::npos);
}

TEST_F(ProjectFiles, FailedSaveLeavesTheOldFileIntact) {
  std::string file = program + "p.cvp";
  MakeProject(file, program + "tex/");
  Save(file);
  const std::string good = ReadText(file);

  // A painted texture whose file cannot be written (its folder is gone) stops the save.
  TObjetoTextura& t = *tree.TextureNodes()[0]->Texture;
  std::string keep = t.Filename;
  t.Filename = program + "no such folder/x.bmp";
  t.Modified = true;
  AddSkin(tree, "New skin", "news", *catalogue[1]);
  int asked = 0;
  EXPECT_THROW(Save(file, [&](const std::string&) { return ++asked, true; }), Exception);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(ReadText(file), good);
  EXPECT_TRUE(t.Modified);
  t.Filename = keep;
  t.Modified = false;

  // A value the file cannot hold (a line break) is refused before anything is replaced.
  EditSkin(tree.Root()->Child(0), "two\nlines", "boss");
  EXPECT_THROW(Save(file), Exception);
  EXPECT_EQ(ReadText(file), good);
  EXPECT_EQ(std::distance(fs::directory_iterator(program), fs::directory_iterator()), 2) << "p.cvp and tex/ only";
}

TEST_F(ProjectFiles, ASaveThatStopsPartWaySaysWhatWasWritten) {
  const std::string file = program + "p.cvp";
  MakeProject(file, program + "tex/");
  Save(file);
  const std::string good = ReadText(file);
  const auto textures = tree.TextureNodes();
  TObjetoTextura &first = *textures[0]->Texture, &second = *textures[1]->Texture;
  // The user made the second painted texture, or the project file, read-only.
  for (const std::string& locked : {second.Filename, file}) {
    SCOPED_TRACE(locked);
    first.Modified = second.Modified = true;
    fs::permissions(locked, fs::perms::owner_read);
    std::string message;
    try {
      Save(file, [](const std::string&) { return true; });
    } catch (const Exception& e) {
      message = e.Message;
    }
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_write);
    const bool both = locked == file;
    EXPECT_NE(message.find("\"" + locked + "\""), std::string::npos) << message;
    EXPECT_NE(message.find("These textures were saved:\r\n" + first.Filename + (both ? "\r\n" + second.Filename : "") +
                           "\r\n\r\nThe project file " + file + " was not saved."),
              std::string::npos)
        << message;
    EXPECT_EQ(ReadText(file), good);
    EXPECT_FALSE(first.Modified);
    EXPECT_EQ(second.Modified, !both);
  }
}

TEST_F(ProjectFiles, PaintedTexturesAreOfferedBeforeTheProjectIsWritten) {
  std::string file = program + "p.cvp";
  MakeProject(file, program + "tex/");
  TSkinNode* face = FindChildByText(SectionNode(tree.Root()->Child(0), 2), "Big Boss (bigboss)");
  ASSERT_NE(face, nullptr);
  TObjetoTextura& t = *face->Texture;
  // The texture came from a ".png" name: it is saved as a new Windows bitmap, never as bitmap
  // bytes under the PNG's name.
  std::string png = program + "tex/face.png";
  t.Filename = png;
  t.Bitmap->Fill(RGBColor(1, 2, 3));
  t.Modified = true;
  EXPECT_TRUE(AnyTextureModified(tree));
  std::vector<std::string> questions;
  Save(file, [&](const std::string& q) {
    questions.push_back(q);
    return false;
  });
  EXPECT_EQ(questions, (std::vector<std::string>{"Save modified texture Boss (v2); red/Head/Big Boss (bigboss) ?"}));
  EXPECT_TRUE(t.Modified) << "No keeps the changes in memory";
  EXPECT_FALSE(fs::exists(png));
  EXPECT_TRUE(fs::exists(file)) << "and the project is written anyway";

  // Yes, but the Save As dialog cancelled: nothing written, the paint kept.
  auto yes = [](const std::string&) { return true; };
  std::vector<std::string> proposed;
  Save(file, yes, [&](const std::string& p, std::string&) {
    proposed.push_back(p);
    return false;
  });
  EXPECT_EQ(proposed, (std::vector<std::string>{program + "tex/face.bmp"}));
  EXPECT_TRUE(t.Modified);
  EXPECT_FALSE(fs::exists(png));
  EXPECT_FALSE(fs::exists(program + "tex/face.bmp"));

  Save(file, yes, [&](const std::string& p, std::string& chosen) {
    chosen = p;
    return true;
  });
  EXPECT_FALSE(t.Modified);
  EXPECT_FALSE(fs::exists(png));
  EXPECT_EQ(t.Filename, program + "tex/face.bmp");
  EXPECT_EQ(t.FileAge, FileAge(t.Filename));
  EXPECT_FALSE(AnyTextureModified(tree));
  TBitmap back;
  back.LoadFromFile(t.Filename);
  EXPECT_TRUE(back.SameAs(*t.Bitmap));
  EXPECT_NE(ReadText(file).find("Filename=tex\\face.bmp"), std::string::npos) << "the project stores the new file";
}

TEST_F(ProjectFiles, ModelLookupAndOptionDefaults) {
  std::string file = program + "m.cvp";
  // No Model key: the first catalogue model.
  WriteText(file, "[General]\r\nReducePalettes=7\r\n[Groups]\r\n");
  auto p = Load(file);
  EXPECT_EQ(p->ModelIndex, 0);
  EXPECT_EQ(p->Options.ReducePalettes, 0) << "outside 0..2 reads as 0";
  EXPECT_FALSE(p->Options.OnlyFirstMipMap);
  // The last of two prefixes that differ only in letter case wins.
  catalogue.push_back(MakeModel("MALE", "Upper"));
  WriteText(file, "[General]\r\nModel=male\r\nReducePalettes=-1\r\n");
  p = Load(file);
  EXPECT_EQ(p->ModelIndex, 2);
  EXPECT_EQ(p->Options.ReducePalettes, 0);
  // A model with a masked section forces one palette per texture.
  catalogue[2]->HasMaskedSection = true;
  WriteText(file, "[General]\r\nModel=male\r\nReducePalettes=2\r\n");
  EXPECT_EQ(Load(file)->Options.ReducePalettes, 0);

  WriteText(file, "[General]\r\nModel=Female\r\n");
  EXPECT_THROW(Load(file), EModelNotInstalled);
  try {
    Load(program + "missing.cvp");
    FAIL() << "a missing project file is an error, not an empty project";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message.find("missing.cvp"), std::string::npos) << e.Message;
  }
  catalogue.clear();
  WriteText(file, "[General]\r\nReducePalettes=1\r\n");
  try {
    Load(file);
    FAIL() << "an empty catalogue has no model for the project";
  } catch (const EModelNotInstalled& e) {
    EXPECT_EQ(e.Message, "The model of this project is not installed!");
  }
}

// Files that are no project are refused, not opened as an empty project a later Save would
// write over; a project with [General] but no Model key keeps opening with the first model.
TEST_F(ProjectFiles, FilesWithoutAGeneralSectionAreNoProject) {
  const struct {
    const char* Name;
    std::string Content;
  } cases[] = {
      {"garbage.cvp", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18)},
      {"empty.cvp", ""},
      {"notes.cvp", "Model=Male\r\n[Groups]\r\nboss=Boss\r\n"},
      {"other.cvp", "[Generals]\r\nModel=Male\r\n"},
  };
  for (const auto& c : cases) {
    const std::string file = program + c.Name;
    WriteText(file, c.Content);
    try {
      Load(file);
      ADD_FAILURE() << c.Name << " opened as a project";
    } catch (const ENotAProject& e) {
      EXPECT_NE(e.Message.find(file), std::string::npos) << e.Message;
    }
    EXPECT_EQ(ReadText(file), c.Content);
  }
  WriteText(program + "lower.cvp", "[general]\r\n");
  EXPECT_EQ(Load(program + "lower.cvp")->ModelIndex, 0);
}

// Sections are found by the number the file stores, so two sections of one name keep their
// textures apart; a texture file that cannot be read is listed and the rest opens.
TEST_F(ProjectFiles, SectionsByNumberAndUnreadableTexturesLeftOut) {
  catalogue[1]->Parts[4].Name = "Body";  // section 5, "Fixed", becomes a second "Body"
  const std::string file = program + "twins.cvp";
  WritePicture(program + "tex/one.bmp", 256, 256, 1);
  WritePicture(program + "tex/five.bmp", 40, 20, 5);
  WriteText(program + "tex/bad.bmp", "BM this is not a bitmap");
  WriteText(file,
            "[General]\r\nModel=Male\r\n[Groups]\r\nboss=Boss\r\n"
            "[boss#5#< Default >]\r\nFilename=tex\\five.bmp\r\n"
            "[boss#1#< Default >]\r\nFilename=tex\\one.bmp\r\n"
            "[boss#2#< Default >]\r\nFilename=tex\\bad.bmp\r\n");
  auto p = Load(file);
  auto tex = p->Tree.TextureNodes();
  ASSERT_EQ(tex.size(), 2u);
  EXPECT_EQ(tex[0]->Parent()->SectionNumber, 1);
  EXPECT_EQ(tex[0]->Texture->Bitmap->Width(), 256);
  EXPECT_EQ(tex[1]->Parent()->SectionNumber, 5);
  EXPECT_EQ(tex[1]->Texture->Bitmap->Width(), 40);
  EXPECT_TRUE(p->MissingFiles.empty());
  ASSERT_EQ(p->UnreadableFiles.size(), 1u);
  EXPECT_EQ(p->UnreadableFiles[0].rfind("tex\\bad.bmp: ", 0), 0u) << p->UnreadableFiles[0];
  const std::string message = MissingFilesMessage(p->MissingFiles, p->UnreadableFiles);
  EXPECT_NE(message.find("could not be read"), std::string::npos) << message;

  // Saved again, each texture keeps its section number.
  tree = std::move(p->Tree);
  Save(file);
  const std::string saved = ReadText(file);
  EXPECT_NE(saved.find("[boss#5#< Default >]"), std::string::npos) << saved;
  EXPECT_NE(saved.find("[boss#1#< Default >]"), std::string::npos) << saved;
}

// A save replaces the file a link points to and keeps the link; the file keeps its
// permissions; a failure names the project, not the temporary file.
TEST_F(ProjectFiles, SavesThroughLinksKeepTheModeAndNameTheProject) {
  MakeProject(program + "real.cvp", program + "tex/");
  const std::string real = program + "real.cvp", link = program + "link.cvp";
  Save(real);
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("real.cvp", link);
  AddSkin(tree, "Added", "addd", *catalogue[1]);
  Save(link);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_NE(ReadText(real).find("addd=Added"), std::string::npos);
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  const std::string nowhere = program + "gone/p.cvp";
  try {
    Save(nowhere);
    FAIL() << "a folder that does not exist cannot take the project";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message.find("\"" + nowhere + "\""), std::string::npos) << e.Message;
  }
  for (const auto& entry : fs::directory_iterator(program))
    EXPECT_NE(entry.path().filename().string()[0], '.') << "temporary file left: " << entry.path();
}

TEST(ProjectNames, CaptionAndRootText) {
  EXPECT_EQ(ProjectCaption("Male Soldier", "/opt/corvane/boss.cvp", "/opt/corvane/"),
            "Corvane v2.4.1 - (Male Soldier) boss.cvp");
  EXPECT_EQ(ProjectCaption("Male Soldier", "/opt/corvane/p/boss.cvp", "/opt/corvane/"),
            "Corvane v2.4.1 - (Male Soldier) /opt/corvane/p/boss.cvp");
  EXPECT_EQ(ProjectCaption("M", "/opt/Corvane/boss.cvp", "/opt/corvane/"),
            "Corvane v2.4.1 - (M) /opt/Corvane/boss.cvp");
  EXPECT_EQ(ProjectRootText("/x/y/My.Project.cvp", "Male"), "My.Project (Male)");
  EXPECT_EQ(StoredTextureName("/opt/corvane/t/a.bmp", "/opt/corvane/", "/home/u/"), "t\\a.bmp");
  EXPECT_EQ(StoredTextureName("/opt/corvanex/a.bmp", "/opt/corvane", ""), "/opt/corvanex/a.bmp");
}
