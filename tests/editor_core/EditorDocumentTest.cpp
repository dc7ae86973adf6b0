// The document's commands: what each does to a small project, the message it leaves to show,
// and what it tells its observers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>

#include "SkinTreeTestModel.h"
#include "codecs/ImageFormats.h"
#include "editor/EditorDocument.h"
#include "editor/PackageDescription.h"
#include "platform/FileTimes.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

using namespace editor_test;

namespace {

// Skins with the textures of each section: "My skin (myxs) Head:boss,grunt | Other (othr)",
// after the root's text when it is another project's ("n (Male): ...").
std::string Summary(const TSkinTree& tree) {
  std::string s = tree.Root()->Text == "p (Male)" ? "" : tree.Root()->Text + ":";
  for (const auto& skin : tree.Root()->Children()) {
    s += (s.empty() ? "" : s.back() == ':' ? " " : " | ") + skin->Text;
    for (const auto& section : skin->Children())
      for (size_t i = 0; i < section->Count(); ++i)
        s += (i ? "," : " " + section->Text + ":") + section->Child(i)->Text;
  }
  return s;
}

// A stroke begun on one node and dabbed on another.
TCommandResult Stroke(TEditorDocument& doc, TSkinNode* begun, TSkinNode* dabbed) {
  std::vector<TPixelRect> changed;
  doc.BeginStroke(begun);
  doc.StrokeDab(dabbed, 1, 1, TBrush(), changed);
  return doc.EndStroke();
}

}  // namespace

TEST(EditorDocument, CommandsApplyOrRefuseWithTheirMessage) {
  InitImageFormats();
  testsupport::TScratchDir dir{"document"};
  const std::string notes = dir / "notes.cvp", alien = dir / "alien.cvp";
  setenv("CORVANE_HOME", dir.Str().c_str(), 1);  // the catalogue: one model, Male
  testsupport::WriteBytes(dir / "male.cvmx",
                          "[Model-Male]\r\nName=Male Soldier\r\nPrefix=Male\r\nSection2=Head, FACE\r\n");
  testsupport::WriteBytes(notes, "notes");
  testsupport::WriteBytes(alien, "[General]\r\nModel=Alien\r\n");
  const unsigned opened = dcProject | dcFileName | dcTree | dcSelection | dcTextures | dcPalettes | dcPresets;
  const std::string body = WritePicture(dir.Folder() + "body.bmp", 256, 256, 1);
  const std::string small = WritePicture(dir.Folder() + "othr1.bmp", 32, 32, 2);
  const std::string nowhere = WritePicture(dir.Folder() + "othr9.bmp", 32, 32, 2);  // no section 9
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
      {"import of a file naming no section", [&](auto& d, auto) { return d.ImportTextures({nowhere}); },
       "WARNING: " + SkippedImportMessage({nowhere}), base, 0},
      {"import of one that does and one that does not",
       [&](auto& d, auto) {
         return d.ImportTextures({nowhere, small});
       },
       "WARNING: " + SkippedImportMessage({nowhere}), "My skin (myxs) Head:boss,grunt | Other (othr) Body:< Default >",
       all},
      {"file read again",
       [&](auto& d, auto n) { return n("boss")->Texture->Filename = body, d.ReloadChangedTextures(); }, "", base,
       dcTextures | dcPalettes},
      {"a stroke marks the texture alone", [](auto& d, auto n) { return Stroke(d, n("boss"), n("boss")); }, "", base,
       dcPalettes},
      {"a stroke ends with its texture",
       [](auto& d, auto n) {
         d.BeginStroke(n("boss"));
         const TCommandResult r = d.DeleteTexture(n("boss"));
         return d.EndStroke().Done ? TCommandResult() : r;
       },
       "", "My skin (myxs) Head:grunt | Other (othr)", all},
      {"a dab on another texture is refused, the stroke ends with its own",
       [](auto& d, auto n) { return Stroke(d, n("boss"), n("grunt")); }, "", base, dcPalettes},
      {"saved and read back", [&](auto& d, auto) { return d.SaveProject({}, {}), d.LoadProject(dir / "p.cvp"); },
       "WARNING: " + MissingFilesMessage({"myxs#2#boss", "myxs#2#grunt"}), "My skin (myxs) | Other (othr)", opened},
      {"saved as", [&](auto& d, auto) { return d.SaveProjectAs(dir / "q.cvp", {}, {}); }, "", "q: " + base,
       dcFileName | dcTree},
      {"no project", [&](auto& d, auto) { return d.LoadProject(notes); }, "ERROR: " + ENotAProject(notes).Message, base,
       0},
      {"model not installed", [&](auto& d, auto) { return d.LoadProject(alien); },
       "ERROR: The model of this project is not installed!", base, 0},
      {"new project", [&](auto& d, auto) { return d.NewProject(0, dir / "n.cvp"); }, "", "n (Male):", opened},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TEditorDocument doc;
    doc.SetUp({.Model = std::make_unique<TModelo>()});
    doc.ReloadCatalogue();
    doc.SetUp({.Model = MakeModel(), .ProjectFileName = dir / "p.cvp"});
    doc.Tree().SetRoot("p (Male)");
    TSkinNode* skin = AddSkin(doc.Tree(), "My skin", "myxs", *MakeModel());
    for (const char* face : {"boss", "grunt"}) AddTexture(SectionNode(skin, 2), MakeTexture(face, face), face);
    AddSkin(doc.Tree(), "Other", "othr", *MakeModel());
    std::string shown;
    doc.ShowBox = [&](const std::string& caption, const std::string& text) { shown += caption + ": " + text; };
    unsigned told = 0;
    const auto seen = doc.AddObserver([&](unsigned changes, TSkinNode*) { told |= changes; });

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
  unsetenv("CORVANE_HOME");
}

TEST(EditorDocument, AFastDragPaintsWhatASlowDragAlongItsPathPaints) {
  // A busy window reports a few positions of a drag; a slow hand reports every pixel it passes.
  // Each segment of the slow drag is walked here one pixel a step along its longer axis, the
  // other coordinate rounded to the nearest pixel of the straight line.
  using TPath = std::vector<TPixelPoint>;
  auto slowly = [](const TPath& path) {
    TPath walked{path.front()};
    for (size_t k = 1; k < path.size(); ++k) {
      const TPixelPoint a = path[k - 1], b = path[k];
      const int n = std::max(std::abs(b.X - a.X), std::abs(b.Y - a.Y));
      for (int i = 1; i <= n; ++i)
        walked.push_back({a.X + static_cast<int>(std::floor(double(b.X - a.X) * i / n + 0.5)),
                          a.Y + static_cast<int>(std::floor(double(b.Y - a.Y) * i / n + 0.5))});
    }
    return walked;
  };
  const TBrush small{RGBColor(250, 10, 10), 100, 3, ptBrush}, soft{RGBColor(10, 10, 250), 40, 9, ptTint};
  struct {
    const char* name;
    TPath path;
    TBrush brush;
  } rows[] = {
      {"across", {{2, 30}, {60, 30}}, small},
      {"down and back up", {{10, 2}, {10, 61}, {12, 5}}, small},
      {"shallow slopes both ways", {{1, 1}, {50, 22}, {3, 40}}, soft},
      {"steep, with halves to round", {{40, 3}, {42, 60}, {20, 9}}, soft},
      {"out of the texture and back", {{5, 5}, {-30, 70}, {90, -12}, {30, 30}}, small},
      {"a press without a move", {{7, 7}}, soft},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TSkinTree trees[2];
    TSkinNode* nodes[2];
    for (int k = 0; k < 2; ++k) {
      trees[k].SetRoot("p (Male)");
      TSkinNode* skin = AddSkin(trees[k], "Skin", "skin", *MakeModel());
      nodes[k] = AddTexture(SectionNode(skin, 2), MakeTexture("a", "a", 64, 64, 5), "a");
    }
    TEditorDocument fast, slow;
    fast.Tree() = std::move(trees[0]);
    slow.Tree() = std::move(trees[1]);
    const TBitmap before = *nodes[0]->Texture->Bitmap;
    // What the fast drag says it changed is all the window draws again.
    TBitmap redrawn(64, 64, TPixelFormat::pf24bit);
    redrawn.Fill(clBlack);
    ASSERT_TRUE(fast.BeginStroke(nodes[0]));
    for (const TPixelPoint& p : row.path) {
      std::vector<TPixelRect> changed;
      ASSERT_TRUE(fast.StrokeDab(nodes[0], p.X, p.Y, row.brush, changed));
      for (const TPixelRect& r : changed)
        for (int y = r.Top; y < r.Bottom; ++y)
          for (int x = r.Left; x < r.Right; ++x) redrawn.SetPixel(x, y, clWhite);
    }
    ASSERT_TRUE(slow.BeginStroke(nodes[1]));
    for (const TPixelPoint& p : slowly(row.path)) {
      std::vector<TPixelRect> changed;
      ASSERT_TRUE(slow.StrokeDab(nodes[1], p.X, p.Y, row.brush, changed));
    }
    const TBitmap& painted = *nodes[0]->Texture->Bitmap;
    EXPECT_TRUE(painted.SameAs(*nodes[1]->Texture->Bitmap));
    EXPECT_FALSE(painted.SameAs(before)) << "the drag painted nothing";
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        if (painted.Pixel(x, y) != before.Pixel(x, y)) {
          ASSERT_EQ(redrawn.Pixel(x, y), clWhite) << "pixel (" << x << ", " << y << ") changed but is not redrawn";
        }
  }
}

TEST(EditorDocument, PalettesOfALargeStrokeAreBuiltApartAsAWholeBuildWouldBuildThem) {
  // Past kPaletteWorkInline pixels a stroke's palettes are built on a thread of their own. They
  // must come out as a whole build gives them for the pixels as they end up, whatever the user
  // does meanwhile; groups without new pixels keep the palettes they had.
  constexpr int kSide = 1100;
  static_assert(int64_t{kSide} * kSide > TEditorDocument::kPaletteWorkInline);
  const TBrush brush{RGBColor(250, 10, 10), 100, 15, ptBrush};
  auto stroke = [&](TEditorDocument& d, TSkinNode* n, int y) {
    std::vector<TPixelRect> changed;
    ASSERT_TRUE(d.BeginStroke(n));
    ASSERT_TRUE(d.StrokeDab(n, 10, y, brush, changed));
    ASSERT_TRUE(d.StrokeDab(n, 900, y + 40, brush, changed));
    ASSERT_TRUE(d.EndStroke().Done);
  };
  struct {
    const char* name;
    TPaletteMode mode;
    std::function<void(TEditorDocument&, TSkinNode* large)> meanwhile;
    bool smallKeepsItsPalette;
  } rows[] = {
      {"one per texture", pmPerTexture, [](auto&, auto) {}, true},
      {"one per skin", pmPerSkin, [](auto&, auto) {}, false},
      {"painting on", pmPerTexture, [&](auto& d, auto n) { stroke(d, n, 700); }, true},
      {"a command builds them all", pmPerTexture, [](auto& d, auto) { d.ChoosePaletteMode(pmPerSkin); }, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TEditorDocument doc;
    doc.Tree().SetRoot("p (Male)");
    TSkinNode* skin = AddSkin(doc.Tree(), "Skin", "skin", *MakeModel());
    TSkinNode* large = AddTexture(SectionNode(skin, 1), MakeTexture("l", "l", kSide, kSide, 3), "l");
    TSkinNode* small = AddTexture(SectionNode(skin, 2), MakeTexture("s", "s", 32, 32, 4), "s");
    doc.SetPaletteMode(row.mode);
    doc.BuildPalettes();
    const HPALETTE smallBefore = small->Texture->Palette;
    unsigned told = 0;
    const auto seen = doc.AddObserver([&](unsigned changes, TSkinNode*) { told |= changes; });

    stroke(doc, large, 100);
    EXPECT_TRUE(doc.PalettesPending());
    row.meanwhile(doc, large);
    doc.WaitForPalettes();
    EXPECT_FALSE(doc.PalettesPending());
    EXPECT_FALSE(doc.Tree().PalettesStale());
    EXPECT_TRUE(told & dcPalettes);
    EXPECT_EQ(small->Texture->Palette == smallBefore, row.smallKeepsItsPalette);
    // Nothing painted is lost: the second stroke adds to the first.
    const TBitmap& now = *large->Texture->Bitmap;
    EXPECT_EQ(now.Pixel(500, 120), RGBColor(250, 10, 10));
    // The preview's picture made apart is the one it would make itself.
    for (TPreparedPicture& p : doc.TakePreparedPictures())
      if (p.Source.SameAs(now)) {
        EXPECT_EQ(p.Palette, large->Texture->Palette);
        EXPECT_TRUE(p.Picture.Bitmap->SameAs(*SlotPictureOf(now, p.Palette).Bitmap));
      }
    const std::vector<TPaletteEntry> large1 = large->Texture->Palette->Entries;
    const std::vector<TPaletteEntry> small1 = small->Texture->Palette->Entries;
    const size_t handles = doc.Tree().GroupPalettes().size();
    ::BuildPalettes(doc.Tree(), doc.PaletteMode());
    auto same = [](const std::vector<TPaletteEntry>& a, const std::vector<TPaletteEntry>& b) {
      return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const TPaletteEntry& x, const TPaletteEntry& y) {
        return x.peRed == y.peRed && x.peGreen == y.peGreen && x.peBlue == y.peBlue;
      });
    };
    EXPECT_TRUE(same(large1, large->Texture->Palette->Entries));
    EXPECT_TRUE(same(small1, small->Texture->Palette->Entries));
    EXPECT_EQ(handles, doc.Tree().GroupPalettes().size()) << "each group's palette held once";
  }
}

TEST(EditorDocument, PalettesOfALargeStrokeWaitForACommandsBoxAndGoOnlyWhereTheyStillHold) {
  // A large stroke's palettes are being built apart when a command opens a box, whose event loop
  // runs the window's palette timer. Nothing is taken then: the command may have freed the
  // painted texture, or read pixels that the stroke's palettes were not built for. Afterwards
  // every texture holds what a whole build over its pixels gives, in the preview (told) and in the
  // package.
  InitImageFormats();
  testsupport::TScratchDir dir{"document-palettes"};
  constexpr int kSide = 1100;
  static_assert(int64_t{kSide} * kSide > TEditorDocument::kPaletteWorkInline);
  const std::string talk = WritePicture(dir / "skin3.bmp", 64, 64, 1);
  const std::string large = WritePicture(dir / "skin4.bmp", kSide, kSide, 2);
  const std::string fixed = WritePicture(dir / "skin5.bmp", 64, 32, 3);
  const std::string tooSmall = WritePicture(dir / "other/skin5.bmp", 32, 32, 4);
  struct {
    const char* name;
    std::function<TCommandResult(TEditorDocument&)> command;
    std::string box;
  } rows[] = {
      {"an import frees the painted texture, then a size box",
       [&](auto& d) {
         WritePicture(large, kSide, kSide, 5);
         return d.ImportTextures({tooSmall, large});
       },
       "ERROR"},
      {"a reload reads an earlier texture again, then a later one's file is gone",
       [&](auto& d) {
         WritePicture(talk, 64, 64, 6);
         SetFileAge(talk, FileAge(talk) + 1'000'000'000);
         std::filesystem::remove(fixed);
         return d.ReloadChangedTextures();
       },
       "WARNING"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WritePicture(large, kSide, kSide, 2);
    WritePicture(fixed, 64, 32, 3);
    TEditorDocument doc;
    doc.SetUp({.Model = MakeModel(), .ProjectFileName = dir / "p.cvp"});
    doc.Tree().SetRoot("p (Male)");
    ASSERT_TRUE(doc.ImportTextures({talk, large, fixed}).Done);
    TSkinNode* painted = doc.Tree().TextureNodes()[1];
    ASSERT_EQ(painted->Texture->Filename, large);
    unsigned told = 0, toldInBox = 0;
    bool inBox = false;
    const auto seen = doc.AddObserver([&](unsigned changes, TSkinNode*) { (inBox ? toldInBox : told) |= changes; });
    std::vector<std::string> boxes;
    doc.ShowBox = [&](const std::string& caption, const std::string&) {
      boxes.push_back(caption);
      inBox = true;
      // The box's event loop: the palette timer fires once the work is done.
      doc.WaitForPalettes();
      EXPECT_FALSE(doc.TakePalettes());
      inBox = false;
    };
    std::vector<TPixelRect> changed;
    ASSERT_TRUE(doc.BeginStroke(painted));
    ASSERT_TRUE(doc.StrokeDab(painted, 10, 10, TBrush(), changed));
    ASSERT_TRUE(doc.StrokeDab(painted, 1000, 900, TBrush(), changed));
    ASSERT_TRUE(doc.EndStroke().Done);
    ASSERT_TRUE(doc.PalettesPending());

    EXPECT_TRUE(row.command(doc).Done);
    EXPECT_EQ(boxes, std::vector<std::string>{row.box});
    EXPECT_EQ(toldInBox, 0u) << "palettes were given out inside the box";
    doc.WaitForPalettes();
    EXPECT_TRUE(told & dcPalettes);
    EXPECT_FALSE(doc.Tree().PalettesStale());
    std::vector<std::vector<TPaletteEntry>> shown, packaged, whole;
    for (TSkinNode* n : doc.Tree().TextureNodes()) shown.push_back(n->Texture->Palette->Entries);
    const TPackageProject package =
        BuildPackageProject(doc.Tree(), *doc.State().CurrentModel(), doc.Options(), dir / "p.cvp", "");
    for (const TPackageSkinSection& s : package.Skins.at(0).Sections)
      for (const TPackageTexture& t : s.Textures) packaged.push_back(t.Palette->Entries);
    ::BuildPalettes(doc.Tree(), doc.PaletteMode());
    for (TSkinNode* n : doc.Tree().TextureNodes()) whole.push_back(n->Texture->Palette->Entries);
    ASSERT_EQ(whole.size(), 3u);
    EXPECT_TRUE(shown == whole) << "the preview shows a palette of other pixels";
    EXPECT_TRUE(packaged == whole) << "the package gets a palette of other pixels";
  }
}

// A subscription removes its observer when it goes; observers added or removed while the
// document tells them neither break the loop nor are called after their removal.
TEST(EditorDocument, ObserversComeAndGoSafelyEvenDuringANotice) {
  struct {
    const char* name;
    // A, B and C observe in that order; during a notice, A may act on the others.
    std::function<void(TEditorDocument&, std::optional<TEditorDocument::TSubscription>* subs)> duringA;
    std::string firstNotice, secondNotice;
  } rows[] = {
      {"nothing done", [](auto&, auto*) {}, "ABC", "ABCD"},
      {"A removes B", [](auto&, auto* subs) { subs[1].reset(); }, "AC", "ACD"},
      {"A removes itself", [](auto&, auto* subs) { subs[0].reset(); }, "ABC", "BCD"},
      {"A removes all", [](auto&, auto* subs) { subs[0].reset(), subs[1].reset(), subs[2].reset(); }, "A", "D"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TEditorDocument doc;
    std::string seen;
    std::optional<TEditorDocument::TSubscription> subs[3];
    std::vector<TEditorDocument::TSubscription> added;
    subs[0] = doc.AddObserver([&](unsigned, TSkinNode*) {
      seen += 'A';
      row.duringA(doc, subs);
      // One added during a notice (D) hears the next one only.
      if (added.empty()) added.push_back(doc.AddObserver([&](unsigned, TSkinNode*) { seen += 'D'; }));
    });
    subs[1] = doc.AddObserver([&](unsigned, TSkinNode*) { seen += 'B'; });
    subs[2] = doc.AddObserver([&](unsigned, TSkinNode*) { seen += 'C'; });
    doc.ChooseMasking(false);
    EXPECT_EQ(seen, row.firstNotice);
    seen.clear();
    doc.ChooseMasking(true);
    EXPECT_EQ(seen, row.secondNotice);
  }
}
