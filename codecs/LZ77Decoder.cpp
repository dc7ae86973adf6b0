// Deflate decoding through zlib's inflate.
#include <zlib.h>

#include <algorithm>
#include <climits>

#include "codecs/GraphicCompression.h"

struct TLZ77Decoder::TStreamRec {
  z_stream Z{};
};

TLZ77Decoder::TLZ77Decoder(int flushMode, bool autoReset)
    : FStream(std::make_unique<TStreamRec>()), FFlushMode(flushMode), FAutoReset(autoReset) {}

TLZ77Decoder::~TLZ77Decoder() {
  if (FOpen) inflateEnd(&FStream->Z);
}

void TLZ77Decoder::DecodeInit() {
  if (FOpen) inflateEnd(&FStream->Z);
  FStream->Z = z_stream{};
  if (inflateInit(&FStream->Z) < 0) throw EGraphicCompression("LZ77 decompression error.");
  FOpen = true;
  FZLibResult = Z_OK;
}

void TLZ77Decoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  if (!FOpen) DecodeInit();
  z_stream& z = FStream->Z;
  LastInput = LastOutput = 0;
  if (FAutoReset) {
    FZLibResult = inflateReset(&z);
    if (FZLibResult != Z_OK) {
      FAvailIn = packedSize;
      FAvailOut = unpackedSize;
      return;
    }
  }
  // zlib counts in unsigned int; larger buffers go through in pieces.
  size_t inLeft = packedSize, outLeft = unpackedSize;
  const uint8_t* in = source;
  uint8_t* out = dest;
  FZLibResult = Z_OK;
  while (FZLibResult == Z_OK && outLeft > 0 && inLeft > 0) {
    const uInt inChunk = static_cast<uInt>(std::min<size_t>(inLeft, UINT_MAX));
    const uInt outChunk = static_cast<uInt>(std::min<size_t>(outLeft, UINT_MAX));
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = inChunk;
    z.next_out = out;
    z.avail_out = outChunk;
    FZLibResult = inflate(&z, FFlushMode);
    const size_t usedIn = inChunk - z.avail_in, usedOut = outChunk - z.avail_out;
    in += usedIn;
    inLeft -= usedIn;
    out += usedOut;
    outLeft -= usedOut;
    // A buffer error only means no progress was possible with what was given.
    if (FZLibResult == Z_BUF_ERROR && usedIn == 0 && usedOut == 0) {
      FZLibResult = Z_OK;
      break;
    }
  }
  z.avail_in = 0;
  FAvailIn = inLeft;
  FAvailOut = outLeft;
  LastInput = packedSize - inLeft;
  LastOutput = unpackedSize - outLeft;
  source = in;
  dest = out;
}

void TLZ77Decoder::DecodeEnd() {
  if (!FOpen) return;
  FOpen = false;
  if (inflateEnd(&FStream->Z) < 0) throw EGraphicCompression("LZ77 decompression error.");
}
