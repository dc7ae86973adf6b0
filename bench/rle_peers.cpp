// Our run-length readers (Targa, PCX, Photoshop PackBits, SGI, PackBits TIFF) against stb_image,
// libtiff and ImageMagick's library in one process: the same file in memory on both sides, decoded to 8-bit
// RGB, pixels checked equal, interleaved repetitions on one core, at 256, 1024 and 4096 pixels
// square on a noisy gradient and a plasma (bench/InProcessPeers.h). ImageMagick writes the files,
// libtiff the TIFF ones, which also run on real textures and a photograph.
// stb_image reads no PCX or SGI. A copy of the finished rows into a fresh bitmap stands beside
// them as the floor that memory sets at each size.
// Run: build/bench/bench_rle_peers [--filter tga-rle/gradient/4096] [--reps N] [--sizes 256,4096]
#include <cctype>

#include "bench/InProcessPeers.h"
#include "codecs/PCXGraphic.h"
#include "codecs/PSDGraphic.h"
#include "codecs/SGIGraphic.h"
#include "codecs/TIFFGraphic.h"
#include "codecs/TargaGraphic.h"

namespace {

using namespace peers;

// A format ImageMagick writes run-length coded; format is also ImageMagick's hint when reading
// (a Targa file has no signature).
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

template <class G>
TMaker RunLength(const std::string& name, const std::string& format, bool stb) {
  return {name,
          [format, stb](int size, const std::string& picture) {
            // ImageMagick reads its own bottom-up Targa rows in the other order: rows top first are
            // read alike by every side.
            std::vector<std::pair<std::string, std::string>> options = {{"compression", "RLE"}};
            if (format == "TGA") options.push_back({"orientation", "TopLeft"});
            const TPixels& pixels = Picture(picture, size, 3);
            std::vector<TSide> others;
            if (stb) others.push_back(StbImage(3));
            others.push_back(Magick(3, format));
            others.push_back(CopyFloor(pixels));
            return TCase{EncodeMagick(pixels, format, options), 3, Ours<G>(), std::move(others)};
          },
          Lower(format)};
}

// PackBits TIFF, 16 rows a strip, written by libtiff and read beside libtiff's strip reads.
TMaker PackBitsTIFF() {
  return {"tiff-packbits",
          [](int size, const std::string& picture) {
            const TPixels& pixels = Picture(picture, size, 3);
            return TCase{EncodeTIFF(pixels, 16, kTIFFPackBits, false),
                         3,
                         Ours<TTIFFGraphic>(),
                         {LibTIFFStrips(3), Magick(3), CopyFloor(pixels)}};
          },
          "tif",
          {"gradient", "plasma"},
          {"texture", "skin", "photo"}};
}

}  // namespace

int main(int argc, char** argv) {
  return Main(argc, argv,
              {RunLength<TTargaGraphic>("tga-rle", "TGA", true), RunLength<TPCXGraphic>("pcx", "PCX", false),
               RunLength<TPSDGraphic>("psd-packbits", "PSD", true), RunLength<TSGIGraphic>("sgi-rle", "SGI", false),
               PackBitsTIFF()});
}
