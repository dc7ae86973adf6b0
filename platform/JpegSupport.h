#pragma once
// What our libjpeg users share: an error manager that turns the library's fatal errors into a
// jump back to our code with the library's text, a guard around each library call, and a source
// that reads a buffer held in memory.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

// libjpeg's own working memory is bounded (a progressive picture keeps every coefficient): a
// small file that declares a huge picture fails instead of exhausting memory.
constexpr long kJpegMaxMemory = 512L * 1024 * 1024;

// libjpeg ends a fatal error in error_exit, which must not return: ours formats the library's
// message into Message and jumps back to the JpegCall that is running.
struct TJpegErrorManager {
  jpeg_error_mgr Pub;
  jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

// Sets err up for cinfo (before the decompressor is created). Warnings about corrupt but
// decodable data are dropped: the picture still loads.
void UseJpegErrorManager(jpeg_decompress_struct& cinfo, TJpegErrorManager& err);

// Runs one libjpeg call; false when the library raised an error, its text in err.Message. The
// setjmp stands in this small frame, which holds nothing to destroy and calls nothing but the
// library, so a jump skips no destructor; callers raise their exception after it has returned.
template <class F>
[[gnu::noinline]] bool JpegCall(TJpegErrorManager& err, F&& call) {
  if (setjmp(err.Jump)) return false;
  call();
  return true;
}

// What the memory source does when the library asks for more than the buffer holds.
enum class TJpegDataEnd {
  Error,      // the data is broken: the library's "premature end" error
  EndMarker,  // the data is cut short: OnEnd is told once, then an end-of-image marker is fed
};

struct TJpegMemorySource {
  jpeg_source_mgr Pub;
  TJpegDataEnd AtEnd = TJpegDataEnd::Error;
  void (*OnEnd)() = nullptr;
  bool Ended = false;  // the data ran out since SetData
};

// Makes src cinfo's source (after the decompressor is created).
void UseJpegMemorySource(jpeg_decompress_struct& cinfo, TJpegMemorySource& src, TJpegDataEnd atEnd,
                         void (*onEnd)() = nullptr);
// Points src at the next buffer to read.
void SetJpegSourceData(TJpegMemorySource& src, const uint8_t* data, size_t size);
