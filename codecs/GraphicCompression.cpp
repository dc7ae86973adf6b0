// The run-length decoders, Targa encoding, ThunderScan and the Photo-CD Huffman reader.
#include "codecs/GraphicCompression.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
// memcpy and memset with a count of 0 may still be handed the null pointer of an empty buffer.
// Not inlined: for the bounded counts of run-length packets the compiler would copy inline a
// word at a time (rep movs/stos), at half the speed of the library's vector code on the
// unaligned positions of pixel rows.
[[gnu::noinline]] void CopyBytes(void* dst, const void* src, size_t n) {
  if (n) std::memcpy(dst, src, n);
}
[[gnu::noinline]] void FillBytes(void* dst, uint8_t v, size_t n) {
  if (n) std::memset(dst, v, n);
}

TDecoderWarningFn& WarningHandler() {
  static TDecoderWarningFn handler;
  return handler;
}
}  // namespace

void SetDecoderWarningHandler(TDecoderWarningFn handler) { WarningHandler() = std::move(handler); }
void DecoderWarning(const std::string& caption, const std::string& text) {
  if (WarningHandler()) WarningHandler()(caption, text);
}

void TDecoder::Encode(const uint8_t*, uint8_t*, size_t, size_t& storedSize) { storedSize = 0; }

// --- Targa ---

namespace {
size_t TargaPixelSize(unsigned depth) {
  switch (depth) {
    case 8: return 1;
    case 15:
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: throw EGraphicCompression("Unsupported Targa colour depth " + std::to_string(depth));
  }
}
}  // namespace

void TTargaRLEDecoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  // One loop per pixel size, so copying a pixel is a fixed-size move rather than a call.
  switch (TargaPixelSize(FColorDepth)) {
    case 1: DecodePixels<1>(source, dest, packedSize, unpackedSize); break;
    case 2: DecodePixels<2>(source, dest, packedSize, unpackedSize); break;
    case 3: DecodePixels<3>(source, dest, packedSize, unpackedSize); break;
    default: DecodePixels<4>(source, dest, packedSize, unpackedSize); break;
  }
}

template <size_t PixelSize>
void TTargaRLEDecoder::DecodePixels(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  const uint8_t* s = source;
  const uint8_t* end = source + packedSize;
  uint8_t* d = dest;
  size_t left = unpackedSize;  // pixels
  // Writes n copies of the pixel at p.
  auto fill = [&d](const uint8_t* p, size_t n) {
    if constexpr (PixelSize == 1) {
      FillBytes(d, p[0], n);
      d += n;
    } else {
      uint8_t px[PixelSize];
      std::memcpy(px, p, PixelSize);
      for (size_t i = 0; i < n; ++i, d += PixelSize) std::memcpy(d, px, PixelSize);
    }
  };
  // Copies up to n literal pixels; false when the source ran out first.
  auto copy = [&](size_t n) {
    const size_t take = std::min(n, static_cast<size_t>(end - s) / PixelSize);
    CopyBytes(d, s, take * PixelSize);
    d += take * PixelSize;
    s += take * PixelSize;
    return take;
  };
  if (FRestCount > 0 && left > 0) {
    const size_t n = std::min(FRestCount, left);
    const size_t done = FRestIsRun ? (fill(FRestPixel, n), n) : copy(n);
    FRestCount -= done;
    left -= done;
    if (done < n) left = 0;  // the source ran out inside the literals
  }
  while (left > 0 && s < end) {
    const uint8_t c = *s++;
    const size_t count = (c & 0x7Fu) + 1u;
    const size_t n = std::min(count, left);
    if (c & 0x80) {
      if (static_cast<size_t>(end - s) < PixelSize) break;
      fill(s, n);
      if (n < count) FRestIsRun = true, FRestCount = count - n, std::memcpy(FRestPixel, s, PixelSize);
      s += PixelSize;
    } else {
      const size_t take = copy(n);
      if (take < n) break;
      if (n < count) FRestIsRun = false, FRestCount = count - n;
    }
    left -= n;
  }
  LastInput = static_cast<size_t>(s - source);
  LastOutput = static_cast<size_t>(d - dest);
  source = s;
}

namespace {

// Targa packets of one row of pixels of Bpp bytes (bpp when Bpp is 0): a literal packet up to
// the next two equal neighbours (at most 128 pixels, so no further than that is looked), then a
// run of up to 128. The usual sizes are fixed, so comparing two pixels is a load or two.
template <size_t Bpp>
size_t EncodeTargaRow(const uint8_t* source, uint8_t* dest, size_t count, size_t bpp = Bpp) {
  const size_t B = Bpp ? Bpp : bpp;
  auto same = [&](size_t a, size_t b) { return std::memcmp(source + a * B, source + b * B, B) == 0; };
  uint8_t* const start = dest;
  size_t i = 0;
  while (i < count) {
    size_t d = 1;
    if (count - i > 1) {
      const size_t last = std::min(count - 1, i + 128);
      size_t j = i;
      while (j < last && !same(j, j + 1)) ++j;
      d = j < last ? j - i : count - i - 1;
    }
    size_t s = 1;
    while (i + s < count && s < 128 && same(i, i + s)) ++s;
    d = std::min<size_t>(d, 128);
    if (d > 0) {
      *dest++ = static_cast<uint8_t>(d - 1);
      std::memcpy(dest, source + i * B, d * B);
      dest += d * B;
      i += d;
    }
    if (s > 1) {
      *dest++ = static_cast<uint8_t>((s - 1) | 0x80);
      std::memcpy(dest, source + i * B, B);
      dest += B;
      i += s;
    }
  }
  return static_cast<size_t>(dest - start);
}

}  // namespace

void TTargaRLEDecoder::Encode(const uint8_t* source, uint8_t* dest, size_t count, size_t& storedSize) {
  const size_t bpp = (FColorDepth + 1) / 8;
  switch (bpp) {
    case 0: storedSize = 0; break;
    case 1: storedSize = EncodeTargaRow<1>(source, dest, count); break;
    case 2: storedSize = EncodeTargaRow<2>(source, dest, count); break;
    case 3: storedSize = EncodeTargaRow<3>(source, dest, count); break;
    case 4: storedSize = EncodeTargaRow<4>(source, dest, count); break;
    default: storedSize = EncodeTargaRow<0>(source, dest, count, bpp);
  }
}

// --- byte-wise run-length codings ---

namespace {
// Bounded output for the run-length decoders: runs and literals are cut at the end of either side.
struct TRun {
  const uint8_t* S;
  const uint8_t* SEnd;
  uint8_t* D;
  uint8_t* DEnd;
  bool Fill(uint8_t v, size_t n) {
    n = std::min(n, static_cast<size_t>(DEnd - D));
    FillBytes(D, v, n);
    D += n;
    return D < DEnd;
  }
  bool Copy(size_t n) {
    n = std::min({n, static_cast<size_t>(DEnd - D), static_cast<size_t>(SEnd - S)});
    CopyBytes(D, S, n);
    D += n;
    S += n;
    return D < DEnd && S < SEnd;
  }
  bool More() const { return S < SEnd && D < DEnd; }
};
}  // namespace

#define CORVANE_RUN_BEGIN TRun r{source, source + packedSize, dest, dest + unpackedSize};
#define CORVANE_RUN_END                          \
  LastInput = static_cast<size_t>(r.S - source); \
  LastOutput = static_cast<size_t>(r.D - dest);

void TPackbitsRLEDecoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  CORVANE_RUN_BEGIN
  while (r.More()) {
    const int c = static_cast<int8_t>(*r.S++);
    if (c == -128) continue;
    if (c < 0) {
      if (r.S >= r.SEnd) break;
      r.Fill(*r.S++, static_cast<size_t>(1 - c));
    } else {
      r.Copy(static_cast<size_t>(c) + 1);
    }
  }
  CORVANE_RUN_END
}

void TPCXRLEDecoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  // Plain locals rather than the shared run helper: most bytes of a photograph are single data
  // bytes, and stores through the target may not alias the positions.
  const uint8_t* s = source;
  const uint8_t* const sEnd = source + packedSize;
  uint8_t* d = dest;
  uint8_t* const dEnd = dest + unpackedSize;
  if (FRestCount > 0) {
    const size_t n = std::min(FRestCount, unpackedSize);
    FillBytes(d, FRestValue, n);
    d += n;
    FRestCount -= n;
  }
  while (s < sEnd && d < dEnd) {
#if defined(__SSE2__)
    // Data bytes below 0xC0 stand for themselves: sixteen at a time are copied up to the next
    // count byte, rather than one branch a byte that noise makes unpredictable. What lies past
    // that byte in the target is written over by the bytes decoded next.
    if (sEnd - s >= 16 && dEnd - d >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
      const __m128i top = _mm_set1_epi8(static_cast<char>(0xC0));
      const unsigned counts = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, top), top)));
      const size_t k = counts ? static_cast<size_t>(__builtin_ctz(counts)) : 16;
      s += k;
      d += k;
      if (k == 16) continue;
    }
#endif
    const uint8_t b = *s++;
    if (b < 0xC0) {
      *d++ = b;
      continue;
    }
    if (s >= sEnd) break;
    const uint8_t v = *s++;
    size_t n = b & 0x3Fu;
    const size_t room = static_cast<size_t>(dEnd - d);
    if (n > room) FRestCount = n - room, FRestValue = v, n = room;
    if (n <= 2) {
      // Runs of one or two stand for data bytes of 0xC0 and above: no call for them.
      if (n > 0) d[0] = v;
      if (n > 1) d[1] = v;
    } else {
      std::memset(d, v, n);
    }
    d += n;
  }
  LastInput = static_cast<size_t>(s - source);
  LastOutput = static_cast<size_t>(d - dest);
}

void TSGIRLEDecoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  CORVANE_RUN_BEGIN
  if (FSampleSize == 16) {
    while (r.SEnd - r.S >= 2 && r.D < r.DEnd) {
      const unsigned w = static_cast<unsigned>((r.S[0] << 8) | r.S[1]);
      r.S += 2;
      const size_t n = w & 0x7F;
      if (n == 0) break;
      if (w & 0x80) {
        r.Copy(2 * n);
      } else {
        if (r.SEnd - r.S < 2) break;
        for (size_t i = 0; i < n && r.DEnd - r.D >= 2; ++i, r.D += 2) std::memcpy(r.D, r.S, 2);
        r.S += 2;
      }
    }
  } else {
    while (r.More()) {
      const uint8_t c = *r.S++;
      const size_t n = c & 0x7F;
      if (n == 0) break;
      if (c & 0x80) {
        r.Copy(n);
      } else {
        if (r.S >= r.SEnd) break;
        r.Fill(*r.S++, n);
      }
    }
  }
  CORVANE_RUN_END
}

void TCUTRLEDecoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  CORVANE_RUN_BEGIN
  r.S += std::min<size_t>(2, packedSize);  // the row's byte count
  // Reads on to the row's end code even when the target is full, so the source is handed back
  // past the row.
  while (r.S < r.SEnd) {
    const uint8_t c = *r.S++;
    const size_t n = c & 0x7F;
    if (c == 0) break;
    if (c & 0x80) {
      if (r.S >= r.SEnd) break;
      r.Fill(*r.S++, n);
    } else {
      const size_t take = std::min(n, static_cast<size_t>(r.SEnd - r.S));
      const size_t room = std::min(take, static_cast<size_t>(r.DEnd - r.D));
      CopyBytes(r.D, r.S, room);
      r.D += room;
      r.S += take;
    }
  }
  CORVANE_RUN_END
  source = r.S;
}

void TPSPRLEDecoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  CORVANE_RUN_BEGIN
  while (r.More()) {
    const uint8_t c = *r.S++;
    if (c >= 128) {
      if (r.S >= r.SEnd) break;
      r.Fill(*r.S++, c - 128u);
    } else {
      r.Copy(c);
    }
  }
  CORVANE_RUN_END
}

void TRLADecoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  CORVANE_RUN_BEGIN
  while (r.More()) {
    const int c = static_cast<int8_t>(*r.S++);
    if (c >= 0) {
      if (r.S >= r.SEnd) break;
      r.Fill(*r.S++, static_cast<size_t>(c) + 1);
    } else {
      r.Copy(static_cast<size_t>(-c));
    }
  }
  CORVANE_RUN_END
}

#undef CORVANE_RUN_BEGIN
#undef CORVANE_RUN_END

// --- ThunderScan ---

void TThunderDecoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  static const int kDelta2[4] = {0, 1, 0, -1};
  static const int kDelta3[8] = {0, 1, 2, 3, 0, -3, -2, -1};
  const uint8_t* s = source;
  const uint8_t* sEnd = source + packedSize;
  uint8_t* row = dest;
  const size_t rowBytes = (static_cast<size_t>(FWidth) + 1) / 2;
  size_t left = unpackedSize;
  while (left > 0 && FWidth > 0) {
    const size_t rowRoom = std::min(rowBytes, left);
    const size_t rowPixels = std::min<size_t>(FWidth, rowRoom * 2);
    FillBytes(row, 0, rowRoom);
    unsigned last = 0;
    size_t count = 0;
    auto put = [&](unsigned v) {
      if (count >= rowPixels) return;
      last = v & 0xF;
      uint8_t& b = row[count / 2];
      b = (count & 1) ? static_cast<uint8_t>((b & 0xF0) | last) : static_cast<uint8_t>((b & 0x0F) | (last << 4));
      ++count;
    };
    while (s < sEnd && count < rowPixels) {
      const unsigned c = *s++;
      switch (c >> 6) {
        case 0:
          for (unsigned n = c & 0x3F; n > 0 && count < rowPixels; --n) put(last);
          break;
        case 1:
          for (int shift = 4; shift >= 0; shift -= 2) {
            const unsigned code = (c >> shift) & 3;
            if (code != 2) put(static_cast<unsigned>(static_cast<int>(last) + kDelta2[code]));
          }
          break;
        case 2:
          for (int shift = 3; shift >= 0; shift -= 3) {
            const unsigned code = (c >> shift) & 7;
            if (code != 4) put(static_cast<unsigned>(static_cast<int>(last) + kDelta3[code]));
          }
          break;
        default: put(c & 0xF); break;
      }
    }
    row += rowRoom;
    left -= rowRoom;
    if (s >= sEnd) break;
  }
  LastInput = static_cast<size_t>(s - source);
  LastOutput = static_cast<size_t>(row - dest);
}

// --- Photo-CD Huffman ---

uint8_t TPCDDecoder::NextByte() { return FPos < FSize ? FData[FPos++] : 0; }

void TPCDDecoder::Fill() {
  while (FBits <= 24) {
    FBuffer |= static_cast<uint32_t>(NextByte()) << (24 - FBits);
    FBits += 8;
  }
}

void TPCDDecoder::ReadTables(uint32_t imageWidth) {
  const size_t tables = imageWidth > 1536 ? 3 : 1;
  for (size_t t = 0; t < tables; ++t) {
    if (FPos >= FSize) throw EGraphicCompression("Photo-CD Huffman table is missing");
    const size_t entries = static_cast<size_t>(FData[FPos++]) + 1;
    if (entries * 4 > FSize - FPos) throw EGraphicCompression("Photo-CD Huffman table exceeds the data");
    FTables[t].resize(entries);
    for (TCode& c : FTables[t]) {
      const unsigned len = FData[FPos] + 1u;
      if (len > 16) throw EGraphicCompression("Photo-CD Huffman code is longer than 16 bits");
      c.Length = static_cast<uint8_t>(len);
      c.Code = static_cast<uint16_t>((FData[FPos + 1] << 8) | FData[FPos + 2]);
      c.Value = static_cast<int8_t>(FData[FPos + 3]);
      FPos += 4;
    }
  }
  FBuffer = 0;
  FBits = 0;
  Fill();
}

int TPCDDecoder::DecodeValue(size_t table) {
  const std::vector<TCode>& codes = FTables[std::min<size_t>(table, 2)];
  for (const TCode& c : codes) {
    const uint32_t maskBits = 0xFFFFFFFFu << (32 - c.Length);
    if ((FBuffer & maskBits) == ((static_cast<uint32_t>(c.Code) << 16) & maskBits)) {
      FBuffer <<= c.Length;
      FBits -= c.Length;
      Fill();
      return c.Value;
    }
  }
  throw EGraphicCompression("Photo-CD Huffman data matches no code");
}

void TPCDDecoder::Decode(const uint8_t*&, uint8_t*& dest, size_t, size_t unpackedSize) {
  for (size_t i = 0; i < unpackedSize; ++i) {
    const int v = dest[i] + DecodeValue(CurrentTable);
    dest[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  }
  LastOutput = unpackedSize;
}
