#include "bench/peer/MagickPeer.h"

#include <wand/MagickWand.h>

namespace magickpeer {

struct TImage {
  MagickWand* Wand;
};

void Start() { MagickWandGenesis(); }
void Stop() { MagickWandTerminus(); }

TImage* Generate(const std::string& name, int size) {
  MagickWand* w = NewMagickWand();
  SeedPseudoRandomGenerator(7);
  if (name == "plasma") {
    MagickSetSize(w, static_cast<size_t>(size), static_cast<size_t>(size));
    MagickReadImage(w, "plasma:fractal");
  } else {
    MagickReadImage(w, "rose:");
    MagickResizeImage(w, static_cast<size_t>(size), static_cast<size_t>(size), CubicFilter, 1.0);
  }
  MagickSetImageType(w, TrueColorType);
  return new TImage{w};
}

TImage* FromRGB(const std::vector<uint8_t>& rgb, int width, int height) {
  MagickWand* w = NewMagickWand();
  MagickConstituteImage(w, static_cast<size_t>(width), static_cast<size_t>(height), "RGB", CharPixel, rgb.data());
  return new TImage{w};
}

void Free(TImage* image) {
  if (!image) return;
  DestroyMagickWand(image->Wand);
  delete image;
}

int Width(TImage* image) { return static_cast<int>(MagickGetImageWidth(image->Wand)); }
int Height(TImage* image) { return static_cast<int>(MagickGetImageHeight(image->Wand)); }

void ExportRowBGR(TImage* image, int y, uint8_t* out) {
  MagickExportImagePixels(image->Wand, 0, y, static_cast<size_t>(Width(image)), 1, "BGR", CharPixel, out);
}

void QuantizeAndMap(TImage* image, int colors) {
  MagickWand* w = CloneMagickWand(image->Wand);
  MagickQuantizeImage(w, static_cast<size_t>(colors), sRGBColorspace, 0, MagickFalse, MagickFalse);
  DestroyMagickWand(w);
}

void RemapFloydSteinberg(TImage* image, TImage* palette) {
  MagickWand* w = CloneMagickWand(image->Wand);
  MagickRemapImage(w, palette->Wand, FloydSteinbergDitherMethod);
  DestroyMagickWand(w);
}

void ResizeLanczos(TImage* image, int width, int height) {
  MagickWand* w = CloneMagickWand(image->Wand);
  MagickResizeImage(w, static_cast<size_t>(width), static_cast<size_t>(height), LanczosFilter, 1.0);
  DestroyMagickWand(w);
}

int Threads() { return static_cast<int>(GetMagickResourceLimit(ThreadResource)); }

}  // namespace magickpeer
