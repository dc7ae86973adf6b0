// JPEG-compressed TIFF strips through libjpeg, with our own source and error managers.
//
// libjpeg reports a fatal error by calling error_exit, which must not return. Ours jumps back
// to the setjmp in Guarded, a small frame that holds nothing to destroy and calls exactly one
// library function; the C++ exception is raised only after that frame has returned.
#include <csetjmp>
#include <cstdio>
#include <string>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "codecs/GraphicCompression.h"
#include "codecs/ImageFormats.h"

namespace {

constexpr JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
// Bound libjpeg's working memory; a strip is at most a picture within the size limits.
constexpr long kMaxJpegMemory = 512L * 1024 * 1024;

struct TErrorManager {
  jpeg_error_mgr Pub;
  jmp_buf Jump;
};

struct TSourceManager {
  jpeg_source_mgr Pub;
  bool Warned = false;
};

void ErrorExit(j_common_ptr cinfo) { longjmp(reinterpret_cast<TErrorManager*>(cinfo->err)->Jump, 1); }
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  DecoderWarning("Warning", text);
}
void FormatMessage(j_common_ptr cinfo, char* buffer) {
  // The library's own texts, for the warning box.
  jpeg_error_mgr* err = cinfo->err;
  const int code = err->msg_code;
  if (code > 0 && code <= err->last_jpeg_message && err->jpeg_message_table[code])
    std::snprintf(buffer, JMSG_LENGTH_MAX, "%s", err->jpeg_message_table[code]);
  else
    std::snprintf(buffer, JMSG_LENGTH_MAX, "JPEG error #%d", code);
}
void ResetErrorManager(j_common_ptr cinfo) {
  cinfo->err->msg_code = 0;
  cinfo->err->num_warnings = 0;
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// The data ended before the library was done: say so once, then end the image.
void InsertEndOfImage(j_decompress_ptr cinfo) {
  TSourceManager* src = reinterpret_cast<TSourceManager*>(cinfo->src);
  if (!src->Warned) DecoderWarning("Warning", "JPEG decompression error. Unexpected end of input.");
  src->Warned = true;
  src->Pub.next_input_byte = kEndOfImage;
  src->Pub.bytes_in_buffer = 2;
}
boolean FillInputBuffer(j_decompress_ptr cinfo) {
  InsertEndOfImage(cinfo);
  return TRUE;
}
void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  if (static_cast<size_t>(count) > src->bytes_in_buffer) {
    InsertEndOfImage(cinfo);
    return;
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

}  // namespace

struct TTIFFJPEGDecoder::TState {
  jpeg_decompress_struct Info{};
  TErrorManager Error{};
  TSourceManager Source{};
  bool Created = false;
  int HSampling = 1, VSampling = 1;

  void Point(const uint8_t* data, size_t size) {
    Source.Pub.next_input_byte = data;
    Source.Pub.bytes_in_buffer = size;
    Source.Warned = false;
  }
};

namespace {

// Runs one library call; false when the library raised an error.
template <class F>
[[gnu::noinline]] bool Guarded(TErrorManager& err, F&& call) {
  if (setjmp(err.Jump)) return false;
  call();
  return true;
}

[[noreturn]] void RaiseJpegError(const jpeg_decompress_struct& info) {
  GraphicError("JPEG error #" + std::to_string(info.err->msg_code));
}

}  // namespace

TTIFFJPEGDecoder::TTIFFJPEGDecoder(const TImageProperties& properties, uint32_t photometric)
    : FProperties(properties), FPhotometric(photometric), FState(std::make_unique<TState>()) {}

TTIFFJPEGDecoder::~TTIFFJPEGDecoder() { DecodeEnd(); }

void TTIFFJPEGDecoder::DecodeInit() {
  DecodeEnd();
  TState& st = *FState;
  st.Info.err = jpeg_std_error(&st.Error.Pub);
  st.Error.Pub.error_exit = ErrorExit;
  st.Error.Pub.emit_message = EmitMessage;
  st.Error.Pub.output_message = OutputMessage;
  st.Error.Pub.format_message = FormatMessage;
  st.Error.Pub.reset_error_mgr = ResetErrorManager;
  if (!Guarded(st.Error, [&] { jpeg_create_decompress(&st.Info); })) RaiseJpegError(st.Info);
  st.Created = true;
  st.Info.mem->max_memory_to_use = kMaxJpegMemory;
  st.Source.Pub.init_source = InitSource;
  st.Source.Pub.fill_input_buffer = FillInputBuffer;
  st.Source.Pub.skip_input_data = SkipInputData;
  st.Source.Pub.resync_to_restart = jpeg_resync_to_restart;
  st.Source.Pub.term_source = TermSource;
  st.Info.src = &st.Source.Pub;
  const std::vector<uint8_t>& sub = FProperties.YCbCrSubSampling;
  st.HSampling = sub.size() >= 1 ? sub[0] : 1;
  st.VSampling = sub.size() >= 2 ? sub[1] : 1;
  if (!FProperties.JPEGTables.empty()) {
    st.Point(FProperties.JPEGTables.data(), FProperties.JPEGTables.size());
    int rc = 0;
    if (!Guarded(st.Error, [&] { rc = jpeg_read_header(&st.Info, FALSE); }) || rc != JPEG_HEADER_TABLES_ONLY)
      throw EGraphicCompression("Bogus JPEG tables field.");
  }
}

void TTIFFJPEGDecoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  TState& st = *FState;
  if (!st.Created) DecodeInit();
  jpeg_decompress_struct& info = st.Info;
  LastInput = LastOutput = 0;
  st.Point(source, packedSize);
  int rc = 0;
  if (!Guarded(st.Error, [&] { rc = jpeg_read_header(&info, TRUE); })) RaiseJpegError(info);
  if (rc != JPEG_HEADER_OK) throw EGraphicCompression("Improper JPEG strip/tile size.");

  const TImageProperties& p = FProperties;
  const uint32_t rps =
      p.RowsPerStrip.empty() ? p.Height : p.RowsPerStrip[std::min<size_t>(p.CurrentStrip, p.RowsPerStrip.size() - 1)];
  const uint32_t rows = std::min(p.Height - std::min(p.CurrentRow, p.Height), rps);
  auto abort = [&] { Guarded(st.Error, [&] { jpeg_abort_decompress(&info); }); };
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
  if (!Guarded(st.Error, [&] { jpeg_start_decompress(&info); })) RaiseJpegError(info);

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
    if (!Guarded(st.Error, [&] { got = jpeg_read_scanlines(&info, &row, 1); })) RaiseJpegError(info);
    if (got == 0) break;
    ++done;
  }
  if (info.output_scanline < info.output_height) {
    abort();
  } else if (!Guarded(st.Error, [&] { jpeg_finish_decompress(&info); })) {
    RaiseJpegError(info);
  }
  LastInput = st.Source.Warned ? packedSize : packedSize - st.Source.Pub.bytes_in_buffer;
  LastOutput = done * rowSize;
}

void TTIFFJPEGDecoder::DecodeEnd() {
  TState& st = *FState;
  if (!st.Created) return;
  st.Created = false;
  jpeg_destroy_decompress(&st.Info);
}
