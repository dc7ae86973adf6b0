#include "scene/GLScreen.h"

#include <algorithm>
#include <cstdio>

namespace {
std::string ModeDescription(const TVideoMode& mode) {
  char text[64];
  std::snprintf(text, sizeof text, "%d x %d, %d bpp", mode.Width, mode.Height, mode.ColorDepth);
  return text;
}
}  // namespace

void TGLScreen::ReadVideoModes(TDisplayModes& display) {
  FModes[0] = display.CurrentMode();
  FModes[0].Description = "default";
  FCount = 1;
  for (int i = 0; FCount < cMaxVideoModes - 1; ++i) {
    TVideoMode mode;
    if (!display.EnumMode(i, mode)) break;
    TryToAddToList(display, mode);
  }
  // A display that accepts 42 x 37 at 8 bits accepts anything, so its answers for the
  // fallback table would mean nothing.
  TVideoMode impossible;
  impossible.Width = 42;
  impossible.Height = 37;
  impossible.ColorDepth = 8;
  if (display.TestMode(impossible)) return;
  for (const auto& size : cFallbackSizes)
    for (int depth : cFallbackDepths) {
      if (FCount >= cMaxVideoModes - 1) return;
      TVideoMode mode;
      mode.Width = static_cast<uint16_t>(size[0]);
      mode.Height = static_cast<uint16_t>(size[1]);
      mode.ColorDepth = static_cast<uint8_t>(depth);
      TryToAddToList(display, mode);
    }
}

void TGLScreen::TryToAddToList(TDisplayModes& display, const TVideoMode& mode) {
  if (FCount >= cMaxVideoModes) return;
  for (int i = 1; i < FCount; ++i)
    if (FModes[i].ColorDepth == mode.ColorDepth && FModes[i].Width == mode.Width && FModes[i].Height == mode.Height)
      return;
  if (!display.TestMode(mode)) return;
  TVideoMode& row = FModes[FCount++];
  row = mode;
  row.Description = ModeDescription(mode);
}

int TGLScreen::GetIndexFromResolution(int width, int height, int bitsPerPixel) const {
  int result = 0;
  int bestWidth = 9999, bestHeight = 9999, bestDepth = 99;
  for (int i = 1; i < FCount; ++i) {
    const TVideoMode& m = FModes[i];
    if (m.Width < width || m.Height < height || m.ColorDepth < bitsPerPixel) continue;
    const int dw = m.Width - width, dh = m.Height - height, dd = m.ColorDepth - bitsPerPixel;
    if (dw <= bestWidth && dh <= bestHeight && dd <= bestDepth) {
      bestWidth = dw;
      bestHeight = dh;
      bestDepth = dd;
      result = i;
    }
  }
  return result;
}

bool TGLScreen::SetFullscreenMode(TDisplayModes& display, int index) {
  if (index < 0 || index >= FCount) return false;
  if (!display.SwitchTo(FModes[index])) return false;
  FCurrent = index;
  return true;
}

void TGLScreen::RestoreDefaultMode(TDisplayModes& display) {
  display.RestoreDefault();
  FCurrent = 0;
}

void TGLScreen::Shutdown(TDisplayModes& display) {
  if (FCurrent != 0) RestoreDefaultMode(display);
  FCount = 0;
}

int ApplyDisplayOptions(TGLScreen& screen, TDisplayModes& display, const TDisplayOptions& options, int width,
                        int height) {
  int row = 0;
  if (options.FullScreen)
    row = options.ScreenResolution != 0
              ? options.ScreenResolution
              : screen.GetIndexFromResolution(width, height,
                                              screen.NumberVideoModes() > 0 ? screen.VideoMode(0).ColorDepth : 0);
  else
    row = options.ScreenResolution;
  if (row <= 0 || row >= screen.NumberVideoModes()) return 0;
  return screen.SetFullscreenMode(display, row) ? row : 0;
}
