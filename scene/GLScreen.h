#pragma once
// Screen modes and the viewer's full-screen options. The table of modes is built once at
// start-up from what the display offers; a mode is switched only on request and the start-up
// mode is given back at shut-down. The display itself stands behind `TDisplayModes`, so the
// table logic is tested with a fake and X11 is reached only through `XRandRDisplayModes`.
#include <cstdint>
#include <memory>
#include <string>

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

struct TVideoMode {
  uint16_t Width = 0;
  uint16_t Height = 0;
  uint8_t ColorDepth = 0;  // bits per pixel
  std::string Description;
};

// What the table needs of a display.
class TDisplayModes {
 public:
  virtual ~TDisplayModes() = default;
  // The mode in use now (row 0 of the table).
  virtual TVideoMode CurrentMode() = 0;
  // The index-th mode the display offers; false when the enumeration has ended.
  virtual bool EnumMode(int index, TVideoMode& mode) = 0;
  // Whether the display would accept the mode in full-screen use (nothing is changed).
  virtual bool TestMode(const TVideoMode& mode) = 0;
  // Switches to the mode; false when the display refuses.
  virtual bool SwitchTo(const TVideoMode& mode) = 0;
  // Gives back the mode that was in use before the first switch.
  virtual void RestoreDefault() = 0;
};

constexpr int cMaxVideoModes = 201;

class TGLScreen {
 public:
  // Row 0, the enumerated modes, then (only when the display refuses an impossible mode, so
  // that its answers can be trusted) the fallback table.
  void ReadVideoModes(TDisplayModes& display);
  void TryToAddToList(TDisplayModes& display, const TVideoMode& mode);
  int GetIndexFromResolution(int width, int height, int bitsPerPixel) const;
  bool SetFullscreenMode(TDisplayModes& display, int index);
  void RestoreDefaultMode(TDisplayModes& display);
  // Unit shut-down: a switched mode is restored.
  void Shutdown(TDisplayModes& display);

  int NumberVideoModes() const { return FCount; }
  const TVideoMode& VideoMode(int index) const { return FModes[index]; }
  int CurrentVideoMode() const { return FCurrent; }

  // The sizes of the fallback table; each is tried with the depths 8, 15, 16, 24, 32.
  static constexpr int cFallbackSizes[12][2] = {{320, 200}, {320, 240}, {320, 350}, {320, 400}, {320, 480}, {360, 200},
                                                {360, 240}, {360, 350}, {360, 400}, {360, 480}, {400, 300}, {512, 384}};
  static constexpr int cFallbackDepths[5] = {8, 15, 16, 24, 32};

 private:
  TVideoMode FModes[cMaxVideoModes];
  int FCount = 0;
  int FCurrent = 0;  // the row switched to last; 0 = none
};

// What a viewer asks of the screen when it is loaded: a full-screen viewer switches to its
// ScreenResolution row, or to the smallest mode that holds the viewer at the start-up depth; a
// windowed viewer switches only when a row is set. Returns the row switched to, 0 for none.
int ApplyDisplayOptions(TGLScreen& screen, TDisplayModes& display, const TDisplayOptions& options, int width,
                        int height);

// The process's screen-mode table on the X server, built on first use (no viewer of the program
// asks for a mode, so start-up does not pay for it); null when the display offers no modes.
// The switched mode, if any, is restored when the process ends.
TGLScreen* ScreenModes(TDisplayModes** display = nullptr);

// The display modes of the X server through the RandR extension (libXrandr.so.2, opened at run
// time). X cannot change the colour depth of a running screen, so only modes of the current depth
// are offered and accepted. Raises EOSError when no display or no RandR is available.
std::unique_ptr<TDisplayModes> XRandRDisplayModes(void* display = nullptr);
