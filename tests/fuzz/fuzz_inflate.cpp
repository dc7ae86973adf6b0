// The whole-stream inflater on arbitrary data: the first two bytes give the room for output,
// the rest is the stream. Whatever it takes, alone or beside a copy of itself, must be what
// zlib makes of the same bytes; it never writes past the room. Left to its caller, the checksum
// it reports decides as its own check would.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codecs/WholeInflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t room = static_cast<size_t>(data[0] << 8 | data[1]) * 4;
  const std::vector<uint8_t> in(data + 2, data + size);
  // zlib's reading, one byte of room more so that a longer stream shows.
  std::vector<uint8_t> expected(room + 1);
  z_stream z{};
  inflateInit(&z);
  z.next_in = const_cast<uint8_t*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = expected.data();
  z.avail_out = static_cast<uInt>(expected.size());
  const bool whole = inflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out == room;
  const size_t used = z.total_in;
  inflateEnd(&z);
  static TWholeInflater inflater;
  std::vector<uint8_t> a(room), b(room);
  TWholeInflater::TJob one{in.data(), in.size(), a.data(), room};
  inflater.Inflate(one);
  if (one.Done && (!whole || one.Used != used || std::memcmp(a.data(), expected.data(), room) != 0)) __builtin_trap();
  TWholeInflater::TJob first{in.data(), in.size(), a.data(), room}, second{in.data(), in.size(), b.data(), room};
  second.CallerSums = true;
  inflater.InflatePair(first, second);
  if (second.Done && adler32(1, b.data(), static_cast<uInt>(room)) != second.Sum) second.Done = false;
  if (first.Done != one.Done || second.Done != one.Done) __builtin_trap();
  if (first.Done && (first.Used != used || second.Used != used || std::memcmp(a.data(), expected.data(), room) != 0 ||
                     std::memcmp(b.data(), expected.data(), room) != 0))
    __builtin_trap();
  return 0;
}
