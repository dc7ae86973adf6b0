#include "codecs/GIFStream.h"

#include <algorithm>

#include "imaging/ColorQuantizer.h"
#include "platform/Streams.h"

int GIFColorBits(unsigned N) {
  if (N == 0) return 0;
  int n = 1;
  while ((uint64_t{1} << n) < N) ++n;
  return n;
}

void GIFWriteByte(TStream& Stream, uint8_t B) { Stream.WriteBuffer(&B, 1); }

uint8_t GIFReadByte(TStream& Stream) {
  uint8_t b = 0;
  Stream.Read(&b, 1);
  return b;
}

void GIFReadBuffer(TStream& Stream, void* Buffer, size_t Count) {
  if (Stream.Read(Buffer, Count) != Count) GIFError("Premature end of data");
}

void GIFWriteStrings(TStream& Stream, const std::vector<std::string>& Strings) {
  for (const std::string& s : Strings) {
    size_t pos = 0;
    while (pos < s.size()) {
      size_t n = std::min<size_t>(255, s.size() - pos);
      GIFWriteByte(Stream, static_cast<uint8_t>(n));
      Stream.WriteBuffer(s.data() + pos, n);
      pos += n;
    }
  }
  GIFWriteByte(Stream, 0);
}

void GIFReadStrings(TStream& Stream, std::vector<std::string>& Strings) {
  Strings.clear();
  for (;;) {
    uint8_t n = 0;
    if (Stream.Read(&n, 1) != 1 || n == 0) return;
    char buf[255];
    size_t got = Stream.Read(buf, n);
    size_t len = 0;
    while (len < got && buf[len] != 0) ++len;
    Strings.emplace_back(buf, len);
    if (got != n) return;  // a truncated block keeps what was read and ends the list
  }
}
