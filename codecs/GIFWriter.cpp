// Writing GIF files: header, frames, extensions, trailer, and the two encoders.
#include "codecs/GIFWriter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/GIFImage.h"

namespace {
constexpr int kMaxCode = 4096;
}

// --- Sub-block writer ---

TGIFWriter::~TGIFWriter() {
  try {
    if (FWritten) Flush();
  } catch (...) {
    // The caller flushes before it lets go; a failure here was already reported there.
  }
}

size_t TGIFWriter::Read(void*, size_t) { throw Exception("Invalid stream operation"); }
int64_t TGIFWriter::Seek(int64_t, TSeekOrigin) { throw Exception("Invalid stream operation"); }

size_t TGIFWriter::Write(const void* Buffer, size_t Count) {
  const auto* p = static_cast<const uint8_t*>(Buffer);
  for (size_t i = 0; i < Count; ++i) WriteByte(p[i]);
  return Count;
}

void TGIFWriter::WriteBlock() {
  FBuffer[0] = static_cast<uint8_t>(FFill - 1);
  FTarget.WriteBuffer(FBuffer, static_cast<size_t>(FFill));
  FFill = 1;
}

void TGIFWriter::Flush() {
  if (FFill > 1) WriteBlock();
}

// --- Hash table ---

void THashTable::Clear() {
  std::fill(std::begin(FSlots), std::end(FSlots), 0xFFFFFFFFu);
  std::fill(std::begin(FCache), std::end(FCache), 0xFFFFFFFFu);
}

int THashTable::Find(uint32_t Key) const {
  const int start = Slot(Key);
  int s = start;
  for (int n = 0; n < kSize; ++n) {
    const uint32_t v = FSlots[s];
    if (v == 0xFFFFFFFFu) return -1;
    if ((v >> 12) == Key) return static_cast<int>(v & 0xFFF);
    s = NextSlot(s);
    if (s == start) break;
  }
  return -1;
}

bool THashTable::Insert(uint32_t Key, int Code) {
  // The probe sequence is a cycle shorter than the table: when it is full, give up rather than
  // walk it for ever.
  const int start = Slot(Key);
  int s = start;
  for (int n = 0; n < kSize; ++n) {
    if (FSlots[s] == 0xFFFFFFFFu) {
      FSlots[s] = FCache[CacheSlot(Key)] = (Key << 12) | static_cast<uint32_t>(Code & 0xFFF);
      return true;
    }
    s = NextSlot(s);
    if (s == start) break;
  }
  return false;
}

// --- Encoders ---

void TGIFEncoder::Check(uint8_t C) const {
  if (C >= FColors) GIFError("Color not in color table");
}

void TGIFEncoder::Output(int Code) {
  FAccumulator |= static_cast<uint32_t>(Code) << FBits;
  FBits += FCodeSize;
  while (FBits >= 8) {
    FWriter.WriteByte(static_cast<uint8_t>(FAccumulator));
    FAccumulator >>= 8;
    FBits -= 8;
  }
}

void TGIFEncoder::FlushBits() {
  if (FBits > 0) FWriter.WriteByte(static_cast<uint8_t>(FAccumulator));
  FAccumulator = 0;
  FBits = 0;
}

void TGIFEncoder::Encode(const uint8_t* Pixels, int Width, int Height, bool Interlaced) {
  FClear = 1 << FInitialBits;
  FEnd = FClear + 1;
  Begin();
  auto row = [&](int y) { Row(Pixels + static_cast<size_t>(y) * Width, Width); };
  if (!Interlaced) {
    for (int y = 0; y < Height; ++y) row(y);
  } else {
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = kStart[pass]; y < Height; y += kStep[pass]) row(y);
  }
  End();
  FlushBits();
}

void TLZWEncoder::ClearTable() {
  FTable.Clear();
  FFreeCode = FClear + 2;
  FCleared = true;
  Write(FClear);
}

// A code at the current size; then the size follows the table as the decoder will see it.
void TLZWEncoder::Write(int Code) {
  Output(Code);
  if (FCleared) {
    FCodeSize = FInitialBits + 1;
    FLimit = (1 << FCodeSize) - 1;
    FCleared = false;
  } else if (FFreeCode > FLimit) {
    ++FCodeSize;
    FLimit = FCodeSize == 12 ? kMaxCode : (1 << FCodeSize) - 1;
  }
}

void TLZWEncoder::Begin() {
  FCodeSize = FInitialBits + 1;
  FLimit = (1 << FCodeSize) - 1;
  FPrefix = -1;
  ClearTable();
}

inline void TLZWEncoder::Pixel(uint8_t C) {
  if (FPrefix < 0) {
    FPrefix = C;
    return;
  }
  const uint32_t key = (static_cast<uint32_t>(FPrefix) << 8) | C;
  const int code = FTable.Lookup(key);
  if (code >= 0) {
    FPrefix = code;
    return;
  }
  Write(FPrefix);
  FPrefix = C;
  if (FFreeCode >= kMaxCode - 1 || !FTable.Insert(key, FFreeCode))
    ClearTable();
  else
    ++FFreeCode;
}

void TLZWEncoder::Row(const uint8_t* Pixels, int Count) {
  for (int x = 0; x < Count; ++x) {
    Check(Pixels[x]);
    Pixel(Pixels[x]);
  }
}

void TLZWEncoder::End() {
  if (FPrefix >= 0) Write(FPrefix);
  Write(FEnd);
}

// The decoder's view: it makes an entry for every code but the first after a clear, and reads
// wider codes once its next entry needs them.
void TRLEEncoder::Emit(int Code) {
  Output(Code);
  if (FFirstAfterClear) {
    FFirstAfterClear = false;
    return;
  }
  if (FFreeCode < kMaxCode && ++FFreeCode >= (1 << FCodeSize) && FCodeSize < 12) ++FCodeSize;
}

void TRLEEncoder::Clear() {
  Output(FClear);
  FCodeSize = FInitialBits + 1;
  FFreeCode = FClear + 2;
  FFirstAfterClear = true;
}

void TRLEEncoder::Begin() {
  FCodeSize = FInitialBits + 1;
  Clear();
  FRunPixel = -1;
  FRunLength = 0;
}

void TRLEEncoder::WriteRun() {
  int64_t left = FRunLength;
  int want = 1;  // the pixel itself first
  while (left > 0) {
    // A full table makes no more codes; starting afresh is cheaper than single pixels.
    if (FFreeCode >= kMaxCode - 1) {
      Clear();
      want = 1;
    }
    if (want == 1 || left < want) {
      Emit(FRunPixel);
      left -= 1;
      want = 2;
    } else {
      // The code about to be made: the previous string and its first pixel again.
      Emit(FFreeCode);
      left -= want;
      ++want;
    }
  }
}

inline void TRLEEncoder::Pixel(uint8_t C) {
  if (C == FRunPixel) {
    ++FRunLength;
    return;
  }
  if (FRunLength > 0) WriteRun();
  FRunPixel = C;
  FRunLength = 1;
}

void TRLEEncoder::Row(const uint8_t* Pixels, int Count) {
  for (int x = 0; x < Count; ++x) {
    Check(Pixels[x]);
    Pixel(Pixels[x]);
  }
}

void TRLEEncoder::End() {
  if (FRunLength > 0) WriteRun();
  Output(FEnd);
}

// --- Items ---

void TGIFExtension::SaveToStream(TStream& Stream) {
  Stream.WriteU8('!');
  Stream.WriteU8(GetExtensionType());
}

void TGIFGraphicControlExtension::SaveToStream(TStream& Stream) {
  TGIFExtension::SaveToStream(Stream);
  const uint8_t d[6] = {
      BlockSize, Packed, static_cast<uint8_t>(Delay), static_cast<uint8_t>(Delay >> 8), TransparentColorIndex,
      Terminator};
  Stream.WriteBuffer(d, 6);
}

void TGIFTextExtension::SaveToStream(TStream& Stream) {
  TGIFExtension::SaveToStream(Stream);
  Stream.WriteBuffer(Block, sizeof Block);
  GIFWriteStrings(Stream, Lines);
}

void TGIFCommentExtension::SaveToStream(TStream& Stream) {
  TGIFExtension::SaveToStream(Stream);
  GIFWriteStrings(Stream, Lines);
}

void TGIFApplicationExtension::SaveToStream(TStream& Stream) {
  TGIFExtension::SaveToStream(Stream);
  Stream.WriteU8(11);
  Stream.WriteBuffer(Identifier, 11);
  SaveData(Stream);
}

void TGIFApplicationExtension::SaveData(TStream& Stream) {
  for (const auto& b : Blocks) {
    if (b.empty()) continue;
    Stream.WriteU8(static_cast<uint8_t>(b.size()));
    Stream.WriteBuffer(b.data(), b.size());
  }
  Stream.WriteU8(0);
}

void TGIFAppExtNSLoop::SaveData(TStream& Stream) {
  Stream.WriteU8(3);
  Stream.WriteU8(1);
  Stream.WriteU16(Loops);
  if (BufferSize != 0) {
    Stream.WriteU8(5);
    Stream.WriteU8(2);
    Stream.WriteU32(BufferSize);
  }
  Stream.WriteU8(0);
}

void TGIFHeader::SaveToStream(TStream& Stream) {
  int version = 0;
  if (Image)
    for (const auto& f : Image->Images) version = std::max(version, f->GetVersion());
  if (version == 0) GIFError("Unsupported GIF version");
  Stream.WriteBuffer(version == 1 ? "GIF87a" : "GIF89a", 6);
  Prepare();
  const uint8_t d[7] = {static_cast<uint8_t>(Width),
                        static_cast<uint8_t>(Width >> 8),
                        static_cast<uint8_t>(Height),
                        static_cast<uint8_t>(Height >> 8),
                        Packed,
                        BackgroundColorIndex,
                        AspectRatio};
  Stream.WriteBuffer(d, 7);
  if (Packed & 0x80) ColorMap.SaveToStream(Stream);
}

void TGIFSubImage::Compress(TStream& Stream) {
  const TGIFColorMap& map = ActiveColorMap();
  const int bits = map.BitsPerPixel();
  const int initial = std::max(bits, 2);
  Stream.WriteU8(static_cast<uint8_t>(initial));
  {
    TGIFWriter writer(Stream);
    std::unique_ptr<TGIFEncoder> encoder;
    if (Image && Image->Compression == 1)
      encoder = std::make_unique<TRLEEncoder>(writer, initial, 1 << bits);
    else
      encoder = std::make_unique<TLZWEncoder>(writer, initial, 1 << bits);
    encoder->Encode(Data.data(), Width, Height, Interlaced());
    writer.Flush();
  }
  Stream.WriteU8(0);
}

void TGIFSubImage::SaveToStream(TStream& Stream) {
  for (const auto& e : Extensions) e->SaveToStream(Stream);
  if (Empty()) return;
  // Frames built by hand must hold one index per pixel.
  if (Data.size() != static_cast<size_t>(Width) * Height) GIFError("Invalid image dimensions");
  Packed &= 0x40;
  if (ColorMap.Count > 0) {
    Packed |= 0x80 | static_cast<uint8_t>((ColorMap.BitsPerPixel() - 1) & 7);
    if (ColorMap.Optimized) Packed |= 0x20;
  }
  const uint8_t d[10] = {0x2C,
                         static_cast<uint8_t>(Left),
                         static_cast<uint8_t>(Left >> 8),
                         static_cast<uint8_t>(Top),
                         static_cast<uint8_t>(Top >> 8),
                         static_cast<uint8_t>(Width),
                         static_cast<uint8_t>(Width >> 8),
                         static_cast<uint8_t>(Height),
                         static_cast<uint8_t>(Height >> 8),
                         Packed};
  Stream.WriteBuffer(d, 10);
  ColorMap.SaveToStream(Stream);
  Compress(Stream);
}

void TGIFTrailer::SaveToStream(TStream& Stream) { Stream.WriteU8(';'); }

void TGIFImage::SaveToStream(TStream& Stream) {
  Progress(TProgressStage::psStarting, 0, false, "Saving...");
  try {
    Header.SaveToStream(Stream);
    const size_t n = Images.size();
    for (size_t i = 0; i < n; ++i) {
      Images[i]->SaveToStream(Stream);
      Progress(TProgressStage::psRunning, static_cast<int>(i * 100 / n), false, "Saving...");
    }
    TGIFTrailer trailer(this);
    trailer.SaveToStream(Stream);
  } catch (...) {
    Progress(TProgressStage::psEnding, 0, false, "Saving...");
    throw;
  }
  Progress(TProgressStage::psEnding, 100, false, "Saving...");
}

void TGIFImage::SaveToFile(const std::string& FileName) {
  TSafeFileStream s(FileName);
  SaveToStream(s);
  s.Commit();
}
