#pragma once
// Before Qt starts: which X display Qt's X11 platform will open, and whether it answers. Without
// one Qt aborts with its plugin advice; the program says in one line what is missing instead.
#include <string>

// The platform and display Qt will use, read from its own arguments as Qt reads them (the
// platform's "-platform" over QT_QPA_PLATFORM, the X11 platform's "-display" over DISPLAY).
// displayVariable is DISPLAY (nullptr: not set).
struct TQtDisplayChoice {
  bool X11 = false;
  bool DisplayGiven = false;  // by "-display" or DISPLAY
  std::string Display;
};
TQtDisplayChoice QtDisplayChoice(int argc, const char* const* argv, const std::string& platformVariable,
                                 const char* displayVariable);

// A connection to the display, held until the object goes: an X server whose last client
// leaves resets, and a connection made meanwhile (Qt's own) fails. Keep the probe until Qt
// holds its connection.
class TXDisplayProbe {
 public:
  explicit TXDisplayProbe(const std::string& display);
  ~TXDisplayProbe();
  TXDisplayProbe(const TXDisplayProbe&) = delete;
  TXDisplayProbe& operator=(const TXDisplayProbe&) = delete;
  // False when the display did not answer; true also when libxcb is missing (Qt then says
  // itself what is missing).
  bool Answers() const { return FAnswers; }

 private:
  void* FLibrary = nullptr;
  void* FConnection = nullptr;
  void (*FDisconnect)(void*) = nullptr;
  bool FAnswers = true;
};
