#pragma once
// In-process comparison of our readers with the peer libraries: the same file bytes in memory on
// both sides, decoded into pixels, the pixels checked equal first, then interleaved repetitions
// on one core (ImageMagick on one thread) with min, median and ours/peer printed together, and
// the peak of heap bytes each side allocates for one decode beside it (every malloc, calloc,
// realloc and aligned allocation of the process counted through an interposed allocator:
// bench/peer/AllocationPeak.cpp; mappings made without malloc are not seen).
//
// A format plugs in with one maker: a name, and for a size the file plus our side and the
// peers' sides, e.g.
//   {"tga-rle", [](int size, const std::string& picture) {
//      peers::TPixels p = peers::Picture(picture, size, 3);
//      return peers::TCase{peers::EncodeMagick(p, "TGA", {{"compression", "RLE"}}), 3,
//                          peers::Ours<TTargaGraphic>(), {peers::StbImage(3), peers::Magick(3)}};
//    }, "tga"}
// and a main that calls peers::Main(argc, argv, makers).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/peer/PeerDecoders.h"
#include "platform/Bitmap.h"

namespace peers {

// A bitmap of ours as 8-bit RGB(A) (palette formats through their palette).
TPixels BitmapPixels(const TBitmap& b, int channels);

// Our side from a function that decodes into a bitmap.
TSide OursWith(std::function<std::shared_ptr<TBitmap>(const uint8_t*, size_t)> decode);

// Our side for a reader class with LoadFromMemory (a TBitmap itself).
template <class G>
TSide Ours() {
  return OursWith([](const uint8_t* d, size_t n) {
    auto g = std::make_shared<G>();
    g->LoadFromMemory(d, n);
    return std::shared_ptr<TBitmap>(g, g.get());
  });
}

// The floor under every reader of a format that must write each pixel: a fresh 24-bit bitmap,
// allocated as ours are, filled by copying the finished rows (already in the bitmap's order) from
// memory. It reads nothing of the file; its time per pixel shows what memory alone costs at a
// size (fresh pages, and at 4096² rows that no longer stay in cache).
TSide CopyFloor(const TPixels& picture);  // picture of 3 channels

// "gradient" or "plasma", cached for the run; or one of the real pictures at its own size (size
// ignored): "texture", a flat 2048x2048 model texture, "skin", a 1024x1024 body texture, and
// "photo", a 2048x1024 photograph of the earth, all from assimp's test models
// (/usr/share/assimp/models), read through ImageMagick as RGB.
const TPixels& Picture(const std::string& name, int size, int channels);

struct TCase {
  std::vector<uint8_t> File;
  int Channels = 3;  // the pixels compared: 3 for RGB, 4 for RGBA
  TSide Ours;
  std::vector<TSide> Peers;
};

struct TMaker {
  std::string Name;  // e.g. "png-rgb"; the run's filter matches "name/picture/size"
  std::function<TCase(int size, const std::string& picture)> Make;
  std::string Extension;  // of the files --write-files writes
  std::vector<std::string> Pictures = {"gradient", "plasma"};
  // Real pictures (see Picture), each run once at its own size after the generated ones, titled
  // "name/picture/real".
  std::vector<std::string> RealPictures = {};
};

// Allocation peak: Reset makes the bytes live now the base; Peak is the most live above it since.
void ResetAllocationPeak();
long long AllocationPeak();

// Options: --filter REGEX (searched in "name/picture/size"), --reps N (default: enough for about
// two seconds a case, 5 to 51), --sizes 256,1024,4096, --write-files DIR (writes each case's file
// as DIR/name-picture-size.extension instead of timing, for whole-process peers). Prints one
// table per case; returns the process exit code (1 when some peer's pixels differ from ours).
int Main(int argc, char** argv, const std::vector<TMaker>& makers);

}  // namespace peers
