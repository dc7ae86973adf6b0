#pragma once
// Writing GIF data: the sub-block writer, the hash table of the LZW encoder, and the two
// encoders (LZW, and run-length codes that any LZW decoder reads).
#include <cstdint>

#include "platform/Streams.h"

// An output-only stream that packs what is written into data sub-blocks of up to 255 bytes.
class TGIFWriter : public TStream {
 public:
  explicit TGIFWriter(TStream& Target) : FTarget(Target) {}
  // Flushes what is left; call Flush first to see write errors.
  ~TGIFWriter() override;
  // Reading and seeking raise "Invalid stream operation".
  size_t Read(void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  size_t Write(const void* Buffer, size_t Count) override;
  void WriteByte(uint8_t B) {
    FBuffer[FFill++] = B;
    FWritten = true;
    if (FFill == 256) WriteBlock();
  }
  // Writes the partial sub-block.
  void Flush();

 private:
  void WriteBlock();
  TStream& FTarget;
  uint8_t FBuffer[256] = {};  // [0] is the count byte
  int FFill = 1;
  bool FWritten = false;
};

// The encoder's string table: 8009 slots of (key << 12 | code), key = prefix * 256 + byte, and
// in front of it a direct-mapped cache of 4096 entries that answers a key seen before with no
// division: inside a long run of one string after another, nearly every lookup is such a key.
class THashTable {
 public:
  static constexpr int kSize = 8009;
  THashTable() { Clear(); }
  void Clear();
  // The code stored for Key, or -1.
  int Lookup(uint32_t Key) {
    uint32_t& cached = FCache[CacheSlot(Key)];
    if ((cached >> 12) == Key && cached != 0xFFFFFFFFu) return static_cast<int>(cached & 0xFFF);
    const int code = Find(Key);
    if (code >= 0) cached = (Key << 12) | static_cast<uint32_t>(code);
    return code;
  }
  // False when every slot of the key's probe cycle is taken.
  bool Insert(uint32_t Key, int Code);

 private:
  static int Slot(uint32_t Key) { return static_cast<int>(((Key >> 4) ^ Key) % kSize); }
  static int NextSlot(int S) {
    if (S == 0) return kSize - 1;
    const int n = 2 * S - kSize;
    return n >= 0 ? n : 2 * S;
  }
  static uint32_t CacheSlot(uint32_t Key) { return (Key ^ (Key >> 12)) & 4095; }
  int Find(uint32_t Key) const;
  uint32_t FSlots[kSize];
  uint32_t FCache[4096];
};

// Codes of one frame. Colors is the number of indices the colour table allows; a pixel at or
// above it raises "Color not in color table".
class TGIFEncoder {
 public:
  TGIFEncoder(TGIFWriter& AWriter, int AInitialBits, int AColors)
      : FWriter(AWriter), FInitialBits(AInitialBits), FColors(AColors) {}
  virtual ~TGIFEncoder() = default;
  // Pixels holds Width x Height indices, rows top to bottom; interlaced frames are written in
  // the four passes.
  void Encode(const uint8_t* Pixels, int Width, int Height, bool Interlaced);

 protected:
  virtual void Begin() = 0;
  // One row's pixels, each checked against the colour table first.
  virtual void Row(const uint8_t* Pixels, int Count) = 0;
  virtual void End() = 0;
  void Check(uint8_t C) const;
  void Output(int Code);
  void FlushBits();
  TGIFWriter& FWriter;
  int FInitialBits, FColors;
  int FClear = 0, FEnd = 0, FCodeSize = 0, FFreeCode = 0, FLimit = 0;
  uint32_t FAccumulator = 0;
  int FBits = 0;
};

class TLZWEncoder : public TGIFEncoder {
 public:
  using TGIFEncoder::TGIFEncoder;

 protected:
  void Begin() override;
  void Row(const uint8_t* Pixels, int Count) override;
  void End() override;

 private:
  void Pixel(uint8_t C);
  void ClearTable();
  void Write(int Code);
  THashTable FTable;
  int FPrefix = -1;
  bool FCleared = false;
};

// Runs of one colour as the codes a decoder builds for them: a pixel, then the code about to
// be made (two pixels), the next (three), and so on; a clear code before the table fills.
class TRLEEncoder : public TGIFEncoder {
 public:
  using TGIFEncoder::TGIFEncoder;

 protected:
  void Begin() override;
  void Row(const uint8_t* Pixels, int Count) override;
  void End() override;

 private:
  void Pixel(uint8_t C);
  void Emit(int Code);
  void Clear();
  void WriteRun();
  int FRunPixel = -1;
  int64_t FRunLength = 0;
  bool FFirstAfterClear = true;
};
