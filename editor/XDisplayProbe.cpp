#include "editor/XDisplayProbe.h"

#include <dlfcn.h>

#include <cstring>
#include <vector>

namespace {

// Qt's option names are accepted with one dash or two.
const char* Option(const char* arg) { return arg[0] == '-' && arg[1] == '-' ? arg + 1 : arg; }

bool Is(const char* arg, const char* name) { return std::strcmp(Option(arg), name) == 0; }

}  // namespace

TQtDisplayChoice QtDisplayChoice(int argc, const char* const* argv, const std::string& platformVariable,
                                 const char* displayVariable) {
  // First the application's own pass, which takes the platform options and their values out;
  // then the X11 platform's pass over what is left, which takes "-display" (the last one counts).
  std::string platform = platformVariable;
  std::vector<const char*> rest;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!arg) continue;
    const bool x11 = platform.rfind("xcb", 0) == 0;
    if (Is(arg, "-platform")) {
      if (++i < argc) platform = argv[i];
    } else if (Is(arg, "-platformpluginpath") || Is(arg, "-platformtheme") || Is(arg, "-qwindowgeometry") ||
               Is(arg, "-qwindowtitle") || Is(arg, "-qwindowicon") ||
               (x11 && (Is(arg, "-geometry") || Is(arg, "-title") || Is(arg, "-icon")))) {
      ++i;
    } else {
      rest.push_back(arg);
    }
  }
  TQtDisplayChoice choice;
  choice.X11 = platform.rfind("xcb", 0) == 0;
  const char* display = nullptr;
  for (size_t i = 0; i < rest.size(); ++i) {
    const bool hasValue = i + 1 < rest.size();
    if (Is(rest[i], "-display") && hasValue)
      display = rest[++i];
    else if ((Is(rest[i], "-name") || Is(rest[i], "-visual")) && hasValue)
      ++i;
  }
  // An empty name is no name: the connection then takes DISPLAY's.
  if (!display || !*display) display = displayVariable;
  choice.DisplayGiven = display && *display;
  if (choice.DisplayGiven) choice.Display = display;
  return choice;
}

// Asked through libxcb, as Qt's X11 platform asks (it loads that library anyway).
TXDisplayProbe::TXDisplayProbe(const std::string& display) {
  FLibrary = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
  if (!FLibrary) return;
  using TConnect = void* (*)(const char*, int*);
  using THasError = int (*)(void*);
  const auto connect = reinterpret_cast<TConnect>(dlsym(FLibrary, "xcb_connect"));
  const auto hasError = reinterpret_cast<THasError>(dlsym(FLibrary, "xcb_connection_has_error"));
  FDisconnect = reinterpret_cast<void (*)(void*)>(dlsym(FLibrary, "xcb_disconnect"));
  if (!connect || !hasError || !FDisconnect) return;
  // A failed connection is an object too, and is freed the same way.
  FConnection = connect(display.c_str(), nullptr);
  FAnswers = FConnection && hasError(FConnection) == 0;
}

TXDisplayProbe::~TXDisplayProbe() {
  if (FConnection) FDisconnect(FConnection);
  if (FLibrary) dlclose(FLibrary);
}
