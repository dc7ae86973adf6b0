// TIFF and EPS reading: the image file directory, tag access bounded by the data, strips
// decoded into whole rows and converted through the colour manager.
#include "codecs/TIFFGraphic.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <type_traits>

#include "codecs/FormatSupport.h"
#include "codecs/GraphicCompression.h"
#include "platform/ByteReader.h"

namespace {

constexpr const char* kName = "TIF/TIFF";

enum : uint16_t {
  tagImageWidth = 256,
  tagImageLength = 257,
  tagBitsPerSample = 258,
  tagCompression = 259,
  tagPhotometric = 262,
  tagFillOrder = 266,
  tagStripOffsets = 273,
  tagSamplesPerPixel = 277,
  tagRowsPerStrip = 278,
  tagStripByteCounts = 279,
  tagXResolution = 282,
  tagYResolution = 283,
  tagPlanarConfig = 284,
  tagT4Options = 292,
  tagPredictor = 317,
  tagColorMap = 320,
  tagTileWidth = 322,
  tagTileLength = 323,
  tagTileOffsets = 324,
  tagTileByteCounts = 325,
  tagExtraSamples = 338,
  tagSampleFormat = 339,
  tagJPEGTables = 347,
  tagYCbCrCoefficients = 529,
  tagYCbCrSubsampling = 530,
  tagYCbCrPositioning = 531,
};

[[noreturn]] void Invalid(const char* name = kName) { GraphicErrorFmt(gesInvalidImage, name); }
[[noreturn]] void Unsupported(const char* what) { GraphicErrorFmt(gesUnsupportedFeature, what, kName); }

size_t FieldSize(uint16_t type) {
  static const uint8_t sizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type < 13 ? sizes[type] : 0;
}

struct TOrder {
  bool Big;
  uint16_t U16(const uint8_t* p) const {
    return Big ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  uint32_t U32(const uint8_t* p) const {
    return Big ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
               : (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
  }
};

uint8_t CompressionCode(uint32_t v) {
  switch (v) {
    case 1: return ctNone;
    case 2: return ctFaxRLE;
    case 3: return ctFax3;
    case 4: return ctFax4;
    case 5: return ctLZW;
    case 6: return ctOJPEG;
    case 7: return ctJPEG;
    case 8:
    case 32946: return ctLZ77;
    case 32766: return ctNext;
    case 32771: return ctFaxRLEW;
    case 32773: return ctPackedBits;
    case 32809: return ctThunderscan;
    case 32895: return ctIT8CTPAD;
    case 32896: return ctIT8LW;
    case 32897: return ctIT8MP;
    case 32898: return ctIT8BL;
    case 32908: return ctPixarFilm;
    case 32909: return ctPixarLog;
    case 32947: return ctDCS;
    case 34661: return ctJBIG;
    default: return ctUnknown;
  }
}

}  // namespace

// --- directory and tags ---

bool TTIFFGraphic::CanLoad(const uint8_t* data, size_t size) const {
  if (size < 9) return false;
  const bool big = data[0] == 'M' && data[1] == 'M';
  if (!big && !(data[0] == 'I' && data[1] == 'I')) return false;
  const TOrder o{big};
  return o.U16(data + 2) == 42 && o.U32(data + 4) < size;
}

bool TTIFFGraphic::FindTag(uint16_t tag, size_t& index) const {
  auto it = std::lower_bound(FIFD.begin(), FIFD.end(), tag, [](const TIFDEntry& e, uint16_t t) { return e.Tag < t; });
  index = static_cast<size_t>(it - FIFD.begin());
  return it != FIFD.end() && it->Tag == tag;
}

namespace {
// Where an entry's values are, or null when they do not lie inside the data.
const uint8_t* ValuePointer(const TTIFFGraphic::TIFDEntry& e, const uint8_t* data, size_t size, TOrder o) {
  const uint64_t total = static_cast<uint64_t>(e.DataLength) * FieldSize(e.DataType);
  if (total == 0) return nullptr;
  if (total <= 4) return e.Value;
  const uint64_t offset = o.U32(e.Value);
  if (offset > size || total > size - offset) return nullptr;
  return data + offset;
}

double ValueAt(const TTIFFGraphic::TIFDEntry& e, const uint8_t* p, size_t i, TOrder o) {
  const uint8_t* q = p + i * FieldSize(e.DataType);
  switch (e.DataType) {
    case 1:
    case 2:
    case 7: return q[0];
    case 6: return static_cast<int8_t>(q[0]);
    case 3: return o.U16(q);
    case 8: return static_cast<int16_t>(o.U16(q));
    case 4: return o.U32(q);
    case 9: return static_cast<int32_t>(o.U32(q));
    case 5: {
      const uint32_t den = o.U32(q + 4);
      return den ? static_cast<double>(o.U32(q)) / den : 0.0;
    }
    case 10: {
      const int32_t den = static_cast<int32_t>(o.U32(q + 4));
      return den ? static_cast<double>(static_cast<int32_t>(o.U32(q))) / den : 0.0;
    }
    case 11: {
      const uint32_t bits = o.U32(q);
      float f;
      std::memcpy(&f, &bits, 4);
      return f;
    }
    case 12: {
      const uint64_t bits =
          o.Big ? (uint64_t(o.U32(q)) << 32 | o.U32(q + 4)) : (uint64_t(o.U32(q + 4)) << 32 | o.U32(q));
      double d;
      std::memcpy(&d, &bits, 8);
      return d;
    }
    default: return 0;
  }
}

template <class T>
std::vector<T> ValueList(const TTIFFGraphic& g, uint16_t tag, const std::vector<TTIFFGraphic::TIFDEntry>& ifd,
                         const uint8_t* data, size_t size, TOrder o) {
  size_t i;
  if (!g.FindTag(tag, i)) return {};
  const TTIFFGraphic::TIFDEntry& e = ifd[i];
  const uint8_t* p = ValuePointer(e, data, size, o);
  // A count that runs past the end of the file is a broken file, not a reason to allocate.
  if (!p) {
    if (FieldSize(e.DataType) != 0 && e.DataLength != 0) Invalid();
    return {};
  }
  std::vector<T> out(e.DataLength);
  for (size_t k = 0; k < e.DataLength; ++k) {
    const double v = ValueAt(e, p, k, o);
    if constexpr (std::is_floating_point_v<T>)
      out[k] = static_cast<T>(v);
    else
      out[k] = !(v > 0)
                   ? T(0)
                   : (v >= double(std::numeric_limits<T>::max()) ? std::numeric_limits<T>::max() : static_cast<T>(v));
  }
  return out;
}
}  // namespace

std::vector<uint32_t> TTIFFGraphic::GetValueList(uint16_t tag) const {
  return ValueList<uint32_t>(*this, tag, FIFD, FData, FSize, TOrder{(ImageProperties.Options & ioBigEndian) != 0});
}
std::vector<uint8_t> TTIFFGraphic::GetByteList(uint16_t tag) const {
  return ValueList<uint8_t>(*this, tag, FIFD, FData, FSize, TOrder{(ImageProperties.Options & ioBigEndian) != 0});
}
std::vector<float> TTIFFGraphic::GetFloatList(uint16_t tag) const {
  return ValueList<float>(*this, tag, FIFD, FData, FSize, TOrder{(ImageProperties.Options & ioBigEndian) != 0});
}
uint32_t TTIFFGraphic::GetValue(uint16_t tag, uint32_t defaultValue) const {
  size_t i;
  if (!FindTag(tag, i)) return defaultValue;
  const TOrder o{(ImageProperties.Options & ioBigEndian) != 0};
  const uint8_t* p = ValuePointer(FIFD[i], FData, FSize, o);
  if (!p) return defaultValue;
  const double v = ValueAt(FIFD[i], p, 0, o);
  return !(v > 0) ? 0 : (v >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(v));
}

bool TTIFFGraphic::ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex) {
  TImageFormatGraphic::ReadImageProperties(data, size, imageIndex);
  FIFD.clear();
  FData = data;
  FSize = size;
  TImageProperties& p = ImageProperties;
  if (size < 8) return false;
  const bool big = data[0] == 'M' && data[1] == 'M';
  if (!big && !(data[0] == 'I' && data[1] == 'I')) return false;
  if (big) p.Options |= ioBigEndian;
  const TOrder o{big};
  p.Version = o.U16(data + 2);
  if (p.Version != 42) return false;
  uint64_t ifd = o.U32(data + 4);
  p.FirstIFD = static_cast<uint32_t>(ifd);
  // Walk to the directory asked for; each must lie inside the data.
  for (unsigned n = 0;; ++n) {
    if (ifd + 2 > size) return false;
    const uint64_t count = o.U16(data + ifd);
    if (count * 12 > size - ifd - 2) return false;
    if (n == imageIndex) {
      FIFD.resize(count);
      for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = data + ifd + 2 + i * 12;
        FIFD[i].Tag = o.U16(e);
        FIFD[i].DataType = o.U16(e + 2);
        FIFD[i].DataLength = o.U32(e + 4);
        std::memcpy(FIFD[i].Value, e + 8, 4);
      }
      break;
    }
    if (ifd + 2 + count * 12 + 4 > size) return false;
    ifd = o.U32(data + ifd + 2 + count * 12);
    if (ifd == 0 || n > 1000) return false;
  }
  std::stable_sort(FIFD.begin(), FIFD.end(), [](const TIFDEntry& a, const TIFDEntry& b) { return a.Tag < b.Tag; });

  p.Width = GetValue(tagImageWidth, 0);
  p.Height = GetValue(tagImageLength, 0);
  if (p.Width == 0 || p.Height == 0) return false;
  // Rows per strip: 2^32-1 (or anything from the height up) is one strip of the whole height.
  try {
    p.RowsPerStrip = GetValueList(tagRowsPerStrip);
  } catch (const EInvalidGraphic&) {
    p.RowsPerStrip.clear();
  }
  if (p.RowsPerStrip.empty()) p.RowsPerStrip = {p.Height};
  for (uint32_t& r : p.RowsPerStrip) r = r == 0 ? p.Height : std::min(r, p.Height);
  const uint32_t spp = GetValue(tagSamplesPerPixel, 1);
  const uint32_t bps = GetValue(tagBitsPerSample, 1);
  // Samples up to 64 bits are described, so that wide and floating-point ones are refused for
  // what they are rather than as a broken file.
  if (spp == 0 || spp > 8 || bps == 0 || bps > 64) return false;
  p.SamplesPerPixel = static_cast<uint8_t>(spp);
  p.BitsPerSample = static_cast<uint8_t>(bps);
  p.TileWidth = GetValue(tagTileWidth, 0);
  p.TileLength = GetValue(tagTileLength, 0);
  if (p.TileWidth > 0 && p.TileLength > 0) p.Options |= ioTiled;

  FPhotometric = GetValue(tagPhotometric, 0);
  std::vector<uint32_t> extra;
  try {
    extra = GetValueList(tagExtraSamples);
  } catch (const EInvalidGraphic&) {
  }
  FExtraSamples = std::min<uint32_t>(static_cast<uint32_t>(extra.size()), spp - 1);
  p.BitsPerPixel = static_cast<uint8_t>(std::min<uint32_t>(bps * spp, 255));
  // A file without the tag is uncompressed, as TIFF defines.
  p.Compression = CompressionCode(GetValue(tagCompression, 1));

  static const uint8_t schemes[9] = {csG, csG, csRGBA, csIndexed, csUnknown, csCMYK, csYCbCr, csUnknown, csCIELab};
  p.ColorScheme = FPhotometric < 9 ? schemes[FPhotometric] : uint8_t(csUnknown);
  if (p.ColorScheme == csRGBA) {
    // Four samples are RGBA when the fourth is associated alpha (or unnamed); other extra
    // samples are skipped with the stored stride.
    const bool associated = spp >= 4 && (extra.empty() || extra[0] == 1);
    p.ColorScheme = associated ? csRGBA : csRGB;
  }
  if (FPhotometric == 0) p.Options |= ioMinIsWhite;
  if (p.ColorScheme == csYCbCr) {
    p.YCbCrSubSampling = GetByteList(tagYCbCrSubsampling);
    if (p.YCbCrSubSampling.size() < 2) p.YCbCrSubSampling = {2, 2};
  }
  p.PlanarConfig = GetValue(tagPlanarConfig, 0);
  const std::vector<float> xr = GetFloatList(tagXResolution), yr = GetFloatList(tagYResolution);
  if (!xr.empty()) p.XResolution = xr[0];
  if (!yr.empty()) p.YResolution = yr[0];
  p.Predictor = GetValue(tagPredictor, 0);
  // 3 is IEEE floating point, in the samples or in the predictor made for them.
  FFloatSamples = GetValue(tagSampleFormat, 1) == 3 || p.Predictor == 3;
  if (GetValue(tagFillOrder, 1) == 2) p.Options |= ioReversed;
  if (!ImageSizeAllowed(p.Width, p.Height, static_cast<uint64_t>(bps) * spp)) return false;
  return true;
}

// --- loading ---

namespace {

// Whether a decoder here reads the compression, for the samples it is given.
bool CompressionReadable(const TImageProperties& p) {
  const unsigned spp = p.SamplesPerPixel, bps = p.BitsPerSample;
  switch (p.Compression) {
    case ctNone:
    case ctLZ77:
    case ctPackedBits: return true;
    case ctFaxRLE:
    case ctFaxRLEW:
    case ctFax3: return bps == 1 && spp == 1;
    case ctThunderscan: return bps == 4 && spp == 1;
    case ctJPEG: return bps == 8;
    default: return false;
  }
}

// The first keep samples of each of width pixels of spp samples of bps bits, packed as pixels
// of keep samples: pixels without the extra samples their colour scheme does not use.
void LeadingSamples(const uint8_t* row, size_t width, unsigned spp, unsigned bps, unsigned keep, uint8_t* out) {
  if (bps == 8 && keep == 1) {
    for (size_t i = 0; i < width; ++i) out[i] = row[i * spp];
  } else if (bps % 8 == 0) {
    const size_t bytes = bps / 8 * keep, stride = bps / 8 * spp;
    for (size_t i = 0; i < width; ++i) std::memcpy(out + i * bytes, row + i * stride, bytes);
  } else {
    const size_t bits = static_cast<size_t>(bps) * keep;
    std::memset(out, 0, (width * bits + 7) / 8);
    for (size_t i = 0; i < width; ++i)
      for (size_t b = 0; b < bits; ++b) {
        const size_t from = i * spp * bps + b, to = i * bits + b;
        if (row[from / 8] & (0x80 >> (from % 8))) out[to / 8] |= static_cast<uint8_t>(0x80 >> (to % 8));
      }
  }
}

// The samples a pixel of the scheme is made of; spp for schemes of no fixed count.
unsigned SchemeSamples(uint8_t scheme, unsigned spp) {
  switch (scheme) {
    case csG:
    case csIndexed: return 1;
    case csRGB:
    case csCIELab:
    case csYCbCr: return 3;
    case csRGBA:
    case csCMYK: return 4;
    default: return spp;
  }
}

// Undoes the horizontal predictor on a row, sample by sample, at 8 or 16 bits.
void UndoPredictor(uint8_t* row, uint32_t width, unsigned spp, unsigned bps, TOrder o) {
  if (width < 2) return;
  if (bps == 8) {
    ApplyHorizontalPredictor8(row, width - 1, spp);
    return;
  }
  const size_t n = static_cast<size_t>(width) * spp;
  for (size_t i = spp; i < n; ++i) {
    uint8_t* q = row + 2 * i;
    const uint16_t v = static_cast<uint16_t>(o.U16(q) + o.U16(q - 2 * spp));
    if (o.Big)
      q[0] = static_cast<uint8_t>(v >> 8), q[1] = static_cast<uint8_t>(v);
    else
      q[0] = static_cast<uint8_t>(v), q[1] = static_cast<uint8_t>(v >> 8);
  }
}

// Strips up to this size are decoded into a buffer that stays in cache and swapped from there
// into the bitmap's rows; larger ones are decoded into the bitmap itself, so that one strip of a
// whole large picture does not take a second picture's memory.
constexpr size_t kCachedStrip = size_t{256} << 10;
// Predictor strips packed to this many thousandths of their size or more go through igzip.
constexpr unsigned kIgzipPackedPermille = 420;

}  // namespace

// Where the strips or tiles are and what each decodes to; one set per plane when the samples
// are stored in planes.
struct TTIFFGraphic::TLayout {
  bool Tiled = false, Planes = false;
  unsigned PlaneCount = 1, BlockSpp = 1;
  uint32_t BlockWidth = 0, Across = 1;
  // The rows of each band of blocks: tiles are all as high; strips have their own heights.
  std::vector<uint32_t> BandRows;
  size_t BlocksPerPlane = 0, BlockRowBytes = 0, RowSize = 0;
  std::vector<uint32_t> Offsets, Counts;
  uint64_t FileSize = 0;

  // The bytes the file holds for a strip or tile; without byte counts a strip runs to the end of
  // the file at most.
  uint64_t Length(size_t index) const {
    const uint64_t offset = Offsets[index];
    const uint64_t left = offset <= FileSize ? FileSize - offset : 0;
    return index < Counts.size() ? std::min<uint64_t>(Counts[index], left) : left;
  }
  uint32_t RowsInImage(size_t band, uint32_t y0, uint32_t height) const {
    return std::min(BandRows[band], height - y0);
  }
  // The bytes a block of the band starting at row y0 decodes to: strips end with the image;
  // tiles are stored whole even past its edges.
  uint64_t Bytes(size_t band, uint32_t y0, uint32_t height) const {
    return static_cast<uint64_t>(Tiled ? BandRows[band] : RowsInImage(band, y0, height)) * BlockRowBytes;
  }
};

// How the file's samples become the bitmap's pixels.
struct TTIFFGraphic::TConversion {
  TPixelFormat Format = TPixelFormat::pfCustom;
  uint8_t Source = csUnknown;
  // The samples of a pixel the colour scheme uses, the leading ones; extra samples beyond them
  // (grey or palette with alpha, CMYK with alpha, RGB with two extra samples) are skipped.
  unsigned Kept = 1;
  bool Skips = false;  // Kept is below the stored samples
  bool Predictor = false;
};

// The buffers of the block loop, one per plane, reused from block to block.
struct TTIFFGraphic::TBlockWork {
  explicit TBlockWork(unsigned planes) : Buffers(planes), Reversed(planes), Block(planes), Rows(planes) {}
  std::vector<std::vector<uint8_t>> Buffers, Reversed;
  std::vector<uint8_t> Leading, Row;
  std::vector<const uint8_t*> Block, Rows;
  bool PlainRGB = false, IntoBitmap = false, ReverseBits = false;
  const char* FormatName = kName;
};

void TTIFFGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  ClearOnFailure(*this, [&] { LoadTIFF(data, size, kName); });
}

void TTIFFGraphic::LoadTIFF(const uint8_t* data, size_t size, const char* formatName) {
  StartLoad();
  if (!ReadImageProperties(data, size, 0)) Invalid(formatName);
  const TImageProperties& p = ImageProperties;
  FProgressRect = {0, 0, static_cast<int>(p.Width), 1};
  Progress(TProgressStage::psStarting, 0, "Preparing...");
  CheckFeatures();
  const TConversion c = SetUpConversion();
  const HPALETTE palette = MakePalette(formatName);
  const TLayout l = ReadLayout(size, formatName);
  const std::unique_ptr<TDecoder> decoder = MakeDecoder(l.BlockWidth);
  CheckStoredData(l, decoder != nullptr, formatName);
  if (decoder) decoder->DecodeInit();
  // Plain RGB strips write every byte of every row, or the load fails and the bitmap is dropped:
  // clearing it first would cost as much as decoding. Not while a progress handler may look at
  // rows still to come.
  const int w = static_cast<int>(p.Width), h = static_cast<int>(p.Height);
  static_cast<TBitmap&>(*this) =
      PlainRGB(l, c) && !OnProgress ? TBitmap::Uncleared(w, h, c.Format) : TBitmap(w, h, c.Format);
  if (palette) SetPalette(palette);
  DecodeBlocks(l, c, decoder.get(), data, size, formatName);
  if (decoder) decoder->DecodeEnd();
  Progress(TProgressStage::psEnding, 0, "");
}

void TTIFFGraphic::CheckFeatures() const {
  const TImageProperties& p = ImageProperties;
  // The compression is judged first: a file no decoder here reads is refused for that, whatever
  // else it holds.
  if (!CompressionReadable(p)) Unsupported(gesCompression);
  // Read as integers they would give a wrong picture without a word.
  if (FFloatSamples) Unsupported("Floating point samples are");
  // What is read as strips of whole rows has to be stored that way; JPEG strips are checked
  // against whole-width strips of interleaved samples.
  const bool jpeg = p.Compression == ctJPEG;
  if (jpeg && (p.Options & ioTiled) != 0) Unsupported("Tiled JPEG images are");
  if (jpeg && p.PlanarConfig == 2 && p.SamplesPerPixel > 1) Unsupported("Separate JPEG planes are");
  if (p.ColorScheme == csYCbCr && !jpeg && !(p.YCbCrSubSampling[0] == 1 && p.YCbCrSubSampling[1] == 1))
    Unsupported("Subsampled YCbCr is");
  if (p.Predictor == 2 && p.Compression != ctNone && p.BitsPerSample != 8 && p.BitsPerSample != 16)
    Unsupported("Horizontal prediction is");
}

TTIFFGraphic::TConversion TTIFFGraphic::SetUpConversion() {
  const TImageProperties& p = ImageProperties;
  const unsigned spp = p.SamplesPerPixel, bps = p.BitsPerSample;
  const bool jpeg = p.Compression == ctJPEG;
  TConversion c;
  c.Predictor = p.Predictor == 2 && p.Compression != ctNone;
  // Extra samples are skipped with the stored stride: always for grey and palette pixels, and for
  // colour pixels once there are more than the colour manager takes (it strides over one alpha
  // sample of RGB or L*a*b* itself). Samples beyond the scheme's that are not declared extra
  // leave the pixel as stored, which the colour manager refuses.
  const bool packedScheme = p.ColorScheme == csG || p.ColorScheme == csIndexed;
  const unsigned used = SchemeSamples(p.ColorScheme, spp);
  c.Skips = used < spp && spp - used <= FExtraSamples && (packedScheme || spp > 4);
  c.Kept = c.Skips ? used : spp;
  c.Source = jpeg && spp == 3 ? uint8_t(csBGR) : p.ColorScheme;
  uint8_t target = p.ColorScheme, targetSamples = 1;
  switch (p.ColorScheme) {
    case csRGBA: target = csBGRA, targetSamples = 4; break;
    case csRGB:
    case csCMY:
    case csCMYK:
    case csCIELab:
    case csYCbCr: target = csBGR, targetSamples = 3; break;
    default: break;
  }
  TColorManager& cm = ColorManager;
  cm.SourceOptions = (p.Options & ioBigEndian) != 0 ? coNeedByteSwap : 0;
  cm.TargetOptions = 0;
  if (p.ColorScheme == csCIELab) cm.SourceOptions |= coLabByteRange;
  const std::string sampleSize = "A sample size of " + std::to_string(bps) + " bits is";
  if (bps > 16) Unsupported(sampleSize.c_str());
  cm.SetSourceBits(static_cast<uint8_t>(bps));
  // Bitmaps hold 1, 4 or 8 bits a sample: packed values widen to the next of those, wider
  // samples are cut to 8 bits.
  cm.SetTargetBits(static_cast<uint8_t>(!packedScheme || bps > 4 ? 8 : bps == 1 ? 1 : 4));
  cm.SetSourceScheme(c.Source);
  cm.SetTargetScheme(target);
  cm.SetSourceSamples(static_cast<uint8_t>(c.Kept));
  cm.SetTargetSamples(targetSamples);
  if (p.ColorScheme == csYCbCr && !jpeg)
    cm.SetYCbCrSettings(GetFloatList(tagYCbCrCoefficients), p.YCbCrSubSampling[0], p.YCbCrSubSampling[1]);
  cm.SelectRowConverter();
  c.Format = cm.PixelFormatFor(1);
  if (c.Format == TPixelFormat::pfCustom || p.ColorScheme == csUnknown) Unsupported("The color format is");
  if (!cm.HasRowConverter()) Unsupported(sampleSize.c_str());
  return c;
}

HPALETTE TTIFFGraphic::MakePalette(const char* formatName) const {
  const TImageProperties& p = ImageProperties;
  if (p.ColorScheme == csG) return ColorManager.MakeGreyPalette((p.Options & ioMinIsWhite) != 0);
  if (p.ColorScheme != csIndexed) return nullptr;
  size_t i;
  if (p.BitsPerSample > 8 || !FindTag(tagColorMap, i)) Invalid(formatName);
  const size_t entries = size_t(1) << p.BitsPerSample;
  // The map holds red, green and blue thirds of 2^bits 16-bit values each.
  const TIFDEntry& e = FIFD[i];
  const uint8_t* map = ValuePointer(e, FData, FSize, TOrder{(p.Options & ioBigEndian) != 0});
  if (!map || FieldSize(e.DataType) != 2 || e.DataLength < 3 * entries) Invalid(formatName);
  const uint8_t* thirds[3] = {map, map + 2 * entries, map + 4 * entries};
  return ColorManager.MakeColourPalette({thirds, 3}, 6, entries, false);
}

TTIFFGraphic::TLayout TTIFFGraphic::ReadLayout(size_t size, const char* formatName) {
  TImageProperties& p = ImageProperties;
  const unsigned spp = p.SamplesPerPixel, bps = p.BitsPerSample;
  TLayout l;
  l.Tiled = (p.Options & ioTiled) != 0;
  l.Planes = p.PlanarConfig == 2 && spp > 1;
  l.FileSize = size;
  l.Offsets = GetValueList(l.Tiled ? tagTileOffsets : tagStripOffsets);
  l.Counts = GetValueList(l.Tiled ? tagTileByteCounts : tagStripByteCounts);
  l.RowSize = (static_cast<size_t>(p.BitsPerPixel) * p.Width + 7) / 8;
  p.BytesPerLine = static_cast<uint32_t>(l.RowSize);
  l.PlaneCount = l.Planes ? spp : 1;
  l.BlockSpp = l.Planes ? 1 : spp;
  l.BlockWidth = l.Tiled ? p.TileWidth : p.Width;
  // Tiles are multiples of 16 pixels each way; that also keeps packed pixels byte-aligned.
  if (l.Tiled && (p.TileWidth % 16 != 0 || p.TileLength % 16 != 0 ||
                  !ImageSizeAllowed(p.TileWidth, p.TileLength, static_cast<uint64_t>(bps) * spp)))
    Invalid(formatName);
  l.Across = l.Tiled ? (p.Width + l.BlockWidth - 1) / l.BlockWidth : 1;
  for (uint32_t y = 0; y < p.Height;) {
    const uint32_t h = l.Tiled ? p.TileLength : p.RowsPerStrip[std::min(l.BandRows.size(), p.RowsPerStrip.size() - 1)];
    l.BandRows.push_back(h);
    y += std::min(h, p.Height - y);
  }
  l.BlocksPerPlane = l.BandRows.size() * l.Across;
  if (l.Offsets.size() < l.BlocksPerPlane * l.PlaneCount) Invalid(formatName);
  l.BlockRowBytes = (static_cast<size_t>(l.BlockWidth) * bps * l.BlockSpp + 7) / 8;
  // A single plain strip whose byte count runs past the end of the file is sized from its rows,
  // as the other readers size it: writers that got the count wrong left files that load
  // everywhere else. Whether the rows are in the file is then checked like any strip's bytes.
  // Several strips, tiles and coded strips keep their counts and are refused, as tifftopnm
  // refuses them.
  if (!l.Tiled && p.Compression == ctNone && l.BlocksPerPlane * l.PlaneCount == 1 && !l.Counts.empty() &&
      l.Length(0) < l.Counts[0])
    l.Counts[0] = static_cast<uint32_t>(std::min<uint64_t>(l.Bytes(0, 0, p.Height), UINT32_MAX));
  return l;
}

std::unique_ptr<TDecoder> TTIFFGraphic::MakeDecoder(uint32_t blockWidth) {
  TImageProperties& p = ImageProperties;
  const bool reversed = (p.Options & ioReversed) != 0;
  switch (p.Compression) {
    case ctNone: return nullptr;
    case ctFax3: return std::make_unique<TCCITTFax3Decoder>(GetValue(tagT4Options, 0), blockWidth, false, reversed);
    case ctFaxRLE:
    case ctFaxRLEW:
      return std::make_unique<TCCITTMHDecoder>(GetValue(tagT4Options, 0), blockWidth, p.Compression == ctFaxRLEW,
                                               reversed);
    // Strips are whole streams: libdeflate inflates them faster, except strips of the predictor's
    // small differences that pack poorly: mostly literals of short codes, which igzip decodes
    // several at a time (both measured, on pictures and on noisy gradients).
    case ctLZ77: {
      auto z = std::make_unique<TLZ77Decoder>(1, true, true);
      if (p.Predictor == 2) z->SetWholeStreamsBelow(kIgzipPackedPermille);
      return z;
    }
    case ctPackedBits: return std::make_unique<TPackbitsRLEDecoder>();
    case ctThunderscan: return std::make_unique<TThunderDecoder>(blockWidth);
    case ctJPEG: p.JPEGTables = GetByteList(tagJPEGTables); return std::make_unique<TTIFFJPEGDecoder>(p, FPhotometric);
    default: Unsupported(gesCompression);
  }
}

void TTIFFGraphic::CheckStoredData(const TLayout& l, bool coded, const char* formatName) const {
  const TImageProperties& p = ImageProperties;
  // A block whose stated bytes run past the end of the file is a file cut short, whatever the
  // block would need of them.
  for (size_t i = 0; i < l.BlocksPerPlane * l.PlaneCount && i < l.Counts.size(); ++i)
    if (l.Offsets[i] > l.FileSize || l.Counts[i] > l.FileSize - l.Offsets[i]) throw EReadError("Stream read error");
  if (coded) {
    // No coding here makes more than about a thousand bytes of one (deflate: 1032): data far
    // too short for the picture is refused before the picture is allocated.
    uint64_t stored = 0;
    for (size_t i = 0; i < l.BlocksPerPlane * l.PlaneCount; ++i) stored += l.Length(i);
    if (static_cast<uint64_t>(l.RowSize) * p.Height > stored * 2048 + 65536) Invalid(formatName);
    return;
  }
  // Plain blocks are all there, each at its full size, before the picture is allocated.
  uint32_t y0 = 0;
  for (size_t band = 0; band < l.BandRows.size(); y0 += l.RowsInImage(band, y0, p.Height), ++band)
    for (size_t i = band * l.Across; i < (band + 1) * l.Across; ++i)
      for (unsigned plane = 0; plane < l.PlaneCount; ++plane)
        if (l.Length(plane * l.BlocksPerPlane + i) < l.Bytes(band, y0, p.Height)) Invalid(formatName);
}

bool TTIFFGraphic::PlainRGB(const TLayout& l, const TConversion& c) const {
  const TImageProperties& p = ImageProperties;
  return !l.Tiled && !l.Planes && p.BitsPerSample == 8 && p.SamplesPerPixel == 3 && c.Source == csRGB &&
         c.Format == TPixelFormat::pf24bit && (ColorManager.TargetOptions & coApplyGamma) == 0;
}

void TTIFFGraphic::DecodeBlocks(const TLayout& l, const TConversion& c, TDecoder* decoder, const uint8_t* data,
                                size_t size, const char* formatName) {
  TImageProperties& p = ImageProperties;
  TBlockWork w(l.PlaneCount);
  w.FormatName = formatName;
  // Strips of 8-bit RGB, the common case, skip the colour manager: the predictor and the swap to
  // BGR are one pass from a strip decoded into a buffer that stays in cache. A strip too large
  // for that is decoded straight into the bitmap where its rows lie end to end like the strip's.
  w.PlainRGB = PlainRGB(l, c);
  const size_t largest = static_cast<size_t>(*std::max_element(l.BandRows.begin(), l.BandRows.end())) * l.RowSize;
  w.IntoBitmap = w.PlainRGB && decoder && RowBytes() == l.RowSize && largest > kCachedStrip;
  // Fill order 2 stores every byte with its bits reversed, whatever the coding; the fax decoders
  // reverse them as they read.
  const bool fax = p.Compression == ctFaxRLE || p.Compression == ctFaxRLEW || p.Compression == ctFax3;
  w.ReverseBits = (p.Options & ioReversed) != 0 && !fax;
  if (c.Skips && !l.Planes) w.Leading.resize((static_cast<size_t>(l.BlockWidth) * p.BitsPerSample * c.Kept + 7) / 8);
  const TByteReader file(data, size, [formatName](const std::string&) { Invalid(formatName); });
  uint32_t y0 = 0;
  for (size_t band = 0; band < l.BandRows.size(); ++band) {
    const uint32_t rows = l.RowsInImage(band, y0, p.Height);
    const size_t want = l.Bytes(band, y0, p.Height);
    for (uint32_t bx = 0; bx < l.Across; ++bx) {
      for (unsigned plane = 0; plane < l.PlaneCount; ++plane) {
        const size_t index = plane * l.BlocksPerPlane + band * l.Across + bx;
        p.CurrentStrip = static_cast<uint32_t>(index);
        p.CurrentRow = y0;
        // Each strip or tile is read through a reader bounded to its own bytes.
        w.Block[plane] = ReadBlock(file.Sub(l.Offsets[index], l.Length(index), "strip"), w, decoder, want, y0, plane);
      }
      ConvertBlock(l, c, w, bx * l.BlockWidth, y0, rows);
    }
    for (uint32_t r = 0; r < rows; ++r) RowProgress(y0 + r, p.Height);
    y0 += rows;
  }
  p.CurrentRow = y0;
}

// The block's samples: where the file holds them when stored plain, else decoded into the plane's
// buffer or, for plain RGB, straight into the bitmap's rows.
const uint8_t* TTIFFGraphic::ReadBlock(const TByteReader& block, TBlockWork& w, TDecoder* decoder, size_t want,
                                       uint32_t y0, unsigned plane) {
  const uint8_t* stored = block.Data();
  if (w.ReverseBits) {
    w.Reversed[plane].resize(block.Size());
    std::transform(stored, stored + block.Size(), w.Reversed[plane].begin(), ReverseBits);
    stored = w.Reversed[plane].data();
  }
  if (!decoder) return stored;
  // Whatever the decoder leaves unwritten fails the length check below, so no clearing.
  if (!w.IntoBitmap) w.Buffers[plane].resize(want);
  uint8_t* const target = w.IntoBitmap ? ScanLine(static_cast<int>(y0)) : w.Buffers[plane].data();
  const uint8_t* src = stored;
  uint8_t* dst = target;
  decoder->Decode(src, dst, block.Size(), want);
  if (auto* z = dynamic_cast<TLZ77Decoder*>(decoder); z && z->ZLibResult() < 0)
    throw EGraphicCompression("LZ77 decompression error.");
  // Each strip or tile must decode to exactly its rows.
  if (decoder->LastOutput != want) Invalid(w.FormatName);
  return target;
}

void TTIFFGraphic::ConvertBlock(const TLayout& l, const TConversion& c, TBlockWork& w, uint32_t x0, uint32_t y0,
                                uint32_t rows) {
  const TImageProperties& p = ImageProperties;
  const uint32_t columns = std::min(l.BlockWidth, p.Width - x0);
  if (w.PlainRGB) {
    for (uint32_t r = 0; r < rows; ++r) {
      const uint8_t* src = w.Block[0] + r * l.BlockRowBytes;
      uint8_t* const dst = ScanLine(static_cast<int>(y0 + r));
      // Swapped in place, each sixteen-byte store overlaps the next load and holds it up until
      // the store is done; a copy of the row, still in cache, is swapped back at full speed.
      if (src == dst) {
        w.Row.assign(src, src + l.BlockRowBytes);
        src = w.Row.data();
      }
      if (c.Predictor)
        UndoPredictorSwapRGB8(src, dst, columns);
      else
        SwapRGB8(src, dst, columns);
    }
    return;
  }
  const TOrder o{(p.Options & ioBigEndian) != 0};
  const size_t targetBits = static_cast<size_t>(BitsPerPixel(c.Format));
  for (uint32_t r = 0; r < rows; ++r) {
    for (unsigned plane = 0; plane < l.PlaneCount; ++plane) {
      // The predictor comes only with compression, so the row is in our own buffer.
      if (c.Predictor)
        UndoPredictor(w.Buffers[plane].data() + r * l.BlockRowBytes, l.BlockWidth, l.BlockSpp, p.BitsPerSample, o);
      w.Rows[plane] = w.Block[plane] + r * l.BlockRowBytes;
    }
    std::span<const uint8_t* const> samples(w.Rows);
    if (c.Skips && l.Planes) {
      samples = samples.first(c.Kept);
    } else if (c.Skips) {
      LeadingSamples(w.Rows[0], columns, p.SamplesPerPixel, p.BitsPerSample, c.Kept, w.Leading.data());
      w.Rows[0] = w.Leading.data();
    }
    ColorManager.ConvertRow(samples, ScanLine(static_cast<int>(y0 + r)) + x0 * targetBits / 8, columns, 0xFF);
  }
}

// --- EPS ---

namespace {
constexpr uint8_t kEPSMagic[4] = {0xC5, 0xD0, 0xD3, 0xC6};
uint32_t LE32(const uint8_t* p) { return TOrder{false}.U32(p); }
}  // namespace

bool TEPSGraphic::CanLoad(const uint8_t* data, size_t size) const {
  return size >= 31 && std::memcmp(data, kEPSMagic, 4) == 0 && LE32(data + 20) >= 30 && LE32(data + 24) > 0;
}

void TEPSGraphic::LoadFromMemory(const uint8_t* data, size_t size) {
  StartLoad();
  if (size < 30 || std::memcmp(data, kEPSMagic, 4) != 0) Invalid("EPS");
  const uint64_t offset = LE32(data + 20), length = LE32(data + 24);
  if (offset > size) Invalid();
  // The TIFF runs for its stated length when that fits, else to the end of the file.
  const uint64_t avail = size - offset;
  const uint64_t tiffSize = length > 0 && length <= avail ? length : avail;
  ClearOnFailure(*this, [&] { LoadTIFF(data + offset, static_cast<size_t>(tiffSize), kName); });
}

const TGraphicClassRef& TIFFGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TTIFFGraphic>("TTIFFGraphic");
  return cls;
}

const TGraphicClassRef& EPSGraphicClass() {
  static const TGraphicClassRef cls = MakeFormatClass<TEPSGraphic>("TEPSGraphic");
  return cls;
}
