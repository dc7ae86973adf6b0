#pragma once
// Inputs shared by the package tests: textures, palettes, projects and a scratch folder.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "packages/PackageProject.h"
#include "platform/Bitmap.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

namespace pkgtest {

namespace fs = std::filesystem;

// A 6x6x6 colour cube followed by 40 greys: every colour of a texture lies near an entry.
inline HPALETTE CubePalette() {
  std::vector<TPaletteEntry> e;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        e.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51), 0});
  for (int i = 0; i < 40; ++i) {
    const auto v = static_cast<uint8_t>(3 + i * 6);
    e.push_back({v, v, v, 0});
  }
  return CreatePalette(std::move(e));
}

// A palette that differs from the cube in every entry.
inline HPALETTE RampPalette(int seed) {
  std::vector<TPaletteEntry> e;
  for (int i = 0; i < 256; ++i)
    e.push_back(
        {static_cast<uint8_t>(i), static_cast<uint8_t>((i * 7 + seed) & 0xFF), static_cast<uint8_t>(255 - i), 0});
  return CreatePalette(std::move(e));
}

// A 24-bit texture with gradients and a diagonal stripe, so that dithering has work to do.
inline std::unique_ptr<TBitmap> Texture24(int w, int h, int seed = 0) {
  auto b = std::make_unique<TBitmap>(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b->ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const bool stripe = ((x + y + seed) / 7) % 3 == 0;
      row[3 * x + 0] = static_cast<uint8_t>(stripe ? 30 : (x * 255) / (w > 1 ? w - 1 : 1));  // blue
      row[3 * x + 1] = static_cast<uint8_t>((y * 255) / (h > 1 ? h - 1 : 1));                // green
      row[3 * x + 2] = static_cast<uint8_t>((x * 13 + y * 5 + seed * 31) & 0xFF);            // red
    }
  }
  return b;
}

// An 8-bit texture in Palette whose indices follow a pattern (index 0 in a few places, the
// masked colour of a MASKED section).
inline std::unique_ptr<TBitmap> Texture8(int w, int h, const HPALETTE& Palette) {
  auto b = std::make_unique<TBitmap>(w, h, TPixelFormat::pf8bit);
  b->SetPalette(Palette);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b->ScanLine(y);
    for (int x = 0; x < w; ++x) row[x] = static_cast<uint8_t>((x % 5 == 0 && y % 3 == 0) ? 0 : (x * 3 + y * 11) % 256);
  }
  return b;
}

// A model with sections 1 and 2 plus any flags given for extra sections.
inline TPackageModel TwoSectionModel(uint32_t Section1Flags = 0, uint32_t Section2Flags = 0) {
  TPackageModel m;
  m.SectionFlags = {1u | Section1Flags, 2u | Section2Flags};
  return m;
}

// Owns the bitmaps a project description points at.
struct TProjectFixture {
  TPackageProject Project;
  std::vector<std::unique_ptr<TBitmap>> Bitmaps;

  TPackageSkin& AddSkin(const std::string& Code, const std::string& Description) {
    Project.Skins.push_back({Code, Description, {}});
    return Project.Skins.back();
  }
  // Adds a texture to the last skin's section (creating the section when it is not the last).
  TPackageTexture& AddTexture(int Section, std::unique_ptr<TBitmap> Bitmap, HPALETTE Palette,
                              const std::string& Identifier = "", const std::string& Description = "") {
    TPackageSkin& skin = Project.Skins.back();
    if (skin.Sections.empty() || skin.Sections.back().Section != Section) skin.Sections.push_back({Section, {}});
    Bitmaps.push_back(std::move(Bitmap));
    skin.Sections.back().Textures.push_back({Identifier, Description, Bitmaps.back().get(), std::move(Palette)});
    return skin.Sections.back().Textures.back();
  }
};

// The example of one skin "My Skin" (ABCD) with one 256x256 default texture.
inline TProjectFixture OneSkinExample(int Version = 68) {
  TProjectFixture f;
  f.Project.ProjectFileName = "/tmp/SkinPack.cvp";
  f.Project.Model = TwoSectionModel();
  f.Project.PackageVersion = Version;
  f.AddSkin("ABCD", "My Skin");
  f.AddTexture(1, Texture24(256, 256), CubePalette());
  return f;
}

using testsupport::ProcessScratchDir;
using testsupport::ReadText;
using testsupport::WriteBytes;

}  // namespace pkgtest
