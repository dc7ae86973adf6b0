#pragma once
// ImageMagick's library behind a small interface of our own: its headers declare names (the
// filter kinds) that our resampler's header declares too, so they never meet in one file.
#include <cstdint>
#include <string>
#include <vector>

namespace magickpeer {

struct TImage;  // one picture of ImageMagick's, owned by the caller (Free)

void Start();
void Stop();
// "plasma" (fractal plasma, fixed seed) or "photo" (a built-in photograph enlarged), size x size.
TImage* Generate(const std::string& name, int size);
// A picture from rows of R, G, B bytes.
TImage* FromRGB(const std::vector<uint8_t>& rgb, int width, int height);
void Free(TImage* image);
int Width(TImage* image);
int Height(TImage* image);
// Row y as B, G, R bytes.
void ExportRowBGR(TImage* image, int y, uint8_t* out);

// The timed jobs, each on a clone of the picture (the operations work in place).
void QuantizeAndMap(TImage* image, int colors);
void RemapFloydSteinberg(TImage* image, TImage* palette);
void ResizeLanczos(TImage* image, int width, int height);
// How many threads the library may use.
int Threads();

}  // namespace magickpeer
