// The LZW decoder of one frame. The frame's sub-blocks are gathered first, so codes run across
// sub-blocks of any length (1-byte sub-blocks are legal) and nothing past the frame is read.
#include <cstring>

#include "codecs/GIFImage.h"

namespace {

// A frame may leave pixels undecoded (they keep the fill value), but a huge frame that its data
// could never fill is refused instead of allocated.
constexpr uint64_t kFreePixels = uint64_t{1} << 24;
constexpr uint64_t kMaxPixels = uint64_t{1} << 30;
constexpr int kTableSize = 4096;

struct TSubBlocks {
  std::vector<uint8_t> Bytes;
  bool ZeroLengthSeen = false;
};

TSubBlocks ReadSubBlocks(TStream& Stream, const TGIFSubImage& Frame) {
  TSubBlocks r;
  uint8_t count;
  // The chain is walked first, so the data goes into one buffer of its size: growing it block
  // by block would hold up to twice the data at once.
  const int64_t start = Stream.Position();
  size_t total = 0;
  while (Stream.Read(&count, 1) == 1 && count != 0) {
    total += count;
    Stream.Seek(count, TSeekOrigin::soCurrent);
  }
  Stream.SetPosition(start);
  r.Bytes.reserve(total);
  while (Stream.Read(&count, 1) == 1) {
    if (count == 0) {
      r.ZeroLengthSeen = true;
      break;
    }
    const size_t old = r.Bytes.size();
    r.Bytes.resize(old + count);
    const size_t got = Stream.Read(r.Bytes.data() + old, count);
    if (got < count) {
      r.Bytes.resize(old + got);
      Frame.Warning(1, "Premature end of data");
      break;
    }
  }
  return r;
}

// Decodes into Out (Count pixels in stream order); returns the number of pixels written. Each
// code's string is written straight into place, last byte first, from the table's chain; only a
// string that runs past the end goes through the stack.
uint64_t DecodeLZW(const TGIFSubImage& Frame, int S, const TSubBlocks& In, uint8_t* Out, uint64_t Count) {
  uint16_t prefix[kTableSize];
  uint8_t suffix[kTableSize];
  uint16_t length[kTableSize];
  uint8_t stack[kTableSize + 1];

  const int clear = 1 << S;
  const int end = clear + 1;
  int codeSize = S + 1, freeCode = clear + 2, limit = 2 * clear;
  const uint8_t* data = In.Bytes.data();
  const size_t bytes = In.Bytes.size();
  size_t pos = 0;
  uint64_t acc = 0;
  int bits = 0;
  // Next code, or -1 when the data is used up.
  auto readCode = [&]() -> int {
    if (bits < codeSize) {
      // Refill whole bytes while there is room in the accumulator.
      while (bits <= 56 && pos < bytes) {
        acc |= static_cast<uint64_t>(data[pos++]) << bits;
        bits += 8;
      }
      if (bits < codeSize) {
        if (In.ZeroLengthSeen) Frame.Warning(1, "Decoder bit buffer under-run");
        return -1;
      }
    }
    const int code = static_cast<int>(acc & ((1u << codeSize) - 1));
    acc >>= codeSize;
    bits -= codeSize;
    return code;
  };
  auto reset = [&] {
    for (int i = 0; i < clear; ++i) {
      prefix[i] = 0;
      suffix[i] = static_cast<uint8_t>(i);
      length[i] = 1;
    }
    std::memset(prefix + clear, 0, sizeof(uint16_t) * (kTableSize - clear));
    std::memset(suffix + clear, 0, kTableSize - clear);
    std::memset(length + clear, 0, sizeof(uint16_t) * (kTableSize - clear));
    codeSize = S + 1;
    limit = 2 * clear;
    freeCode = clear + 2;
  };
  // Writes the string of code (len bytes) backwards from p + len - 1; returns its first byte.
  auto writeString = [&](int code, int len, uint8_t* p) -> uint8_t {
    uint8_t* q = p + len - 1;
    for (int steps = 0; code >= clear; ++steps) {
      if (steps >= len || prefix[code] == code) GIFError("Circular decoder table entry");
      *q-- = suffix[code];
      code = prefix[code];
    }
    *q = static_cast<uint8_t>(code);
    return static_cast<uint8_t>(code);
  };

  uint64_t out = 0;
  int previous = -1;
  uint8_t first = 0;
  reset();
  int code = clear;  // a fresh decoder starts as after a clear code
  while (out < Count) {
    if (code == clear) {
      reset();
      do code = readCode();
      while (code == clear);
      if (code < 0 || code == end) break;
      if (code >= clear) {
        Frame.Warning(1, "Invalid decoder table entry");
        break;
      }
      previous = code;
      first = static_cast<uint8_t>(code);
      Out[out++] = first;
      code = readCode();
      continue;
    }
    if (code < 0 || code == end) break;
    // Only the code about to be made (the string of the previous code and its own first byte)
    // can be used before it is in the table.
    if (code > freeCode || (code == freeCode && previous < 0)) {
      Frame.Warning(1, "Invalid decoder table entry");
      break;
    }
    const bool pending = code == freeCode;
    const int len = pending ? length[previous] + 1 : length[code];
    if (out + static_cast<uint64_t>(len) <= Count) {
      if (pending) {
        first = writeString(previous, len - 1, Out + out);
        Out[out + len - 1] = first;
      } else {
        first = writeString(code, len, Out + out);
      }
      out += static_cast<uint64_t>(len);
    } else {
      // The last string runs past the frame: build it on the stack and keep what fits.
      int sp = 0, c = code;
      if (pending) {
        stack[sp++] = first;
        c = previous;
      }
      while (c >= clear) {
        if (sp >= kTableSize || prefix[c] == c) GIFError("Circular decoder table entry");
        stack[sp++] = suffix[c];
        c = prefix[c];
      }
      first = static_cast<uint8_t>(c);
      stack[sp++] = first;
      while (out < Count && sp > 0) Out[out++] = stack[--sp];
    }
    if (freeCode < kTableSize) {
      prefix[freeCode] = static_cast<uint16_t>(previous);
      suffix[freeCode] = first;
      length[freeCode] = static_cast<uint16_t>(length[previous] + 1);
      if (++freeCode >= limit && limit < kTableSize) {
        limit *= 2;
        ++codeSize;
      }
    }
    previous = code;
    code = readCode();
  }
  return out;
}

}  // namespace

void TGIFSubImage::Decompress(TStream& Stream) {
  const uint64_t pixels = static_cast<uint64_t>(Width) * Height;
  const uint8_t fill = Transparent && GraphicControlExtension ? GraphicControlExtension->TransparentColorIndex : 0;
  uint8_t S;
  TSubBlocks in;
  const bool haveS = Stream.Read(&S, 1) == 1;
  if (haveS) {
    if (S > 11) GIFError("Invalid GIF data");
    in = ReadSubBlocks(Stream, *this);
  }
  // Every code takes at least S + 1 bits and gives at most 4096 pixels.
  const uint64_t fillable = haveS ? in.Bytes.size() * 8 / (S + 1u) * kTableSize : 0;
  if (pixels > kMaxPixels || (pixels > kFreePixels && pixels > fillable))
    GIFError("Image size " + std::to_string(Width) + "x" + std::to_string(Height) + " exceeds what its data can fill");
  Data.assign(pixels, fill);
  if (!haveS || pixels == 0) return;
  if (!Interlaced()) {
    DecodeLZW(*this, S, in, Data.data(), pixels);
    return;
  }
  // Rows arrive in four passes: 0, 8, 16...; 4, 12...; 2, 6...; 1, 3...
  std::vector<uint8_t> order(pixels, fill);
  const uint64_t got = DecodeLZW(*this, S, in, order.data(), pixels);
  const uint64_t rows = (got + Width - 1) / Width;
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  uint64_t row = 0;
  for (int pass = 0; pass < 4 && row < rows; ++pass)
    for (uint64_t y = kStart[pass]; y < Height && row < rows; y += kStep[pass], ++row)
      std::memcpy(Data.data() + y * Width, order.data() + row * Width, Width);
}
