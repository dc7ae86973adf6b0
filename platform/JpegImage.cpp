// JPEG decoding through libjpeg from memory; a file that ends before its picture does is
// broken.
#include "platform/JpegImage.h"

#include <jerror.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/BmpFormat.h"
#include "platform/Exceptions.h"
#include "platform/JpegSupport.h"
#include "platform/ScopeGuard.h"
#include "platform/Streams.h"

namespace {

// A progressive file may repeat its scans, each of which passes over the whole picture: a few
// kilobytes of scan headers would keep the decoder busy for minutes. Encoders write a dozen or so.
constexpr int kMaxJpegScans = 100;

struct TProgress {
  jpeg_progress_mgr Pub{};
  // The last end-of-image marker in the data (null when there is none).
  const uint8_t* LastEnd = nullptr;
};

// A scan that runs into a marker is decoded on as zeros to the end of the picture; the load can
// only succeed if an end-of-image marker is still to be read. When none is, the data's end would
// fail it after all that work (seconds for a few hundred bytes declaring a huge picture), so it
// fails now, with the same message.
void ProgressMonitor(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
  const TProgress* progress = reinterpret_cast<const TProgress*>(d->progress);
  if (d->unread_marker != 0 && d->unread_marker != JPEG_EOI &&
      (progress->LastEnd == nullptr || d->src->next_input_byte > progress->LastEnd))
    ERREXIT(cinfo, JERR_INPUT_EOF);
  if (d->input_scan_number <= kMaxJpegScans) return;
  TJpegErrorManager* err = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  std::snprintf(err->Message, sizeof err->Message, "the picture has more than %d scans", kMaxJpegScans);
  longjmp(err->Jump, 1);
}

const uint8_t* LastEndMarker(const uint8_t* data, size_t size) {
  for (size_t i = size; i >= 2; --i)
    if (data[i - 2] == 0xFF && data[i - 1] == JPEG_EOI) return data + i - 2;
  return nullptr;
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

// Returns false with the library's message in err.Message when libjpeg gave up.
bool Decode(const uint8_t* data, size_t size, TBitmap* out, TJpegErrorManager& err) {
  jpeg_decompress_struct cinfo{};
  UseJpegErrorManager(cinfo, err);
  // Destroying is safe even when creating failed: the library checks what it has made.
  TScopeGuard destroy([&] { jpeg_destroy_decompress(&cinfo); });
  if (!JpegCall(err, [&] { jpeg_create_decompress(&cinfo); })) return false;
  TProgress progress;
  progress.Pub.progress_monitor = ProgressMonitor;
  progress.LastEnd = LastEndMarker(data, size);
  cinfo.progress = &progress.Pub;
  cinfo.mem->max_memory_to_use = kJpegMaxMemory;
  TJpegMemorySource src;
  UseJpegMemorySource(cinfo, src, TJpegDataEnd::Error);
  SetJpegSourceData(src, data, size);

  if (!JpegCall(err, [&] { jpeg_read_header(&cinfo, TRUE); })) return false;
  J_COLOR_SPACE space;
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE: space = JCS_GRAYSCALE; break;
    case JCS_CMYK:
    case JCS_YCCK: space = JCS_CMYK; break;
    default: space = JCS_RGB;
  }
  cinfo.out_color_space = space;
#ifdef JCS_EXTENSIONS
  // Colour rows come from the library in the bitmap's own byte order, straight into its rows.
  const bool direct = space == JCS_RGB;
  if (direct) cinfo.out_color_space = JCS_EXT_BGR;
#else
  const bool direct = false;
#endif
  bool adobeInverted = cinfo.saw_Adobe_marker;
  uint64_t w = cinfo.image_width, h = cinfo.image_height;
  if (w == 0 || h == 0 || w * h > kBmpMaxPixels || BytesPerScanline(w, 24) * h > kBmpMaxBytes) {
    std::snprintf(err.Message, sizeof err.Message, "image size %llux%llu is not supported",
                  static_cast<unsigned long long>(w), static_cast<unsigned long long>(h));
    return false;
  }
  JSAMPARRAY row = nullptr;
  if (!JpegCall(err, [&] {
        jpeg_start_decompress(&cinfo);
        row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                         cinfo.output_width * static_cast<JDIMENSION>(cinfo.output_components), 1);
      }))
    return false;
  int width = static_cast<int>(cinfo.output_width);
  int components = cinfo.output_components;
  // The first row comes before the bitmap: a scan that has run into a marker with no end of the
  // picture to come fails here (the check the library makes before the next row), before a
  // picture declared huge is allocated for nothing.
  JSAMPROW first = row[0];
  JDIMENSION got = 0;
  if (!JpegCall(err, [&] {
        got = jpeg_read_scanlines(&cinfo, &first, 1);
        ProgressMonitor(reinterpret_cast<j_common_ptr>(&cinfo));
      }))
    return false;
  out->SetSize(width, static_cast<int>(cinfo.output_height));
  if (got == 1) {
    if (direct)
      std::memcpy(out->ScanLine(0), row[0], static_cast<size_t>(width) * 3);
    else
      ConvertRow(row[0], out->ScanLine(0), width, components, space, adobeInverted);
  }
  while (got == 1 && cinfo.output_scanline < cinfo.output_height) {
    int y = static_cast<int>(cinfo.output_scanline);
    JSAMPROW target = direct ? out->ScanLine(y) : row[0];
    if (!JpegCall(err, [&] { got = jpeg_read_scanlines(&cinfo, &target, 1); })) return false;
    if (got != 1) break;
    if (!direct) ConvertRow(row[0], out->ScanLine(y), width, components, space, adobeInverted);
  }
  return JpegCall(err, [&] { jpeg_finish_decompress(&cinfo); });
}

}  // namespace

TBitmap LoadJpegFromMemory(const uint8_t* data, size_t size) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) Invalid("the start-of-image marker is missing");
  TBitmap bmp(0, 0, TPixelFormat::pf24bit);
  TJpegErrorManager err;
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
