#pragma once
// Helpers of the catalogue tests: private copies of the model fixtures and small Windows
// bitmaps written byte by byte (independent of our own bitmap writer).
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

class TModelFolder {
 public:
  // A private copy of tests/data/models/<fixture> (empty fixture name: an empty folder).
  explicit TModelFolder(const std::string& fixture, const std::string& tag)
      : FScratch("models-" + tag), Path(FScratch.Path()) {
    if (!fixture.empty())
      std::filesystem::copy(std::string(CORVANE_TEST_DATA) + "/models/" + fixture, Path,
                            std::filesystem::copy_options::recursive);
  }
  std::string operator/(const std::string& rel) const { return (Path / rel).string(); }
  std::string Folder() const { return Path.string() + "/"; }
  std::string ProgramFile() const { return (Path / "corvane").string(); }

 private:
  testsupport::TScratchDir FScratch;

 public:
  const std::filesystem::path Path;
};

using testsupport::ReadText;
using testsupport::WriteBytes;

namespace bmpdetail {
inline void U16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
inline void U32(std::string& s, uint32_t v) {
  U16(s, v & 0xFFFF);
  U16(s, v >> 16);
}
}  // namespace bmpdetail

// A bottom-up Windows bitmap, width x 1 pixels. bits 24: pixels are 0xRRGGBB values.
// bits 8: pixels are indices into palette (0xRRGGBB entries).
inline std::string MakeBmp(int bits, const std::vector<uint32_t>& pixels, const std::vector<uint32_t>& palette = {}) {
  using namespace bmpdetail;
  const uint32_t width = static_cast<uint32_t>(pixels.size());
  std::string row;
  for (uint32_t p : pixels) {
    if (bits == 24) {
      row += static_cast<char>(p & 0xFF);
      row += static_cast<char>((p >> 8) & 0xFF);
      row += static_cast<char>((p >> 16) & 0xFF);
    } else {
      row += static_cast<char>(p);
    }
  }
  while (row.size() % 4) row += '\0';
  const uint32_t paletteBytes = static_cast<uint32_t>(palette.size() * 4);
  std::string s = "BM";
  U32(s, 14 + 40 + paletteBytes + static_cast<uint32_t>(row.size()));
  U32(s, 0);
  U32(s, 14 + 40 + paletteBytes);
  U32(s, 40);
  U32(s, width);
  U32(s, 1);
  U16(s, 1);
  U16(s, static_cast<uint32_t>(bits));
  U32(s, 0);
  U32(s, static_cast<uint32_t>(row.size()));
  U32(s, 2835);
  U32(s, 2835);
  U32(s, static_cast<uint32_t>(palette.size()));
  U32(s, 0);
  for (uint32_t c : palette) U32(s, c & 0xFFFFFF);
  return s + row;
}
