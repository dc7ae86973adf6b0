// The document's tree commands: what each does to a small project, the message it leaves to
// show, and what it tells its observers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "SkinTreeTestModel.h"
#include "codecs/ImageFormats.h"
#include "editor/EditorDocument.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

using namespace editor_test;

namespace {

// Skins with the textures of each section: "My skin (myxs) Head:boss,grunt | Other (othr)".
std::string Summary(const TSkinTree& tree) {
  std::string s;
  for (const auto& skin : tree.Root()->Children()) {
    s += (s.empty() ? "" : " | ") + skin->Text;
    for (const auto& section : skin->Children())
      for (size_t i = 0; i < section->Count(); ++i)
        s += (i ? "," : " " + section->Text + ":") + section->Child(i)->Text;
  }
  return s;
}

}  // namespace

TEST(EditorDocument, TreeCommandsApplyOrRefuseWithTheirMessage) {
  InitImageFormats();
  testsupport::TScratchDir dir{"document"};
  const std::string body = WritePicture(dir.Folder() + "body.bmp", 256, 256, 1);
  const std::string small = WritePicture(dir.Folder() + "othr1.bmp", 32, 32, 2);
  const std::string base = "My skin (myxs) Head:boss,grunt | Other (othr)";
  const unsigned all = dcTree | dcSelection | dcTextures | dcPalettes | dcModified;
  const std::string used = "ERROR: The skin code \"myxs\" is already used by another skin of this project.";
  struct {
    const char* name;
    std::function<TCommandResult(TEditorDocument&, std::function<TSkinNode*(const char*)>)> run;
    std::string shown, summary;
    unsigned changes;  // 0: refused
  } rows[] = {
      {"skin without a code", [](auto& d, auto) { return d.NewSkin("", ""); },
       "ERROR: The skin needs a code: type one, or give the skin a description to take it from.", base, 0},
      {"skin code taken", [](auto& d, auto) { return d.NewSkin("Another", "MYXS"); }, used, base, 0},
      {"new skin", [](auto& d, auto) { return d.NewSkin("Zed", "zzzy"); }, "", base + " | Zed (zzzy)",
       dcTree | dcSelection | dcModified},
      {"blank code from the description",
       [](auto& d, auto n) { return d.EditSkin(n("My skin (myxs)"), "My; (red)", ""); }, "",
       "My; (red) (myxx) Head:boss,grunt | Other (othr)", dcTree | dcSelection | dcModified},
      {"untyped code kept, sorted",
       [](auto& d, auto n) { return d.EditSkin(n("My skin (myxs)"), "Tom", std::nullopt); }, "",
       "Other (othr) | Tom (myxs) Head:boss,grunt", dcTree | dcSelection | dcModified},
      {"edit to a taken code", [](auto& d, auto n) { return d.EditSkin(n("Other (othr)"), "O", "myxs"); }, used, base,
       0},
      {"delete skin", [](auto& d, auto n) { return d.DeleteSkin(n("My skin (myxs)")); }, "", "Other (othr)", all},
      {"section is no skin", [](auto& d, auto n) { return d.DeleteSkin(n("Head")); }, "", base, 0},
      {"face with ]", [&](auto& d, auto n) { return d.AddTexture(n("Head"), "Big ]Boss", small); },
       "ERROR: A face name cannot contain \"]\".", base, 0},
      {"face the section has", [](auto& d, auto n) { return d.ChangeTexture(n("boss"), "GRUNT"); },
       "ERROR: The section \"Head\" already has the texture \"grunt\".", base, 0},
      {"blank face", [](auto& d, auto n) { return d.ChangeTexture(n("boss"), "  "); }, "", base, 0},
      {"rename face", [](auto& d, auto n) { return d.ChangeTexture(n("boss"), "Big Boss"); }, "",
       "My skin (myxs) Head:Big Boss (bigboss),grunt | Other (othr)", dcTree | dcSelection | dcPalettes | dcModified},
      {"add team texture", [&](auto& d, auto n) { return d.AddTexture(n("Body"), "<Red Team>", body); }, "",
       "My skin (myxs) Body:<Red Team> Head:boss,grunt | Other (othr)", all},
      {"kept at a size it cannot be resampled to",
       [&](auto& d, auto n) { return d.AddTexture(n("Fixed"), "< Default >", small); },
       "ERROR: " + CannotResampleMessage("Fixed", *MakeModel()->Part(4)),
       "My skin (myxs) Head:boss,grunt Fixed:< Default > | Other (othr)", all},
      {"delete texture", [](auto& d, auto n) { return d.DeleteTexture(n("grunt")); }, "",
       "My skin (myxs) Head:boss | Other (othr)", all},
      {"palette option", [](auto& d, auto) { return d.ChoosePaletteMode(pmPerSkin); }, "", base,
       dcPalettes | dcModified},
      {"import", [&](auto& d, auto) { return d.ImportTextures({small}); }, "",
       "My skin (myxs) Head:boss,grunt | Other (othr) Body:< Default >", all},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TEditorDocument doc;
    doc.State().Start();
    doc.State().SetCurrentModel(MakeModel());
    doc.Tree().SetRoot("p (Male)");
    TSkinNode* skin = AddSkin(doc.Tree(), "My skin", "myxs", *MakeModel());
    for (const char* face : {"boss", "grunt"})
      AddTexture(doc.Tree(), SectionNode(skin, 2), MakeTexture(face, face), face);
    AddSkin(doc.Tree(), "Other", "othr", *MakeModel());
    std::string shown;
    doc.ShowBox = [&](const std::string& caption, const std::string& text) { shown += caption + ": " + text; };
    unsigned told = 0;
    doc.AddObserver([&](unsigned changes, TSkinNode*) { told |= changes; });

    const TCommandResult r = row.run(doc, [&](const char* text) {
      for (TSkinNode* node : doc.Tree().Nodes())
        if (node->Text == text) return node;
      return static_cast<TSkinNode*>(nullptr);
    });
    if (!r.Message.empty()) shown += r.Caption + ": " + r.Message;
    EXPECT_EQ(shown, row.shown);
    EXPECT_EQ(Summary(doc.Tree()), row.summary);
    EXPECT_EQ(r.Done, row.changes != 0);
    EXPECT_EQ(r.Changes, row.changes);
    EXPECT_EQ(told, row.changes) << "observers hear what the command says it changed";
    EXPECT_EQ(doc.State().ProjectModified(), (row.changes & dcModified) != 0);
    EXPECT_FALSE(doc.Tree().PalettesStale() && (row.changes & dcPalettes));
  }
}

TEST(EditorDocument, ProjectCommandsOpenSaveAndRefuse) {
  InitImageFormats();
  testsupport::TScratchDir dir{"document"};
  const std::string d = dir.Folder();
  setenv("CORVANE_HOME", d.c_str(), 1);
  testsupport::WriteBytes(d + "male.cvmx",
                          "[Model-Male]\r\nName=Male Soldier\r\nPrefix=Male\r\nSection1=Body, TEAM\r\n");
  testsupport::WriteBytes(d + "alien.cvp", "[General]\r\nModel=Alien\r\n");
  testsupport::WriteBytes(d + "notes.cvp", "notes");
  testsupport::WriteBytes(d + "gone.cvp",
                          "[General]\r\n[Groups]\r\ngone=Gone\r\n[gone#1#< Default >]\r\nFilename=g.bmp\r\n");
  const std::string opened = "p (Male) mine (mine) Body:< Default >";
  const unsigned all = dcProject | dcTree | dcSelection | dcTextures | dcPalettes;
  struct {
    const char* name;
    std::function<TCommandResult(TEditorDocument&)> run;
    std::string shown, summary;
    bool modified;
    unsigned changes;
  } rows[] = {
      {"saved and read back",
       [&](auto& doc) { return doc.SaveProject({}, {}).Done ? doc.LoadProject(d + "p.cvp") : TCommandResult(); }, "",
       opened, false, all},
      {"saved as", [&](auto& doc) { return doc.SaveProjectAs(d + "q.cvp", {}, {}); }, "",
       "q mine (mine) Body:< Default >", false, dcProject | dcTree},
      {"no project", [&](auto& doc) { return doc.LoadProject(d + "notes.cvp"); },
       "ERROR: " + ENotAProject(d + "notes.cvp").Message, opened, true, 0},
      {"model missing", [&](auto& doc) { return doc.LoadProject(d + "alien.cvp"); },
       "ERROR: The model of this project is not installed!", opened, true, 0},
      {"texture file missing", [&](auto& doc) { return doc.LoadProject(d + "gone.cvp"); },
       "WARNING: " + MissingFilesMessage({"g.bmp"}), "gone (Male) Gone (gone)", false, all},
      {"new", [&](auto& doc) { return doc.NewProject(0, d + "n.cvp"); }, "", "n (Male)", false, all},
      {"compiled", [](auto& doc) { return doc.CompilePackage(false); }, "Compilation: Project compiled!", opened, true,
       0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TEditorDocument doc;
    doc.State().Start();
    doc.State().LoadModelExtensions();
    ASSERT_TRUE(doc.NewProject(0, d + "p.cvp").Done);
    ASSERT_TRUE(doc.ImportTextures({WritePicture(d + "mine1.bmp", 8, 8, 1)}).Done);
    unsigned told = 0;
    doc.AddObserver([&](unsigned changes, TSkinNode*) { told |= changes; });
    const TCommandResult r = row.run(doc);
    EXPECT_EQ(r.Message.empty() ? "" : r.Caption + ": " + r.Message, row.shown);
    const std::string skins = Summary(doc.Tree());
    EXPECT_EQ(doc.Tree().Root()->Text + (skins.empty() ? "" : " " + skins), row.summary);
    EXPECT_EQ(doc.State().ProjectModified(), row.modified);
    EXPECT_EQ(r.Changes, row.changes);
    EXPECT_EQ(told, row.changes);
    EXPECT_EQ(doc.Caption(), ProjectCaption("Male Soldier", doc.State().ProjectFileName(), d));
  }
  unsetenv("CORVANE_HOME");
}
