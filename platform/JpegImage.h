#pragma once
// JPEG pictures through libjpeg: grey and colour (YCbCr, RGB, CMYK/YCCK) images load as pf24bit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Bitmap.h"

// Raise EInvalidGraphic "JPEG image is not valid: <what libjpeg says>" on bad or truncated data.
TBitmap LoadJpegFromMemory(const uint8_t* data, size_t size);
TBitmap LoadJpegFromFile(const std::string& fileName);
