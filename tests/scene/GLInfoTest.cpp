// The information dialog's wording of a pixel format.
#include <gtest/gtest.h>

#include "scene/GLInfo.h"
#include "scene/OpenGL12.h"

TEST(GLInfo, PixelFormatWording) {
  struct Case {
    uint32_t flags;
    bool doubleBuffered;
    const char *acceleration, *doubled, *swap, *stereo;
  } cases[] = {
      {0, true, "Installable Client Driver", "yes", "no info available", "no"},
      {PFD_GENERIC_FORMAT_, false, "Generic Software Driver", "no", "n/a", "no"},
      {PFD_GENERIC_FORMAT_ | PFD_GENERIC_ACCELERATED_, true, "Mini-Client Driver", "yes", "no info available", "no"},
      {PFD_SWAP_EXCHANGE_ | PFD_SWAP_COPY_ | PFD_STEREO_, true, "Installable Client Driver", "yes", "exchange, copy",
       "yes"},
      {PFD_SWAP_EXCHANGE_, true, "Installable Client Driver", "yes", "exchange", "no"},
      {PFD_SWAP_COPY_, true, "Installable Client Driver", "yes", "copy", "no"},
  };
  for (const auto& c : cases) {
    TPixelFormatDescription pfd;
    pfd.Flags = c.flags;
    pfd.RedBits = 8, pfd.GreenBits = 8, pfd.BlueBits = 8, pfd.AlphaBits = 0;
    pfd.Reserved = 2 | (1 << 3);
    TGLInfoTexts t;
    PixelFormatTexts(pfd, c.doubleBuffered, t);
    EXPECT_EQ(t.Acceleration, c.acceleration) << c.flags;
    EXPECT_EQ(t.DoubleBuffered, c.doubled) << c.flags;
    EXPECT_EQ(t.BufferSwitch, c.swap) << c.flags;
    EXPECT_EQ(t.Stereo, c.stereo) << c.flags;
    EXPECT_EQ(t.Color, "red: 8,  green: 8,  blue: 8,  alpha: 0  bits");
    EXPECT_EQ(t.Overlays, "2");
    EXPECT_EQ(t.Underlays, "1");
  }
}
