#pragma once
// The GIF picture class: the file's object tree (header, colour maps, frames and their
// extensions), reading and writing, frame bitmaps, drawing on a bitmap canvas and the painter
// thread that plays an animation.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "codecs/GIFStream.h"
#include "codecs/ImageFormats.h"
#include "imaging/ColorQuantizer.h"
#include "imaging/ColorReduction.h"
#include "platform/Bitmap.h"
#include "platform/PictureLoader.h"
#include "platform/Streams.h"

class TGIFImage;
class TGIFSubImage;
class TGIFPainter;

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

// Base of the header, the frames, the extensions and the trailer.
class TGIFItem {
 public:
  explicit TGIFItem(TGIFImage* AImage) : Image(AImage) {}
  virtual ~TGIFItem() = default;
  TGIFItem(const TGIFItem&) = delete;
  TGIFItem& operator=(const TGIFItem&) = delete;
  // The GIF version the item needs: 1 for 87a, 2 for 89a.
  virtual int GetVersion() const { return 1; }
  void Warning(int Severity, const std::string& Message) const;
  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
  TGIFImage* Image;
};

struct TGIFColor {
  uint8_t Red = 0, Green = 0, Blue = 0;
  bool operator==(const TGIFColor&) const = default;
};

class TGIFColorMap {
 public:
  virtual ~TGIFColorMap() = default;
  std::vector<TGIFColor> Data;  // Capacity entries; the first Count are in use
  int Count = 0;
  int Capacity = 0;
  bool Optimized = false;  // sorted by use

  void Clear();
  // Raises "Color table overflow" when the map already holds 256 colours.
  int Add(TColor Color);
  // Raises "Invalid color index".
  void Delete(int Index);
  TColor Colors(int Index) const;
  int BitsPerPixel() const { return GIFColorBits(static_cast<unsigned>(Count)); }
  // Count triplets (Count 2..256 checked by the caller).
  void LoadFromStream(TStream& Stream, int ACount);
  // Count triplets, then black up to 2^BitsPerPixel; nothing when empty.
  void SaveToStream(TStream& Stream) const;
  // One entry per colour, flags PC_NOCOLLAPSE; null when empty.
  HPALETTE MakePalette() const;
  std::function<void()> OnChanged;

 private:
  void SetCapacity(int ACount);
  void Changed() {
    if (OnChanged) OnChanged();
  }
};

class TGIFHeader : public TGIFItem {
 public:
  explicit TGIFHeader(TGIFImage* AImage);
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  // Sets the packed flags from the colour maps before writing.
  void Prepare();
  void Clear();
  uint16_t Width = 0, Height = 0;
  uint8_t Packed = 0, BackgroundColorIndex = 0, AspectRatio = 0;
  TGIFColorMap ColorMap;
};

class TGIFExtension : public TGIFItem {
 public:
  explicit TGIFExtension(TGIFSubImage* ASubImage);
  virtual uint8_t GetExtensionType() const = 0;
  int GetVersion() const override { return 2; }
  // Reads "!" and the label, checks both.
  void LoadFromStream(TStream& Stream) override;
  // Writes "!" and the label.
  void SaveToStream(TStream& Stream) override;
  virtual std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Owner) const = 0;
  TGIFSubImage* SubImage;
};

// Disposal methods of the graphic control extension.
enum TDisposalMethod : uint8_t { dmNone = 0, dmNoDisposal = 1, dmBackground = 2, dmPrevious = 3 };

class TGIFGraphicControlExtension : public TGIFExtension {
 public:
  explicit TGIFGraphicControlExtension(TGIFSubImage* ASubImage);
  ~TGIFGraphicControlExtension() override;
  uint8_t GetExtensionType() const override { return 0xF9; }
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Owner) const override;
  bool HasTransparency() const { return Packed & 1; }
  uint8_t Disposal() const { return (Packed >> 2) & 7; }
  uint8_t BlockSize = 4, Packed = 0;
  uint16_t Delay = 0;
  uint8_t TransparentColorIndex = 0, Terminator = 0;
};

class TGIFTextExtension : public TGIFExtension {
 public:
  using TGIFExtension::TGIFExtension;
  uint8_t GetExtensionType() const override { return 0x01; }
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Owner) const override;
  uint8_t Block[13] = {12};  // block size, grid, cell size, colours, as in the file
  std::vector<std::string> Lines;
};

class TGIFCommentExtension : public TGIFExtension {
 public:
  using TGIFExtension::TGIFExtension;
  uint8_t GetExtensionType() const override { return 0xFE; }
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Owner) const override;
  std::vector<std::string> Lines;
};

// An application extension whose data is kept as its sub-blocks.
class TGIFApplicationExtension : public TGIFExtension {
 public:
  using TGIFExtension::TGIFExtension;
  uint8_t GetExtensionType() const override { return 0xFF; }
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Owner) const override;
  virtual void LoadData(TStream& Stream);
  virtual void SaveData(TStream& Stream);
  uint8_t Identifier[11] = {};
  std::vector<std::vector<uint8_t>> Blocks;

 protected:
  template <class T>
  std::unique_ptr<T> CloneAs(TGIFSubImage* Owner) const {
    auto e = std::make_unique<T>(Owner);
    std::copy(std::begin(Identifier), std::end(Identifier), e->Identifier);
    e->Blocks = Blocks;
    return e;
  }
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
 public:
  using TGIFApplicationExtension::TGIFApplicationExtension;
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Owner) const override;
};

// The looping extension ("NETSCAPE2.0", "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
 public:
  explicit TGIFAppExtNSLoop(TGIFSubImage* ASubImage);
  void LoadData(TStream& Stream) override;
  void SaveData(TStream& Stream) override;
  std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Owner) const override;
  uint16_t Loops = 0;
  uint32_t BufferSize = 0;
};

// Extension classes as the two registries know them.
enum class TGIFExtensionKind { None, Text, GraphicControl, Comment, Application, UnknownApp, NSLoop };
// Registers a class for an extension label, or for an application identifier (11 bytes); later
// registrations are searched first.
void RegisterGIFExtension(uint8_t Label, TGIFExtensionKind Kind);
void RegisterGIFAppExtension(const char (&Identifier)[12], TGIFExtensionKind Kind);
// With the stream just after "!": the class that reads the extension; the stream is left where
// it was.
TGIFExtensionKind FindGIFExtension(TStream& Stream);

class TGIFSubImage : public TGIFItem {
 public:
  explicit TGIFSubImage(TGIFImage* AImage);
  ~TGIFSubImage() override;
  int GetVersion() const override;
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  void Clear();
  bool Empty() const { return Data.empty() || Width == 0 || Height == 0; }
  bool Interlaced() const { return Packed & 0x40; }
  // Local colours when there are any, else global ones, else the empty local map.
  const TGIFColorMap& ActiveColorMap() const;
  // The frame rendered into an 8-bit bitmap with its palette; built once; null when empty.
  const TBitmap* Bitmap();
  // 1-bit mask, bit set where the pixel is transparent; null when there is none.
  const TBitmap* Mask();
  HPALETTE Palette();
  void FreeBitmap();
  // A TBitmap receives the frame's bitmap.
  void AssignTo(TBitmap& Dest);
  // A copy of another frame (extensions and all).
  void Assign(const TGIFSubImage& Source);
  // A frame from a bitmap: paletted bitmaps keep their indices, others are reduced with the
  // image's colour reduction.
  void Assign(const TBitmap& Source);
  // Draws into Rect of the canvas, scaled from the logical screen to Rect.
  void Draw(TBitmap& Canvas, const TRect& Rect, bool DoTransparent, bool DoTile);
  TRect ScaleRect(const TRect& Rect) const;
  void SetGraphicControlExtension(TGIFGraphicControlExtension* Ext);

  uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
  uint8_t Packed = 0;
  TGIFColorMap ColorMap;
  std::vector<uint8_t> Data;  // one colour index per pixel, rows top to bottom
  std::vector<std::unique_ptr<TGIFExtension>> Extensions;
  bool Transparent = false;
  bool NeedMask = true;
  TGIFGraphicControlExtension* GraphicControlExtension = nullptr;

 private:
  void LoadExtensions(TStream& Stream);
  void Decompress(TStream& Stream);
  void Compress(TStream& Stream);
  void BuildBitmap();
  // The frame as an 8-bit bitmap into Dest (moved in whole at the end); with MaskOut, the
  // transparency mask too when some pixel is transparent.
  void Render(TBitmap& Dest, std::unique_ptr<TBitmap>* MaskOut);
  std::unique_ptr<TBitmap> FBitmap, FMask;
  HPALETTE FPalette;
};

class TGIFTrailer : public TGIFItem {
 public:
  using TGIFItem::TGIFItem;
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
};

// Draw options (bits of a 16-bit set).
enum TGIFDrawOption : uint16_t {
  doThreaded = 0x0001,  // paint in a separate thread
  doTransparent = 0x0002,
  doAnimate = 0x0004,
  doLoop = 0x0008,
  doLoopCount = 0x0010,  // honour the loop count of a looping extension
  doValidateCanvas = 0x0020,
  doDirectDraw = 0x0040,  // draw on the canvas, without the buffer bitmap
  doClearOnLoop = 0x0080,
  doTile = 0x0100,
  doDither = 0x0200,
  doAutoDither = 0x0400  // dither only on displays of 8 or fewer bits per pixel
};
constexpr uint16_t GIFDefaultDrawOptions = 0x060F;

using TGIFWarningEvent = std::function<void(TGIFImage& Sender, int Severity, const std::string& Message)>;
using TGIFProgressEvent = std::function<void(TProgressStage Stage, int Percent, bool Redraw, const std::string& Msg)>;

// Unit-wide settings: the display has a palette (8 or fewer bits per pixel), so automatic
// dithering applies. X11 true-colour displays have none.
extern bool GIFPaletteDisplay;

class TGIFImage {
 public:
  TGIFImage();
  ~TGIFImage();
  TGIFImage(const TGIFImage&) = delete;
  TGIFImage& operator=(const TGIFImage&) = delete;

  void Clear();
  // Replaces the content by the file's. Raises GIFException on a fatal problem (the stream goes
  // back to where the GIF began); the rest are warnings.
  void LoadFromStream(TStream& Stream);
  void LoadFromFile(const std::string& FileName);
  // Raises "Unsupported GIF version" when there is no frame.
  void SaveToStream(TStream& Stream);
  // Through a temporary file and a rename.
  void SaveToFile(const std::string& FileName);
  // The first frame at the logical screen's size; an empty image leaves Dest as it is.
  void AssignTo(TBitmap& Dest);
  void Assign(const TGIFImage* Source);
  // Clears the image and adds one frame made from the bitmap.
  void Assign(const TBitmap& Source);
  TGIFSubImage& Add(const TBitmap& Source);
  TGIFSubImage& Add(std::unique_ptr<TGIFSubImage> Frame);
  bool Empty() const { return Images.empty(); }
  int Width() const { return Header.Width; }
  int Height() const { return Header.Height; }
  void SetWidth(int Value);
  void SetHeight(int Value);
  HPALETTE GetPalette();
  void SetPalette(HPALETTE Value);
  bool Dithering() const;
  // The first frame drawn at the logical screen's size, cached; null when there are no frames.
  const TBitmap* Bitmap();
  // Draws the image into Rect of Canvas: one frame directly, or through the cached bitmap that
  // a painter animates.
  void Draw(TBitmap& Canvas, const TRect& Rect);
  // Stops and joins every painter.
  void StopPainters();
  void Warning(int Severity, const std::string& Message);
  void Progress(TProgressStage Stage, int Percent, bool Redraw, const std::string& Msg) {
    if (OnProgress) OnProgress(Stage, Percent, Redraw, Msg);
  }
  void Changed() {
    if (OnChange) OnChange();
  }
  int PainterCount() const;
  TGIFPainter* Painter() const { return FPainter; }

  std::vector<std::unique_ptr<TGIFSubImage>> Images;
  TGIFHeader Header;
  uint16_t DrawOptions = GIFDefaultDrawOptions;
  TReductionMethod ColorReduction = TReductionMethod::rdWeb216;
  int ReductionBits = 8;
  TDitherKind DitherMode = TDitherKind::dtNearest;
  uint8_t Compression = 0;   // 0 LZW, 1 run-length
  int AnimationSpeed = 100;  // percent
  std::optional<TColor> DrawBackgroundColor;
  TGIFWarningEvent OnWarning;
  TGIFProgressEvent OnProgress;
  std::function<void()> OnChange;
  // Painter hooks, called on the GUI thread. They must not clear or free the image: the painter
  // that calls them would be joined from inside its own call.
  std::function<void()> OnStartPaint, OnLoopPaint, OnBeforePaint, OnAfterPaint, OnEndPaint;

 private:
  friend class TGIFPainter;
  void FreeBitmap();
  // The first frame at the logical screen's size.
  void RenderFirstFrame(TBitmap& Dest);
  void StopPainter(TGIFPainter* P);
  void PutCachedBitmap(TBitmap& Canvas, const TRect& Rect);
  bool FDrawing = false, FGettingPalette = false;
  HPALETTE FPalette;
  std::unique_ptr<TBitmap> FBitmap;
  mutable std::mutex FPainterLock;
  std::vector<std::unique_ptr<TGIFPainter>> FPainters;  // owned; joined when stopped
  TGIFPainter* FPainter = nullptr;                      // the one drawing into FBitmap
};

// Nearest-neighbour copy of Src into Dst's rectangle R (clipped to Dst). With a mask, pixels
// whose mask bit is set are left as they are.
void StretchDrawBitmap(TBitmap& Dst, const TRect& R, const TBitmap& Src, const TBitmap* Mask = nullptr);
// The same from the rectangle SR of Src.
void CopyRect(TBitmap& Dst, const TRect& DR, const TBitmap& Src, const TRect& SR, const TBitmap* Mask = nullptr);

// The picture class "TGIFImage": a file's first frame at the logical screen's size.
const TGraphicClassRef& GIFGraphicClass();
