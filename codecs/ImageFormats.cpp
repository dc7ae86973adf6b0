// The base graphic class, the shared routines and the format registry with its table.
#include "codecs/ImageFormats.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "codecs/AutodeskGraphic.h"
#include "codecs/CUTGraphic.h"
#include "codecs/GIFImage.h"
#include "codecs/GraphicCompression.h"
#include "codecs/PCDGraphic.h"
#include "codecs/PCXGraphic.h"
#include "codecs/PNGGraphic.h"
#include "codecs/PPMGraphic.h"
#include "codecs/PSDGraphic.h"
#include "codecs/PSPGraphic.h"
#include "codecs/RLAGraphic.h"
#include "codecs/SGIGraphic.h"
#include "codecs/TIFFGraphic.h"
#include "codecs/TargaGraphic.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "platform/StrUtils.h"

namespace {
// A file larger than this holds no picture within the size limits.
constexpr uintmax_t kMaxFileBytes = 1ull << 30;
}  // namespace

bool ImageSizeAllowed(uint64_t width, uint64_t height, uint64_t bitsPerPixel) {
  if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
  if (width * height > kMaxImagePixels) return false;
  return width * height * std::max<uint64_t>(bitsPerPixel, 1) <= kMaxImagePixels * 64;
}

// --- TImageFormatGraphic ---

bool TImageFormatGraphic::CanLoad(const uint8_t*, size_t) const { return false; }

bool TImageFormatGraphic::CanLoad(const std::string& fileName) const {
  std::vector<uint8_t> data = ReadWholeFile(fileName);
  return CanLoad(data.data(), data.size());
}

bool TImageFormatGraphic::ReadImageProperties(const uint8_t*, size_t, unsigned) {
  ImageProperties = TImageProperties{};
  ImageProperties.FileGamma = 1.0f;
  return false;
}

void TImageFormatGraphic::LoadFromFile(const std::string& fileName) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(fileName, ec);
  if (!ec && size > kMaxFileBytes) GraphicError("File " + fileName + " is too large for a picture");
  std::vector<uint8_t> data = ReadWholeFile(fileName);
  // Each error keeps its class and gains the file's name.
  try {
    LoadFromMemory(data.data(), data.size());
  } catch (const EInvalidGraphic& e) {
    throw EInvalidGraphic(e.Message + " (" + fileName + ")");
  } catch (const EGraphicCompression& e) {
    throw EGraphicCompression(e.Message + " (" + fileName + ")");
  } catch (const EColorConversionError& e) {
    throw EColorConversionError(e.Message + " (" + fileName + ")");
  }
}

void TImageFormatGraphic::LoadFromStream(TStream& stream) {
  const int64_t left = stream.Size() - stream.Position();
  if (left < 0 || static_cast<uint64_t>(left) > kMaxFileBytes) GraphicError("The picture data is too large");
  std::vector<uint8_t> data(static_cast<size_t>(left));
  stream.ReadBuffer(data.data(), data.size());
  LoadFromMemory(data.data(), data.size());
}

void TImageFormatGraphic::Assign(const TImageFormatGraphic& other) {
  ImageProperties = other.ImageProperties;
  static_cast<TBitmap&>(*this) = static_cast<const TBitmap&>(other);
}

void TImageFormatGraphic::StartLoad() {
  static_cast<TBitmap&>(*this) = TBitmap();
  FProgressRect = {};
}

void TImageFormatGraphic::Progress(TProgressStage stage, int percent, const std::string& message) const {
  if (OnProgress) OnProgress(stage, percent, FProgressRect, message);
}

void TImageFormatGraphic::RowProgress(uint32_t row, uint32_t height) const {
  if (!OnProgress || height == 0) return;
  Progress(TProgressStage::psRunning, static_cast<int>(static_cast<uint64_t>(row) * 100 / height), "");
  FProgressRect.Top = FProgressRect.Bottom;
  FProgressRect.Bottom = FProgressRect.Top + 1;
}

// --- shared routines ---

void GraphicError(const std::string& message) { throw EInvalidGraphic(message); }

namespace {
std::string Format(const char* format, const std::string& a, const std::string* b) {
  std::string out;
  int n = 0;
  for (const char* p = format; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += n++ == 0 ? a : (b ? *b : std::string());
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}
}  // namespace

void GraphicErrorFmt(const char* format, const std::string& a) { GraphicError(Format(format, a, nullptr)); }
void GraphicErrorFmt(const char* format, const std::string& a, const std::string& b) {
  GraphicError(Format(format, a, &b));
}

void SwapShort(uint16_t* p, size_t count) {
  for (size_t i = 0; i < count; ++i) p[i] = static_cast<uint16_t>((p[i] >> 8) | (p[i] << 8));
}
uint32_t SwapLong(uint32_t v) { return __builtin_bswap32(v); }
uint8_t ReverseBits(uint8_t b) {
  b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}
void SwapLong(uint32_t* p, size_t count) {
  for (size_t i = 0; i < count; ++i) p[i] = SwapLong(p[i]);
}

void ApplyHorizontalPredictor8(uint8_t* row, size_t count, size_t bytesPerPixel) {
  if (bytesPerPixel == 3 || bytesPerPixel == 4) {
    // Running sums kept in registers: the byte-wise loop waits on each store it just made.
    unsigned a = row[0], b = row[1], c = row[2], d = bytesPerPixel == 4 ? row[3] : 0;
    uint8_t* p = row + bytesPerPixel;
    for (size_t i = 0; i < count; ++i, p += bytesPerPixel) {
      p[0] = static_cast<uint8_t>(a += p[0]);
      p[1] = static_cast<uint8_t>(b += p[1]);
      p[2] = static_cast<uint8_t>(c += p[2]);
      if (bytesPerPixel == 4) p[3] = static_cast<uint8_t>(d += p[3]);
    }
    return;
  }
  const size_t n = count * bytesPerPixel;
  for (size_t i = 0; i < n; ++i) row[bytesPerPixel + i] = static_cast<uint8_t>(row[bytesPerPixel + i] + row[i]);
}

void Upsample(uint32_t width, uint32_t height, size_t rowLength, uint8_t* plane) {
  if (width == 0 || height == 0 || rowLength < 2ull * width) return;
  const size_t w = width, h = height;
  // Spread each row horizontally into its even target row, bottom up so nothing is overwritten
  // before it is read.
  for (size_t y = h; y-- > 0;) {
    const uint8_t* src = plane + y * rowLength;
    uint8_t* dst = plane + 2 * y * rowLength;
    const uint8_t last = src[w - 1];
    std::vector<uint8_t> row(src, src + w);
    dst[2 * w - 2] = last;
    dst[2 * w - 1] = last;
    for (size_t x = w - 1; x-- > 0;) {
      dst[2 * x] = row[x];
      dst[2 * x + 1] = static_cast<uint8_t>((row[x] + row[x + 1] + 1) >> 1);
    }
  }
  for (size_t y = 0; y + 1 < h; ++y) {
    const uint8_t* above = plane + 2 * y * rowLength;
    const uint8_t* below = above + 2 * rowLength;
    uint8_t* mid = plane + (2 * y + 1) * rowLength;
    for (size_t x = 0; x + 1 < w; ++x) {
      mid[2 * x] = static_cast<uint8_t>((above[2 * x] + below[2 * x] + 1) >> 1);
      mid[2 * x + 1] =
          static_cast<uint8_t>((above[2 * x] + above[2 * x + 2] + below[2 * x] + below[2 * x + 2] + 2) >> 2);
    }
    mid[2 * w - 2] = static_cast<uint8_t>((above[2 * w - 2] + below[2 * w - 2] + 1) >> 1);
    mid[2 * w - 1] = static_cast<uint8_t>((above[2 * w - 1] + below[2 * w - 1] + 1) >> 1);
  }
  std::memcpy(plane + (2 * h - 1) * rowLength, plane + (2 * h - 2) * rowLength, 2 * w);
}

// --- TFileFormatList ---

int TFileFormatList::FindExtension(const std::string& extension) const {
  if (extension.empty()) return -1;
  for (size_t i = 0; i < FExtensions.size(); ++i)
    if (SameText(FExtensions[i]->Extension, extension)) return static_cast<int>(i);
  return -1;
}

int TFileFormatList::FindGraphicClass(const TGraphicClassRef& graphicClass) const {
  for (size_t i = 0; i < FClasses.size(); ++i)
    if (FClasses[i]->GraphicClass == graphicClass) return static_cast<int>(i);
  return -1;
}

void TFileFormatList::RegisterFileFormat(const std::string& extension, const std::string& common,
                                         const std::string& individual, uint8_t formatTypes, bool replace, bool,
                                         const TGraphicClassRef& graphicClass) {
  if (extension.empty()) return;
  if (!graphicClass) GraphicError("Cannot register " + extension + " without a picture class");
  auto classEntry = [&]() {
    int c = FindGraphicClass(graphicClass);
    if (c < 0) {
      FClasses.push_back(std::make_unique<TClassEntry>(TClassEntry{graphicClass, "", 0}));
      c = static_cast<int>(FClasses.size()) - 1;
    }
    TClassEntry* e = FClasses[static_cast<size_t>(c)].get();
    if (!common.empty()) e->Description = common;
    ++e->Count;
    return e;
  };
  TExtensionEntry* ext;
  const int found = FindExtension(extension);
  if (found < 0) {
    FExtensions.push_back(
        std::make_unique<TExtensionEntry>(TExtensionEntry{extension, individual, formatTypes, nullptr}));
    ext = FExtensions.back().get();
    ext->ClassEntry = classEntry();
  } else {
    if (!replace) GraphicErrorFmt(gesRegistration, extension);
    ext = FExtensions[static_cast<size_t>(found)].get();
    if (ext->ClassEntry->GraphicClass != graphicClass) {
      TClassEntry* old = ext->ClassEntry;
      ext->ClassEntry = classEntry();
      if (--old->Count <= 0) Release(old);
    }
  }
  FLoader.RegisterFileFormat(extension, individual.empty() ? ext->ClassEntry->Description : individual, graphicClass);
}

void TFileFormatList::Release(TClassEntry* entry) {
  FLoader.UnregisterGraphicClass(entry->GraphicClass->ClassName);
  std::erase_if(FClasses, [&](const std::unique_ptr<TClassEntry>& c) { return c.get() == entry; });
}

void TFileFormatList::UnregisterFileFormat(const std::string& extension, const TGraphicClassRef& graphicClass) {
  if (extension.empty()) {
    const int c = FindGraphicClass(graphicClass);
    if (c < 0) return;
    TClassEntry* entry = FClasses[static_cast<size_t>(c)].get();
    std::erase_if(FExtensions, [&](const std::unique_ptr<TExtensionEntry>& e) { return e->ClassEntry == entry; });
    Release(entry);
    return;
  }
  const int i = FindExtension(extension);
  if (i < 0) return;
  TClassEntry* entry = FExtensions[static_cast<size_t>(i)]->ClassEntry;
  FExtensions.erase(FExtensions.begin() + i);
  if (--entry->Count <= 0) {
    Release(entry);
  } else {
    // The class keeps its other extensions.
    FLoader.UnregisterFileFormat(extension);
  }
}

void TFileFormatList::Clear() {
  for (const auto& c : FClasses) FLoader.UnregisterGraphicClass(c->GraphicClass->ClassName);
  FExtensions.clear();
  FClasses.clear();
}

void RegisterImageFormats(TFileFormatList& list) {
  struct TRow {
    const char* Extension;
    const char* Common;
    const char* Individual;
    uint8_t Types;
    const TGraphicClassRef& Class;
  };
  const TRow rows[] = {
      {"bmp", "Windows bitmaps", "", ftRaster, BitmapGraphicClass()},
      {"ico", "Windows icons", "", ftRaster, IconGraphicClass()},
      {"wmf", "Windows metafiles", "", ftVector, MetafileGraphicClass()},
      {"emf", "Windows metafiles", "Windows enhanced meta files", ftVector, MetafileGraphicClass()},
      {"jfif", "JPG images", "JFIF images", ftRaster, JPEGGraphicClass()},
      {"jpg", "", "JPG images", ftRaster, JPEGGraphicClass()},
      {"jpe", "", "JPE images", ftRaster, JPEGGraphicClass()},
      {"jpeg", "", "JPEG images", ftRaster, JPEGGraphicClass()},
      {"rle", "Windows bitmaps", "Run length encoded Windows bitmaps", ftRaster, BitmapGraphicClass()},
      {"dib", "", "Device independant Windows bitmaps", ftRaster, BitmapGraphicClass()},
      {"win", "Truevision images", "", ftRaster, TargaGraphicClass()},
      {"vst", "", "", ftRaster, TargaGraphicClass()},
      {"vda", "", "", ftRaster, TargaGraphicClass()},
      {"tga", "", "", ftRaster, TargaGraphicClass()},
      {"icb", "", "", ftRaster, TargaGraphicClass()},
      {"tiff", "Tagged image file format images", "Macintosh TIFF images", ftRaster | ftMultiImage, TIFFGraphicClass()},
      {"tif", "", "PC TIF images", ftRaster | ftMultiImage, TIFFGraphicClass()},
      {"fax", "", "GFI fax images", ftRaster | ftMultiImage, TIFFGraphicClass()},
      {"eps", "Encapsulated Postscript images", "", ftRaster, EPSGraphicClass()},
      {"pcx", "ZSoft Paintbrush images", "", ftRaster, PCXGraphicClass()},
      {"pcc", "", "", ftRaster, PCXGraphicClass()},
      {"scr", "", "Word 5.x screen capture images", ftRaster, PCXGraphicClass()},
      {"rpf", "Alias/Wavefront images", "", ftRaster, RLAGraphicClass()},
      {"rla", "", "", ftRaster, RLAGraphicClass()},
      {"sgi", "SGI images", "SGI true color images", ftRaster, SGIGraphicClass()},
      {"rgba", "", "SGI true color images with alpha", ftRaster, SGIGraphicClass()},
      {"rgb", "", "SGI true color images", ftRaster, SGIGraphicClass()},
      {"bw", "", "SGI black/white images", ftRaster, SGIGraphicClass()},
      {"psd", "Photoshop images", "", ftRaster | ftAnimation, PSDGraphicClass()},
      {"pdd", "", "", ftRaster | ftAnimation, PSDGraphicClass()},
      {"ppm", "Portable map images", "Portable pixel map images", ftRaster, PPMGraphicClass()},
      {"pgm", "", "Portable gray map images", ftRaster, PPMGraphicClass()},
      {"pbm", "", "Portable bitmap images", ftRaster, PPMGraphicClass()},
      {"cel", "Autodesk images", "", ftRaster, AutodeskGraphicClass()},
      {"pic", "Autodesk images", "", ftRaster, AutodeskGraphicClass()},
      {"pcd", "Kodak Photo-CD images", "", ftRaster, PCDGraphicClass()},
      {"cut", "Dr. Halo images", "", ftRaster, CUTGraphicClass()},
      {"psp", "Paintshop Pro images", "", ftRaster | ftVector, PSPGraphicClass()},
      {"png", "Portable network graphic images", "", ftRaster, PNGGraphicClass()},
      {"gif", "GIF Image", "", ftRaster | ftAnimation, GIFGraphicClass()},
  };
  for (const TRow& r : rows)
    list.RegisterFileFormat(r.Extension, r.Common, r.Individual, r.Types, false, false, r.Class);
}

TFileFormatList& FileFormatList() {
  static TFileFormatList* list = [] {
    auto* l = new TFileFormatList(PictureLoader());
    RegisterImageFormats(*l);
    return l;
  }();
  return *list;
}
