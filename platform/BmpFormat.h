#pragma once
// Windows bitmap file coding shared by TBitmap's load and save and the picture loader.
#include <cstddef>
#include <cstdint>
#include <vector>

class TBitmap;

// Start of every message about a bad bitmap file; what is wrong follows after a colon.
inline constexpr const char* kBmpInvalid = "Bitmap image is not valid";
// Limits that keep a hostile file from taking memory without bound.
inline constexpr uint64_t kBmpMaxPixels = 1ull << 30;
inline constexpr uint64_t kBmpMaxBytes = 1ull << 30;

// Decodes a whole bitmap file (starting with its "BM" file header) into out; returns the bytes
// the file used. Raises EInvalidGraphic and leaves out unchanged on bad data.
size_t DecodeBmp(const uint8_t* data, size_t size, TBitmap& out);
// Encodes a bitmap as a file with a 40-byte info header, bottom-up, in its own pixel format.
std::vector<uint8_t> EncodeBmp(const TBitmap& bmp);
