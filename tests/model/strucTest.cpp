#include <gtest/gtest.h>

#include "ModelTestFiles.h"
#include "model/crvn_struc.h"

TEST(crvn_struc, NewModelHasTheDocumentedDefaults) {
  TModelo m;
  EXPECT_EQ(m.ScaleX, 1.0f);
  EXPECT_EQ(m.ScaleY, 1.0f);
  EXPECT_EQ(m.ScaleZ, 1.0f);
  EXPECT_EQ(m.OffsetX + m.OffsetY + m.OffsetZ + m.Pitch + m.Roll + m.Turn, 0.0f);
  EXPECT_EQ(m.TalkTextureIndex, 5);
  EXPECT_TRUE(m.Presets.empty());
  EXPECT_EQ(m.PartCount(), 0);
  EXPECT_FALSE(m.HasMaskedSection);
  EXPECT_EQ(m.FormatTeam, "%SKIN%%SECTION%T_%TEAM%");
  EXPECT_EQ(m.FormatFace, "%SKIN%%SECTION%%FACE%");
  EXPECT_EQ(m.FormatDefault, "%SKIN%%SECTION%");
  EXPECT_EQ(m.FormatTalk, "%SKIN%%SECTION%%FACE%");
}

TEST(crvn_struc, DescriptionsListTheOptionsInTheirFixedOrder) {
  TModeloPart p;
  p.Flags = 2 | mpMASKED | mpTEAM;
  p.Width = 128;
  p.Height = 64;
  EXPECT_EQ(p.GetDescription(), "Section 2, Textures are 128x64, Allows Teams, Textures are masked");
  p.Flags = 2 | mpNOINT;
  EXPECT_EQ(p.GetDescription(), "Section 2, Textures are 128x64");
  p.Flags = 8 | mpNOINT | mpTEAM | mpFACE | mpONEMIPMAP | mpLODSETWORLD | mpMASKED | mpCANNOTRESAMPLE | mpTALKTEXTURE;
  p.Width = p.Height = 0;
  EXPECT_EQ(p.GetDescription(),
            "Section 8, Textures are 0x0, Allows Teams, Allows Faces, Creates One MipMap, Sets LODSet "
            "to World, Textures are masked, Textures cannot be resampled, Talk Texture");
}

TEST(crvn_struc, AssignCopiesPartsButSharesWireBitmaps) {
  TModelFolder dir("", "assign");
  WriteBytes(dir / "ManWire1.bmp", MakeBmp(24, {0x102030, 0x405060}));
  WriteBytes(dir / "ManWire3.bmp", MakeBmp(24, {0xFFFFFF}));
  TModelo src;
  src.Key = dir / "Man.cvmx" + "|Model-Man";
  src.Prefix = "Man";
  src.HasMaskedSection = true;
  src.Presets.push_back({"Front", 0, 0, 500, 0, 0, 0});
  src.AddPart("Body", 1 | mpTEAM, 256, 256);
  src.AddPart("Head", 3 | mpMASKED, 0, 0);
  src.AddPart("Body", 2, 0, 0);  // same name again: added again
  src.AddPart("Arms", 3, 0, 0);  // same section again
  ASSERT_EQ(src.PartCount(), 4);
  ASSERT_TRUE(src.Part(0)->WireBitmap);
  EXPECT_EQ(src.Part(0)->WireBitmap->Width(), 2);
  EXPECT_EQ(src.Part(0)->WireBitmap->PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_FALSE(src.Part(2)->WireBitmap);  // no ManWire2.bmp
  EXPECT_TRUE(src.Part(1)->WireBitmap);

  TModelo copy;
  copy.AddPart("Stale", 5, 0, 0);
  copy.Assign(src);
  ASSERT_EQ(copy.PartCount(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(copy.PartName(i), src.PartName(i));
    EXPECT_NE(copy.Part(i), src.Part(i));
    EXPECT_EQ(copy.Part(i)->Flags, src.Part(i)->Flags);
    EXPECT_EQ(copy.Part(i)->WireBitmap.get(), src.Part(i)->WireBitmap.get());
  }
  EXPECT_TRUE(copy.HasMaskedSection);
  copy.Presets[0].CameraZ = 1;
  EXPECT_EQ(src.Presets[0].CameraZ, 500);

  // The wire bitmap lives on in a texture after every model holding it is gone.
  TObjetoTextura texture;
  texture.WireBitmap = src.Part(0)->WireBitmap;
  TBitmap* wire = texture.WireBitmap.get();
  src.Parts.clear();
  copy.Parts.clear();
  EXPECT_EQ(texture.WireBitmap.use_count(), 1);
  EXPECT_EQ(texture.WireBitmap.get(), wire);
  EXPECT_EQ(wire->Pixel(1, 0) & 0xFFFFFF, 0x605040u);  // TColor is 0xBBGGRR

  copy.Assign(copy);  // assigning to itself keeps everything
  EXPECT_EQ(copy.PartCount(), 0);
  EXPECT_EQ(copy.Presets.size(), 1u);
}

TEST(crvn_struc, PartLookupBySectionAndExactName) {
  TModelo m;
  m.AddPart("Body", 2, 0, 0);
  m.AddPart("Head", 3, 0, 0);
  m.AddPart("Other", 2, 0, 0);
  EXPECT_EQ(m.PartIndexOfSection(2), 0);
  EXPECT_EQ(m.PartIndexOfSection(3), 1);
  EXPECT_EQ(m.PartIndexOfSection(1), -1);
  EXPECT_EQ(m.SectionOfPart("Head"), 3);
  EXPECT_EQ(m.SectionOfPart("body"), -1);
  EXPECT_EQ(m.SectionOfPart("Other"), 2);
}

TEST(crvn_struc, WireFilesFollowThePrefixAndSectionAndBadOnesAreNamedAndLeftOut) {
  TModelFolder dir("", "wire");
  // Written on Windows: other letter case. An 8-bit wire stays 8-bit until it is drawn.
  WriteBytes(dir / "malewire1.BMP", MakeBmp(8, {1, 0}, {0x000000, 0xFF8000}));
  WriteBytes(dir / "MaleWire2.bmp", "BM this is not a bitmap");
  WriteBytes(dir / "MaleWire3.bmp", MakeBmp(24, {0x00FF00}).substr(0, 40));  // truncated
  TModelo m;
  m.Key = dir / "Male.cvmx" + "|Model-Male|odd";
  m.Prefix = "Male";
  EXPECT_EQ(m.KeyFileName(), dir / "Male.cvmx");
  EXPECT_EQ(m.KeySection(), "Model-Male|odd");
  EXPECT_EQ(m.WireFileName(3), dir / "MaleWire3.bmp");
  std::vector<std::string> problems;
  m.AddPart("Body", 1, 0, 0, &problems);
  m.AddPart("Legs", 2, 0, 0, &problems);
  m.AddPart("Head", 3, 0, 0, &problems);
  m.AddPart("Arms", 4, 0, 0, &problems);  // no wire file: not a problem
  ASSERT_TRUE(m.Part(0)->WireBitmap);
  EXPECT_EQ(m.Part(0)->WireBitmap->PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(m.Part(0)->WireBitmap->Pixel(0, 0) & 0xFFFFFF, 0x0080FFu);
  EXPECT_FALSE(m.Part(1)->WireBitmap);
  EXPECT_FALSE(m.Part(2)->WireBitmap);
  EXPECT_FALSE(m.Part(3)->WireBitmap);
  // One line for each unreadable file, naming it once, with the reader's reason.
  ASSERT_EQ(problems.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const std::string file = dir / ("MaleWire" + std::to_string(i + 2) + ".bmp");
    const std::string head = "Wire bitmap \"" + file + "\" cannot be read: ";
    const std::string tail = " (the section is drawn without it)";
    const std::string& line = problems[static_cast<size_t>(i)];
    EXPECT_EQ(line.compare(0, head.size(), head), 0) << line;
    ASSERT_GT(line.size(), head.size() + tail.size()) << line;
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
    EXPECT_EQ(line.find(file, head.size()), std::string::npos) << line;
  }
}
