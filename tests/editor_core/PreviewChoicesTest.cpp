// The preview panel's choices as the document keeps them: what the user picks, what the tree
// commands leave chosen, and the camera presets the preview edits through the document.
#include <gtest/gtest.h>

#include <functional>

#include "SkinTreeTestModel.h"
#include "editor/EditorDocument.h"

using namespace editor_test;

TEST(EditorDocument, PreviewChoicesFollowTheUserAndTheTree) {
  const std::string skins = "[My skin (myxs)],Other (othr) | ", mine = skins + "[< Default >],<Red Team> | ";
  const unsigned deleted = dcTree | dcSelection | dcTextures | dcPalettes | dcModified;
  struct {
    const char* name;
    std::function<void(TEditorDocument&, TSkinNode* skin)> run;
    std::string summary;  // "[chosen],other" for skins | teams | faces | presets
    unsigned told;
  } rows[] = {
      {"another skin lists its own teams and faces", [](auto& d, auto) { d.ChooseSkin(1); },
       "My skin (myxs),[Other (othr)] | [< Default >] |  | Front,Side", dcSelection},
      {"team and face", [](auto& d, auto) { d.ChooseTeam(1), d.ChooseFace(1); },
       skins + "< Default >,[<Red Team>] | boss,[grunt] | Front,Side", dcSelection},
      {"the chosen face deleted",
       [](auto& d, auto s) { d.ChooseFace(1), d.DeleteTexture(SectionNode(s, 2)->Child(1)); },
       mine + "boss | Front,Side", deleted},
      {"another face deleted: the choice kept by its text",
       [](auto& d, auto s) { d.ChooseFace(1), d.DeleteTexture(SectionNode(s, 2)->Child(0)); },
       mine + "[grunt] | Front,Side", deleted},
      {"the chosen skin renamed keeps it chosen with its team and face",
       [](auto& d, auto s) { d.ChooseFace(1), d.EditSkin(s, "Zed", "zedy"); },
       "Other (othr),[Zed (zedy)] | [< Default >],<Red Team> | boss,[grunt] | Front,Side",
       dcTree | dcSelection | dcModified},
      {"a new skin is shown with its own lists", [](auto& d, auto) { d.NewSkin("Zed", "zzzy"); },
       "My skin (myxs),Other (othr),[Zed (zzzy)] | [< Default >] |  | Front,Side", dcTree | dcSelection | dcModified},
      {"a new preset is chosen, so rename acts on it",
       [](auto& d, auto) { d.AddPreset("Back", {}, {}), d.RenamePreset("Rear"); },
       mine + "[boss],grunt | Front,Side,[Rear]", dcPresets},
      {"remove chooses the first", [](auto& d, auto) { d.ChoosePreset(0), d.RemovePreset(); },
       mine + "[boss],grunt | [Side]", dcPresets},
      {"reloaded without the chosen row",
       [](auto& d, auto) { d.ChoosePreset(1), d.State().CurrentModel()->Presets.pop_back(), d.PresetsReloaded(); },
       mine + "[boss],grunt | Front", dcPresets},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TEditorDocument doc;
    doc.SetUp({.Model = MakeModel()});
    // Presets that came after the project opened: none of them chosen yet.
    doc.State().CurrentModel()->Presets = {{"Front", 0, 0, 500}, {"Side", 500, 0, 0}};
    doc.Tree().SetRoot("p (Male)");
    TSkinNode* skin = AddSkin(doc.Tree(), "My skin", "myxs", *MakeModel());
    for (const char* face : {"boss", "grunt"}) AddTexture(SectionNode(skin, 2), MakeTexture(face, face), face);
    AddTexture(SectionNode(skin, 1), MakeTexture("t_0", ""), "<Red Team>");
    AddSkin(doc.Tree(), "Other", "othr", *MakeModel());
    doc.RefreshSkinChoices(), doc.ChooseSkin(0);
    unsigned told = 0;
    const auto seen = doc.AddObserver([&](unsigned changes, TSkinNode*) { told |= changes; });
    row.run(doc, skin);
    std::string summary;
    auto list = [&](const std::vector<std::string>& items, int chosen) {
      for (size_t i = 0; i < items.size(); ++i)
        summary += (i ? "," : "") + (static_cast<int>(i) == chosen ? "[" + items[i] + "]" : items[i]);
    };
    const TPreviewChoices& c = doc.Choices();
    for (auto [items, chosen] : {std::pair{c.Skins, c.Skin}, {c.Teams, c.Team}, {c.Faces, c.Face}})
      list(items, chosen), summary += " | ";
    std::vector<std::string> presets;
    for (const TCameraPreset& p : doc.State().CurrentModel()->Presets) presets.push_back(p.Name);
    list(presets, c.Preset);
    EXPECT_EQ(summary, row.summary);
    EXPECT_EQ(told, row.told);
  }
}
