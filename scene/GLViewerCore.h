#pragma once
// The Qt-free half of the scene viewer: its rendering context, the cache of capabilities it has
// switched on, merged invalidations, the frame-rate monitor and the render loop. The window
// side (a native X11 window, its size, its repaint requests) is supplied by a subclass: the Qt
// widget TGLSceneViewer, or a test double.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "scene/GLMisc.h"
#include "scene/GLScreen.h"
#include "scene/GLTexture.h"
#include "scene/SceneGraph.h"

enum TContextOption : uint8_t { roDoubleBuffer = 1, roRenderToWindow = 2, roTwoSideLighting = 4 };
using TContextOptions = uint8_t;
enum TBufferToClear : uint8_t { bcColor = 1, bcDepth = 2, bcStencil = 4, bcAccum = 8 };

class TGLViewerCore : public TPersistent {
 public:
  TGLViewerCore();
  ~TGLViewerCore() override;
  const char* ClassName() const override { return "TGLSceneViewer"; }
  TGLViewerCore(const TGLViewerCore&) = delete;
  TGLViewerCore& operator=(const TGLViewerCore&) = delete;

  // --- the window side
  struct TDrawable {
    void* Display = nullptr;
    unsigned long Drawable = 0;
  };
  virtual TDrawable ViewerDrawable() const = 0;
  virtual int ViewerWidth() const = 0;
  virtual int ViewerHeight() const = 0;
  virtual bool ViewerVisible() const { return true; }
  virtual int ScreenDPI() const { return 96; }
  virtual int ColorDepth() const { return 24; }  // bits per pixel of the screen
  virtual void InvalidateWindow() = 0;           // ask the window system for a repaint

  // --- context (created with the window, destroyed with it)
  void CreateContext();
  void DestroyContext();
  void* RenderingContext() const { return FRenderingContext; }
  void Activate();
  void Deactivate();
  // The window's new client size; height at least 1.
  void Resize(int width, int height);
  // Paint message: clears the pending invalidation and draws a frame.
  void Paint();
  void Invalidate();  // merged: one repaint for many changes
  bool InvalidationPending() const { return FInvalidatePending; }
  void Render();

  // --- properties
  bool DepthTest() const { return FDepthTest; }
  bool FaceCulling() const { return FFaceCulling; }
  bool FogEnable() const { return FFogEnable; }
  bool Lighting() const { return FLighting; }
  void SetDepthTest(bool v);
  void SetFaceCulling(bool v);
  void SetFogEnable(bool v);
  void SetLighting(bool v);
  TColor BackgroundColor() const { return FBackgroundColor; }
  void SetBackgroundColor(TColor c);
  TGLCamera* Camera() const { return FCamera; }
  void SetCamera(TGLCamera* camera);
  TContextOptions ContextOptions() const { return FContextOptions; }
  void SetContextOptions(TContextOptions o);
  TGLFogEnvironment& FogEnvironment() { return *FFogEnvironment; }
  void SetFogEnvironment(const TGLFogEnvironment& fog);
  TDisplayOptions DisplayOptions;
  bool Monitor = false;
  float FramesPerSecond() const { return FFramesPerSecond; }
  void ResetPerformanceMonitor();
  // Reading from stored form data: setters store without touching OpenGL.
  bool Reading = false;

  // The capabilities this viewer has switched on.
  TGLStates CurrentStates = 0;
  void RequestStates(TGLStates states);
  void UnRequestStates(TGLStates states);
  // OpenGL limits by index 0..25 (GL_MAX_CLIP_PLANES ... GL_STENCIL_BITS); other indices give 0.
  // Needs the context active.
  int GetLimit(int index) const;
  int LightLimit() const { return FLightLimit; }
  bool DoubleBuffered() const { return FDoubleBuffered; }
  const TViewport& Viewport() const { return FViewport; }
  uint8_t BuffersToClear = 0;
  int FrameCount() const { return FFrameCount; }

  TNotifyEvent BeforeRender, PostRender, AfterRender;
  // When set, the next frame is read back (RGBA, bottom row first) before the buffers swap.
  bool CaptureFrame = false;
  std::vector<uint8_t> CapturedPixels;
  int CapturedWidth = 0, CapturedHeight = 0;
  // The performance counter and its frequency (ticks per second); replaceable for tests.
  std::function<int64_t()> Counter;
  int64_t CounterFrequency;

  // After-effects queued while the scene is drawn; they draw after it.
  std::vector<TGLObjectAfterEffect*> AfterEffects;

  // Called by the scene when it is destroyed before the viewer.
  void SceneDestroyed(TGLScene* scene);

 private:
  void ReadContextProperties();
  void SetupRenderingContext();
  // Two-side lighting, depth function, perspective hint: what every new context needs besides
  // its capabilities.
  void SetupContextState();
  void SwitchState(bool on, TGLState state);
  // Leaves the scene it drew last (its camera may be gone already).
  void LeaveScene();

  void* FRenderingContext = nullptr;
  int FLightLimit = 0;
  bool FDoubleBuffered = false;
  bool FDepthTest = true, FFaceCulling = true, FFogEnable = false, FLighting = true;
  TGLStates FSavedStates = 0;
  bool FHasSavedStates = false;
  TColor FBackgroundColor = clBtnFace;
  int FFrameCount = 0;
  int64_t FRenderingTime = 0;
  uint8_t FRendering = 0;
  float FFramesPerSecond = 0;
  TViewport FViewport;
  TContextOptions FContextOptions = roDoubleBuffer | roRenderToWindow;
  TGLCamera* FCamera = nullptr;
  TGLScene* FScene = nullptr;  // the scene that has this viewer in its list
  std::unique_ptr<TGLFogEnvironment> FFogEnvironment;
  bool FInvalidatePending = false;
  // Tells the viewer when its camera is destroyed.
  class TCameraWatch;
  std::unique_ptr<TCameraWatch> FCameraWatch;
};
