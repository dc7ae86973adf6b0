// The texture each section actor wears, its reduction to the palette, and its material.
#include <gtest/gtest.h>

#include <map>

#include "model/ModelTestFiles.h"
#include "platform/Exceptions.h"
#include "preview/SectionTextures.h"

namespace {

void AddSection(TModelo& m, int n, uint32_t options) {
  auto part = std::make_unique<TModeloPart>();
  part->Flags = static_cast<uint32_t>(n) | options;
  m.Parts.push_back({"S" + std::to_string(n), std::move(part)});
}

std::unique_ptr<TObjetoTextura> Texture(const std::string& description, TColor fill,
                                        TPixelFormat pf = TPixelFormat::pf24bit) {
  auto t = std::make_unique<TObjetoTextura>();
  t->Description = description;
  t->Bitmap = std::make_unique<TBitmap>(4, 4, TPixelFormat::pf24bit);
  t->Bitmap->Fill(fill);
  t->Bitmap->SetPixelFormat(pf);
  return t;
}

// A model with a plain, a TEAM, a FACE, a TEAM+FACE, a talk and a masked section, and one skin.
struct TFixture {
  TModelo Model;
  std::vector<std::unique_ptr<TObjetoTextura>> Owned;
  TPreviewSkin Skin;
  std::map<const TObjetoTextura*, std::string> Names;

  TFixture() {
    Model.Key = "/models/Soldier.cvmx|Model-Soldier";
    AddSection(Model, 1, 0);
    AddSection(Model, 2, mpTEAM);
    AddSection(Model, 3, mpFACE);
    AddSection(Model, 4, mpTEAM | mpFACE);
    AddSection(Model, 5, mpTALKTEXTURE | mpFACE);
    AddSection(Model, 6, mpMASKED);
    Add(1, "< Default >", "");
    Add(2, "< Default >", "");
    Add(2, "<Red Team>", "");
    Add(3, "< Default >", "");
    Add(3, "Bob", "Bob");
    Add(3, "Bobby", "Bobby");
    Add(4, "<Blue Team>", "");
    Add(4, "Bob", "Bob");
    Add(5, "Bob", "Bob");
  }
  void Add(int section, const std::string& text, const std::string& description) {
    if (Skin.Sections.empty() || Skin.Sections.back().SectionNumber != section) Skin.Sections.push_back({section, {}});
    Owned.push_back(Texture(description, 0x336699));
    Names[Owned.back().get()] = std::to_string(section) + ":" + text;
    Skin.Sections.back().Textures.push_back({text, Owned.back().get()});
  }
  std::string NameOf(const TObjetoTextura* t) const { return t ? Names.at(t) : "wire"; }
};

TEST(TextureChoice, TeamThenFaceThenDefaultElseWire) {
  TFixture f;
  struct TCase {
    const char* what;
    bool skin;
    int team;
    const char* teamText;
    const char* face;  // nullptr: no face chosen
    std::array<const char*, 6> expected;
  };
  const TCase cases[] = {
      {"no skin", false, 0, "", nullptr, {"wire", "wire", "wire", "wire", "wire", "wire"}},
      {"defaults",
       true,
       0,
       "< Default >",
       nullptr,
       {"1:< Default >", "2:< Default >", "3:< Default >", "wire", "wire", "wire"}},
      {"item 0 is the default even with a team text",
       true,
       0,
       "<Red Team>",
       nullptr,
       {"1:< Default >", "2:< Default >", "3:< Default >", "wire", "wire", "wire"}},
      {"red team",
       true,
       1,
       "<Red Team>",
       nullptr,
       {"1:< Default >", "2:<Red Team>", "3:< Default >", "wire", "wire", "wire"}},
      {"blue team and a face",
       true,
       2,
       "<Blue Team>",
       "Bob",
       {"1:< Default >", "2:< Default >", "3:Bob", "4:<Blue Team>", "5:Bob", "wire"}},
      {"team missing, face taken",
       true,
       1,
       "<Red Team>",
       "Bob",
       {"1:< Default >", "2:<Red Team>", "3:Bob", "4:Bob", "5:Bob", "wire"}},
      {"a face is found by its beginning",
       true,
       0,
       "< Default >",
       "Bobb",
       {"1:< Default >", "2:< Default >", "3:Bobby", "wire", "wire", "wire"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TTextureSelection sel;
    sel.Skin = c.skin ? &f.Skin : nullptr;
    sel.TeamIndex = c.team;
    sel.TeamText = c.teamText;
    sel.FaceChosen = c.face != nullptr;
    sel.FaceText = c.face ? c.face : "";
    const TSlotChoices slots = ChooseSectionTextures(f.Model, f.Model.Key, sel);
    for (int n = 1; n <= 6; ++n) {
      EXPECT_TRUE(slots[n - 1].Used);
      EXPECT_EQ(f.NameOf(slots[n - 1].Texture), c.expected[n - 1]) << "section " << n;
    }
    EXPECT_FALSE(slots[6].Used);
    EXPECT_FALSE(slots[7].Used);
  }
  const TSlotChoices slots = ChooseSectionTextures(f.Model, f.Model.Key, TTextureSelection());
  EXPECT_EQ(slots[0].WireFile, "/models/SoldierWire1.bmp");
  EXPECT_TRUE(slots[4].Talk);
  EXPECT_EQ(slots[4].WireFile, "");  // a talk section has no wire bitmap
  EXPECT_TRUE(slots[5].Masked);
  EXPECT_FALSE(slots[0].Masked);
}

TEST(TextureChoice, SectionNumbersOutsideTheEightSlotsAreIgnored) {
  TModelo m;
  AddSection(m, 0, 0);
  AddSection(m, 9, 0);
  AddSection(m, 15, 0);
  const TSlotChoices slots = ChooseSectionTextures(m, "x.cvmx|Model-X", TTextureSelection());
  for (const TSlotChoice& s : slots) EXPECT_FALSE(s.Used);
}

TEST(TextureChoice, ComboListsOfASkin) {
  TFixture f;
  f.Add(6, "<Red Team>", "");
  f.Add(7, "<Gold Team>", "Gold face?");
  EXPECT_EQ(TeamItems(&f.Skin), (std::vector<std::string>{"< Default >", "<Red Team>", "<Blue Team>", "<Gold Team>"}));
  EXPECT_EQ(FaceItems(&f.Skin), (std::vector<std::string>{"Bob", "Bobby", "Gold face?"}));
  EXPECT_TRUE(TeamItems(nullptr).empty());
  EXPECT_TRUE(FaceItems(nullptr).empty());
}

HPALETTE ThreeColours() { return CreatePalette({{0x10, 0x20, 0x30, 0}, {0xFF, 0, 0, 0}, {0, 0, 0xFF, 0}}); }

TEST(SlotPicture, TrueColourTexturesAreReducedToTheirPaletteAndLeftAlone) {
  for (TPixelFormat pf : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    SCOPED_TRACE(BitsPerPixel(pf));
    TSlotChoice choice;
    choice.Used = true;
    auto t = Texture("", 0x0000FF, pf);   // pure red (0x00BBGGRR), an entry of the palette
    t->Bitmap->SetPixel(1, 2, 0xFF0000);  // pure blue
    t->Palette = ThreeColours();
    const TBitmap before = *t->Bitmap;
    choice.Texture = t.get();
    TSlotPicture pic = MakeSlotPicture(choice);
    ASSERT_TRUE(pic.Textured);
    EXPECT_FALSE(pic.Paletted);
    ASSERT_EQ(pic.Bitmap->PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(pic.Bitmap->Palette()->Entries[0], (TPaletteEntry{0x10, 0x20, 0x30, 0}));
    EXPECT_EQ(pic.Bitmap->ScanLine(0)[0], 1);
    EXPECT_EQ(pic.Bitmap->ScanLine(2)[1], 2);
    EXPECT_TRUE(t->Bitmap->SameAs(before));
  }
}

TEST(SlotPicture, PalettedPicturesAreCopiedAndMaskWithEntryZero) {
  TSlotChoice choice;
  choice.Used = true;
  choice.Masked = true;
  auto t = Texture("", 0x0000FF);
  t->Bitmap->SetPalette(ThreeColours());
  t->Bitmap->SetPixelFormat(TPixelFormat::pf8bit);
  choice.Texture = t.get();
  const TSlotPicture pic = MakeSlotPicture(choice);
  ASSERT_TRUE(pic.Textured && pic.Paletted);
  EXPECT_TRUE(pic.Bitmap->SameAs(*t->Bitmap));

  // talk, used, textured, masked, masking on, normals -> faces filled, texture, transparent
  struct TCase {
    const char* what;
    bool talk, used, textured, masked, enabled, normals;
    bool front, back, texture, transparent;
  };
  const TCase cases[] = {
      {"plain", false, true, true, false, true, true, true, false, true, false},
      {"no normals: both faces filled", false, true, true, false, true, false, true, true, true, false},
      {"masked", false, true, true, true, true, true, true, false, true, true},
      {"masking off", false, true, true, true, false, true, true, false, true, false},
      {"talk", true, true, true, false, true, true, false, false, false, false},
      {"no picture", false, true, false, true, true, true, false, false, false, false},
      {"unused", false, false, false, false, true, true, false, false, false, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TSlotChoice ch;
    ch.Talk = c.talk;
    ch.Used = c.used;
    ch.Masked = c.masked;
    TSlotPicture p;
    if (c.textured) {
      p.Bitmap = std::make_unique<TBitmap>(*pic.Bitmap);
      p.Textured = p.Paletted = true;
    }
    const TSlotMaterial m = SlotMaterial(ch, p, c.normals, c.enabled);
    EXPECT_EQ(m.FrontFilled, c.front);
    EXPECT_EQ(m.BackFilled, c.back);
    EXPECT_EQ(m.TextureEnabled, c.texture);
    EXPECT_EQ(m.Transparent, c.transparent);
    EXPECT_EQ(m.DrawLast, c.transparent);
    if (c.transparent) {
      EXPECT_EQ(m.TransparentColor, (TVector{0x10 / 255.0f, 0x20 / 255.0f, 0x30 / 255.0f, 1}));
    }
  }
  // A reduced (not paletted) masked picture has no palette of its own to mask with.
  TSlotPicture reduced;
  reduced.Bitmap = std::make_unique<TBitmap>(*pic.Bitmap);
  reduced.Textured = true;
  EXPECT_FALSE(SlotMaterial(choice, reduced, true, true).Transparent);
}

TEST(SlotPicture, TheCacheReducesOnlyWhatChanged) {
  TSlotChoices choices;
  std::unique_ptr<TObjetoTextura> t[2] = {Texture("", 0x0000FF), Texture("", 0xFF0000)};
  for (int i : {0, 1}) {
    t[i]->Palette = ThreeColours();
    choices[static_cast<size_t>(i)].Used = true;
    choices[static_cast<size_t>(i)].Texture = t[i].get();
  }
  TSlotPictureCache cache;
  const TSlotPictures first = cache.Make(choices);
  ASSERT_TRUE(first[0].Textured && first[1].Textured);
  TSlotPictures again = cache.Make(choices);
  EXPECT_EQ(again[0].Bitmap, first[0].Bitmap);
  EXPECT_EQ(again[1].Bitmap, first[1].Bitmap);

  t[0]->Bitmap->SetPixel(3, 3, 0xFF0000);                             // a paint stroke
  t[1]->Palette = CreatePalette({{0, 0, 0xFF, 0}, {0xFF, 0, 0, 0}});  // a new palette build
  again = cache.Make(choices);
  ASSERT_NE(again[0].Bitmap, first[0].Bitmap);
  EXPECT_EQ(again[0].Bitmap->ScanLine(3)[3], 2);
  EXPECT_EQ(again[0].Bitmap->ScanLine(0)[0], 1);
  ASSERT_NE(again[1].Bitmap, first[1].Bitmap);
  EXPECT_EQ(again[1].Bitmap->ScanLine(0)[0], 0);

  choices[0].Used = false;
  EXPECT_FALSE(cache.Make(choices)[0].Textured);
}

TEST(SlotPicture, WireFiles) {
  TModelFolder dir("", "preview_wire");
  TSlotChoice choice;
  choice.Used = true;

  choice.WireFile = dir / "missingWire1.bmp";
  EXPECT_FALSE(MakeSlotPicture(choice).Textured);  // drawn in lines, no error

  choice.WireFile = dir / "brokenWire1.bmp";
  WriteBytes(choice.WireFile, "BM this is not a bitmap");
  EXPECT_THROW(MakeSlotPicture(choice), Exception);

  choice.WireFile = dir / "paletteWire1.bmp";
  WriteBytes(choice.WireFile, MakeBmp(8, {0, 1, 1}, {0x102030, 0xFFFFFF}));
  TSlotPicture pic = MakeSlotPicture(choice);
  EXPECT_TRUE(pic.Textured && pic.Paletted);
  EXPECT_EQ(pic.Bitmap->Width(), 3);

  // The name is found whatever its letter case on disk.
  choice.WireFile = dir / "TrueColourWire1.BMP";
  WriteBytes(dir / "truecolourwire1.bmp", MakeBmp(24, {0xFF0000, 0x00FF00}));
  // A true-colour wire bitmap has no palette to be reduced to: lines.
  EXPECT_FALSE(MakeSlotPicture(choice).Textured);
  std::filesystem::remove(dir / "truecolourwire1.bmp");
  WriteBytes(dir / "truecolourwire1.bmp", "BM");
  EXPECT_THROW(MakeSlotPicture(choice), Exception);
}

TEST(SlotPicture, HeadUpSpriteShowsTheTalkSlotOnlyWhenItHasAPicture) {
  TSlotPictures pictures;
  pictures[4].Textured = true;
  TModelo m;
  struct TCase {
    int talkIndex, expected;
  };
  for (TCase c : {TCase{5, 4}, TCase{1, -1}, TCase{0, -1}, TCase{9, -1}, TCase{-3, -1}}) {
    m.TalkTextureIndex = c.talkIndex;
    EXPECT_EQ(HUDSlot(m, pictures), c.expected) << c.talkIndex;
  }
}

}  // namespace
