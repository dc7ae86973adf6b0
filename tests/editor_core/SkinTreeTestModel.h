#pragma once
// Shared pieces of the skin editor's tests: a small model with every kind of section, a
// scratch folder, and texture files written on the fly.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "editor/SkinTree.h"
#include "model/crvn_struc.h"
#include "platform/Bitmap.h"

namespace editor_test {

// Sections: 1 "Body" 256x256 TEAM; 2 "Head" FACE 128x128; 3 "Talk" FACE TALKTEXTURE 64x64;
// 4 "Mask" MASKED (any size); 5 "Fixed" CANNOTRESAMPLE 64x32. Listed out of number order on
// purpose (Head before Body) so the sort by section number shows.
inline std::unique_ptr<TModelo> MakeModel(const std::string& prefix = "Male",
                                          const std::string& name = "Male Soldier") {
  auto m = std::make_unique<TModelo>();
  m->Name = name;
  m->Prefix = prefix;
  auto add = [&](const std::string& n, uint32_t flags, int w, int h) {
    auto p = std::make_unique<TModeloPart>();
    p->Flags = flags;
    p->Width = w;
    p->Height = h;
    m->Parts.push_back({n, std::move(p)});
  };
  add("Head", 2 | mpFACE, 128, 128);
  add("Body", 1 | mpTEAM, 256, 256);
  add("Talk", 3 | mpFACE | mpTALKTEXTURE, 64, 64);
  add("Mask", 4 | mpMASKED, 0, 0);
  add("Fixed", 5 | mpCANNOTRESAMPLE, 64, 32);
  m->HasMaskedSection = false;  // kept off so the palette option is not forced to 0
  return m;
}

// A 24-bit picture whose pixels depend on seed, so two files differ.
inline TBitmap MakePicture(int w, int h, int seed) {
  TBitmap b(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y,
                 RGBColor(static_cast<uint8_t>(x * 7 + seed * 31), static_cast<uint8_t>(y * 5 + seed),
                          static_cast<uint8_t>((x ^ y) + seed * 13)));
  return b;
}

inline std::string WritePicture(const std::string& file, int w, int h, int seed) {
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  MakePicture(w, h, seed).SaveToFile(file);
  return file;
}

// An 8-bit picture with a colour table of `colors` entries (entry i = (i, 255 - i, i / 2)).
inline std::string WritePicture8(const std::string& file, int w, int h, int colors) {
  std::vector<TPaletteEntry> pal(static_cast<size_t>(colors));
  for (int i = 0; i < colors; ++i)
    pal[static_cast<size_t>(i)] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 2),
                                   0};
  TBitmap b(w, h, TPixelFormat::pf8bit);
  b.SetPalette(CreatePalette(pal));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>((x + y) % colors);
  b.SaveToFile(file);
  return file;
}

// A texture record without a file, for tree tests.
inline std::unique_ptr<TObjetoTextura> MakeTexture(const std::string& id, const std::string& desc, int w = 8, int h = 8,
                                                   int seed = 0) {
  auto t = std::make_unique<TObjetoTextura>();
  t->Identifier = id;
  t->Description = desc;
  t->Bitmap = std::make_unique<TBitmap>(MakePicture(w, h, seed));
  return t;
}

inline TSkinNode* SectionNode(TSkinNode* skin, int number) {
  for (const auto& s : skin->Children())
    if (s->SectionNumber == number) return s.get();
  return nullptr;
}

inline std::vector<std::string> ChildTexts(const TSkinNode* n) {
  std::vector<std::string> r;
  for (const auto& c : n->Children()) r.push_back(c->Text);
  return r;
}

}  // namespace editor_test
