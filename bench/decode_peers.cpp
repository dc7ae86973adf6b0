// Our PNG, deflate TIFF and GIF readers against the peer libraries in one process: the same file
// in memory on both sides, decoded to 8-bit RGB(A), pixels checked equal, interleaved
// repetitions on one core, at 256, 1024 and 4096 pixels square on a noisy gradient and a plasma
// (bench/InProcessPeers.h). The files are written by libpng, libtiff (16 rows a strip, with and
// without the horizontal predictor) and ImageMagick (GIF of 256 colours).
// Run: build/bench/bench_decode_peers [--filter png-rgb/plasma/4096] [--reps N] [--sizes 4096]
#include <memory>

#include "bench/InProcessPeers.h"
#include "codecs/GIFImage.h"
#include "codecs/PNGGraphic.h"
#include "codecs/TIFFGraphic.h"
#include "platform/Streams.h"

namespace {

using namespace peers;

TMaker PNG(int channels) {
  return {channels == 4 ? "png-rgba" : "png-rgb", [channels](int size, const std::string& picture) {
            return TCase{EncodePNG(Picture(picture, size, channels)),
                         channels,
                         Ours<TPNGGraphic>(),
                         {LibPNG(channels), LibSPNG(channels), StbImage(channels), Magick(channels)}};
          }};
}

TMaker DeflateTIFF(bool predictor) {
  return {predictor ? "tiff-deflate-predictor" : "tiff-deflate", [predictor](int size, const std::string& picture) {
            return TCase{EncodeDeflateTIFF(Picture(picture, size, 3), 16, predictor),
                         3,
                         Ours<TTIFFGraphic>(),
                         {LibTIFFStrips(3), Magick(3)}};
          }};
}

TMaker GIF() {
  return {"gif-256", [](int size, const std::string& picture) {
            // The import route: the file read into the image's frames, the first one given to a bitmap.
            TSide ours = OursWith([](const uint8_t* d, size_t n) {
              TGIFImage g;
              TMemoryStream s(std::vector<uint8_t>(d, d + n));
              g.LoadFromStream(s);
              auto b = std::make_shared<TBitmap>();
              g.AssignTo(*b);
              return b;
            });
            return TCase{EncodeMagick(Picture(picture, size, 3), "GIF", {{"colors", "256"}}),
                         3,
                         ours,
                         {GifLib(3), StbImage(3), Magick(3)}};
          }};
}

}  // namespace

int main(int argc, char** argv) {
  return Main(argc, argv, {PNG(3), PNG(4), DeflateTIFF(false), DeflateTIFF(true), GIF()});
}
