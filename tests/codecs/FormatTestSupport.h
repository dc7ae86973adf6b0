#pragma once
// Helpers for the format reader tests: peers run in a scratch folder, their decode read back
// as a pixmap, a reader's error caught as text, and little byte writers for hand-built files.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "codecs/ImageFormats.h"
#include "tests/platform/BmpTestSupport.h"

namespace formattest {

using namespace bmptest;

// Skips the test, saying why, when a peer tool is not installed.
#define CORVANE_REQUIRE_TOOL(path) SKIP_WITHOUT_PEER(path)

// Runs a shell command that writes a P6 pixmap to ppm and reads it back.
inline TRgbImage PeerPixmap(const std::string& command, const std::string& ppm) {
  if (RunPeer(command) != 0) {
    ADD_FAILURE() << "peer failed: " << command;
    return {};
  }
  return ReadPpm(ppm);
}

// ImageMagick's decode of a file as an 8-bit pixmap.
inline TRgbImage MagickPixmap(const std::string& file, TScratchDir& dir) {
  const std::string ppm = dir / "magick.ppm";
  return PeerPixmap(std::string(kConvert) + " " + file + " -depth 8 -type TrueColor ppm:" + ppm, ppm);
}

// Pixels of a 32-bit bitmap whose alpha byte differs from ImageMagick's alpha of file.
inline int AlphaMismatches(const TBitmap& g, const std::string& file, TScratchDir& dir) {
  const std::string ppm = dir / "alpha.ppm";
  const TRgbImage alpha =
      PeerPixmap(std::string(kConvert) + " '" + file + "' -alpha extract -depth 8 -type TrueColor ppm:" + ppm, ppm);
  if (alpha.Width != g.Width() || alpha.Height != g.Height() || g.PixelFormat() != TPixelFormat::pf32bit) return -1;
  int bad = 0;
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) bad += g.ScanLine(y)[4 * x + 3] != GetRValue(alpha.At(x, y));
  return bad;
}

// The error text a load raised, or "" when it loaded.
template <class TGraphic>
std::string LoadError(TGraphic& g, const std::vector<uint8_t>& data) {
  try {
    g.LoadFromMemory(data.data(), data.size());
  } catch (const Exception& e) {
    return e.Message;
  }
  return "";
}

// A load that must fail: with the error text given, or, for nullptr, silently; either way
// leaving the bitmap empty.
template <class TGraphic>
void ExpectRefused(const std::vector<uint8_t>& data, const char* error) {
  TGraphic g;
  const std::string message = LoadError(g, data);
  if (error)
    EXPECT_NE(message.find(error), std::string::npos) << message;
  else
    EXPECT_EQ(message, "");
  EXPECT_TRUE(g.Empty());
}

inline void Put16(std::vector<uint8_t>& v, unsigned x) { v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8)}); }
inline void Put32(std::vector<uint8_t>& v, uint32_t x) { Put16(v, x & 0xFFFF), Put16(v, x >> 16); }
inline void Put16BE(std::vector<uint8_t>& v, unsigned x) { v.insert(v.end(), {uint8_t(x >> 8), uint8_t(x)}); }
inline void Put32BE(std::vector<uint8_t>& v, uint32_t x) { Put16BE(v, x >> 16), Put16BE(v, x & 0xFFFF); }

}  // namespace formattest
