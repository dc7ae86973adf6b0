// libjpeg's error and source managers of our own: the default error handler would end the
// program, ours jumps back and lets the caller raise.
#include "platform/JpegSupport.h"

#include <jerror.h>

namespace {

void ErrorExit(j_common_ptr cinfo) {
  TJpegErrorManager* err = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->Message);
  longjmp(err->Jump, 1);
}
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

constexpr JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// The library wants more than the buffer holds.
void DataEnded(j_decompress_ptr cinfo) {
  TJpegMemorySource* src = reinterpret_cast<TJpegMemorySource*>(cinfo->src);
  if (src->AtEnd == TJpegDataEnd::Error) ERREXIT(cinfo, JERR_INPUT_EOF);
  if (!src->Ended && src->OnEnd) src->OnEnd();
  src->Ended = true;
  src->Pub.next_input_byte = kEndOfImage;
  src->Pub.bytes_in_buffer = sizeof kEndOfImage;
}
boolean FillInputBuffer(j_decompress_ptr cinfo) {
  DataEnded(cinfo);
  return TRUE;
}
void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  if (static_cast<unsigned long>(count) > src->bytes_in_buffer) {
    DataEnded(cinfo);
    return;
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

}  // namespace

void UseJpegErrorManager(jpeg_decompress_struct& cinfo, TJpegErrorManager& err) {
  cinfo.err = jpeg_std_error(&err.Pub);
  err.Pub.error_exit = ErrorExit;
  err.Pub.emit_message = EmitMessage;
  err.Pub.output_message = OutputMessage;
  err.Message[0] = 0;
}

void UseJpegMemorySource(jpeg_decompress_struct& cinfo, TJpegMemorySource& src, TJpegDataEnd atEnd, void (*onEnd)()) {
  src.Pub.init_source = InitSource;
  src.Pub.fill_input_buffer = FillInputBuffer;
  src.Pub.skip_input_data = SkipInputData;
  src.Pub.resync_to_restart = jpeg_resync_to_restart;
  src.Pub.term_source = TermSource;
  src.AtEnd = atEnd;
  src.OnEnd = onEnd;
  SetJpegSourceData(src, nullptr, 0);
  cinfo.src = &src.Pub;
}

void SetJpegSourceData(TJpegMemorySource& src, const uint8_t* data, size_t size) {
  src.Pub.next_input_byte = data;
  src.Pub.bytes_in_buffer = size;
  src.Ended = false;
}
