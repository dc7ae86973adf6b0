// The X server's screen modes through RandR's size list. libX11 and libXrandr are opened at run
// time like the rest of the windowing binding, so nothing links them.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <dlfcn.h>

#include <cstdlib>

#include "platform/Exceptions.h"
#include "scene/GLScreen.h"

namespace {

struct TRandR {
  void* X11 = nullptr;
  void* Xrandr = nullptr;
  Display* (*OpenDisplay)(const char*) = nullptr;
  int (*CloseDisplay)(Display*) = nullptr;
  int (*XDefaultScreen_)(Display*) = nullptr;
  Window (*XRootWindow_)(Display*, int) = nullptr;
  int (*XDefaultDepth_)(Display*, int) = nullptr;
  int (*XDisplayWidth_)(Display*, int) = nullptr;
  int (*XDisplayHeight_)(Display*, int) = nullptr;
  Bool (*QueryExtension)(Display*, int*, int*) = nullptr;
  XRRScreenConfiguration* (*GetScreenInfo)(Display*, Window) = nullptr;
  void (*FreeScreenConfigInfo)(XRRScreenConfiguration*) = nullptr;
  XRRScreenSize* (*ConfigSizes)(XRRScreenConfiguration*, int*) = nullptr;
  SizeID (*ConfigCurrentConfiguration)(XRRScreenConfiguration*, Rotation*) = nullptr;
  Status (*SetScreenConfig)(Display*, XRRScreenConfiguration*, Drawable, int, Rotation, Time) = nullptr;

  template <typename F>
  bool Bind(void* lib, F& fn, const char* name) {
    fn = reinterpret_cast<F>(dlsym(lib, name));
    return fn != nullptr;
  }
  bool Load() {
    X11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    Xrandr = dlopen("libXrandr.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!X11 || !Xrandr) return false;
    return Bind(X11, OpenDisplay, "XOpenDisplay") && Bind(X11, CloseDisplay, "XCloseDisplay") &&
           Bind(X11, XDefaultScreen_, "XDefaultScreen") && Bind(X11, XRootWindow_, "XRootWindow") &&
           Bind(X11, XDefaultDepth_, "XDefaultDepth") && Bind(X11, XDisplayWidth_, "XDisplayWidth") &&
           Bind(X11, XDisplayHeight_, "XDisplayHeight") && Bind(Xrandr, QueryExtension, "XRRQueryExtension") &&
           Bind(Xrandr, GetScreenInfo, "XRRGetScreenInfo") &&
           Bind(Xrandr, FreeScreenConfigInfo, "XRRFreeScreenConfigInfo") &&
           Bind(Xrandr, ConfigSizes, "XRRConfigSizes") &&
           Bind(Xrandr, ConfigCurrentConfiguration, "XRRConfigCurrentConfiguration") &&
           Bind(Xrandr, SetScreenConfig, "XRRSetScreenConfig");
  }
  ~TRandR() {
    if (Xrandr) dlclose(Xrandr);
    if (X11) dlclose(X11);
  }
};

class TXRandRDisplayModes final : public TDisplayModes {
 public:
  explicit TXRandRDisplayModes(Display* display) {
    if (!R.Load()) throw EOSError("Screen modes need libX11.so.6 and libXrandr.so.2");
    FDisplay = display;
    if (!FDisplay) {
      FDisplay = R.OpenDisplay(nullptr);
      if (!FDisplay) throw EOSError("Screen modes: no X display can be opened");
      FOwnDisplay = true;
    }
    int ev = 0, err = 0;
    if (!R.QueryExtension(FDisplay, &ev, &err)) {
      Close();
      throw EOSError("Screen modes: the X server has no RandR extension");
    }
    FScreen = R.XDefaultScreen_(FDisplay);
    FRoot = R.XRootWindow_(FDisplay, FScreen);
    FDepth = R.XDefaultDepth_(FDisplay, FScreen);
  }
  ~TXRandRDisplayModes() override { Close(); }

  TVideoMode CurrentMode() override {
    TVideoMode m;
    m.Width = static_cast<uint16_t>(R.XDisplayWidth_(FDisplay, FScreen));
    m.Height = static_cast<uint16_t>(R.XDisplayHeight_(FDisplay, FScreen));
    m.ColorDepth = static_cast<uint8_t>(FDepth);
    return m;
  }

  bool EnumMode(int index, TVideoMode& mode) override {
    Config config(*this);
    int count = 0;
    XRRScreenSize* sizes = config.Get() ? R.ConfigSizes(config.Get(), &count) : nullptr;
    if (!sizes || index < 0 || index >= count) return false;
    mode.Width = static_cast<uint16_t>(sizes[index].width);
    mode.Height = static_cast<uint16_t>(sizes[index].height);
    mode.ColorDepth = static_cast<uint8_t>(FDepth);
    return true;
  }

  bool TestMode(const TVideoMode& mode) override { return FindSize(mode) >= 0; }

  bool SwitchTo(const TVideoMode& mode) override {
    Config config(*this);
    const int size = FindSize(mode);
    if (!config.Get() || size < 0) return false;
    Rotation rotation = 0;
    const SizeID current = R.ConfigCurrentConfiguration(config.Get(), &rotation);
    if (FOriginal < 0) {
      FOriginal = current;
      FOriginalRotation = rotation;
    }
    return R.SetScreenConfig(FDisplay, config.Get(), FRoot, size, rotation, CurrentTime) == 0;
  }

  void RestoreDefault() override {
    if (FOriginal < 0) return;
    Config config(*this);
    if (config.Get()) R.SetScreenConfig(FDisplay, config.Get(), FRoot, FOriginal, FOriginalRotation, CurrentTime);
    FOriginal = -1;
  }

 private:
  class Config {
   public:
    explicit Config(TXRandRDisplayModes& owner) : FOwner(owner) {
      FConfig = owner.R.GetScreenInfo(owner.FDisplay, owner.FRoot);
    }
    ~Config() {
      if (FConfig) FOwner.R.FreeScreenConfigInfo(FConfig);
    }
    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;
    XRRScreenConfiguration* Get() const { return FConfig; }

   private:
    TXRandRDisplayModes& FOwner;
    XRRScreenConfiguration* FConfig = nullptr;
  };

  // The size index of a mode the screen offers, -1 when it offers none such. The depth of a
  // running X screen is fixed, so a mode of another depth is refused.
  int FindSize(const TVideoMode& mode) {
    if (mode.ColorDepth != FDepth) return -1;
    Config config(*this);
    int count = 0;
    XRRScreenSize* sizes = config.Get() ? R.ConfigSizes(config.Get(), &count) : nullptr;
    for (int i = 0; sizes && i < count; ++i)
      if (sizes[i].width == mode.Width && sizes[i].height == mode.Height) return i;
    return -1;
  }

  void Close() {
    if (FOwnDisplay && FDisplay) R.CloseDisplay(FDisplay);
    FDisplay = nullptr;
  }

  TRandR R;
  Display* FDisplay = nullptr;
  bool FOwnDisplay = false;
  int FScreen = 0;
  Window FRoot = 0;
  int FDepth = 0;
  int FOriginal = -1;
  Rotation FOriginalRotation = 0;
};

}  // namespace

std::unique_ptr<TDisplayModes> XRandRDisplayModes(void* display) {
  return std::make_unique<TXRandRDisplayModes>(static_cast<Display*>(display));
}

namespace {
struct TScreenModes {
  std::unique_ptr<TDisplayModes> Display;
  TGLScreen Screen;
  bool Tried = false;
};
TScreenModes& Modes() {
  static TScreenModes modes;
  return modes;
}
}  // namespace

TGLScreen* ScreenModes(TDisplayModes** display) {
  TScreenModes& m = Modes();
  if (!m.Tried) {
    m.Tried = true;
    try {
      m.Display = XRandRDisplayModes();
      m.Screen.ReadVideoModes(*m.Display);
      std::atexit([] {
        TScreenModes& modes = Modes();
        if (modes.Display) modes.Screen.Shutdown(*modes.Display);
      });
    } catch (const Exception&) {
      m.Display.reset();
    }
  }
  if (display) *display = m.Display.get();
  return m.Display ? &m.Screen : nullptr;
}
