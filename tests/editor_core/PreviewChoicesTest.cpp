// The preview panel's choices as the document keeps them: what the user picks, what the tree
// commands leave chosen, and the camera presets the preview edits through the document.
#include <gtest/gtest.h>

#include <functional>

#include "SkinTreeTestModel.h"
#include "editor/EditorDocument.h"

using namespace editor_test;

namespace {

// "[chosen],other | teams | faces | presets", each list in order.
std::string Summary(const TEditorDocument& d) {
  auto list = [](const std::vector<std::string>& items, int chosen) {
    std::string s;
    for (size_t i = 0; i < items.size(); ++i)
      s += (i ? "," : "") + (static_cast<int>(i) == chosen ? "[" + items[i] + "]" : items[i]);
    return s;
  };
  std::vector<std::string> presets;
  for (const TCameraPreset& p : d.State().CurrentModel()->Presets) presets.push_back(p.Name);
  const TPreviewChoices& c = d.Choices();
  return list(c.Skins, c.Skin) + " | " + list(c.Teams, c.Team) + " | " + list(c.Faces, c.Face) + " | " +
         list(presets, c.Preset);
}

}  // namespace

TEST(EditorDocument, PreviewChoicesFollowTheUserAndTheTree) {
  const std::string skins = "[My skin (myxs)],Other (othr)", mine = " | [< Default >],<Red Team> | ";
  struct {
    const char* name;
    std::function<void(TEditorDocument&, std::function<TSkinNode*(const char*)>)> run;
    std::string summary;
    unsigned told;
  } rows[] = {
      {"another skin lists its own teams and faces", [](auto& d, auto) { d.ChooseSkin(1); },
       "My skin (myxs),[Other (othr)] | [< Default >] |  | Front,Side", dcSelection},
      {"team and face", [](auto& d, auto) { d.ChooseTeam(1), d.ChooseFace(1); },
       skins + " | < Default >,[<Red Team>] | boss,[grunt] | Front,Side", dcSelection},
      {"a tree command keeps the choices by their text",
       [](auto& d, auto n) { d.ChooseFace(1), d.DeleteTexture(n("boss")); }, skins + mine + "[grunt] | Front,Side",
       dcTree | dcSelection | dcTextures | dcPalettes | dcModified},
      {"the chosen face deleted", [](auto& d, auto n) { d.DeleteTexture(n("boss")); },
       skins + mine + "grunt | Front,Side", dcTree | dcSelection | dcTextures | dcPalettes | dcModified},
      {"the chosen skin renamed", [](auto& d, auto n) { d.EditSkin(n("My skin (myxs)"), "Mine", std::nullopt); },
       "Mine (myxs),Other (othr) |  |  | Front,Side", dcTree | dcSelection | dcModified},
      {"a new skin is shown with its own lists", [](auto& d, auto) { d.NewSkin("Zed", "zzzy"); },
       "My skin (myxs),Other (othr),[Zed (zzzy)] | [< Default >] |  | Front,Side", dcTree | dcSelection | dcModified},
      {"new preset",
       [](auto& d, auto) {
         d.AddPreset("Back", {1, 2, 3}, {4, 5, 6});
       },
       skins + mine + "[boss],grunt | Front,Side,[Back]", dcPresets},
      {"remove chooses the first", [](auto& d, auto) { d.ChoosePreset(0), d.RemovePreset(); },
       skins + mine + "[boss],grunt | [Side]", dcPresets},
      {"no preset chosen: rename does nothing", [](auto& d, auto) { d.RenamePreset("X"); },
       skins + mine + "[boss],grunt | Front,Side", 0},
      {"rename", [](auto& d, auto) { d.ChoosePreset(1), d.RenamePreset("Left"); },
       skins + mine + "[boss],grunt | Front,[Left]", dcPresets},
      {"reloaded presets without the chosen row",
       [](auto& d, auto) { d.ChoosePreset(1), d.State().CurrentModel()->Presets.pop_back(), d.PresetsReloaded(); },
       skins + mine + "[boss],grunt | Front", dcPresets},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TEditorDocument doc;
    doc.State().Start();
    doc.State().SetCurrentModel(MakeModel());
    doc.State().CurrentModel()->Presets = {{"Front", 0, 0, 500}, {"Side", 500, 0, 0}};
    doc.Tree().SetRoot("p (Male)");
    TSkinNode* skin = AddSkin(doc.Tree(), "My skin", "myxs", *MakeModel());
    for (const char* face : {"boss", "grunt"})
      AddTexture(doc.Tree(), SectionNode(skin, 2), MakeTexture(face, face), face);
    AddTexture(doc.Tree(), SectionNode(skin, 1), MakeTexture("t_0", ""), "<Red Team>");
    AddSkin(doc.Tree(), "Other", "othr", *MakeModel());
    doc.LoadSkinChoices();
    unsigned told = 0;
    doc.AddObserver([&](unsigned changes, TSkinNode*) { told |= changes; });
    row.run(doc, [&](const char* text) {
      for (TSkinNode* node : doc.Tree().Nodes())
        if (node->Text == text) return node;
      return static_cast<TSkinNode*>(nullptr);
    });
    EXPECT_EQ(Summary(doc), row.summary);
    EXPECT_EQ(told, row.told);
  }
}
