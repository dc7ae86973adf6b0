// JPEG-compressed TIFF strips through libjpeg. A strip cut short is not an error: the library
// gets an end-of-image marker, and the user a warning.
#include <string>

#include "codecs/GraphicCompression.h"
#include "codecs/ImageFormats.h"
#include "platform/JpegSupport.h"

namespace {

void WarnDataEnded() { DecoderWarning("Warning", "JPEG decompression error. Unexpected end of input."); }

[[noreturn]] void RaiseJpegError(const jpeg_decompress_struct& info) {
  GraphicError("JPEG error #" + std::to_string(info.err->msg_code));
}

}  // namespace

struct TTIFFJPEGDecoder::TState {
  jpeg_decompress_struct Info{};
  TJpegErrorManager Error{};
  TJpegMemorySource Source{};
  bool Created = false;
  int HSampling = 1, VSampling = 1;
};

TTIFFJPEGDecoder::TTIFFJPEGDecoder(const TImageProperties& properties, uint32_t photometric)
    : FProperties(properties), FPhotometric(photometric), FState(std::make_unique<TState>()) {}

TTIFFJPEGDecoder::~TTIFFJPEGDecoder() { DecodeEnd(); }

void TTIFFJPEGDecoder::DecodeInit() {
  DecodeEnd();
  TState& st = *FState;
  UseJpegErrorManager(st.Info, st.Error);
  if (!JpegCall(st.Error, [&] { jpeg_create_decompress(&st.Info); })) RaiseJpegError(st.Info);
  st.Created = true;
  st.Info.mem->max_memory_to_use = kJpegMaxMemory;
  UseJpegMemorySource(st.Info, st.Source, TJpegDataEnd::EndMarker, WarnDataEnded);
  const std::vector<uint8_t>& sub = FProperties.YCbCrSubSampling;
  st.HSampling = sub.size() >= 1 ? sub[0] : 1;
  st.VSampling = sub.size() >= 2 ? sub[1] : 1;
  if (!FProperties.JPEGTables.empty()) {
    SetJpegSourceData(st.Source, FProperties.JPEGTables.data(), FProperties.JPEGTables.size());
    int rc = 0;
    if (!JpegCall(st.Error, [&] { rc = jpeg_read_header(&st.Info, FALSE); }) || rc != JPEG_HEADER_TABLES_ONLY)
      throw EGraphicCompression("Bogus JPEG tables field.");
  }
}

void TTIFFJPEGDecoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  TState& st = *FState;
  if (!st.Created) DecodeInit();
  jpeg_decompress_struct& info = st.Info;
  LastInput = LastOutput = 0;
  SetJpegSourceData(st.Source, source, packedSize);
  int rc = 0;
  if (!JpegCall(st.Error, [&] { rc = jpeg_read_header(&info, TRUE); })) RaiseJpegError(info);
  if (rc != JPEG_HEADER_OK) throw EGraphicCompression("Improper JPEG strip/tile size.");

  const TImageProperties& p = FProperties;
  const uint32_t rps =
      p.RowsPerStrip.empty() ? p.Height : p.RowsPerStrip[std::min<size_t>(p.CurrentStrip, p.RowsPerStrip.size() - 1)];
  const uint32_t rows = std::min(p.Height - std::min(p.CurrentRow, p.Height), rps);
  auto abort = [&] { JpegCall(st.Error, [&] { jpeg_abort_decompress(&info); }); };
  if (info.image_width != p.Width || info.image_height != rows) {
    abort();
    throw EGraphicCompression("Improper JPEG strip/tile size.");
  }
  const int components = p.PlanarConfig == 2 ? 1 : p.SamplesPerPixel;
  if (info.num_components != components) {
    abort();
    throw EGraphicCompression("Improper JPEG component count.");
  }
  if (info.data_precision != p.BitsPerSample) {
    abort();
    throw EGraphicCompression("Improper JPEG data precision.");
  }
  bool samplingOk = true;
  if (p.PlanarConfig != 2) {
    samplingOk = info.comp_info[0].h_samp_factor == st.HSampling && info.comp_info[0].v_samp_factor == st.VSampling;
    for (int i = 1; i < info.num_components; ++i)
      samplingOk = samplingOk && info.comp_info[i].h_samp_factor == 1 && info.comp_info[i].v_samp_factor == 1;
  } else {
    samplingOk = info.comp_info[0].h_samp_factor == 1 && info.comp_info[0].v_samp_factor == 1;
  }
  if (!samplingOk) {
    abort();
    throw EGraphicCompression("Improper JPEG sampling factors.");
  }
  // The colour spaces are set from the TIFF, not guessed from markers the strips do not carry;
  // colour comes out in the bitmap's byte order.
  if (components == 3) {
    info.jpeg_color_space = FPhotometric == 6 ? JCS_YCbCr : JCS_RGB;
    info.out_color_space = JCS_EXT_BGR;
  }
  if (!JpegCall(st.Error, [&] { jpeg_start_decompress(&info); })) RaiseJpegError(info);

  const size_t rowSize = p.BytesPerLine;
  const size_t outRow = static_cast<size_t>(info.output_width) * static_cast<size_t>(info.output_components);
  if (rowSize == 0 || unpackedSize % rowSize != 0 || outRow > rowSize) {
    abort();
    throw EGraphicCompression("Fractional JPEG scanline unsupported.");
  }
  const size_t wanted = unpackedSize / rowSize;
  size_t done = 0;
  while (done < wanted && info.output_scanline < info.output_height) {
    JSAMPROW row = dest + done * rowSize;
    JDIMENSION got = 0;
    if (!JpegCall(st.Error, [&] { got = jpeg_read_scanlines(&info, &row, 1); })) RaiseJpegError(info);
    if (got == 0) break;
    ++done;
  }
  if (info.output_scanline < info.output_height) {
    abort();
  } else if (!JpegCall(st.Error, [&] { jpeg_finish_decompress(&info); })) {
    RaiseJpegError(info);
  }
  LastInput = st.Source.Ended ? packedSize : packedSize - st.Source.Pub.bytes_in_buffer;
  LastOutput = done * rowSize;
}

void TTIFFJPEGDecoder::DecodeEnd() {
  TState& st = *FState;
  if (!st.Created) return;
  st.Created = false;
  jpeg_destroy_decompress(&st.Info);
}
