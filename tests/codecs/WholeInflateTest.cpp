// The whole-stream inflater against zlib: it takes every stream zlib writes, and on damaged
// ones it either declines or gives exactly what zlib gives, alone or beside another stream.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "codecs/WholeInflate.h"

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Deflate(const TBytes& plain, int level, int memLevel, int strategy) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, 15, memLevel, strategy), Z_OK);
  TBytes out(deflateBound(&z, plain.size()));
  z.next_in = const_cast<uint8_t*>(plain.data());
  z.avail_in = static_cast<uInt>(plain.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// zlib's reading: the output when the stream is whole and fills exactly the room, with the
// bytes it took.
struct TExact {
  bool Whole = false;
  TBytes Out;
  size_t Used = 0;
};

TExact Inflate(const TBytes& in, size_t room) {
  TExact r;
  r.Out.resize(room + 1);
  z_stream z{};
  inflateInit(&z);
  z.next_in = const_cast<uint8_t*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = r.Out.data();
  z.avail_out = static_cast<uInt>(room + 1);  // one more, so that a longer stream shows
  r.Whole = inflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out == room;
  r.Used = z.total_in;
  r.Out.resize(room);
  inflateEnd(&z);
  return r;
}

// Ours on the stream, alone and paired with a good stream on either side: it declines, or it
// agrees with zlib; the good partner always comes out whole.
void ExpectDeclinesOrAgrees(TWholeInflater& inflater, const TBytes& in, size_t room, const TBytes& good,
                            const TBytes& goodPlain) {
  const TExact zlib = Inflate(in, room);
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way == 0 ? "alone" : way == 1 ? "first of two" : "second of two");
    TBytes out(room + 16, 0xEE), partnerOut(goodPlain.size());
    TWholeInflater::TJob job{in.data(), in.size(), out.data(), room};
    TWholeInflater::TJob partner{good.data(), good.size(), partnerOut.data(), partnerOut.size()};
    if (way == 0)
      inflater.Inflate(job);
    else if (way == 1)
      inflater.InflatePair(job, partner);
    else
      inflater.InflatePair(partner, job);
    if (way != 0) {
      EXPECT_TRUE(partner.Done);
      EXPECT_EQ(partnerOut, goodPlain);
    }
    // Nothing past the room is written, whatever the stream says.
    EXPECT_EQ(TBytes(out.begin() + static_cast<ptrdiff_t>(room), out.end()), TBytes(16, 0xEE));
    if (!job.Done) continue;
    EXPECT_TRUE(zlib.Whole);
    EXPECT_EQ(job.Used, zlib.Used);
    EXPECT_TRUE(std::equal(zlib.Out.begin(), zlib.Out.end(), out.begin()));
  }
}

}  // namespace

TEST(WholeInflateTest, DeclinesOrAgreesWithZlib) {
  std::mt19937 random(7);
  TBytes noise(100000), text, picture, runs(60000, 0), one = {'A'};
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  static const char* const words[] = {"skin ", "mesh ", "frame ", "texture ", "palette ", "\n"};
  while (text.size() < 300000) {
    const std::string w = words[random() % 6];
    text.insert(text.end(), w.begin(), w.end());
  }
  // A noisy gradient of RGB pixels: literals of about seven bits and short matches nearby.
  for (unsigned y = 0; y < 24; ++y)
    for (unsigned x = 0; x < 1024; ++x)
      for (unsigned c = 0; c < 3; ++c) picture.push_back(static_cast<uint8_t>(x / 4 + y * c + random() % 6));
  for (size_t i = 0; i < runs.size(); i += 1 + random() % 700) runs[i] = static_cast<uint8_t>(random());
  const struct {
    const char* Name;
    const TBytes& Plain;
  } sources[] = {{"noise", noise}, {"text", text}, {"picture", picture}, {"runs", runs}, {"one byte", one}};
  const struct {
    int Level, MemLevel, Strategy;
  } settings[] = {{0, 8, Z_DEFAULT_STRATEGY},
                  {1, 8, Z_DEFAULT_STRATEGY},
                  {6, 8, Z_DEFAULT_STRATEGY},
                  {9, 9, Z_DEFAULT_STRATEGY},
                  {6, 1, Z_DEFAULT_STRATEGY},
                  {6, 8, Z_FILTERED},
                  {6, 8, Z_HUFFMAN_ONLY},
                  {6, 8, Z_RLE},
                  {6, 8, Z_FIXED}};
  const TBytes good = Deflate(picture, 6, 8, Z_DEFAULT_STRATEGY);
  // Both paths: with BMI2 where this processor has it, and the plain one of those without.
  for (const bool bmi2 : {true, false})
    for (const auto& source : sources)
      for (const auto& s : settings) {
        SCOPED_TRACE(testing::Message() << source.Name << ", level " << s.Level << ", memory level " << s.MemLevel
                                        << ", strategy " << s.Strategy << (bmi2 ? "" : ", plain path"));
        TWholeInflater inflater(bmi2);
        const TBytes& plain = source.Plain;
        const TBytes z = Deflate(plain, s.Level, s.MemLevel, s.Strategy);
        // Every stream zlib writes is taken, with bytes after it or without.
        TBytes out(plain.size());
        TBytes tail = z;
        tail.insert(tail.end(), {1, 2, 3});
        for (const TBytes* in : {&z, static_cast<const TBytes*>(&tail)}) {
          TWholeInflater::TJob job{in->data(), in->size(), out.data(), out.size()};
          EXPECT_TRUE(inflater.Inflate(job));
          EXPECT_EQ(job.Used, z.size());
          EXPECT_EQ(out, plain);
        }
        ExpectDeclinesOrAgrees(inflater, z, plain.size() + 1, good, picture);
        ExpectDeclinesOrAgrees(inflater, z, plain.size() - 1, good, picture);
        for (size_t k = 0; k < 8; ++k) {
          const TBytes cut(z.begin(), z.begin() + static_cast<ptrdiff_t>(z.size() * k / 8));
          ExpectDeclinesOrAgrees(inflater, cut, plain.size(), good, picture);
        }
        // Bits flipped across the stream, the checksum's last among them.
        for (size_t k = 0; k <= 12; ++k) {
          TBytes damaged = z;
          damaged[k < 12 ? damaged.size() * k / 12 : damaged.size() - 1] ^= static_cast<uint8_t>(1u << (k % 8));
          ExpectDeclinesOrAgrees(inflater, damaged, plain.size(), good, picture);
        }
      }
}

namespace {

// Writes a zlib stream of one dynamic block bit by bit, so that its header can say what
// deflate allows but zlib's writer never says.
struct TBlockWriter {
  TBytes Out = {0x78, 0x01};
  uint32_t Acc = 0;
  unsigned Bits = 0;

  void Put(uint32_t value, unsigned n) {
    Acc |= value << Bits;
    for (Bits += n; Bits >= 8; Bits -= 8, Acc >>= 8) Out.push_back(static_cast<uint8_t>(Acc));
  }
  // A Huffman code, most significant bit first.
  void PutCode(uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;) Put((code >> i) & 1, 1);
  }
  TBytes Finish(const TBytes& plain) {
    if (Bits) Put(0, 8 - Bits);
    const uLong sum = adler32(1, plain.data(), static_cast<uInt>(plain.size()));
    for (int shift = 24; shift >= 0; shift -= 8) Out.push_back(static_cast<uint8_t>(sum >> shift));
    return Out;
  }
};

// Canonical codes for lengths.
std::vector<uint32_t> Codes(const std::vector<unsigned>& lengths) {
  unsigned count[16] = {}, next[16] = {};
  for (unsigned l : lengths) ++count[l];
  count[0] = 0;
  for (unsigned l = 1, code = 0; l < 16; ++l) next[l] = code = (code + count[l - 1]) << 1;
  std::vector<uint32_t> codes;
  for (unsigned l : lengths) codes.push_back(l ? next[l]++ : 0);
  return codes;
}

}  // namespace

// Runs of code lengths may run on from the literal and length code into the distance code,
// which zlib's writer never does; a run before any length, or past the last, is invalid.
TEST(WholeInflateTest, CodeLengthRunsAcrossTheTwoCodes) {
  // Code-length symbol, its extra bits' value and their count.
  struct TRun {
    unsigned Symbol, Extra, ExtraBits;
  };
  std::vector<TRun> nines;
  for (int i = 0; i < 256; ++i) nines.push_back({9, 0, 0});
  const auto with = [&](std::vector<TRun> tail) {
    std::vector<TRun> runs = nines;
    runs.insert(runs.end(), tail.begin(), tail.end());
    return runs;
  };
  const struct {
    const char* Name;
    unsigned LitCount, DistCount;
    std::vector<TRun> Runs;
    bool Valid;
  } cases[] = {
      // Literals of 9 bits, then 3 bits for symbols 256-259 and all eight distances: the
      // first repeat covers three of each code.
      {"repeat across", 260, 8, with({{3, 0, 0}, {16, 3, 2}, {16, 2, 2}}), true},
      // Symbols 260-285 without a code, and the distance code's first 22: one run of zeros.
      {"zeros across", 286, 30, with({{3, 0, 0}, {16, 0, 2}, {18, 37, 7}, {3, 0, 0}, {16, 3, 2}, {3, 0, 0}}), true},
      {"repeat first", 260, 8, {{16, 0, 2}}, false},
      {"zeros past the end", 260, 8, with({{3, 0, 0}, {16, 0, 2}, {18, 127, 7}}), false},
  };
  // The code-length code: symbols 0-12 of 4 bits, 13-18 of 5.
  std::vector<unsigned> lenCodeLengths(19, 4);
  for (unsigned s = 13; s < 19; ++s) lenCodeLengths[s] = 5;
  const std::vector<uint32_t> lenCodes = Codes(lenCodeLengths);
  static const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  const TBytes plain = {'s', 'k', 'i', 's', 'k', 'i', 'n'};
  const TBytes good = Deflate(plain, 6, 8, Z_DEFAULT_STRATEGY);
  TWholeInflater inflater;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TBlockWriter w;
    w.Put(1, 1);  // final
    w.Put(2, 2);  // dynamic
    w.Put(c.LitCount - 257, 5);
    w.Put(c.DistCount - 1, 5);
    w.Put(19 - 4, 4);
    for (unsigned s : order) w.Put(lenCodeLengths[s], 3);
    std::vector<unsigned> lengths;
    for (const TRun& r : c.Runs) {
      w.PutCode(lenCodes[r.Symbol], lenCodeLengths[r.Symbol]);
      w.Put(r.Extra, r.ExtraBits);
      const unsigned times = r.Symbol < 16    ? 1
                             : r.Symbol == 16 ? 3 + r.Extra
                             : r.Symbol == 17 ? 3 + r.Extra
                                              : 11 + r.Extra;
      const unsigned value = r.Symbol < 16 ? r.Symbol : r.Symbol == 16 && !lengths.empty() ? lengths.back() : 0;
      lengths.insert(lengths.end(), times, value);
    }
    if (c.Valid) {
      ASSERT_EQ(lengths.size(), c.LitCount + c.DistCount);
      const std::vector<unsigned> lit(lengths.begin(), lengths.begin() + c.LitCount),
          dist(lengths.begin() + c.LitCount, lengths.end());
      const std::vector<uint32_t> litCodes = Codes(lit), distCodes = Codes(dist);
      // "ski", then a match of 3 at distance 3 where the distance code has one (code 2),
      // else the literals, then "n" and the end of the block.
      for (uint8_t b : {'s', 'k', 'i'}) w.PutCode(litCodes[b], lit[b]);
      if (dist[2]) {
        w.PutCode(litCodes[257], lit[257]);
        w.PutCode(distCodes[2], dist[2]);
      } else {
        for (uint8_t b : {'s', 'k', 'i'}) w.PutCode(litCodes[b], lit[b]);
      }
      w.PutCode(litCodes['n'], lit['n']);
      w.PutCode(litCodes[256], lit[256]);
    }
    const TBytes z = w.Finish(plain);
    const TExact zlib = Inflate(z, plain.size());
    EXPECT_EQ(zlib.Whole, c.Valid);
    TBytes out(plain.size());
    TWholeInflater::TJob job{z.data(), z.size(), out.data(), out.size()};
    EXPECT_EQ(inflater.Inflate(job), c.Valid);
    if (c.Valid) {
      EXPECT_EQ(out, plain);
    }
    ExpectDeclinesOrAgrees(inflater, z, plain.size(), good, plain);
  }
}
