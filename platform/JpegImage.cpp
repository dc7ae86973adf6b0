// JPEG decoding through libjpeg with a memory source manager and an error manager of our own:
// libjpeg's default error handler would end the program, ours jumps back and raises instead.
#include "platform/JpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "platform/BmpFormat.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace {

struct TJpegError {
  jpeg_error_mgr Pub;
  jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo) {
  TJpegError* err = reinterpret_cast<TJpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->Message);
  longjmp(err->Jump, 1);
}

// Warnings (corrupt but decodable data) are not printed; the picture still loads.
void OutputMessage(j_common_ptr) {}

void InitSource(j_decompress_ptr) {}
// The whole file is in memory: asking for more means the data ended before the image did.
boolean FillInputBuffer(j_decompress_ptr cinfo) {
  ERREXIT(cinfo, JERR_INPUT_EOF);
  return FALSE;
}
void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  if (static_cast<size_t>(count) > src->bytes_in_buffer) ERREXIT(cinfo, JERR_INPUT_EOF);
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}
void TermSource(j_decompress_ptr) {}

// A progressive file may repeat its scans, each of which passes over the whole picture: a few
// kilobytes of scan headers would keep the decoder busy for minutes. Encoders write a dozen or so.
constexpr int kMaxJpegScans = 100;

void ProgressMonitor(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxJpegScans) return;
  TJpegError* err = reinterpret_cast<TJpegError*>(cinfo->err);
  std::snprintf(err->Message, sizeof err->Message, "the picture has more than %d scans", kMaxJpegScans);
  longjmp(err->Jump, 1);
}

[[noreturn]] void Invalid(const std::string& what) { throw EInvalidGraphic("JPEG image is not valid: " + what); }

// One loop per kind of row, so the per-pixel work holds no tests of the colour space: the
// largest picture allowed has a billion pixels.
void ConvertRow(const JSAMPLE* in, uint8_t* out, int width, int components, J_COLOR_SPACE space, bool adobeInverted) {
  if (components == 1) {
    for (int x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
  } else if (space == JCS_CMYK) {
    // Files from Adobe store CMYK inverted, others plainly.
    const unsigned flip = adobeInverted ? 0u : 255u;
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
      const unsigned c = flip ^ in[0], m = flip ^ in[1], y = flip ^ in[2], k = flip ^ in[3];
      out[0] = static_cast<uint8_t>((y * k + 127) / 255);
      out[1] = static_cast<uint8_t>((m * k + 127) / 255);
      out[2] = static_cast<uint8_t>((c * k + 127) / 255);
    }
  } else {
    for (int x = 0; x < width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
}

// Returns false with the library's message in err.Message when libjpeg gave up. Between
// setjmp and the end nothing here owns memory outside cinfo, so the jump leaks nothing.
bool Decode(const uint8_t* data, size_t size, TBitmap* out, TJpegError& err) {
  jpeg_decompress_struct cinfo;
  jpeg_source_mgr src;
  cinfo.err = jpeg_std_error(&err.Pub);
  err.Pub.error_exit = ErrorExit;
  err.Pub.output_message = OutputMessage;
  err.Message[0] = 0;
  if (setjmp(err.Jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_progress_mgr progress{};
  progress.progress_monitor = ProgressMonitor;
  cinfo.progress = &progress;
  // Bound libjpeg's own working memory (a progressive file keeps every coefficient of the image):
  // a tiny file that declares a huge picture fails instead of exhausting memory.
  cinfo.mem->max_memory_to_use = 512L * 1024 * 1024;
  src.init_source = InitSource;
  src.fill_input_buffer = FillInputBuffer;
  src.skip_input_data = SkipInputData;
  src.resync_to_restart = jpeg_resync_to_restart;
  src.term_source = TermSource;
  src.next_input_byte = data;
  src.bytes_in_buffer = size;
  cinfo.src = &src;

  jpeg_read_header(&cinfo, TRUE);
  J_COLOR_SPACE space;
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE: space = JCS_GRAYSCALE; break;
    case JCS_CMYK:
    case JCS_YCCK: space = JCS_CMYK; break;
    default: space = JCS_RGB;
  }
  cinfo.out_color_space = space;
  bool adobeInverted = cinfo.saw_Adobe_marker;
  uint64_t w = cinfo.image_width, h = cinfo.image_height;
  if (w == 0 || h == 0 || w * h > kBmpMaxPixels || BytesPerScanline(w, 24) * h > kBmpMaxBytes) {
    std::snprintf(err.Message, sizeof err.Message, "image size %llux%llu is not supported",
                  static_cast<unsigned long long>(w), static_cast<unsigned long long>(h));
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_start_decompress(&cinfo);
  int width = static_cast<int>(cinfo.output_width);
  int components = cinfo.output_components;
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                              cinfo.output_width * static_cast<JDIMENSION>(components), 1);
  // No scope guard here: libjpeg's errors longjmp past this frame, and a jump must not skip a
  // destructor.
  try {
    out->SetSize(width, static_cast<int>(cinfo.output_height));
  } catch (...) {
    jpeg_destroy_decompress(&cinfo);
    throw;
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    int y = static_cast<int>(cinfo.output_scanline);
    if (jpeg_read_scanlines(&cinfo, row, 1) != 1) break;
    ConvertRow(row[0], out->ScanLine(y), width, components, space, adobeInverted);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

TBitmap LoadJpegFromMemory(const uint8_t* data, size_t size) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) Invalid("the start-of-image marker is missing");
  TBitmap bmp(0, 0, TPixelFormat::pf24bit);
  TJpegError err;
  if (!Decode(data, size, &bmp, err)) Invalid(err.Message);
  return bmp;
}

TBitmap LoadJpegFromFile(const std::string& fileName) {
  std::error_code ec;
  uintmax_t fsize = std::filesystem::file_size(fileName, ec);
  if (!ec && fsize > kBmpMaxBytes) Invalid("file " + fileName + " is too large");
  std::vector<uint8_t> data = ReadWholeFile(fileName);
  try {
    return LoadJpegFromMemory(data.data(), data.size());
  } catch (const EInvalidGraphic& e) {
    throw EInvalidGraphic(e.Message + " (" + fileName + ")");
  }
}
