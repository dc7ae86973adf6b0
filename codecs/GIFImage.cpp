// The GIF image class: colour maps, palettes, frame bitmaps and masks, first-frame rendering,
// copying, conversion of bitmaps into frames, and drawing.
#include "codecs/GIFImage.h"

#include <algorithm>
#include <cstring>

#include "codecs/GIFPainter.h"
#include "imaging/ColorLookup.h"
#include "imaging/DIB.h"
#include "imaging/Dither.h"

bool GIFPaletteDisplay = false;

namespace {

// a * b / c rounded, for the non-negative sizes of drawing.
int MulDiv(int a, int b, int c) {
  if (c == 0) return a;
  const int64_t p = static_cast<int64_t>(a) * b;
  return static_cast<int>((p >= 0 ? p + c / 2 : p - c / 2) / c);
}

// Colour of every index of a paletted source (its own palette or the format's default).
std::vector<TColor> ColorTable(const TBitmap& Src) {
  std::vector<TColor> t(256, clBlack);
  HPALETTE pal = Src.Palette() ? Src.Palette() : DefaultPalette(Src.PixelFormat());
  if (pal)
    for (size_t i = 0; i < pal->Entries.size() && i < 256; ++i)
      t[i] = RGBColor(pal->Entries[i].peRed, pal->Entries[i].peGreen, pal->Entries[i].peBlue);
  return t;
}

uint32_t IndexAt(const uint8_t* Row, int X, int Bits) {
  switch (Bits) {
    case 1: return (Row[X >> 3] >> (7 - (X & 7))) & 1u;
    case 4: return (X & 1) ? (Row[X >> 1] & 0x0Fu) : (Row[X >> 1] >> 4);
    default: return Row[X];
  }
}

// Nearest-neighbour copy of SR of Src into DR of Dst, clipped to Dst; mask bits set are skipped.
void Blit(TBitmap& Dst, const TRect& DR, const TBitmap& Src, const TRect& SR, const TBitmap* Mask) {
  if (Src.Empty() || DR.Width() <= 0 || DR.Height() <= 0 || SR.Width() <= 0 || SR.Height() <= 0) return;
  const int x0 = std::max(DR.Left, 0), x1 = std::min(DR.Right, Dst.Width());
  const int y0 = std::max(DR.Top, 0), y1 = std::min(DR.Bottom, Dst.Height());
  if (x0 >= x1 || y0 >= y1) return;
  const bool paletted = IsPaletteFormat(Src.PixelFormat());
  const int bits = BitsPerPixel(Src.PixelFormat());
  const std::vector<TColor> table = paletted ? ColorTable(Src) : std::vector<TColor>();
  const bool dst24 = Dst.PixelFormat() == TPixelFormat::pf24bit;
  std::vector<int> sxs(static_cast<size_t>(x1 - x0));
  for (int x = x0; x < x1; ++x) {
    const int sx = SR.Left + static_cast<int>(static_cast<int64_t>(x - DR.Left) * SR.Width() / DR.Width());
    sxs[static_cast<size_t>(x - x0)] = std::clamp(sx, 0, Src.Width() - 1);
  }
  for (int y = y0; y < y1; ++y) {
    const int sy = std::clamp(SR.Top + static_cast<int>(static_cast<int64_t>(y - DR.Top) * SR.Height() / DR.Height()),
                              0, Src.Height() - 1);
    const uint8_t* srow = Src.ScanLine(sy);
    const uint8_t* mrow = Mask ? Mask->ScanLine(sy) : nullptr;
    uint8_t* drow = Dst.ScanLine(y);
    for (int x = x0; x < x1; ++x) {
      const int sx = sxs[static_cast<size_t>(x - x0)];
      if (mrow && ((mrow[sx >> 3] >> (7 - (sx & 7))) & 1u)) continue;
      TColor c;
      if (paletted) {
        c = table[IndexAt(srow, sx, bits)];
      } else if (Src.PixelFormat() == TPixelFormat::pf24bit) {
        const uint8_t* p = srow + sx * 3;
        c = RGBColor(p[2], p[1], p[0]);
      } else {
        c = Src.Pixel(sx, sy);
      }
      if (dst24) {
        uint8_t* p = drow + x * 3;
        p[0] = GetBValue(c);
        p[1] = GetGValue(c);
        p[2] = GetRValue(c);
      } else {
        Dst.SetPixel(x, y, c);
      }
    }
  }
}

// Repeats Src at its own size across R of Dst.
void TileDraw(TBitmap& Dst, const TRect& R, const TBitmap& Src, const TBitmap* Mask) {
  if (Src.Empty()) return;
  for (int y = R.Top; y < R.Bottom; y += Src.Height())
    for (int x = R.Left; x < R.Right; x += Src.Width()) {
      const int w = std::min(Src.Width(), R.Right - x), h = std::min(Src.Height(), R.Bottom - y);
      Blit(Dst, {x, y, x + w, y + h}, Src, {0, 0, w, h}, Mask);
    }
}

}  // namespace

void StretchDrawBitmap(TBitmap& Dst, const TRect& R, const TBitmap& Src, const TBitmap* Mask) {
  Blit(Dst, R, Src, {0, 0, Src.Width(), Src.Height()}, Mask);
}

void CopyRect(TBitmap& Dst, const TRect& DR, const TBitmap& Src, const TRect& SR, const TBitmap* Mask) {
  Blit(Dst, DR, Src, SR, Mask);
}

void TGIFItem::Warning(int Severity, const std::string& Message) const {
  if (Image) Image->Warning(Severity, Message);
}

// --- Colour maps ---

void TGIFColorMap::Clear() {
  Data.clear();
  Count = Capacity = 0;
  Optimized = false;
  Changed();
}

void TGIFColorMap::SetCapacity(int ACount) {
  if (ACount < Capacity) return;
  Capacity = ACount <= 16 ? 16 : std::min(256, (ACount + 31) / 32 * 32);
  Data.resize(static_cast<size_t>(Capacity));
}

int TGIFColorMap::Add(TColor Color) {
  if (Count >= 256) GIFError("Color table overflow");
  SetCapacity(Count + 1);
  Data[static_cast<size_t>(Count)] = {GetRValue(Color), GetGValue(Color), GetBValue(Color)};
  Changed();
  return Count++;
}

void TGIFColorMap::Delete(int Index) {
  if (Index < 0 || Index >= Count) GIFError("Invalid color index");
  Data.erase(Data.begin() + Index);
  Data.push_back({});
  --Count;
  Changed();
}

TColor TGIFColorMap::Colors(int Index) const {
  if (Index < 0 || Index >= Count) return clBlack;
  const TGIFColor& c = Data[static_cast<size_t>(Index)];
  return RGBColor(c.Red, c.Green, c.Blue);
}

void TGIFColorMap::LoadFromStream(TStream& Stream, int ACount) {
  SetCapacity(ACount);
  GIFReadBuffer(Stream, Data.data(), static_cast<size_t>(ACount) * 3);
  Count = ACount;
  Changed();
}

void TGIFColorMap::SaveToStream(TStream& Stream) const {
  if (Count == 0) return;
  std::vector<uint8_t> out(size_t{3} << BitsPerPixel(), 0);
  std::memcpy(out.data(), Data.data(), static_cast<size_t>(Count) * 3);
  Stream.WriteBuffer(out.data(), out.size());
}

HPALETTE TGIFColorMap::MakePalette() const {
  if (Count == 0) return nullptr;
  std::vector<TPaletteEntry> e(static_cast<size_t>(Count));
  for (int i = 0; i < Count; ++i) {
    const TGIFColor& c = Data[static_cast<size_t>(i)];
    e[static_cast<size_t>(i)] = {c.Red, c.Green, c.Blue, PC_NOCOLLAPSE};
  }
  return CreatePalette(std::move(e));
}

static_assert(sizeof(TGIFColor) == 3, "colour maps are read and written as triplets");

// --- Header ---

TGIFHeader::TGIFHeader(TGIFImage* AImage) : TGIFItem(AImage) {}

void TGIFHeader::Clear() {
  Width = Height = 0;
  BackgroundColorIndex = AspectRatio = 0;
  ColorMap.Clear();
  Prepare();
}

void TGIFHeader::Prepare() {
  int bpp = ColorMap.BitsPerPixel();
  int resolution = bpp;
  if (Image)
    for (const auto& f : Image->Images) resolution = std::max(resolution, f->ColorMap.BitsPerPixel());
  Packed = 0;
  if (ColorMap.Count > 0) {
    Packed |= 0x80;
    if (ColorMap.Optimized) Packed |= 0x08;
  }
  Packed |= static_cast<uint8_t>(((std::max(resolution, 1) - 1) & 7) << 4);
  // The size code must describe the table that is written, not a frame's larger one.
  Packed |= static_cast<uint8_t>((std::max(bpp, 1) - 1) & 7);
}

// --- Extensions ---

TGIFExtension::TGIFExtension(TGIFSubImage* ASubImage)
    : TGIFItem(ASubImage ? ASubImage->Image : nullptr), SubImage(ASubImage) {}

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {
  if (SubImage && !SubImage->GraphicControlExtension) SubImage->SetGraphicControlExtension(this);
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  if (SubImage && SubImage->GraphicControlExtension == this) {
    if (HasTransparency()) SubImage->Transparent = false;
    SubImage->SetGraphicControlExtension(nullptr);
  }
}

std::unique_ptr<TGIFExtension> TGIFGraphicControlExtension::Clone(TGIFSubImage* Owner) const {
  auto e = std::make_unique<TGIFGraphicControlExtension>(Owner);
  e->BlockSize = BlockSize;
  e->Packed = Packed;
  e->Delay = Delay;
  e->TransparentColorIndex = TransparentColorIndex;
  e->Terminator = Terminator;
  return e;
}

std::unique_ptr<TGIFExtension> TGIFTextExtension::Clone(TGIFSubImage* Owner) const {
  auto e = std::make_unique<TGIFTextExtension>(Owner);
  std::memcpy(e->Block, Block, sizeof Block);
  e->Lines = Lines;
  return e;
}

std::unique_ptr<TGIFExtension> TGIFCommentExtension::Clone(TGIFSubImage* Owner) const {
  auto e = std::make_unique<TGIFCommentExtension>(Owner);
  e->Lines = Lines;
  return e;
}

std::unique_ptr<TGIFExtension> TGIFApplicationExtension::Clone(TGIFSubImage* Owner) const {
  return CloneAs<TGIFApplicationExtension>(Owner);
}

std::unique_ptr<TGIFExtension> TGIFUnknownAppExtension::Clone(TGIFSubImage* Owner) const {
  return CloneAs<TGIFUnknownAppExtension>(Owner);
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* ASubImage) : TGIFApplicationExtension(ASubImage) {
  std::memcpy(Identifier, "NETSCAPE2.0", 11);
}

std::unique_ptr<TGIFExtension> TGIFAppExtNSLoop::Clone(TGIFSubImage* Owner) const {
  auto e = CloneAs<TGIFAppExtNSLoop>(Owner);
  e->Loops = Loops;
  e->BufferSize = BufferSize;
  return e;
}

// --- Frames ---

TGIFSubImage::TGIFSubImage(TGIFImage* AImage) : TGIFItem(AImage) {
  ColorMap.OnChanged = [this] { FPalette = nullptr; };
}

TGIFSubImage::~TGIFSubImage() {
  // Extensions detach themselves from the frame while it still exists.
  Extensions.clear();
}

void TGIFSubImage::SetGraphicControlExtension(TGIFGraphicControlExtension* Ext) { GraphicControlExtension = Ext; }

int TGIFSubImage::GetVersion() const { return (ColorMap.Optimized || !Extensions.empty()) ? 2 : 1; }

void TGIFSubImage::Clear() {
  Extensions.clear();
  GraphicControlExtension = nullptr;
  ColorMap.Clear();
  Data.clear();
  Data.shrink_to_fit();
  Left = Top = Width = Height = 0;
  Packed = 0;
  Transparent = false;
  FreeBitmap();
}

void TGIFSubImage::FreeBitmap() {
  FBitmap.reset();
  FMask.reset();
  FPalette = nullptr;
  NeedMask = true;
}

const TGIFColorMap& TGIFSubImage::ActiveColorMap() const {
  if (ColorMap.Count > 0 || !Image || Image->Header.ColorMap.Count == 0) return ColorMap;
  return Image->Header.ColorMap;
}

HPALETTE TGIFSubImage::Palette() {
  if (FBitmap && FBitmap->Palette()) return FBitmap->Palette();
  if (FPalette) return FPalette;
  if (Image && Image->Dithering())
    FPalette = WebPalette216();
  else if (ColorMap.Count == 0)
    FPalette = Image ? Image->GetPalette() : nullptr;
  else
    FPalette = ColorMap.MakePalette();
  if (!FPalette) GIFError("No global or local color table defined");
  return FPalette;
}

const TBitmap* TGIFSubImage::Bitmap() {
  if (!FBitmap && !Empty()) BuildBitmap();
  return FBitmap.get();
}

const TBitmap* TGIFSubImage::Mask() {
  Bitmap();
  return FMask.get();
}

void TGIFSubImage::BuildBitmap() {
  auto bmp = std::make_unique<TBitmap>();
  std::unique_ptr<TBitmap> mask;
  Render(*bmp, NeedMask && !FMask ? &mask : nullptr);
  if (mask) FMask = std::move(mask);
  NeedMask = false;
  FBitmap = std::move(bmp);
}

void TGIFSubImage::Render(TBitmap& Dest, std::unique_ptr<TBitmap>* MaskOut) {
  if (Image) Image->Progress(TProgressStage::psStarting, 0, false, "Rendering...");
  const HPALETTE pal = Palette();
  const bool dither = Image && Image->Dithering();
  const int transparentIndex =
      Transparent && GraphicControlExtension ? GraphicControlExtension->TransparentColorIndex : -1;
  const bool makeMask = MaskOut && transparentIndex >= 0;
  TBitmap bmp;
  std::unique_ptr<TBitmap> mask;
  bool anyMasked = false;
  if (makeMask) {
    mask = std::make_unique<TBitmap>(Width, Height, TPixelFormat::pf1bit);
    mask->SetPalette(CreatePalette({{0, 0, 0, 0}, {255, 255, 255, 0}}));
  }
  {
    TDIBWriter writer(bmp, TPixelFormat::pf8bit, Width, Height, pal);
    std::unique_ptr<TNetscapeColorLookup> lookup;
    std::unique_ptr<TFloydSteinbergDitherer> ditherer;
    uint8_t transparentFill = 0;
    const TGIFColorMap& map = ActiveColorMap();
    if (dither) {
      lookup = std::make_unique<TNetscapeColorLookup>();
      ditherer = std::make_unique<TFloydSteinbergDitherer>(Width, *lookup);
      if (transparentIndex >= 0) {
        const TColor t = map.Colors(transparentIndex);
        auto r = [](int v, int d) { return (v + d / 2) / d; };
        transparentFill =
            static_cast<uint8_t>(r(36 * GetRValue(t), 51) + r(6 * GetGValue(t), 51) + GetBValue(t) / 51 + 1);
      }
    }
    for (int y = 0; y < Height; ++y) {
      uint8_t* row = writer.ScanLine(y);
      const uint8_t* src = Data.data() + static_cast<size_t>(y) * Width;
      if (!dither) {
        std::memcpy(row, src, Width);
      } else {
        for (int x = ditherer->Column; x >= 0 && x < Width; x = ditherer->Column) {
          if (src[x] == transparentIndex) {
            row[x] = transparentFill;
            ditherer->NextColumn();
            continue;
          }
          const TColor c = map.Colors(src[x]);
          uint8_t r, g, b;
          row[x] = ditherer->Dither(GetRValue(c), GetGValue(c), GetBValue(c), r, g, b);
        }
        ditherer->NextLine();
      }
      if (mask) {
        uint8_t* m = mask->ScanLine(y);
        for (int x = 0; x < Width; ++x)
          if (src[x] == transparentIndex) {
            m[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
            anyMasked = true;
          }
      }
      if (Image && (y & 31) == 0) Image->Progress(TProgressStage::psRunning, y * 100 / Height, false, "Rendering...");
    }
    writer.Finish();
  }
  // Moved, not copied: a failure above leaves Dest as it was.
  Dest = std::move(bmp);
  if (anyMasked) *MaskOut = std::move(mask);
  if (Image) Image->Progress(TProgressStage::psEnding, 100, false, "Rendering...");
}

void TGIFSubImage::AssignTo(TBitmap& Dest) {
  // Without a cached bitmap the frame is rendered straight into Dest: a picture imported once
  // keeps no second copy of itself.
  if (FBitmap)
    Dest = *FBitmap;
  else if (!Empty())
    Render(Dest, nullptr);
}

void TGIFSubImage::Assign(const TGIFSubImage& Source) {
  Clear();
  Left = Source.Left;
  Top = Source.Top;
  Width = Source.Width;
  Height = Source.Height;
  Packed = Source.Packed;
  ColorMap.Data = Source.ColorMap.Data;
  ColorMap.Count = Source.ColorMap.Count;
  ColorMap.Capacity = Source.ColorMap.Capacity;
  ColorMap.Optimized = Source.ColorMap.Optimized;
  Data = Source.Data;
  for (const auto& e : Source.Extensions) Extensions.push_back(e->Clone(this));
  Transparent = Source.Transparent;
}

void TGIFSubImage::Assign(const TBitmap& Source) {
  if (Image) Image->Progress(TProgressStage::psStarting, 0, false, "Converting...");
  if (Source.Width() > 0xFFFF || Source.Height() > 0xFFFF) GIFError("Invalid image dimensions");
  const TBitmap* indexed = &Source;
  std::unique_ptr<TBitmap> reduced;
  if (!IsPaletteFormat(Source.PixelFormat())) {
    TBitmap work = Source;
    TReductionMethod method = Image ? Image->ColorReduction : TReductionMethod::rdWeb216;
    // A frame needs colour indices: "no reduction" still has to reduce.
    if (method == TReductionMethod::rdNone) method = TReductionMethod::rdOptimal;
    reduced = ReduceBitmapColors(work, method, Image ? Image->DitherMode : TDitherKind::dtNearest,
                                 Image ? Image->ReductionBits : 8, Image ? Image->GetPalette() : nullptr);
    if (reduced->PixelFormat() != TPixelFormat::pf8bit || reduced->Empty())
      GIFError("Failed to convert the picture to colour indices");
    indexed = reduced.get();
  }
  Clear();
  const int w = indexed->Width(), h = indexed->Height();
  const int bits = BitsPerPixel(indexed->PixelFormat());
  Width = static_cast<uint16_t>(w);
  Height = static_cast<uint16_t>(h);
  Data.resize(static_cast<size_t>(w) * h);
  int used = 1;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = indexed->ScanLine(y);
    uint8_t* out = Data.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      out[x] = static_cast<uint8_t>(IndexAt(row, x, bits));
      used = std::max(used, out[x] + 1);
    }
  }
  HPALETTE pal = indexed->Palette() ? indexed->Palette() : DefaultPalette(indexed->PixelFormat());
  // Only the colours the pixels reach are kept, and at least two (a table has 2 to 256).
  const int colors = std::max(2, std::min(used, std::max(PaletteEntryCount(pal), 1)));
  for (int i = 0; i < colors; ++i) {
    const TPaletteEntry e = i < PaletteEntryCount(pal) ? pal->Entries[static_cast<size_t>(i)] : TPaletteEntry{};
    ColorMap.Add(RGBColor(e.peRed, e.peGreen, e.peBlue));
  }
  if (Image) Image->Progress(TProgressStage::psEnding, 100, false, "Converting...");
}

TRect TGIFSubImage::ScaleRect(const TRect& Rect) const {
  int sw = Image ? Image->Width() : 0, sh = Image ? Image->Height() : 0;
  if (sw == 0) sw = Rect.Width();
  if (sh == 0) sh = Rect.Height();
  return {MulDiv(Left, Rect.Width(), sw) + Rect.Left, MulDiv(Top, Rect.Height(), sh) + Rect.Top,
          MulDiv(Left + Width, Rect.Width(), sw) + Rect.Left, MulDiv(Top + Height, Rect.Height(), sh) + Rect.Top};
}

void TGIFSubImage::Draw(TBitmap& Canvas, const TRect& Rect, bool DoTransparent, bool DoTile) {
  const TBitmap* bmp = Bitmap();
  if (!bmp) return;
  const TBitmap* mask = DoTransparent ? Mask() : nullptr;
  const TRect r = ScaleRect(Rect);
  if (DoTile)
    TileDraw(Canvas, r, *bmp, mask);
  else
    StretchDrawBitmap(Canvas, r, *bmp, mask);
}

// --- The image ---

TGIFImage::TGIFImage() : Header(this) {
  Header.ColorMap.OnChanged = [this] {
    FPalette = nullptr;
    FreeBitmap();
  };
  Clear();
}

TGIFImage::~TGIFImage() {
  StopPainters();
  Images.clear();
}

void TGIFImage::Clear() {
  StopPainters();
  FreeBitmap();
  Images.clear();
  Header.Clear();
  FPalette = nullptr;
}

void TGIFImage::Warning(int Severity, const std::string& Message) {
  if (OnWarning) OnWarning(*this, Severity, Message);
}

bool TGIFImage::Dithering() const {
  return (DrawOptions & doDither) && (!(DrawOptions & doAutoDither) || GIFPaletteDisplay);
}

HPALETTE TGIFImage::GetPalette() {
  if (FBitmap && FBitmap->Palette()) return FBitmap->Palette();
  if (FPalette) return FPalette;
  if (Dithering()) return FPalette = WebPalette216();
  if (Header.ColorMap.Count > 0) return FPalette = Header.ColorMap.MakePalette();
  // The first frame's palette may ask for the image's again.
  if (FGettingPalette) GIFError("No global or local color table defined");
  if (Images.empty()) return nullptr;
  FGettingPalette = true;
  try {
    FPalette = Images[0]->Palette();
  } catch (...) {
    FGettingPalette = false;
    throw;
  }
  FGettingPalette = false;
  return FPalette;
}

void TGIFImage::SetPalette(HPALETTE Value) {
  FPalette = std::move(Value);
  FreeBitmap();
}

void TGIFImage::SetWidth(int Value) {
  for (const auto& f : Images)
    if (Value < f->Left + f->Width) GIFError("Image width too small for contained frames");
  Header.Width = static_cast<uint16_t>(std::clamp(Value, 0, 0xFFFF));
  FreeBitmap();
  Changed();
}

void TGIFImage::SetHeight(int Value) {
  for (const auto& f : Images)
    if (Value < f->Top + f->Height) GIFError("Image height too small for contained frames");
  Header.Height = static_cast<uint16_t>(std::clamp(Value, 0, 0xFFFF));
  FreeBitmap();
  Changed();
}

void TGIFImage::FreeBitmap() {
  if (FPainter && FPainter->Canvas() == FBitmap.get()) StopPainter(FPainter);
  FBitmap.reset();
}

const TBitmap* TGIFImage::Bitmap() {
  if (FBitmap) return FBitmap.get();
  if (Images.empty()) return nullptr;
  auto bmp = std::make_unique<TBitmap>();
  RenderFirstFrame(*bmp);
  FBitmap = std::move(bmp);
  return FBitmap.get();
}

void TGIFImage::RenderFirstFrame(TBitmap& Dest) {
  TGIFSubImage& first = *Images[0];
  if (first.Width == Header.Width && first.Height == Header.Height) {
    if (first.Empty())
      Dest = TBitmap();
    else
      first.AssignTo(Dest);
  } else {
    TBitmap bmp;
    HPALETTE pal = GetPalette();
    bmp.SetSize(Header.Width, Header.Height);
    bmp.SetPalette(pal);
    first.Draw(bmp, {0, 0, Header.Width, Header.Height}, false, false);
    Dest = std::move(bmp);
  }
}

void TGIFImage::AssignTo(TBitmap& Dest) {
  // Without a cached rendering the first frame goes straight into Dest (the import route reads
  // a picture once and keeps only Dest).
  if (FBitmap)
    Dest = *FBitmap;
  else if (!Images.empty())
    RenderFirstFrame(Dest);
}

void TGIFImage::Assign(const TGIFImage* Source) {
  if (Source == this) return;
  Clear();
  if (!Source) return;
  Header.Width = Source->Header.Width;
  Header.Height = Source->Header.Height;
  Header.BackgroundColorIndex = Source->Header.BackgroundColorIndex;
  Header.AspectRatio = Source->Header.AspectRatio;
  Header.ColorMap.Data = Source->Header.ColorMap.Data;
  Header.ColorMap.Count = Source->Header.ColorMap.Count;
  Header.ColorMap.Capacity = Source->Header.ColorMap.Capacity;
  Header.ColorMap.Optimized = Source->Header.ColorMap.Optimized;
  const size_t n = Source->Images.size();
  for (size_t i = 0; i < n; ++i) {
    auto f = std::make_unique<TGIFSubImage>(this);
    f->Assign(*Source->Images[i]);
    Images.push_back(std::move(f));
    Progress(TProgressStage::psRunning, static_cast<int>(i * 100 / n), false, "Copying...");
  }
  Header.Prepare();
  Changed();
}

void TGIFImage::Assign(const TBitmap& Source) {
  Clear();
  Add(Source);
}

TGIFSubImage& TGIFImage::Add(const TBitmap& Source) {
  auto f = std::make_unique<TGIFSubImage>(this);
  f->Assign(Source);
  return Add(std::move(f));
}

TGIFSubImage& TGIFImage::Add(std::unique_ptr<TGIFSubImage> Frame) {
  if (!Frame) GIFError("Object type not supported for operation");
  // Painters read the frame list from their thread: none may run while it changes.
  StopPainters();
  FreeBitmap();
  Frame->Image = this;
  for (auto& e : Frame->Extensions) e->Image = this;
  Header.Width = std::max<uint16_t>(Header.Width, static_cast<uint16_t>(std::min(Frame->Left + Frame->Width, 0xFFFF)));
  Header.Height =
      std::max<uint16_t>(Header.Height, static_cast<uint16_t>(std::min(Frame->Top + Frame->Height, 0xFFFF)));
  Images.push_back(std::move(Frame));
  Changed();
  return *Images.back();
}

int TGIFImage::PainterCount() const {
  std::lock_guard<std::mutex> lock(FPainterLock);
  return static_cast<int>(FPainters.size());
}

void TGIFImage::StopPainter(TGIFPainter* P) {
  if (!P) return;
  P->Stop();
  std::lock_guard<std::mutex> lock(FPainterLock);
  if (FPainter == P) FPainter = nullptr;
  std::erase_if(FPainters, [P](const std::unique_ptr<TGIFPainter>& p) { return p.get() == P; });
}

void TGIFImage::StopPainters() {
  std::vector<std::unique_ptr<TGIFPainter>> painters;
  {
    std::lock_guard<std::mutex> lock(FPainterLock);
    painters.swap(FPainters);
    FPainter = nullptr;
  }
  for (auto& p : painters) p->Terminate();
  for (auto& p : painters) p->Stop();
}

void TGIFImage::PutCachedBitmap(TBitmap& Canvas, const TRect& Rect) {
  if (!FBitmap) return;
  if (DrawOptions & doTile)
    TileDraw(Canvas, Rect, *FBitmap, nullptr);
  else
    StretchDrawBitmap(Canvas, Rect, *FBitmap);
}

void TGIFImage::Draw(TBitmap& Canvas, const TRect& Rect) {
  if (FDrawing || Images.empty()) return;
  FDrawing = true;
  struct TDone {
    bool& Flag;
    ~TDone() { Flag = false; }
  } done{FDrawing};
  if (Images.size() == 1 || !(DrawOptions & doAnimate)) {
    Images[0]->Draw(Canvas, Rect, DrawOptions & doTransparent, DrawOptions & doTile);
    return;
  }
  if (FBitmap && !(DrawOptions & doDirectDraw)) {
    PutCachedBitmap(Canvas, Rect);
    return;
  }
  if (FPainter && FPainter->Canvas() == &Canvas && FPainter->Rect() == Rect) return;
  StopPainter(FPainter);
  FreeBitmap();
  TBitmap* target = &Canvas;
  TRect area = Rect;
  if (!(DrawOptions & doDirectDraw)) {
    auto cached = std::make_unique<TBitmap>(Width(), Height(), TPixelFormat::pf24bit);
    cached->SetPalette(GetPalette());
    // The animation is laid over what the canvas shows under the rectangle.
    Blit(*cached, {0, 0, Width(), Height()}, Canvas, Rect, nullptr);
    FBitmap = std::move(cached);
    target = FBitmap.get();
    area = {0, 0, Width(), Height()};
  }
  TGIFPainter* painter;
  {
    std::lock_guard<std::mutex> lock(FPainterLock);
    FPainters.push_back(std::make_unique<TGIFPainter>(*this, *target, area, DrawOptions));
    painter = FPainter = FPainters.back().get();
  }
  painter->AnimationSpeed = AnimationSpeed;
  if (DrawOptions & doThreaded) {
    painter->Start();
  } else {
    painter->Run();
    StopPainter(painter);
  }
  if (!(DrawOptions & doDirectDraw)) PutCachedBitmap(Canvas, Rect);
}

const TGraphicClassRef& GIFGraphicClass() {
  static const TGraphicClassRef cls = MakeGraphicClass("TGIFImage", [](const std::string& fileName) {
    // The error names the file, as the other picture classes' do.
    try {
      TGIFImage g;
      g.LoadFromFile(fileName);
      TBitmap b;
      g.AssignTo(b);
      return b;
    } catch (const GIFException& e) {
      throw GIFException(e.Message + " (" + fileName + ")");
    }
  });
  return cls;
}
