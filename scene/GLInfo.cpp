#include "scene/GLInfo.h"

#include <cstdio>
#include <sstream>

#include "scene/GLViewerCore.h"
#include "scene/OpenGL12.h"

namespace {
std::string Format(const char* fmt, int a, int b, int c, int d) {
  char text[96];
  std::snprintf(text, sizeof text, fmt, a, b, c, d);
  return text;
}
std::string GLText(GLenum name) {
  const GLubyte* s = GL.glGetString(name);
  return s ? reinterpret_cast<const char*>(s) : "";
}
}  // namespace

void PixelFormatTexts(const TPixelFormatDescription& pfd, bool doubleBuffered, TGLInfoTexts& t) {
  const bool generic = pfd.Flags & PFD_GENERIC_FORMAT_, accelerated = pfd.Flags & PFD_GENERIC_ACCELERATED_;
  if (!generic && !accelerated)
    t.Acceleration = "Installable Client Driver";
  else if (generic && accelerated)
    t.Acceleration = "Mini-Client Driver";
  else if (generic)
    t.Acceleration = "Generic Software Driver";
  if (!doubleBuffered) {
    t.DoubleBuffered = "no";
    t.BufferSwitch = "n/a";
  } else {
    t.DoubleBuffered = "yes";
    std::string mode;
    if (pfd.Flags & PFD_SWAP_EXCHANGE_) mode = "exchange";
    if (pfd.Flags & PFD_SWAP_COPY_) mode += mode.empty() ? "copy" : ", copy";
    t.BufferSwitch = mode.empty() ? "no info available" : mode;
  }
  t.Stereo = (pfd.Flags & PFD_STEREO_) ? "yes" : "no";
  const char* four = "red: %d,  green: %d,  blue: %d,  alpha: %d  bits";
  t.Color = Format(four, pfd.RedBits, pfd.GreenBits, pfd.BlueBits, pfd.AlphaBits);
  t.Depth = Format("%d bits", pfd.DepthBits, 0, 0, 0);
  t.Stencil = Format("%d bits", pfd.StencilBits, 0, 0, 0);
  t.Accum = Format(four, pfd.AccumRedBits, pfd.AccumGreenBits, pfd.AccumBlueBits, pfd.AccumAlphaBits);
  t.Aux = std::to_string(pfd.AuxBuffers);
  t.Overlays = std::to_string(pfd.Reserved & 7);
  t.Underlays = std::to_string(pfd.Reserved >> 3);
}

TGLInfoTexts ReadGLInfo(const TGLViewerCore& viewer) {
  TGLInfoTexts t;
  t.Vendor = GLText(GL_VENDOR);
  t.Version = GLText(GL_VERSION);
  std::istringstream words(GLText(GL_EXTENSIONS));
  for (std::string w; words >> w;) t.Extensions.push_back(w);
  TPixelFormatDescription pfd;
  if (!DescribeCurrentPixelFormat(pfd)) {
    // Without a description the buffers are still known to the context itself.
    pfd.RedBits = viewer.GetLimit(19);
    pfd.GreenBits = viewer.GetLimit(18);
    pfd.BlueBits = viewer.GetLimit(17);
    pfd.AlphaBits = viewer.GetLimit(15);
    pfd.AccumRedBits = viewer.GetLimit(14);
    pfd.AccumGreenBits = viewer.GetLimit(13);
    pfd.AccumBlueBits = viewer.GetLimit(12);
    pfd.AccumAlphaBits = viewer.GetLimit(11);
    pfd.DepthBits = viewer.GetLimit(24);
    pfd.StencilBits = viewer.GetLimit(25);
    pfd.AuxBuffers = viewer.GetLimit(16);
    if (viewer.GetLimit(21)) pfd.Flags |= PFD_STEREO_;
  }
  PixelFormatTexts(pfd, viewer.DoubleBuffered(), t);
  t.Subpixels = std::to_string(viewer.GetLimit(23));
  t.ClipPlanes = std::to_string(viewer.GetLimit(0));
  t.EvalOrder = std::to_string(viewer.GetLimit(1));
  t.Lights = std::to_string(viewer.GetLimit(2));
  t.ListNesting = std::to_string(viewer.GetLimit(3));
  t.ModelviewStack = std::to_string(viewer.GetLimit(4));
  t.NameStack = std::to_string(viewer.GetLimit(5));
  t.PixelMap = std::to_string(viewer.GetLimit(6));
  t.ProjectionStack = std::to_string(viewer.GetLimit(7));
  t.TextureSize = std::to_string(viewer.GetLimit(8));
  t.TextureStack = std::to_string(viewer.GetLimit(9));
  t.ViewportDims = std::to_string(viewer.GetLimit(10));
  return t;
}
