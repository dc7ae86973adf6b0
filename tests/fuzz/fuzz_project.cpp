// Feeds arbitrary bytes to the project file reader (INI text naming a model, skins and texture
// files). Refusals must be the program's own errors; a project read must hold only what the
// model allows; and what is read must save and read again.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "editor/PaletteGroups.h"
#include "editor/ProjectFile.h"
#include "platform/Exceptions.h"
#include "tests/fuzz/FuzzScratch.h"

namespace {

// The model the projects name: Male, section 1 TEAM 16x16, 2 MASKED any size, 3 FACE that may
// not be resampled, 16x16.
std::vector<std::unique_ptr<TModelo>> Catalogue() {
  std::vector<std::unique_ptr<TModelo>> c;
  auto m = std::make_unique<TModelo>();
  m->Name = "Male";
  m->Prefix = "Male";
  const uint32_t flags[3] = {1 | mpTEAM, 2 | mpMASKED, 3 | mpFACE | mpCANNOTRESAMPLE};
  const int size[3] = {16, 0, 16};
  for (int i = 0; i < 3; ++i) {
    auto p = std::make_unique<TModeloPart>();
    p->Flags = flags[i];
    p->Width = p->Height = size[i];
    m->Parts.push_back({"Section" + std::to_string(i + 1), std::move(p)});
  }
  m->HasMaskedSection = true;
  c.push_back(std::move(m));
  return c;
}

// A folder with the texture files the seeds name: t.bmp (8x8, 24 bits), e.bmp (4x4, 8 bits).
std::string Folder() {
  static std::string dir = [] {
    auto d = FuzzScratchFolder("project");
    TBitmap(8, 8, TPixelFormat::pf24bit).SaveToFile((d / "t.bmp").string());
    TBitmap(4, 4, TPixelFormat::pf8bit).SaveToFile((d / "e.bmp").string());
    return d.string() + "/";
  }();
  return dir;
}

void Check(const TLoadedProject& p) {
  const TModelo& m = *p.Model;
  if (p.Options.ReducePalettes < 0 || p.Options.ReducePalettes > 2) __builtin_trap();
  for (TSkinNode* n : p.Tree.Nodes()) {
    if (n->Level() > 3 || (n->Level() == 3) != static_cast<bool>(n->Texture)) __builtin_trap();
    if (n->Level() == 2 && m.PartIndexOfSection(n->SectionNumber) < 0) __builtin_trap();
    if (n->Level() != 3) continue;
    const TBitmap& b = *n->Texture->Bitmap;
    const TModeloPart& part = *PartOfSection(n->Parent(), m);
    if (b.Empty()) __builtin_trap();
    bool resampled = part.Width > 0 && !(part.Flags & mpCANNOTRESAMPLE);
    if (resampled && (b.Width() != part.Width || b.Height() != part.Height)) __builtin_trap();
    if (!(part.Flags & mpMASKED) && b.PixelFormat() != TPixelFormat::pf24bit) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto catalogue = Catalogue();
  const std::string dir = Folder();
  const std::string file = dir + "fuzz.cvp";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::unique_ptr<TLoadedProject> p;
  try {
    p = LoadProjectFile(file, catalogue, dir, nullptr);
  } catch (const Exception&) {
    return 0;
  }
  Check(*p);
  BuildPalettes(p->Tree, PaletteModeFromIndex(p->Options.ReducePalettes));
  for (TSkinNode* n : p->Tree.TextureNodes())
    if (PaletteEntryCount(n->Texture->Palette) != 256) __builtin_trap();
  // What was read saves (or is refused with the program's error) and reads again.
  const std::string again = dir + "again.cvp";
  try {
    SaveProjectFile(again, p->Tree, *p->Model, p->Options, dir, nullptr);
  } catch (const Exception&) {
    return 0;
  }
  auto q = LoadProjectFile(again, catalogue, dir, nullptr);
  Check(*q);
  if (q->Tree.TextureNodes().size() > p->Tree.TextureNodes().size()) __builtin_trap();
  return 0;
}
