#pragma once
// The peer libraries' decoders, encoders and test pictures for the in-process comparisons
// (bench/InProcessPeers.h). Plain types only: no header of ours meets the libraries' here.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace peers {

// An allocator that leaves new bytes as they are: a decoder's output buffer is written whole, so
// a peer's side should not pay for clearing it first.
template <class T>
struct TUninitialised : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = TUninitialised<U>;
  };
  TUninitialised() = default;
  template <class U>
  TUninitialised(const TUninitialised<U>&) {}
  template <class U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... A>
  void construct(U* p, A&&... a) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
  }
};

// 8-bit samples, R G B (A), rows top first, no padding.
struct TPixels {
  int Width = 0, Height = 0, Channels = 3;
  std::vector<uint8_t, TUninitialised<uint8_t>> Data;
};

// One decoder under comparison. Decode is the timed call: it turns the file's bytes into a
// result it owns (freed after the timing); Pixels turns that result into 8-bit RGB(A) with the
// given channels for the check, outside the timing.
struct TSide {
  std::string Name;
  std::function<std::shared_ptr<void>(const uint8_t* data, size_t size)> Decode;
  std::function<TPixels(const std::shared_ptr<void>& result, int channels)> Pixels;
};

// A side whose decode already gives 8-bit RGB(A) pixels.
TSide PixelSide(std::string name, std::function<TPixels(const uint8_t*, size_t)> decode);

// Test pictures, size x size: a gradient with noise of a few levels, and ImageMagick's fractal
// plasma (fixed seed). With 4 channels the alpha is a second gradient and noise (gradient) or
// the plasma's blue turned a quarter (plasma).
TPixels NoisyGradient(int size, int channels);
TPixels Plasma(int size, int channels);
// A picture file read through ImageMagick at its own size, as 8-bit RGB.
TPixels PictureFile(const std::string& path);

// Files made by the libraries themselves.
std::vector<uint8_t> EncodePNG(const TPixels& p);  // libpng
// libtiff, 8-bit RGB(A) in strips; compression is the tag's value.
constexpr int kTIFFDeflate = 8, kTIFFPackBits = 32773;
std::vector<uint8_t> EncodeTIFF(const TPixels& p, int rowsPerStrip, int compression, bool predictor);
// Through ImageMagick in the named format ("GIF", "TGA", "PCX", "PSD", "SGI", ...); options are
// ImageMagick's -define / -compress style settings as (key, value) pairs ("compression", "RLE"
// sets the compression, "orientation", "TopLeft" the row order; other keys are image options).
std::vector<uint8_t> EncodeMagick(const TPixels& p, const std::string& format,
                                  const std::vector<std::pair<std::string, std::string>>& options = {});

// Peer decoders: each decodes from memory into 8-bit RGB (3) or RGBA (4).
TSide LibPNG(int channels);         // libpng's simplified API
TSide LibSPNG(int channels);        // spng_decode_image
TSide LibTIFFStrips(int channels);  // TIFFReadEncodedStrip of every strip into one buffer (contiguous 8-bit)
TSide GifLib(int channels);         // DGifSlurp and the first frame expanded through its colour map
TSide StbImage(int channels);       // stbi_load_from_memory
// MagickReadImageBlob and MagickExportImagePixels, one thread; format names a file that has no
// signature to be known by (Targa).
TSide Magick(int channels, const std::string& format = "");

// ImageMagick on one thread (MAGICK_THREAD_LIMIT and its thread resource); call before any use.
void StartMagick();
void StopMagick();
int MagickThreads();

}  // namespace peers
