#pragma once
// The decompressors of the image readers, one class per coding, all descended from TDecoder.
// A reader creates one for an image, calls DecodeInit, Decode once per row, strip or block,
// then DecodeEnd. Every decoder stops at whichever runs out first, the packed data or the room
// for unpacked data, and never reads or writes outside them. LastInput / LastOutput tell the
// reader how much the last Decode consumed and produced, so it can insist on whole rows.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Exceptions.h"

struct TImageProperties;

CORVANE_EXCEPTION(EGraphicCompression, Exception)

// Warnings a decoder gives while it goes on (a JPEG strip cut short). The program shows them in a
// box; with no handler installed they are dropped.
using TDecoderWarningFn = std::function<void(const std::string& caption, const std::string& text)>;
void SetDecoderWarningHandler(TDecoderWarningFn handler);
void DecoderWarning(const std::string& caption, const std::string& text);

class TDecoder {
 public:
  virtual ~TDecoder() = default;
  // packedSize bytes are available at source; unpackedSize is the room at dest (bytes, or as the
  // decoder says). Advances the pointers where the decoder says so.
  virtual void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) = 0;
  virtual void DecodeEnd() {}
  virtual void DecodeInit() {}
  virtual void Encode(const uint8_t* source, uint8_t* dest, size_t count, size_t& storedSize);
  virtual void EncodeInit() {}
  virtual void EncodeEnd() {}

  size_t LastInput = 0;
  size_t LastOutput = 0;
};

// Count in pixels of depth bits; hands the source pointer back advanced. Also encodes.
// Packets may run on past a row, so a packet cut by the end of the target carries on at the
// start of the next Decode: a reader can decode row by row straight into its scan lines.
// DecodeInit drops such a rest.
class TTargaRLEDecoder : public TDecoder {
 public:
  explicit TTargaRLEDecoder(unsigned colorDepth) : FColorDepth(colorDepth) {}
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;
  void DecodeInit() override { FRestCount = 0; }
  void Encode(const uint8_t* source, uint8_t* dest, size_t count, size_t& storedSize) override;

 private:
  template <size_t PixelSize>
  void DecodePixels(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize);

  unsigned FColorDepth;
  // The pixels of the cut packet still to come: a run of FRestPixel, or literals from the source.
  size_t FRestCount = 0;
  bool FRestIsRun = false;
  uint8_t FRestPixel[4] = {};
};

class TPackbitsRLEDecoder : public TDecoder {
 public:
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;
};

// Runs may run on past a line: a run cut by the end of the target carries on at the start of
// the next Decode, so a reader can decode line by line. DecodeInit drops such a rest.
class TPCXRLEDecoder : public TDecoder {
 public:
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;
  void DecodeInit() override { FRestCount = 0; }

 private:
  size_t FRestCount = 0;
  uint8_t FRestValue = 0;
};

class TSGIRLEDecoder : public TDecoder {
 public:
  explicit TSGIRLEDecoder(unsigned sampleSize) : FSampleSize(sampleSize) {}
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;

 private:
  unsigned FSampleSize;
};

// Hands the source pointer back past the row.
class TCUTRLEDecoder : public TDecoder {
 public:
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;
};

class TPSPRLEDecoder : public TDecoder {
 public:
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;
};

class TRLADecoder : public TDecoder {
 public:
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;
};

// Modified Huffman run lengths of ITU-T T.4, one bit per pixel out, black = 1.
class TCCITTDecoder : public TDecoder {
 public:
  TCCITTDecoder(uint32_t options, uint32_t width, bool wordAligned, bool swapBits);

 protected:
  struct TNode {
    int Child[2] = {-1, -1};
    int Value = 0;
    bool Leaf = false;
  };
  // Reads one code of the colour's tree: a run length, -1 end of line, -2 an invalid code, or
  // -3 when the data ends inside the code.
  int ReadCode(bool black);
  // A whole run (make-up codes continue it): the length, or the negative code that ended it.
  int ReadRun(bool black, int& length);
  bool NextBit(int& bit);
  // Writes a run of the colour; ends the row when the row's pixels are used up.
  void WriteRun(bool black, int length);
  void EndRow();
  void Start(const uint8_t* source, uint8_t* dest, size_t packedSize, size_t unpackedSize);

  uint32_t FOptions, FWidth;
  bool FWordAligned, FSwapBits;
  std::vector<TNode> FTree[2];
  const uint8_t* FSource = nullptr;
  size_t FPacked = 0, FBytePos = 0;
  int FBitPos = 8;
  uint8_t* FTarget = nullptr;
  size_t FUnpacked = 0, FOutBit = 0;
  uint32_t FRestWidth = 0;
  bool FRowDone = false;
};

class TCCITTFax3Decoder : public TCCITTDecoder {
 public:
  using TCCITTDecoder::TCCITTDecoder;
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;
};

class TCCITTMHDecoder : public TCCITTDecoder {
 public:
  using TCCITTDecoder::TCCITTDecoder;
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;
};

// Deflate (zlib-wrapped) through ISA-L's igzip inflate, its results given as zlib's status codes.
// Decode raises nothing: the reader reads ZLibResult (1 end of stream, other non-zero an error)
// and what is left of input and output. The inflater may take input ahead of the output it has
// handed out (up to 64 KiB of output wait inside it), so a reader whose input has run out still
// asks it for more before deciding the data ended early. At the end of the stream the input
// stops exactly where the stream does; InputPastEnd counts bytes after the end that were taken
// with an earlier call's input (at most 8).
// With wholeStreams every Decode is handed one whole stream (auto-reset) and room for exactly
// what it decodes to, as TIFF strips are: libdeflate inflates such a buffer in one call, faster
// than igzip on data of varied literals. A stream it does not decode to exactly that room goes
// through the streaming inflater, whose verdict stands.
class TLZ77Decoder : public TDecoder {
 public:
  TLZ77Decoder(int flushMode, bool autoReset, bool wholeStreams = false);
  ~TLZ77Decoder() override;
  // With wholeStreams, only streams packed below permille thousandths of what they decode to go
  // through libdeflate, the rest through igzip (0: every stream through libdeflate).
  void SetWholeStreamsBelow(unsigned permille) { FWholeBelowPermille = permille; }
  // Without the check, a stream whose checksum is wrong ends like one whose checksum is right.
  void SetChecksumChecked(bool checked) { FChecksumChecked = checked; }
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;
  void DecodeInit() override;
  void DecodeEnd() override;
  int ZLibResult() const { return FZLibResult; }
  size_t AvailableInput() const { return FAvailIn; }
  size_t AvailableOutput() const { return FAvailOut; }
  size_t InputPastEnd() const;

 private:
  struct TStreamRec;
  bool DecodeWhole(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize);
  std::unique_ptr<TStreamRec> FStream;
  int FFlushMode;
  bool FAutoReset, FWholeStreams;
  bool FOpen = false, FChecksumChecked = true;
  unsigned FWholeBelowPermille = 0;
  int FZLibResult = 0;
  size_t FAvailIn = 0, FAvailOut = 0;
};

// JPEG-compressed TIFF strips through libjpeg. libjpeg's errors come back as return codes
// from small C-style frames and only then become exceptions: no jump crosses C++ frames.
class TTIFFJPEGDecoder : public TDecoder {
 public:
  // The properties (size, samples, strips, JPEG tables, BytesPerLine, CurrentRow) are read at
  // every Decode; photometric is the TIFF's photometric interpretation.
  TTIFFJPEGDecoder(const TImageProperties& properties, uint32_t photometric);
  ~TTIFFJPEGDecoder() override;
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;
  void DecodeInit() override;
  void DecodeEnd() override;

  struct TState;

 private:
  const TImageProperties& FProperties;
  uint32_t FPhotometric;
  std::unique_ptr<TState> FState;
};

// ThunderScan 4-bit grey, two pixels a byte, high nibble first; width in pixels.
class TThunderDecoder : public TDecoder {
 public:
  explicit TThunderDecoder(uint32_t width) : FWidth(width) {}
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;

 private:
  uint32_t FWidth;
};

// Photo-CD Huffman corrections: reads its tables and codes from memory through a 32-bit bit
// buffer. Decode adds count decoded differences (one table) to the bytes at dest.
class TPCDDecoder : public TDecoder {
 public:
  struct TCode {
    uint8_t Length = 0;  // bits, 1..16
    uint16_t Code = 0;   // left-aligned in 16 bits
    int8_t Value = 0;
  };
  TPCDDecoder(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  // Reads one table, or three when the image is wider than 1536 pixels.
  void ReadTables(uint32_t imageWidth);
  void Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) override;
  const std::vector<TCode>& Table(size_t i) const { return FTables[i]; }
  // Decodes one value with table i; raises on data that matches no code.
  int DecodeValue(size_t table);
  size_t Position() const { return FPos; }
  size_t CurrentTable = 0;

 private:
  void Fill();
  uint8_t NextByte();
  const uint8_t* FData;
  size_t FSize, FPos = 0;
  uint32_t FBuffer = 0;
  int FBits = 0;
  std::vector<TCode> FTables[3];
};
