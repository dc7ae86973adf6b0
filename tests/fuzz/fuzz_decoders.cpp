// Every decompressor on arbitrary data: the first byte picks the decoder, the next two the room
// for output; a decoder may stop early or raise its error, never touch bytes outside its buffers.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/GraphicCompression.h"
#include "codecs/ImageFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const unsigned which = data[0] % 15;
  const size_t room = static_cast<size_t>(data[1] << 8 | data[2]) % 8192;
  data += 3;
  size -= 3;
  TImageProperties props;
  props.Width = 8 + which;
  props.Height = 8;
  props.SamplesPerPixel = 3;
  props.BitsPerSample = 8;
  props.BytesPerLine = props.Width * 3;
  std::unique_ptr<TDecoder> d;
  switch (which) {
    case 0: d = std::make_unique<TTargaRLEDecoder>(8); break;
    case 1: d = std::make_unique<TTargaRLEDecoder>(24); break;
    case 2: d = std::make_unique<TPackbitsRLEDecoder>(); break;
    case 3: d = std::make_unique<TPCXRLEDecoder>(); break;
    case 4: d = std::make_unique<TSGIRLEDecoder>(8); break;
    case 5: d = std::make_unique<TSGIRLEDecoder>(16); break;
    case 6: d = std::make_unique<TCUTRLEDecoder>(); break;
    case 7: d = std::make_unique<TPSPRLEDecoder>(); break;
    case 8: d = std::make_unique<TRLADecoder>(); break;
    case 9: d = std::make_unique<TCCITTFax3Decoder>(0, 1 + room % 300, false, size & 1); break;
    case 10: d = std::make_unique<TCCITTMHDecoder>(0, 1 + room % 300, room & 1, size & 1); break;
    case 11: d = std::make_unique<TLZ77Decoder>(1, room & 1); break;
    case 12: d = std::make_unique<TThunderDecoder>(1 + room % 100); break;
    case 13: d = std::make_unique<TTIFFJPEGDecoder>(props, 6); break;
    default: {
      TPCDDecoder pcd(data, size);
      try {
        pcd.ReadTables(room);
        std::vector<uint8_t> out(room % 512);
        const uint8_t* s = data;
        uint8_t* t = out.data();
        pcd.Decode(s, t, size, out.size());
      } catch (const Exception&) {
      }
      return 0;
    }
  }
  // Targa counts in pixels of up to 3 bytes.
  std::vector<uint8_t> out(room * 3);
  const size_t unpacked = which <= 1 ? room : (which == 13 ? room - room % props.BytesPerLine : room);
  std::vector<uint8_t> in(data, data + size);
  const uint8_t* s = in.data();
  uint8_t* t = out.data();
  try {
    d->DecodeInit();
    d->Decode(s, t, in.size(), unpacked);
    d->DecodeEnd();
  } catch (const Exception&) {
    return 0;
  }
  if (d->LastInput > in.size() || d->LastOutput > out.size()) __builtin_trap();
  return 0;
}
