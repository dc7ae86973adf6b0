#pragma once
// The picture format registry and the base class of every image format reader.
//
// TImageFormatGraphic is a TBitmap that knows how to read one file format. Readers decode from
// memory (LoadFromMemory); files and streams are read whole and handed to it. TFileFormatList
// registers every class, by extension, with the platform picture loader: the open-picture
// dialog's filter and the loading of imported textures come from that one table.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "codecs/GraphicColor.h"
#include "platform/Bitmap.h"
#include "platform/PictureLoader.h"

class TStream;

// Largest picture any reader accepts: a side of 32768 pixels and 2^28 pixels in all.
inline constexpr uint64_t kMaxImageSide = 32768;
inline constexpr uint64_t kMaxImagePixels = 1ull << 28;
// Whether a picture of this size and depth is within the limits (computed in 64 bits).
bool ImageSizeAllowed(uint64_t width, uint64_t height, uint64_t bitsPerPixel);

// TImageProperties.Options bits.
constexpr uint8_t ioTiled = 1;
constexpr uint8_t ioBigEndian = 2;
constexpr uint8_t ioMinIsWhite = 4;
constexpr uint8_t ioReversed = 8;
constexpr uint8_t ioUseGamma = 16;

// Compression codes.
enum TCompressionType : uint8_t {
  ctUnknown = 0,
  ctNone,
  ctRLE,
  ctPackedBits,
  ctLZW,
  ctFax3,
  ctFaxRLE,
  ctFax4,
  ctFaxRLEW,
  ctLZ77,
  ctJPEG,
  ctOJPEG,
  ctThunderscan,
  ctNext,
  ctIT8CTPAD,
  ctIT8LW,
  ctIT8MP,
  ctIT8BL,
  ctPixarFilm,
  ctPixarLog,
  ctDCS,
  ctJBIG,
  ctPCDHuffmann,
};

// Format-type bits of a registration.
constexpr uint8_t ftAnimation = 2;  // layered image
constexpr uint8_t ftMultiImage = 4;
constexpr uint8_t ftRaster = 8;
constexpr uint8_t ftVector = 16;

struct TImageProperties {
  uint32_t Version = 0;
  uint8_t Options = 0;
  uint32_t Width = 0, Height = 0;
  uint8_t ColorScheme = csUnknown;
  uint8_t BitsPerSample = 0, SamplesPerPixel = 0, BitsPerPixel = 0;
  uint8_t Compression = ctUnknown;
  float FileGamma = 1.0f;
  float XResolution = 0, YResolution = 0;
  bool Interlaced = false;
  uint32_t FirstIFD = 0;
  uint32_t PlanarConfig = 0;
  uint32_t CurrentRow = 0;
  uint32_t CurrentStrip = 0;
  uint32_t TileWidth = 0, TileLength = 0;
  std::vector<uint32_t> RowsPerStrip;
  std::vector<uint8_t> YCbCrSubSampling;
  std::vector<uint8_t> JPEGTables;
  uint32_t Predictor = 0;
  // Bytes of one decoded row (TIFF), and PNG's filter method byte.
  uint32_t BytesPerLine = 0;
  uint8_t FilterMode = 0;
};

enum class TProgressStage { psStarting, psRunning, psEnding };
struct TProgressRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};
using TProgressEvent =
    std::function<void(TProgressStage stage, int percent, const TProgressRect& rect, const std::string& message)>;

class TImageFormatGraphic : public TBitmap {
 public:
  TImageFormatGraphic() = default;
  virtual ~TImageFormatGraphic() = default;
  TImageFormatGraphic(const TImageFormatGraphic&) = default;
  TImageFormatGraphic& operator=(const TImageFormatGraphic&) = default;

  TColorManager ColorManager;
  TImageProperties ImageProperties;
  TProgressEvent OnProgress;

  // Whether the data holds this format.
  virtual bool CanLoad(const uint8_t* data, size_t size) const;
  bool CanLoad(const std::string& fileName) const;
  // Fills ImageProperties for image imageIndex; true when the data holds a readable image.
  // The base clears the record and answers false.
  virtual bool ReadImageProperties(const uint8_t* data, size_t size, unsigned imageIndex);
  // Decodes the picture. Raises EInvalidGraphic (or the decoders' errors) on bad data; the
  // classes that say so leave the bitmap empty instead.
  virtual void LoadFromMemory(const uint8_t* data, size_t size) = 0;
  void LoadFromFile(const std::string& fileName);
  // Reads from the stream's position to its end.
  void LoadFromStream(TStream& stream);
  // Copies the properties, then the picture.
  void Assign(const TImageFormatGraphic& other);

  // The progress event, for the reader's steps. Running stage after row (0-based) of height
  // rows moves the progress rectangle down a row.
  // Const so that writers report too; the rectangle is only the report's position.
  void Progress(TProgressStage stage, int percent, const std::string& message) const;
  void RowProgress(uint32_t row, uint32_t height) const;

 protected:
  // Releases the current picture and starts a load.
  void StartLoad();
  mutable TProgressRect FProgressRect;
};

// The shared routines of the readers.
[[noreturn]] void GraphicError(const std::string& message);
// "Cannot load image. Invalid or unexpected %s image format." and its kin, with the format name.
[[noreturn]] void GraphicErrorFmt(const char* format, const std::string& a);
[[noreturn]] void GraphicErrorFmt(const char* format, const std::string& a, const std::string& b);
void SwapShort(uint16_t* p, size_t count);
void SwapLong(uint32_t* p, size_t count);
uint32_t SwapLong(uint32_t v);
// The bits of a byte in the opposite order (TIFF's fill order 2).
uint8_t ReverseBits(uint8_t b);
// Undoes TIFF's horizontal predictor on one row: for count pixels after the first, every byte
// gets the byte one pixel before it added.
void ApplyHorizontalPredictor8(uint8_t* row, size_t count, size_t bytesPerPixel);
// Photo-CD's 2x upsampler of one plane: width and height of the source, rowLength bytes a row;
// the buffer holds 2*height rows of at least 2*width bytes, the source in its first rows.
void Upsample(uint32_t width, uint32_t height, size_t rowLength, uint8_t* plane);

inline constexpr const char* gesInvalidImage = "Cannot load image. Invalid or unexpected %s image format.";
inline constexpr const char* gesUnsupportedFeature = "Cannot load image. %s not supported for %s files.";
inline constexpr const char* gesCompression = "The compression scheme is";
inline constexpr const char* gesRegistration = "Attempt to register %s twice.";

// The registry of format classes by extension, mirrored into the platform picture loader.
class TFileFormatList {
 public:
  struct TClassEntry {
    TGraphicClassRef GraphicClass;
    std::string Description;
    int Count = 0;
  };
  struct TExtensionEntry {
    std::string Extension;
    std::string Description;
    uint8_t FormatTypes = 0;
    TClassEntry* ClassEntry = nullptr;
  };

  explicit TFileFormatList(TPictureLoader& loader) : FLoader(loader) {}
  ~TFileFormatList() { Clear(); }
  TFileFormatList(const TFileFormatList&) = delete;
  TFileFormatList& operator=(const TFileFormatList&) = delete;

  // The unnamed flag is stored nowhere.
  void RegisterFileFormat(const std::string& extension, const std::string& common, const std::string& individual,
                          uint8_t formatTypes, bool replace, bool, const TGraphicClassRef& graphicClass);
  // With an empty extension, removes every extension of the class.
  void UnregisterFileFormat(const std::string& extension, const TGraphicClassRef& graphicClass);
  int FindExtension(const std::string& extension) const;
  int FindGraphicClass(const TGraphicClassRef& graphicClass) const;
  void Clear();

  const std::vector<std::unique_ptr<TExtensionEntry>>& Extensions() const { return FExtensions; }
  const std::vector<std::unique_ptr<TClassEntry>>& Classes() const { return FClasses; }

 private:
  void Release(TClassEntry* entry);

  TPictureLoader& FLoader;
  std::vector<std::unique_ptr<TClassEntry>> FClasses;
  std::vector<std::unique_ptr<TExtensionEntry>> FExtensions;
};

// Fills a registry with the program's registration table.
void RegisterImageFormats(TFileFormatList& list);
// The program's registry over PictureLoader(), filled on the first call: every picture class,
// the platform's and the codecs', is registered from here.
TFileFormatList& FileFormatList();
inline void InitImageFormats() { FileFormatList(); }

// A picture class for the loader whose files are read by a TImageFormatGraphic.
template <class T>
TGraphicClassRef MakeFormatClass(const char* className) {
  return MakeGraphicClass(className, [](const std::string& fileName) -> TBitmap {
    T graphic;
    graphic.LoadFromFile(fileName);
    return TBitmap(std::move(static_cast<TBitmap&>(graphic)));
  });
}
