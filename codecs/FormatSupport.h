#pragma once
// Small pieces the format readers share: a bounded reader whose failures are the format's own
// invalid-image error naming what was wrong, and the scan line a stored row lands on.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codecs/ImageFormats.h"
#include "platform/ByteReader.h"

// Raises "Cannot load image. Invalid or unexpected <name> image format." with the reason after it.
[[noreturn]] inline void FormatError(const char* name, const std::string& detail) {
  std::string message = gesInvalidImage;
  message.replace(message.find("%s"), 2, name);
  GraphicError(message + " (" + detail + ")");
}

// A reader over data whose violations raise the format's invalid-image error.
inline TByteReader FormatReader(const uint8_t* data, size_t size, const char* name) {
  return TByteReader(data, size, [name](const std::string& detail) { FormatError(name, detail); });
}

// Refuses a picture of pictureBytes from availableBytes of coded data when no coding could
// stretch so far (maxRatio bytes out per byte in), before anything is allocated for it.
inline void CheckProportion(const char* name, uint64_t availableBytes, uint64_t pictureBytes, uint64_t maxRatio) {
  if (pictureBytes / maxRatio > availableBytes) FormatError(name, "image data ends early");
}

// The scan line of stored row y: stored rows run bottom-up unless topDown.
inline int TargetLine(uint32_t y, uint32_t height, bool topDown) {
  return static_cast<int>(topDown ? y : height - 1 - y);
}

// Runs a load; a load that fails leaves the bitmap empty rather than half filled.
template <class F>
void ClearOnFailure(TBitmap& bitmap, F&& load) {
  try {
    load();
  } catch (...) {
    bitmap = TBitmap();
    throw;
  }
}
