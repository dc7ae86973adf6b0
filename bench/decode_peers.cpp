// Our PNG, deflate TIFF and GIF readers against the peer libraries in one process: the same file
// in memory on both sides, decoded to 8-bit RGB(A), pixels checked equal, interleaved
// repetitions on one core, at 256, 1024 and 4096 pixels square on a noisy gradient and a plasma
// (bench/InProcessPeers.h). The files are written by libpng, libtiff (16 rows a strip, with and
// without the horizontal predictor) and ImageMagick (GIF of 256 colours).
// Run: build/bench/bench_decode_peers [--filter png-rgb/plasma/4096] [--reps N] [--sizes 4096]
#include <algorithm>
#include <cstring>
#include <memory>

#include "bench/InProcessPeers.h"
#include "codecs/GIFImage.h"
#include "codecs/PNGGraphic.h"
#include "codecs/TIFFGraphic.h"
#include "platform/Streams.h"

namespace {

using namespace peers;

// The caller's bytes as a read-only stream, so our side reads the file where the peers do.
class TBytesStream : public TStream {
 public:
  TBytesStream(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  size_t Read(void* buffer, size_t count) override {
    const size_t n = std::min(count, FSize - FPos);
    std::memcpy(buffer, FData + FPos, n);
    FPos += n;
    return n;
  }
  size_t Write(const void*, size_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t base = origin == TSeekOrigin::soBeginning ? 0
                         : origin == TSeekOrigin::soCurrent ? static_cast<int64_t>(FPos)
                                                            : static_cast<int64_t>(FSize);
    FPos = static_cast<size_t>(std::clamp<int64_t>(base + offset, 0, static_cast<int64_t>(FSize)));
    return static_cast<int64_t>(FPos);
  }

 private:
  const uint8_t* FData;
  size_t FSize, FPos = 0;
};

TMaker PNG(int channels) {
  return {channels == 4 ? "png-rgba" : "png-rgb",
          [channels](int size, const std::string& picture) {
            return TCase{EncodePNG(Picture(picture, size, channels)),
                         channels,
                         Ours<TPNGGraphic>(),
                         {LibPNG(channels), LibSPNG(channels), StbImage(channels), Magick(channels)}};
          },
          "png"};
}

TMaker DeflateTIFF(bool predictor) {
  return {predictor ? "tiff-deflate-predictor" : "tiff-deflate",
          [predictor](int size, const std::string& picture) {
            return TCase{EncodeTIFF(Picture(picture, size, 3), 16, kTIFFDeflate, predictor),
                         3,
                         Ours<TTIFFGraphic>(),
                         {LibTIFFStrips(3), Magick(3)}};
          },
          "tif",
          {"gradient", "plasma"},
          // Textures and photographs code unlike the generated pictures: longer matches, fewer
          // literals.
          {"texture", "skin", "photo"}};
}

TMaker GIF() {
  return {"gif-256",
          [](int size, const std::string& picture) {
            // The import route: the file read into the image's frames, the first one given to a bitmap.
            TSide ours = OursWith([](const uint8_t* d, size_t n) {
              TGIFImage g;
              TBytesStream s(d, n);
              g.LoadFromStream(s);
              auto b = std::make_shared<TBitmap>();
              g.AssignTo(*b);
              return b;
            });
            return TCase{EncodeMagick(Picture(picture, size, 3), "GIF", {{"colors", "256"}}),
                         3,
                         ours,
                         {GifLib(3), StbImage(3), Magick(3)}};
          },
          "gif"};
}

}  // namespace

int main(int argc, char** argv) {
  return Main(argc, argv, {PNG(3), PNG(4), DeflateTIFF(false), DeflateTIFF(true), GIF()});
}
