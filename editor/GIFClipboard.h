#pragma once
// GIF images on the clipboard: the first frame as a picture for every other program, and the GIF
// file itself under the "GIF Image" format (MIME type image/gif).
#include "codecs/GIFImage.h"

inline constexpr const char* kGIFClipboardFormat = "image/gif";

// An empty image puts nothing there; raises "Failed to store GIF on clipboard" when there is no
// clipboard.
void SaveGIFToClipboard(TGIFImage& Image);
// GIF data is loaded as it is; a picture becomes a one-frame image. Raises "Unsupported
// clipboard format" when the clipboard holds neither.
void LoadGIFFromClipboard(TGIFImage& Image);
