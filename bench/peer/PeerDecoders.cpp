#include "bench/peer/PeerDecoders.h"

#include <gif_lib.h>
#include <png.h>
#include <spng.h>
#include <stb_image.h>
#include <tiffio.h>
#include <unistd.h>
#include <wand/MagickWand.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace peers {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

TPixels Blank(int w, int h, int channels) {
  TPixels p;
  p.Width = w, p.Height = h, p.Channels = channels;
  p.Data.resize(static_cast<size_t>(w) * h * channels);
  return p;
}

// The file's bytes as a read-only TIFF client.
struct TMemoryFile {
  const uint8_t* Data;
  size_t Size;
  size_t Pos = 0;
};
tmsize_t MemRead(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<TMemoryFile*>(h);
  const size_t k = std::min<size_t>(static_cast<size_t>(n), f->Size - std::min(f->Pos, f->Size));
  std::memcpy(buf, f->Data + f->Pos, k);
  f->Pos += k;
  return static_cast<tmsize_t>(k);
}
tmsize_t MemWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<TMemoryFile*>(h);
  f->Pos = static_cast<size_t>(whence == SEEK_SET ? off : whence == SEEK_CUR ? f->Pos + off : f->Size + off);
  return f->Pos;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<TMemoryFile*>(h)->Size; }
// Mapping hands libtiff the bytes themselves, as a file mapped in memory would.
int MemMap(thandle_t h, void** base, toff_t* size) {
  auto* f = static_cast<TMemoryFile*>(h);
  *base = const_cast<uint8_t*>(f->Data);
  *size = f->Size;
  return 1;
}
void MemUnmap(thandle_t, void*, toff_t) {}

struct TGifInput {
  const uint8_t* Data;
  size_t Size;
  size_t Pos = 0;
};
int GifRead(GifFileType* gif, GifByteType* buf, int n) {
  auto* in = static_cast<TGifInput*>(gif->UserData);
  const size_t k = std::min<size_t>(static_cast<size_t>(n), in->Size - in->Pos);
  std::memcpy(buf, in->Data + in->Pos, k);
  in->Pos += k;
  return static_cast<int>(k);
}

// Returns the pixels a side made (sides of PixelSide keep a TPixels).
TPixels Converted(const TPixels& p, int channels) {
  if (p.Channels == channels) return p;
  TPixels out = Blank(p.Width, p.Height, channels);
  const size_t n = static_cast<size_t>(p.Width) * p.Height;
  for (size_t i = 0; i < n; ++i)
    for (int c = 0; c < channels; ++c) out.Data[i * channels + c] = c < p.Channels ? p.Data[i * p.Channels + c] : 255;
  return out;
}

}  // namespace

TSide PixelSide(std::string name, std::function<TPixels(const uint8_t*, size_t)> decode) {
  TSide s;
  s.Name = std::move(name);
  s.Decode = [decode](const uint8_t* d, size_t n) -> std::shared_ptr<void> {
    return std::make_shared<TPixels>(decode(d, n));
  };
  s.Pixels = [](const std::shared_ptr<void>& r, int channels) {
    return Converted(*static_cast<const TPixels*>(r.get()), channels);
  };
  return s;
}

TPixels NoisyGradient(int size, int channels) {
  TPixels p = Blank(size, size, channels);
  uint32_t s = 2463534242u;
  uint8_t* o = p.Data.data();
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      for (int c = 0; c < channels; ++c) {
        s ^= s << 13, s ^= s >> 17, s ^= s << 5;
        const int base = c == 0   ? x * 255 / size
                         : c == 1 ? y * 255 / size
                         : c == 2 ? (x + y) * 255 / (2 * size)
                                  : 255 - (x ^ y) * 255 / size / 2;
        *o++ = static_cast<uint8_t>(std::clamp(base + static_cast<int>(s % 7) - 3, 0, 255));
      }
  return p;
}

TPixels Plasma(int size, int channels) {
  MagickWand* w = NewMagickWand();
  SeedPseudoRandomGenerator(7);
  MagickSetSize(w, static_cast<size_t>(size), static_cast<size_t>(size));
  if (MagickReadImage(w, "plasma:fractal") == MagickFalse) Fail("ImageMagick made no plasma");
  TPixels rgb = Blank(size, size, 3);
  MagickExportImagePixels(w, 0, 0, static_cast<size_t>(size), static_cast<size_t>(size), "RGB", CharPixel,
                          rgb.Data.data());
  DestroyMagickWand(w);
  if (channels == 3) return rgb;
  TPixels p = Blank(size, size, 4);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      uint8_t* o = &p.Data[(static_cast<size_t>(y) * size + x) * 4];
      std::memcpy(o, &rgb.Data[(static_cast<size_t>(y) * size + x) * 3], 3);
      o[3] = rgb.Data[(static_cast<size_t>(size - 1 - x) * size + y) * 3 + 2];
    }
  return p;
}

std::vector<uint8_t> EncodePNG(const TPixels& p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(p.Width);
  image.height = static_cast<png_uint_32>(p.Height);
  image.format = p.Channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, p.Data.data(), 0, nullptr)) Fail(image.message);
  std::vector<uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, p.Data.data(), 0, nullptr)) Fail(image.message);
  out.resize(size);
  return out;
}

TPixels PictureFile(const std::string& path) {
  MagickWand* w = NewMagickWand();
  if (MagickReadImage(w, path.c_str()) == MagickFalse) {
    DestroyMagickWand(w);
    Fail("ImageMagick cannot read " + path);
  }
  TPixels rgb = Blank(static_cast<int>(MagickGetImageWidth(w)), static_cast<int>(MagickGetImageHeight(w)), 3);
  MagickExportImagePixels(w, 0, 0, static_cast<size_t>(rgb.Width), static_cast<size_t>(rgb.Height), "RGB", CharPixel,
                          rgb.Data.data());
  DestroyMagickWand(w);
  return rgb;
}

std::vector<uint8_t> EncodeTIFF(const TPixels& p, int rowsPerStrip, int compression, bool predictor) {
  char path[] = "/tmp/corvane-peer-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) Fail("no temporary file");
  close(fd);
  TIFF* t = TIFFOpen(path, "w");
  if (!t) Fail("libtiff cannot write");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.Width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.Height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, p.Channels);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  if (predictor) TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  if (p.Channels == 4) {
    const uint16_t extra = EXTRASAMPLE_ASSOCALPHA;
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  const size_t row = static_cast<size_t>(p.Width) * p.Channels;
  for (int y = 0; y < p.Height; y += rowsPerStrip) {
    const int rows = std::min(rowsPerStrip, p.Height - y);
    TIFFWriteEncodedStrip(t, TIFFComputeStrip(t, static_cast<uint32_t>(y), 0), const_cast<uint8_t*>(&p.Data[y * row]),
                          static_cast<tmsize_t>(rows * row));
  }
  TIFFClose(t);
  FILE* f = std::fopen(path, "rb");
  std::vector<uint8_t> out;
  uint8_t buf[65536];
  for (size_t n; f && (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.insert(out.end(), buf, buf + n);
  if (f) std::fclose(f);
  std::remove(path);
  return out;
}

std::vector<uint8_t> EncodeMagick(const TPixels& p, const std::string& format,
                                  const std::vector<std::pair<std::string, std::string>>& options) {
  MagickWand* w = NewMagickWand();
  MagickConstituteImage(w, static_cast<size_t>(p.Width), static_cast<size_t>(p.Height),
                        p.Channels == 4 ? "RGBA" : "RGB", CharPixel, p.Data.data());
  for (const auto& [key, value] : options) {
    if (key == "compression") {
      MagickSetImageCompression(w, static_cast<CompressionType>(
                                       ParseCommandOption(MagickCompressOptions, MagickFalse, value.c_str())));
    } else if (key == "orientation") {
      MagickSetImageOrientation(w, static_cast<OrientationType>(
                                       ParseCommandOption(MagickOrientationOptions, MagickFalse, value.c_str())));
    } else if (key == "colors") {
      MagickQuantizeImage(w, std::stoul(value), sRGBColorspace, 0, MagickTrue, MagickFalse);
    } else {
      MagickSetOption(w, key.c_str(), value.c_str());
    }
  }
  MagickSetImageFormat(w, format.c_str());
  size_t n = 0;
  unsigned char* blob = MagickGetImageBlob(w, &n);
  if (!blob) Fail("ImageMagick cannot write " + format);
  std::vector<uint8_t> out(blob, blob + n);
  MagickRelinquishMemory(blob);
  DestroyMagickWand(w);
  return out;
}

TSide LibPNG(int channels) {
  return PixelSide("libpng", [channels](const uint8_t* d, size_t n) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, d, n)) Fail(image.message);
    image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    TPixels p = Blank(static_cast<int>(image.width), static_cast<int>(image.height), channels);
    if (!png_image_finish_read(&image, nullptr, p.Data.data(), 0, nullptr)) Fail(image.message);
    return p;
  });
}

TSide LibSPNG(int channels) {
  return PixelSide("libspng", [channels](const uint8_t* d, size_t n) {
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, d, n);
    spng_ihdr ihdr{};
    const int fmt = channels == 4 ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
    size_t size = 0;
    if (spng_get_ihdr(ctx, &ihdr) || spng_decoded_image_size(ctx, fmt, &size)) Fail("spng cannot read the header");
    TPixels p = Blank(static_cast<int>(ihdr.width), static_cast<int>(ihdr.height), channels);
    if (size != p.Data.size() || spng_decode_image(ctx, p.Data.data(), size, fmt, 0)) Fail("spng cannot decode");
    spng_ctx_free(ctx);
    return p;
  });
}

TSide LibTIFFStrips(int channels) {
  return PixelSide("libtiff", [channels](const uint8_t* d, size_t n) {
    TMemoryFile f{d, n};
    TIFF* t = TIFFClientOpen("memory", "rm", &f, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
    if (!t) Fail("libtiff cannot open");
    uint32_t w = 0, h = 0;
    uint16_t spp = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    if (spp != channels) Fail("libtiff: the file's samples are not the wanted channels");
    TPixels p = Blank(static_cast<int>(w), static_cast<int>(h), channels);
    const tmsize_t stripSize = TIFFStripSize(t);
    const uint32_t strips = TIFFNumberOfStrips(t);
    size_t at = 0;
    for (uint32_t s = 0; s < strips; ++s) {
      const tmsize_t want = static_cast<tmsize_t>(std::min<size_t>(static_cast<size_t>(stripSize), p.Data.size() - at));
      if (TIFFReadEncodedStrip(t, s, p.Data.data() + at, want) < 0) Fail("libtiff cannot read a strip");
      at += static_cast<size_t>(want);
    }
    TIFFClose(t);
    return p;
  });
}

TSide GifLib(int channels) {
  return PixelSide("giflib", [channels](const uint8_t* d, size_t n) {
    TGifInput in{d, n};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, GifRead, &error);
    if (!gif || DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) Fail("giflib cannot read");
    const SavedImage& frame = gif->SavedImages[0];
    const ColorMapObject* map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
    const int w = frame.ImageDesc.Width, h = frame.ImageDesc.Height;
    TPixels p = Blank(w, h, channels);
    // Interlaced frames are slurped in file row order: passes from rows 0, 4, 2 and 1.
    static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    int fileRow = 0;
    for (int pass = 0; pass < (frame.ImageDesc.Interlace ? 4 : 1); ++pass)
      for (int y = frame.ImageDesc.Interlace ? start[pass] : 0; y < h;
           y += frame.ImageDesc.Interlace ? step[pass] : 1) {
        const GifByteType* src = frame.RasterBits + static_cast<size_t>(fileRow++) * w;
        uint8_t* o = &p.Data[static_cast<size_t>(y) * w * channels];
        for (int x = 0; x < w; ++x, o += channels) {
          const int i = src[x];
          const GifColorType c = map && i < map->ColorCount ? map->Colors[i] : GifColorType{0, 0, 0};
          o[0] = c.Red, o[1] = c.Green, o[2] = c.Blue;
          if (channels == 4) o[3] = 255;
        }
      }
    DGifCloseFile(gif, &error);
    return p;
  });
}

TSide StbImage(int channels) {
  // stb_image hands back a buffer of its own: kept as it is, so its side pays no copy.
  struct TResult {
    int Width = 0, Height = 0;
    stbi_uc* Pixels = nullptr;
    ~TResult() { stbi_image_free(Pixels); }
  };
  TSide s;
  s.Name = "stb_image";
  s.Decode = [channels](const uint8_t* d, size_t n) -> std::shared_ptr<void> {
    auto r = std::make_shared<TResult>();
    int comp = 0;
    r->Pixels = stbi_load_from_memory(d, static_cast<int>(n), &r->Width, &r->Height, &comp, channels);
    if (!r->Pixels) Fail(std::string("stb_image: ") + stbi_failure_reason());
    return r;
  };
  s.Pixels = [](const std::shared_ptr<void>& result, int wanted) {
    const auto* r = static_cast<const TResult*>(result.get());
    TPixels p = Blank(r->Width, r->Height, wanted);
    std::memcpy(p.Data.data(), r->Pixels, p.Data.size());
    return p;
  };
  return s;
}

TSide Magick(int channels, const std::string& format) {
  return PixelSide("ImageMagick", [channels, format](const uint8_t* d, size_t n) {
    MagickWand* w = NewMagickWand();
    if (!format.empty()) MagickSetFormat(w, format.c_str());
    if (MagickReadImageBlob(w, d, n) == MagickFalse) Fail("ImageMagick cannot read");
    MagickSetIteratorIndex(w, 0);
    TPixels p = Blank(static_cast<int>(MagickGetImageWidth(w)), static_cast<int>(MagickGetImageHeight(w)), channels);
    MagickExportImagePixels(w, 0, 0, static_cast<size_t>(p.Width), static_cast<size_t>(p.Height),
                            channels == 4 ? "RGBA" : "RGB", CharPixel, p.Data.data());
    DestroyMagickWand(w);
    return p;
  });
}

void StartMagick() {
  setenv("MAGICK_THREAD_LIMIT", "1", 1);
  MagickWandGenesis();
  SetMagickResourceLimit(ThreadResource, 1);
}
void StopMagick() { MagickWandTerminus(); }
int MagickThreads() { return static_cast<int>(GetMagickResourceLimit(ThreadResource)); }

}  // namespace peers
