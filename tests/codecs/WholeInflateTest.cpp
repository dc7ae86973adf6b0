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
