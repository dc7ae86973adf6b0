#pragma once
// The painter that plays a GIF animation into the image's cached bitmap. A threaded painter only
// waits and times in its own thread; every frame is drawn, and every hook called, on the GUI
// thread through GIFSynchronize. The image owns its painters and joins them when it stops them.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "codecs/GIFImage.h"

// Work a painter thread hands to the GUI thread. The GUI installs a wake hook (called from any
// thread whenever work is queued) that makes the GUI thread call GIFCheckSynchronize soon.
void SetGIFSynchronizeWakeHook(std::function<void()> Hook);
// Runs the queued work; on the GUI thread only. Returns whether anything ran.
bool GIFCheckSynchronize();

class TGIFPainter {
 public:
  // Draws on Canvas in Rect. Rect must lie inside the canvas when DoDirectDraw is clear.
  TGIFPainter(TGIFImage& AImage, TBitmap& ACanvas, const TRect& ARect, uint16_t AOptions);
  ~TGIFPainter();
  TGIFPainter(const TGIFPainter&) = delete;
  TGIFPainter& operator=(const TGIFPainter&) = delete;

  // Draws frame 0 in the caller's thread (so the picture is there at once), then starts the
  // thread that times the other frames.
  void Start();
  // Runs the whole animation in the caller's thread (no doThreaded option), waiting in steps of
  // 100 ms while pending messages are processed.
  void Run();
  // Asks the painter to stop; wakes it from any wait.
  void Terminate();
  // Terminates and joins the thread.
  void Stop();
  bool Terminated() const { return FTerminated.load(); }
  bool Finished() const { return FFinished.load(); }
  int ActiveImage() const { return FActiveImage.load(); }
  int FramesDrawn() const { return FFramesDrawn.load(); }

  const TBitmap* Canvas() const { return FCanvas; }
  const TRect& Rect() const { return FRect; }
  uint16_t DrawOptions;
  int AnimationSpeed;

  // Painter threads alive in the process (for tests: every started painter is joined).
  static int LiveThreads();
  // The delay of a frame in hundredths of a second, as the painter applies it.
  static int FrameDelay(const TGIFSubImage& Frame, bool Threaded);

 private:
  void Execute();
  void Prepare();
  void DrawFrame(int Index);
  // Runs Fn on the GUI thread (directly when not threaded); false when terminated first.
  bool Synchronize(const std::function<void()>& Fn);
  void CallHook(const std::function<void()>& Hook);
  // Waits for the frame delay; false when terminated meanwhile.
  bool WaitDelay(int Delay);

  TGIFImage& FImage;
  TBitmap* FCanvas;
  TRect FRect;
  bool FThreaded;
  std::atomic<bool> FTerminated{false}, FFinished{false};
  std::atomic<int> FActiveImage{-1}, FFramesDrawn{0};
  std::mutex FLock;
  std::condition_variable FEvent;
  std::thread FThread;
  // Drawing state, used on the GUI thread only.
  uint8_t FDisposal = dmNone, FPreviousDisposal = dmNone;
  int FPreviousFrame = -1;
  std::unique_ptr<TBitmap> FBackground, FBackup;
  TColor FBackgroundColor = clBlack;
  bool FUseSavedArea = false;
  std::chrono::steady_clock::time_point FLastFrameTime;
  int FLastWait = 0;
};
