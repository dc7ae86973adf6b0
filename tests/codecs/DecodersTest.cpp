// The decompressors: run-length codings on hand-made packets, Targa encoding round trips,
// deflate's end conditions, ThunderScan deltas, and that none of them reads or writes past its
// buffers whatever the data says.
#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <random>

#include "codecs/GraphicCompression.h"
#include "codecs/ImageFormats.h"
#include "tests/codecs/CodecTestSupport.h"

namespace {

struct TResult {
  std::vector<uint8_t> Out;
  size_t In = 0, Written = 0;
};

TResult DecodeAll(TDecoder& d, std::vector<uint8_t> in, size_t room) {
  TResult r;
  r.Out.assign(room, 0xEE);
  const uint8_t* s = in.data();
  uint8_t* t = r.Out.data();
  d.DecodeInit();
  d.Decode(s, t, in.size(), room);
  d.DecodeEnd();
  r.In = d.LastInput;
  r.Written = d.LastOutput;
  return r;
}

}  // namespace

TEST(DecodersTest, RunLengthPackets) {
  using V = std::vector<uint8_t>;
  struct TCase {
    const char* Name;
    std::function<std::unique_ptr<TDecoder>()> Make;
    V In;
    size_t Room;
    V Out;
  } cases[] = {
      {"packbits: 0x80 is skipped",
       [] { return std::make_unique<TPackbitsRLEDecoder>(); },
       {0x80, 0xFE, 7, 0x01, 1, 2},
       5,
       {7, 7, 7, 1, 2}},
      {"packbits: a run is cut at the end of the target",
       [] { return std::make_unique<TPackbitsRLEDecoder>(); },
       {0x81, 9},
       4,
       {9, 9, 9, 9}},
      {"packbits: a literal is cut at the end of the data",
       [] { return std::make_unique<TPackbitsRLEDecoder>(); },
       {0x05, 1, 2},
       4,
       {1, 2, 0xEE, 0xEE}},
      {"pcx: 0xC0 gives nothing, a run is cut",
       [] { return std::make_unique<TPCXRLEDecoder>(); },
       {0xC0, 5, 0x05, 0xFF, 3},
       4,
       {5, 3, 3, 3}},
      {"sgi 8: run, literal, end",
       [] { return std::make_unique<TSGIRLEDecoder>(8); },
       {0x03, 4, 0x82, 1, 2, 0x00, 9},
       7,
       {4, 4, 4, 1, 2, 0xEE, 0xEE}},
      {"sgi 16: a literal moves both sides by samples",
       [] { return std::make_unique<TSGIRLEDecoder>(16); },
       {0x00, 0x82, 1, 2, 3, 4, 0x00, 0x02, 5, 6, 0, 0},
       10,
       {1, 2, 3, 4, 5, 6, 5, 6, 0xEE, 0xEE}},
      {"cut: count skipped, run and literal",
       [] { return std::make_unique<TCUTRLEDecoder>(); },
       {9, 9, 0x83, 7, 0x02, 1, 2, 0, 0x81},
       6,
       {7, 7, 7, 1, 2, 0xEE}},
      {"psp: run of c-128, literal of c",
       [] { return std::make_unique<TPSPRLEDecoder>(); },
       {0x82, 4, 0x02, 5, 6},
       4,
       {4, 4, 5, 6}},
      {"rla: run of c+1, literal of -c",
       [] { return std::make_unique<TRLADecoder>(); },
       {0x01, 8, 0xFE, 1, 2},
       5,
       {8, 8, 1, 2, 0xEE}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto d = c.Make();
    TResult r = DecodeAll(*d, c.In, c.Room);
    EXPECT_EQ(r.Out, c.Out);
  }
}

TEST(DecodersTest, CCITTRows) {
  auto rev = [](std::vector<uint8_t> v) {
    for (uint8_t& b : v) {
      uint8_t r = 0;
      for (int i = 0; i < 8; ++i) r = static_cast<uint8_t>(r | (((b >> i) & 1) << (7 - i)));
      b = r;
    }
    return v;
  };
  // Width 8. Group 3: an end of line, then a row that starts black (a zero-length white run).
  const std::vector<uint8_t> g3 = {0x00, 0x13, 0x51, 0x40};
  // Modified Huffman rows on byte boundaries: white 3, black 2, white 3; then white 0, black 8.
  const std::vector<uint8_t> mh = {0x8E, 0x00, 0x35, 0x14};
  // A one-byte first row (white 8): the next starts at byte 1, or at byte 2 when word aligned.
  const std::vector<uint8_t> mhShort = {0x98, 0x35, 0x14}, mhAligned = {0x98, 0x00, 0x35, 0x14};
  struct TCase {
    const char* Name;
    std::function<std::unique_ptr<TDecoder>()> Make;
    std::vector<uint8_t> In;
    std::vector<uint8_t> Out;
  } cases[] = {
      {"g3, row starting black", [] { return std::make_unique<TCCITTFax3Decoder>(0, 8, false, false); }, g3, {0xFF}},
      {"g3, bits reversed", [] { return std::make_unique<TCCITTFax3Decoder>(0, 8, false, true); }, rev(g3), {0xFF}},
      {"mh, two rows", [] { return std::make_unique<TCCITTMHDecoder>(0, 8, false, false); }, mh, {0x18, 0xFF}},
      {"mh, byte aligned rows",
       [] { return std::make_unique<TCCITTMHDecoder>(0, 8, false, false); },
       mhShort,
       {0x00, 0xFF}},
      {"mh, word aligned rows",
       [] { return std::make_unique<TCCITTMHDecoder>(0, 8, true, false); },
       mhAligned,
       {0x00, 0xFF}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto d = c.Make();
    TResult r = DecodeAll(*d, c.In, c.Out.size());
    EXPECT_EQ(r.Out, c.Out);
    EXPECT_EQ(r.Written, c.Out.size());
  }
  // Two-dimensional group 3 is refused rather than decoded as noise.
  TCCITTFax3Decoder twoD(1, 8, false, false);
  EXPECT_THROW(DecodeAll(twoD, g3, 1), EGraphicCompression);
}

TEST(DecodersTest, TargaEncodingRoundTrips) {
  // 130 equal 24-bit pixels: a run of 128 and a run of 2.
  std::vector<uint8_t> px;
  for (int i = 0; i < 130; ++i) px.insert(px.end(), {1, 2, 3});
  TTargaRLEDecoder t24(24);
  std::vector<uint8_t> packed(1200);
  size_t stored = 0;
  t24.Encode(px.data(), packed.data(), 130, stored);
  EXPECT_EQ(stored, 8u);
  EXPECT_EQ(std::vector<uint8_t>(packed.begin(), packed.begin() + 8),
            (std::vector<uint8_t>{0xFF, 1, 2, 3, 0x81, 1, 2, 3}));

  // 300 pixels with no two equal neighbours, then 3 equal ones: literal packets of 128, 128 and
  // 44 pixels, then a run of 3.
  px.clear();
  for (int i = 0; i < 300; ++i) px.insert(px.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 9});
  for (int i = 0; i < 3; ++i) px.insert(px.end(), {7, 7, 7});
  t24.Encode(px.data(), packed.data(), 303, stored);
  ASSERT_EQ(stored, 907u);
  EXPECT_EQ(packed[0], 0x7F);
  EXPECT_EQ(packed[385], 0x7F);
  EXPECT_EQ(packed[770], 43);
  EXPECT_EQ(packed[903], 0x82);
  EXPECT_EQ(packed[904], 7);

  std::mt19937 rng(4);
  for (unsigned depth : {8u, 16u, 24u, 32u}) {
    SCOPED_TRACE(depth);
    const size_t bpp = (depth + 1) / 8, count = 700;
    std::vector<uint8_t> src(count * bpp);
    for (size_t i = 0; i < count; ++i) {
      const uint8_t v = rng() % 4 == 0 ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(i / 37);
      for (size_t b = 0; b < bpp; ++b) src[i * bpp + b] = v;
    }
    TTargaRLEDecoder coder(depth);
    std::vector<uint8_t> enc(count * (bpp + 1) + 16);
    coder.Encode(src.data(), enc.data(), count, stored);
    ASSERT_LE(stored, enc.size());
    std::vector<uint8_t> dec(src.size());
    const uint8_t* s = enc.data();
    uint8_t* t = dec.data();
    coder.Decode(s, t, stored, count);
    EXPECT_EQ(dec, src);
    EXPECT_EQ(s, enc.data() + stored);
  }
}

// Readers decode run-length Targa and PCX data row by row into their scan lines: a packet cut
// by the end of one row carries on into the next call, so rows give what one call would.
TEST(DecodersTest, CutPacketsCarryOnIntoTheNextCall) {
  using V = std::vector<uint8_t>;
  struct TCase {
    const char* Name;
    std::function<std::unique_ptr<TDecoder>()> Make;
    V In;
    size_t Row, Rows, PixelSize;
    V Out;
  } cases[] = {
      {"targa run over three rows",
       [] { return std::make_unique<TTargaRLEDecoder>(8); },
       {0x86, 5, 0x01, 1, 2},
       3,
       3,
       1,
       {5, 5, 5, 5, 5, 5, 5, 1, 2}},
      {"targa literals over a row",
       [] { return std::make_unique<TTargaRLEDecoder>(8); },
       {0x04, 1, 2, 3, 4, 5, 0x80, 6},
       2,
       3,
       1,
       {1, 2, 3, 4, 5, 6}},
      {"targa 24-bit run then literal",
       [] { return std::make_unique<TTargaRLEDecoder>(24); },
       {0x82, 1, 2, 3, 0x00, 4, 5, 6},
       2,
       2,
       3,
       {1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5, 6}},
      {"pcx run over two lines",
       [] { return std::make_unique<TPCXRLEDecoder>(); },
       {0xC5, 9, 7},
       3,
       2,
       1,
       {9, 9, 9, 9, 9, 7}},
      // Literals are taken sixteen at a time up to the next count byte.
      {"pcx long literals around a cut run",
       [] { return std::make_unique<TPCXRLEDecoder>(); },
       {1,    2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 0xC4,
        0xC9, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37},
       20,
       2,
       1,
       {1,    2,    3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 0xC9, 0xC9,
        0xC9, 0xC9, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36,   37}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto d = c.Make();
    d->DecodeInit();
    V out(c.Out.size(), 0xEE);
    size_t pos = 0;
    for (size_t row = 0; row < c.Rows; ++row) {
      const uint8_t* s = c.In.data() + pos;
      uint8_t* t = out.data() + row * c.Row * c.PixelSize;
      // Targa counts pixels, PCX bytes.
      d->Decode(s, t, c.In.size() - pos, c.Row);
      EXPECT_EQ(d->LastOutput, c.Row * c.PixelSize) << row;
      pos += d->LastInput;
    }
    EXPECT_EQ(out, c.Out);
    EXPECT_EQ(pos, c.In.size());
  }
}

TEST(DecodersTest, DeflateEndConditions) {
  std::vector<uint8_t> plain(5000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7 / 13);
  std::vector<uint8_t> z(compressBound(plain.size()));
  uLongf zn = z.size();
  ASSERT_EQ(compress(z.data(), &zn, plain.data(), plain.size()), Z_OK);
  z.resize(zn);
  struct TCase {
    const char* Name;
    size_t In, Room;
    int Status;
    size_t OutLeft;
  } cases[] = {
      {"whole stream", zn, plain.size(), Z_STREAM_END, 0},
      {"cut data leaves output wanted", zn / 2, plain.size(), Z_OK, 1},
      {"small room stops at the room", zn, 100, Z_OK, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TLZ77Decoder d(Z_PARTIAL_FLUSH, false);
    std::vector<uint8_t> out(c.Room);
    const uint8_t* s = z.data();
    uint8_t* t = out.data();
    d.DecodeInit();
    d.Decode(s, t, c.In, c.Room);
    EXPECT_EQ(d.ZLibResult(), c.Status);
    EXPECT_EQ(d.AvailableOutput() > 0, c.OutLeft > 0);
    EXPECT_EQ(t - out.data(), static_cast<ptrdiff_t>(d.LastOutput));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<ptrdiff_t>(d.LastOutput), plain.begin()));
    d.DecodeEnd();
  }
  // Auto-reset decodes each buffer as a stream of its own.
  TLZ77Decoder strips(Z_PARTIAL_FLUSH, true);
  strips.DecodeInit();
  for (int i = 0; i < 2; ++i) {
    std::vector<uint8_t> out(plain.size());
    const uint8_t* s = z.data();
    uint8_t* t = out.data();
    strips.Decode(s, t, zn, out.size());
    EXPECT_EQ(strips.ZLibResult(), Z_STREAM_END);
    EXPECT_EQ(out, plain);
  }
  // Garbage is an error status, not an exception.
  TLZ77Decoder bad(Z_PARTIAL_FLUSH, false);
  DecodeAll(bad, {1, 2, 3, 4, 5, 6}, 10);
  EXPECT_LT(bad.ZLibResult(), 0);
}

// Whole streams (TIFF strips) decode as the streaming inflater decodes them, whatever is wrong
// with the stream or its room: the fast whole-buffer path may only take the streams it decodes
// whole and exact.
TEST(DecodersTest, DeflateWholeStreamsAsStreamed) {
  std::vector<uint8_t> plain(70000);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>((i * 2654435761u) >> 27);
  std::vector<uint8_t> z(compressBound(plain.size()));
  uLongf zn = z.size();
  ASSERT_EQ(compress(z.data(), &zn, plain.data(), plain.size()), Z_OK);
  z.resize(zn);
  std::vector<uint8_t> tail = z, badSum = z, cut(z.begin(), z.end() - 9), wide = z;
  tail.insert(tail.end(), {1, 2, 3});
  badSum.back() ^= 1;
  wide[0] = 0x88;
  wide[1] = static_cast<uint8_t>((wide[1] & 0xE0) | ((31 - (0x88 * 256 + (wide[1] & 0xE0)) % 31) % 31));
  struct TCase {
    const char* Name;
    const std::vector<uint8_t>& In;
    size_t Room;
  } cases[] = {{"exact room", z, plain.size()},        {"bytes after the stream", tail, plain.size()},
               {"room to spare", z, plain.size() + 7}, {"room too small", z, plain.size() - 1},
               {"stream cut", cut, plain.size()},      {"wrong checksum", badSum, plain.size()},
               {"window too wide", wide, plain.size()}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TLZ77Decoder whole(Z_PARTIAL_FLUSH, true, true), streamed(Z_PARTIAL_FLUSH, true);
    const TResult a = DecodeAll(whole, c.In, c.Room), b = DecodeAll(streamed, c.In, c.Room);
    EXPECT_EQ(whole.ZLibResult() < 0, streamed.ZLibResult() < 0);
    EXPECT_EQ(a.Written, b.Written);
    EXPECT_TRUE(std::equal(a.Out.begin(), a.Out.begin() + static_cast<ptrdiff_t>(a.Written), b.Out.begin()));
    if (streamed.ZLibResult() == Z_STREAM_END) {
      EXPECT_EQ(a.In, b.In);
    }
  }
}

// Streamed the way the PNG reader streams (input in pieces, output a row at a time), the
// inflater gives every byte, ends where the stream ends whatever follows it, and refuses the
// windows zlib refuses.
TEST(DecodersTest, DeflateStreamedInPieces) {
  std::vector<uint8_t> plain(200000);
  for (size_t i = 0; i < plain.size(); ++i)
    plain[i] = static_cast<uint8_t>((i * 7 / 13 ^ (i >> 5)) + ((i * 2654435761u) >> 29));
  std::vector<uint8_t> z(compressBound(plain.size()));
  uLongf zn = z.size();
  ASSERT_EQ(compress(z.data(), &zn, plain.data(), plain.size()), Z_OK);
  z.resize(zn);
  for (size_t tail : {0, 1, 5, 12})
    for (size_t piece : {size_t(1000), size_t(7919), zn})
      for (size_t row : {size_t(769), size_t(12289)}) {
        SCOPED_TRACE(testing::Message() << "tail " << tail << " piece " << piece << " row " << row);
        std::vector<uint8_t> in = z;
        in.insert(in.end(), tail, 0xA5);
        TLZ77Decoder d(Z_PARTIAL_FLUSH, false);
        d.DecodeInit();
        std::vector<uint8_t> out(plain.size());
        size_t at = 0, done = 0, limit = 0;
        while (d.ZLibResult() == Z_OK) {
          if (at == limit && limit < in.size()) limit = std::min(in.size(), limit + piece);
          const uint8_t* s = in.data() + at;
          uint8_t* t = out.data() + done;
          d.Decode(s, t, limit - at, std::min(row, out.size() - done));
          at += d.LastInput;
          done += d.LastOutput;
          if (d.LastInput == 0 && d.LastOutput == 0 && at == in.size()) break;
        }
        EXPECT_EQ(d.ZLibResult(), Z_STREAM_END);
        EXPECT_TRUE(out == plain);
        EXPECT_EQ(at - d.InputPastEnd(), zn);
      }
  // A window of 64 KiB (CINFO 8) with a valid header check.
  std::vector<uint8_t> wide = z;
  wide[0] = 0x88;
  wide[1] = static_cast<uint8_t>((wide[1] & 0xE0) | ((31 - (0x88 * 256 + (wide[1] & 0xE0)) % 31) % 31));
  TLZ77Decoder w(Z_PARTIAL_FLUSH, false);
  DecodeAll(w, wide, plain.size());
  EXPECT_LT(w.ZLibResult(), 0);
  // A distance reaching before the output is an error that still reports no more input used
  // than there was.
  const std::vector<uint8_t> far = {0x78, 0x9C, 0xCB, 0x48, 0xC9, 0xC9, 0x1C, 0xCD, 0xC8, 0x40, 0x90,
                                    0x57, 0xA3, 0x40, 0x19, 0x0A, 0x00, 0x00, 0x61, 0x2A, 0x81, 0xB1};
  TLZ77Decoder f(Z_PARTIAL_FLUSH, false);
  const TResult r = DecodeAll(f, far, 1);
  EXPECT_LT(f.ZLibResult(), 0);
  EXPECT_LE(r.In, far.size());
  EXPECT_LE(r.Written, 1u);
}

TEST(DecodersTest, ThunderScanDeltas) {
  // Width 6: one pixel 5, 2-bit deltas +1, none, -1 (6, 5), 3-bit deltas +3 -2 (8, 6), then a run of 3 of
  // the last value cut at the row's end.
  TThunderDecoder d(6);
  TResult r = DecodeAll(d, {0xC5, 0x40 | (1 << 4) | (2 << 2) | 3, 0x80 | (3 << 3) | 6, 0x03}, 3);
  EXPECT_EQ(r.Out, (std::vector<uint8_t>{0x56, 0x58, 0x66}));
}

// Random data never makes a decoder touch bytes outside its buffers (the sanitizer build checks
// the reads; the guard bytes check the writes) or claim more than it had.
TEST(DecodersTest, RandomDataStaysInsideTheBuffers) {
  std::mt19937 rng(11);
  std::vector<std::function<std::unique_ptr<TDecoder>()>> makers = {
      [] { return std::make_unique<TPackbitsRLEDecoder>(); },
      [] { return std::make_unique<TPCXRLEDecoder>(); },
      [] { return std::make_unique<TSGIRLEDecoder>(8); },
      [] { return std::make_unique<TSGIRLEDecoder>(16); },
      [] { return std::make_unique<TCUTRLEDecoder>(); },
      [] { return std::make_unique<TPSPRLEDecoder>(); },
      [] { return std::make_unique<TRLADecoder>(); },
      [] { return std::make_unique<TTargaRLEDecoder>(8); },
      [] { return std::make_unique<TThunderDecoder>(13); },
      [] { return std::make_unique<TCCITTFax3Decoder>(0, 37, false, false); },
      [] { return std::make_unique<TCCITTMHDecoder>(0, 37, true, true); },
  };
  for (size_t m = 0; m < makers.size(); ++m)
    for (int round = 0; round < 200; ++round) {
      std::vector<uint8_t> in(rng() % 64);
      for (uint8_t& b : in) b = static_cast<uint8_t>(round % 3 == 0 ? (rng() & 0x0F) : rng());
      const size_t room = rng() % 40;
      std::vector<uint8_t> buf(room + 8, 0xA5);
      auto d = makers[m]();
      const uint8_t* s = in.data();
      uint8_t* t = buf.data();
      d->Decode(s, t, in.size(), room);
      ASSERT_LE(d->LastInput, in.size()) << m;
      ASSERT_LE(d->LastOutput, room) << m;
      for (size_t i = room; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xA5) << "decoder " << m << " wrote past the end";
    }
}

// A JPEG strip cut short: one warning, and the strip still comes out whole (the library ends
// the image); a strip of the wrong size is refused.
TEST(DecodersTest, JpegStripCutShort) {
  SKIP_WITHOUT_PEER(codectest::kConvert);
  codectest::TScratchDir dir;
  codectest::WritePpm(dir / "s.ppm", codectest::MakeTestPicture(128, 64, 2));
  ASSERT_EQ(codectest::RunPeer(std::string(codectest::kConvert) + " " + (dir / "s.ppm") +
                               " -quality 80 -sampling-factor 2x2 " + (dir / "s.jpg")),
            0);
  const std::vector<uint8_t> jpg = codectest::ReadBytes(dir / "s.jpg");
  TImageProperties p;
  p.Width = 128;
  p.SamplesPerPixel = 3;
  p.BitsPerSample = 8;
  p.BytesPerLine = 3 * 128;
  p.YCbCrSubSampling = {2, 2};
  std::vector<std::string> warnings;
  SetDecoderWarningHandler(
      [&](const std::string& caption, const std::string& text) { warnings.push_back(caption + ": " + text); });
  struct TCase {
    size_t Bytes;
    uint32_t Height;
    size_t Warnings;
    const char* Error;
  } cases[] = {
      {jpg.size(), 64, 0, nullptr},
      {jpg.size() * 3 / 4, 64, 1, nullptr},
      {jpg.size(), 32, 0, "Improper JPEG strip/tile size."},
  };
  for (const TCase& c : cases) {
    warnings.clear();
    p.Height = c.Height;
    p.RowsPerStrip = {c.Height};
    TTIFFJPEGDecoder d(p, 6);
    std::vector<uint8_t> out(p.BytesPerLine * c.Height);
    const uint8_t* s = jpg.data();
    uint8_t* t = out.data();
    d.DecodeInit();
    try {
      d.Decode(s, t, c.Bytes, out.size());
      EXPECT_EQ(c.Error, nullptr);
      EXPECT_EQ(d.LastOutput, out.size());
    } catch (const EGraphicCompression& e) {
      EXPECT_STREQ(e.what(), c.Error);
    }
    d.DecodeEnd();
    ASSERT_EQ(warnings.size(), c.Warnings);
    for (const std::string& w : warnings) EXPECT_EQ(w, "Warning: JPEG decompression error. Unexpected end of input.");
  }
  SetDecoderWarningHandler(nullptr);
}

TEST(DecodersTest, PhotoCDHuffmanCorrections) {
  // One table of two one-bit codes: 0 adds 5, 1 takes 3 away (clamped to the byte).
  const std::vector<uint8_t> data = {1, 0, 0x00, 0x00, 5, 0, 0x80, 0x00, 0xFD, 0x60};
  TPCDDecoder d(data.data(), data.size());
  d.ReadTables(768);
  ASSERT_EQ(d.Table(0).size(), 2u);
  std::vector<uint8_t> plane = {10, 10, 10, 254, 1};
  const uint8_t* s = nullptr;
  uint8_t* t = plane.data();
  d.Decode(s, t, 0, 4);
  EXPECT_EQ(plane, (std::vector<uint8_t>{15, 7, 7, 255, 1}));
  // A table that runs past the data, or codes longer than 16 bits, are refused.
  const std::vector<uint8_t> cut = {3, 0, 0, 0};
  TPCDDecoder c(cut.data(), cut.size());
  EXPECT_THROW(c.ReadTables(768), EGraphicCompression);
  const std::vector<uint8_t> longCode = {0, 16, 0, 0, 1};
  TPCDDecoder l(longCode.data(), longCode.size());
  EXPECT_THROW(l.ReadTables(768), EGraphicCompression);
}
