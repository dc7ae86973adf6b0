#pragma once
// The texts of the OpenGL information dialog, read from the current rendering context. Kept
// apart from the dialog so the wording is tested without a window.
#include <string>
#include <vector>

struct TPixelFormatDescription;
class TGLViewerCore;

struct TGLInfoTexts {
  std::string Vendor, Acceleration, Version;
  std::string DoubleBuffered, BufferSwitch, Stereo;
  std::string Color, Depth, Stencil, Accum, Aux, Subpixels, Overlays, Underlays;
  std::string ClipPlanes, EvalOrder, Lights, ListNesting, ModelviewStack, NameStack, PixelMap, ProjectionStack,
      TextureSize, TextureStack, ViewportDims;
  std::vector<std::string> Extensions;
};

// The texts that depend only on the pixel format.
void PixelFormatTexts(const TPixelFormatDescription& pfd, bool doubleBuffered, TGLInfoTexts& texts);
// Everything, from the viewer's context; the context must be current.
TGLInfoTexts ReadGLInfo(const TGLViewerCore& viewer);
