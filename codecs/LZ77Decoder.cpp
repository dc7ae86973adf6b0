// Deflate decoding (zlib-wrapped streams) through ISA-L's igzip inflate, which measured about
// twice as fast as zlib's on our PNG image data and TIFF strips and streams into buffers of
// any size, so PNG rows come out one at a time. The results are reported in zlib's terms.
// Whole streams of known size may go through libdeflate instead.
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>

#include "codecs/GraphicCompression.h"

struct TLZ77Decoder::TStreamRec {
  inflate_state S;
  bool Started = false;  // some of the stream's bytes have been read
  size_t PastEnd = 0;
  libdeflate_decompressor* Whole = nullptr;  // made on first use
  ~TStreamRec() {
    if (Whole) libdeflate_free_decompressor(Whole);
  }
};

TLZ77Decoder::TLZ77Decoder(int flushMode, bool autoReset, bool wholeStreams)
    : FStream(std::make_unique<TStreamRec>()),
      FFlushMode(flushMode),
      FAutoReset(autoReset || wholeStreams),
      FWholeStreams(wholeStreams) {}

TLZ77Decoder::~TLZ77Decoder() = default;

namespace {
void Restart(inflate_state& s) {
  isal_inflate_init(&s);
  s.crc_flag = ISAL_ZLIB;  // header checked, Adler-32 verified at the end
}
}  // namespace

void TLZ77Decoder::DecodeInit() {
  Restart(FStream->S);
  FStream->Started = false;
  FStream->PastEnd = 0;
  FOpen = true;
  FZLibResult = Z_OK;
}

void TLZ77Decoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  if (!FOpen || FAutoReset) DecodeInit();
  const bool whole =
      FWholeStreams && (FWholeBelowPermille == 0 || static_cast<uint64_t>(packedSize) * 1000 <
                                                        static_cast<uint64_t>(unpackedSize) * FWholeBelowPermille);
  if (whole && DecodeWhole(source, dest, packedSize, unpackedSize)) return;
  inflate_state& s = FStream->S;
  LastInput = LastOutput = 0;
  size_t inLeft = packedSize, outLeft = unpackedSize;
  const uint8_t* in = source;
  uint8_t* out = dest;
  FZLibResult = s.block_state == ISAL_BLOCK_FINISH ? Z_STREAM_END : Z_OK;
  // zlib refuses a window wider than 32 KiB (CINFO above 7); the igzip header check does not.
  if (!FStream->Started && inLeft > 0) {
    FStream->Started = true;
    if ((in[0] >> 4) > 7) FZLibResult = Z_DATA_ERROR;
  }
  // igzip counts in 32 bits; larger buffers go through in pieces.
  while (FZLibResult == Z_OK && outLeft > 0) {
    const uint32_t inChunk = static_cast<uint32_t>(std::min<size_t>(inLeft, UINT32_MAX));
    const uint32_t outChunk = static_cast<uint32_t>(std::min<size_t>(outLeft, UINT32_MAX));
    s.next_in = const_cast<uint8_t*>(in);
    s.avail_in = inChunk;
    s.next_out = out;
    s.avail_out = outChunk;
    const int status = isal_inflate(&s);
    // After an error igzip may hand back more input than it was given (its count wraps round):
    // the counts are kept within what was passed.
    size_t usedIn = inChunk - std::min(s.avail_in, inChunk);
    const size_t usedOut = outChunk - std::min(s.avail_out, outChunk);
    if (s.block_state == ISAL_BLOCK_FINISH) {
      // igzip reads up to 8 bytes ahead into its bit buffer: what lies past the stream's end is
      // handed back, so the caller sees where the stream ended as zlib would show it. Bytes
      // read ahead with an earlier call's input cannot be handed back; they are counted.
      const size_t back = static_cast<size_t>(s.read_in_length / 8);
      const size_t returned = std::min(back, usedIn);
      usedIn -= returned;
      FStream->PastEnd = back - returned;
      s.read_in = 0;
      s.read_in_length = 0;
    }
    in += usedIn;
    inLeft -= usedIn;
    out += usedOut;
    outLeft -= usedOut;
    // A wrong Adler-32 comes with the stream finished and all its data out (a header failing its
    // own check comes before any block); unchecked, it ends the stream as a right one does.
    const bool checksumOnly = status == ISAL_INCORRECT_CHECKSUM && s.block_state == ISAL_BLOCK_FINISH;
    if (status < 0 && !(checksumOnly && !FChecksumChecked))
      FZLibResult = Z_DATA_ERROR;
    else if (status == ISAL_NEED_DICT)
      FZLibResult = Z_NEED_DICT;
    else if (s.block_state == ISAL_BLOCK_FINISH)
      FZLibResult = Z_STREAM_END;
    else if (usedIn == 0 && usedOut == 0)
      break;  // nothing more can be done with what was given
  }
  // Finishing in one call (zlib's Z_FINISH) fails when the stream is not over, as zlib's does.
  if (FFlushMode == Z_FINISH && FZLibResult == Z_OK) FZLibResult = Z_BUF_ERROR;
  FAvailIn = inLeft;
  FAvailOut = outLeft;
  LastInput = packedSize - inLeft;
  LastOutput = unpackedSize - outLeft;
  source = in;
  dest = out;
}

// True when the buffer held a whole valid stream of exactly unpackedSize bytes, now decoded;
// false leaves everything to the streaming inflater.
bool TLZ77Decoder::DecodeWhole(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  // Windows zlib refuses are left to the streaming path, which says so.
  if (packedSize == 0 || unpackedSize == 0 || (source[0] >> 4) > 7) return false;
  if (!FStream->Whole) FStream->Whole = libdeflate_alloc_decompressor();
  size_t used = 0;
  if (!FStream->Whole || libdeflate_zlib_decompress_ex(FStream->Whole, source, packedSize, dest, unpackedSize, &used,
                                                       nullptr) != LIBDEFLATE_SUCCESS)
    return false;
  FStream->Started = true;
  FZLibResult = Z_STREAM_END;
  FAvailIn = packedSize - used;
  FAvailOut = 0;
  LastInput = used;
  LastOutput = unpackedSize;
  source += used;
  dest += unpackedSize;
  return true;
}

size_t TLZ77Decoder::InputPastEnd() const { return FStream->PastEnd; }

void TLZ77Decoder::DecodeEnd() { FOpen = false; }
