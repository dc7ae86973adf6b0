#include "scene/GLViewerCore.h"

#include <chrono>
#include <cmath>

#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "scene/OpenGL12.h"

// Drops the viewer's camera when the camera component is destroyed.
class TGLViewerCore::TCameraWatch : public TComponent {
 public:
  explicit TCameraWatch(TGLViewerCore* viewer) : Viewer(viewer) {}
  void Notification(TComponent* c, TOperation op) override {
    if (op == opRemove && c == Viewer->FCamera) Viewer->FCamera = nullptr;
  }
  TGLViewerCore* Viewer;
};

TGLViewerCore::TGLViewerCore()
    : Counter([] {
        return static_cast<int64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
      }),
      CounterFrequency(1000000000),
      FFogEnvironment(std::make_unique<TGLFogEnvironment>(this)),
      FCameraWatch(std::make_unique<TCameraWatch>(this)) {
  // The libraries are loaded first; a failure shows when the context is created.
  InitOpenGL();
}

TGLViewerCore::~TGLViewerCore() {
  try {
    LeaveScene();
    FCamera = nullptr;
    DestroyContext();
  } catch (...) {
    // A destructor never throws; the context is gone with the window anyway.
  }
}

void TGLViewerCore::LeaveScene() {
  TGLScene* scene = FScene;
  FScene = nullptr;
  if (scene) scene->RemoveViewer(this);
}

void TGLViewerCore::SceneDestroyed(TGLScene* scene) {
  if (FScene == scene) FScene = nullptr;
  if (FCamera && FCamera->Scene() == scene) {
    FCameraWatch->RemoveFreeNotification(FCamera);
    FCamera = nullptr;
  }
}

// --- context

void TGLViewerCore::Activate() {
  const TDrawable d = ViewerDrawable();
  ActivateRenderingContext({d.Display, d.Drawable}, FRenderingContext);
}

void TGLViewerCore::Deactivate() { DeactivateRenderingContext(); }

void TGLViewerCore::CreateContext() {
  if (FRenderingContext) return;
  FRendering = 1;
  {
    TScopeGuard rendered([this] { FRendering = 0; });
    const TDrawable d = ViewerDrawable();
    FRenderingContext =
        CreateRenderingContext({d.Display, d.Drawable},
                               (FContextOptions & roDoubleBuffer) ? TRCOptions(opDoubleBuffered) : TRCOptions(0), 32, 0,
                               0, 0, 0);
    if (!FRenderingContext) throw EAssertionFailed("Assertion failure");
    Activate();
    {
      TScopeGuard dropContext([this] {
        DestroyRenderingContext(FRenderingContext);
        FRenderingContext = nullptr;
      });
      TScopeGuard deactivate([this] { Deactivate(); });
      if (!OpenGLFlags.Version_1_1) throw EOpenGLError("Need at least OpenGL version 1.1");
      BuffersToClear = bcColor | bcDepth;
      FViewport = {0, 0, ViewerWidth(), std::max(ViewerHeight(), 1)};
      GL.glViewport(0, 0, FViewport.Width, FViewport.Height);
      if (!FHasSavedStates) {
        ReadContextProperties();
        SetupRenderingContext();
      } else {
        // A context made again (another camera, a native window Qt re-created) keeps the
        // capability set and needs the rest of the first one's state too.
        EnableGLStates(FSavedStates);
        CurrentStates = FSavedStates;
        FSavedStates = 0;
        FHasSavedStates = false;
        SetupContextState();
      }
      const TVector c = ConvertWinColor(FBackgroundColor);
      GL.glClearColor(c[0], c[1], c[2], 1);
      dropContext.Dismiss();
    }
  }
  FFogEnvironment->NotifyChange(nullptr);  // a new context has no fog settings yet
}

void TGLViewerCore::DestroyContext() {
  if (!FRenderingContext) return;
  LeaveScene();
  FSavedStates = CurrentStates;
  FHasSavedStates = true;
  CurrentStates = 0;
  void* rc = FRenderingContext;
  FRenderingContext = nullptr;
  DestroyRenderingContext(rc);
}

void TGLViewerCore::ReadContextProperties() {
  FLightLimit = GetLimit(2);
  FDoubleBuffered = GetLimit(22) > 0;
  CurrentStates = 0;
  for (TGLState s : {stDepthTest, stCullFace, stLighting, stFog})
    if (GL.glIsEnabled(GLStateCapability(s))) CurrentStates |= StateBit(s);
}

void TGLViewerCore::SetupContextState() {
  GL.glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, (FContextOptions & roTwoSideLighting) ? 1 : 0);
  GL.glDepthFunc(GL_LESS);
  GL.glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

void TGLViewerCore::SetupRenderingContext() {
  const int colorDepth = ColorDepth();
  TGLStates wanted = StateBit(stNormalize);
  if (FDepthTest) wanted |= StateBit(stDepthTest);
  if (FFaceCulling) wanted |= StateBit(stCullFace);
  if (FLighting) wanted |= StateBit(stLighting);
  if (FFogEnable) wanted |= StateBit(stFog);
  if (colorDepth < 24) wanted |= StateBit(stDither);
  RequestStates(wanted);
  SetupContextState();
}

void TGLViewerCore::RequestStates(TGLStates states) {
  for (int i = 0; i < cGLStateCount; ++i) {
    const TGLState s = static_cast<TGLState>(i);
    if (HasState(states, s)) SetGLState(CurrentStates, s);
  }
}

void TGLViewerCore::UnRequestStates(TGLStates states) {
  for (int i = 0; i < cGLStateCount; ++i) {
    const TGLState s = static_cast<TGLState>(i);
    if (HasState(states, s)) UnSetGLState(CurrentStates, s);
  }
}

int TGLViewerCore::GetLimit(int index) const {
  static constexpr GLenum names[26] = {GL_MAX_CLIP_PLANES,
                                       GL_MAX_EVAL_ORDER,
                                       GL_MAX_LIGHTS,
                                       GL_MAX_LIST_NESTING,
                                       GL_MAX_MODELVIEW_STACK_DEPTH,
                                       GL_MAX_NAME_STACK_DEPTH,
                                       GL_MAX_PIXEL_MAP_TABLE,
                                       GL_MAX_PROJECTION_STACK_DEPTH,
                                       GL_MAX_TEXTURE_SIZE,
                                       GL_MAX_TEXTURE_STACK_DEPTH,
                                       GL_MAX_VIEWPORT_DIMS,
                                       GL_ACCUM_ALPHA_BITS,
                                       GL_ACCUM_BLUE_BITS,
                                       GL_ACCUM_GREEN_BITS,
                                       GL_ACCUM_RED_BITS,
                                       GL_ALPHA_BITS,
                                       GL_AUX_BUFFERS,
                                       GL_BLUE_BITS,
                                       GL_GREEN_BITS,
                                       GL_RED_BITS,
                                       GL_INDEX_BITS,
                                       GL_STEREO,
                                       GL_DOUBLEBUFFER,
                                       GL_SUBPIXEL_BITS,
                                       GL_DEPTH_BITS,
                                       GL_STENCIL_BITS};
  if (index < 0 || index > 25) return 0;
  if (index == 10) {
    GLdouble dims[2] = {0, 0};
    GL.glGetDoublev(GL_MAX_VIEWPORT_DIMS, dims);
    return static_cast<int>(std::lround(std::max(dims[0], dims[1])));
  }
  GLint v[4] = {0, 0, 0, 0};
  GL.glGetIntegerv(names[index], v);
  return v[0];
}

void TGLViewerCore::Resize(int width, int height) {
  if (!FRenderingContext) return;
  Activate();
  FViewport.Width = width;
  FViewport.Height = std::max(height, 1);
  GL.glViewport(0, 0, FViewport.Width, FViewport.Height);
  Deactivate();
}

void TGLViewerCore::Paint() {
  FInvalidatePending = false;
  Render();
}

void TGLViewerCore::Invalidate() {
  if (FInvalidatePending) return;
  InvalidateWindow();
  FInvalidatePending = true;
}

// --- properties

void TGLViewerCore::SwitchState(bool on, TGLState state) {
  if (Reading) return;
  if (FRenderingContext) {
    Activate();
    TScopeGuard deactivate([this] { Deactivate(); });
    if (on)
      RequestStates(StateBit(state));
    else
      UnRequestStates(StateBit(state));
  }
  Invalidate();
}

void TGLViewerCore::SetDepthTest(bool v) {
  if (v == FDepthTest) return;
  FDepthTest = v;
  SwitchState(v, stDepthTest);
}
void TGLViewerCore::SetFaceCulling(bool v) {
  if (v == FFaceCulling) return;
  FFaceCulling = v;
  SwitchState(v, stCullFace);
}
void TGLViewerCore::SetLighting(bool v) {
  if (v == FLighting) return;
  FLighting = v;
  SwitchState(v, stLighting);
}
void TGLViewerCore::SetFogEnable(bool v) {
  if (v == FFogEnable) return;
  FFogEnable = v;
  FFogEnvironment->NotifyChange(nullptr);
  SwitchState(v, stFog);
}

void TGLViewerCore::SetBackgroundColor(TColor c) {
  if (c == FBackgroundColor) return;
  FBackgroundColor = c;
  if (Reading) return;
  if (FRenderingContext) {
    const TVector v = ConvertWinColor(c);
    Activate();
    GL.glClearColor(v[0], v[1], v[2], 1);
    Deactivate();
  }
  Invalidate();
}

void TGLViewerCore::SetCamera(TGLCamera* camera) {
  if (camera == FCamera) return;
  LeaveScene();
  if (FCamera) FCameraWatch->RemoveFreeNotification(FCamera);
  FCamera = nullptr;
  if (camera && camera->Scene()) {  // only a camera that belongs to a scene
    FCamera = camera;
    FCameraWatch->FreeNotification(camera);
    camera->TransformationChanged();
  }
  // Another camera starts on a fresh context that keeps the capability set. Not while a context
  // is active (a handler of a frame changing the camera): then the old context stays.
  if (!Reading && FRenderingContext && !FRendering && ActivationCount() == 0) {
    DestroyContext();
    CreateContext();
  }
  Invalidate();
}

void TGLViewerCore::SetContextOptions(TContextOptions o) {
  if (o == FContextOptions) return;
  FContextOptions = o;
  Invalidate();
}

void TGLViewerCore::SetFogEnvironment(const TGLFogEnvironment& fog) {
  FFogEnvironment->Assign(&fog);
  FFogEnvironment->NotifyChange(nullptr);
  Invalidate();
}

void TGLViewerCore::ResetPerformanceMonitor() {
  FFramesPerSecond = 0;
  FFrameCount = 0;
  FRenderingTime = 0;
}

// --- the frame

void TGLViewerCore::Render() {
  if (!ViewerVisible() || FRendering || !FRenderingContext) return;
  TGLScene* scene = FCamera ? FCamera->Scene() : nullptr;
  if (scene) {
    // A camera that moved to another scene takes the viewer along.
    if (scene != FScene) LeaveScene();
    scene->AddViewer(this);
    FScene = scene;
  }
  Activate();
  FRendering = 1;
  {
    TScopeGuard rendered([this] {
      FRendering = 0;
      Deactivate();
    });
    const int64_t start = Monitor ? Counter() : 0;
    GLbitfield mask = 0;
    if (BuffersToClear & bcColor) mask |= GL_COLOR_BUFFER_BIT;
    if (BuffersToClear & bcDepth) mask |= GL_DEPTH_BUFFER_BIT;
    if (BuffersToClear & bcStencil) mask |= GL_STENCIL_BUFFER_BIT;
    if (BuffersToClear & bcAccum) mask |= GL_ACCUM_BUFFER_BIT;
    if (mask) GL.glClear(mask);
    GL.glMatrixMode(GL_PROJECTION);
    GL.glLoadIdentity();
    if (FCamera) FCamera->ApplyPerspective(FViewport, ViewerWidth(), ViewerHeight(), ScreenDPI());
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glLoadIdentity();
    if (BeforeRender) BeforeRender(this);
    if (scene) {
      scene->SetupCamera(FCamera);
      scene->SetupLights(FLightLimit);
      FFogEnvironment->ApplyFog();
      scene->RenderScene(this, ViewerWidth(), ViewerHeight());
      if (PostRender) PostRender(this);
    }
    if (CaptureFrame) {
      CaptureFrame = false;
      CapturedWidth = std::max(FViewport.Width, 0);
      CapturedHeight = std::max(FViewport.Height, 0);
      CapturedPixels.assign(static_cast<size_t>(CapturedWidth) * static_cast<size_t>(CapturedHeight) * 4, 0);
      GL.glReadBuffer(FDoubleBuffered ? GL_BACK : GL_FRONT);
      GL.glPixelStorei(GL_PACK_ALIGNMENT, 1);
      GL.glReadPixels(0, 0, CapturedWidth, CapturedHeight, GL_RGBA, GL_UNSIGNED_BYTE, CapturedPixels.data());
    }
    GL.glFlush();
    if (FDoubleBuffered) {
      const TDrawable d = ViewerDrawable();
      SwapGLBuffers({d.Display, d.Drawable});
    }
    if (Monitor) {
      ++FFrameCount;
      if (FFrameCount > 1) {
        const int64_t end = Counter();
        // The first frame is not timed; the second counts twice in its place.
        FRenderingTime += (FFrameCount == 2 ? 2 : 1) * (end - start);
      }
      if (FRenderingTime > 0)
        FFramesPerSecond = static_cast<float>(double(FFrameCount) * double(CounterFrequency) / double(FRenderingTime));
    }
  }
  if (AfterRender) AfterRender(this);
}
