#pragma once
// Full-screen options of a viewer. The preview never leaves windowed mode, and X11 offers no
// display-mode switching through this program, so the options are kept but not acted upon.
#include <cstdint>

enum TWindowAttribute : uint8_t { woDesktop = 1, woStayOnTop = 2, woTransparent = 4 };
using TWindowAttributes = uint8_t;
enum TWindowFitting : uint8_t { wfDefault, wfFitWindowToScreen, wfFitScreenToWindow };
using TResolution = int;  // a row of the screen-mode table, 0..200

struct TDisplayOptions {
  bool FullScreen = false;
  TResolution ScreenResolution = 0;
  TWindowAttributes WindowAttributes = 0;
  TWindowFitting WindowFitting = wfDefault;
  void Assign(const TDisplayOptions& source) { *this = source; }
};
