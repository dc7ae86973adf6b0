#include "codecs/GIFPainter.h"

#include <deque>

#include "platform/MessagePump.h"

namespace {

struct TSyncEntry {
  enum TState { Queued, Running, Done, Cancelled };
  std::function<void()> Fn;
  const TGIFPainter* Owner;
  TState State = Queued;
  bool Failed = false;
};

std::mutex gSyncLock;
std::condition_variable gSyncDone;
std::deque<std::shared_ptr<TSyncEntry>> gQueue;
std::function<void()> gWake;
std::atomic<int> gLiveThreads{0};

// Milliseconds per hundredth of a second of delay: a little slower than the file says, as
// browsers of the time played animations.
constexpr int kDelayScale = 12;

}  // namespace

void SetGIFSynchronizeWakeHook(std::function<void()> Hook) {
  std::lock_guard<std::mutex> lock(gSyncLock);
  gWake = std::move(Hook);
}

bool GIFCheckSynchronize() {
  bool ran = false;
  for (;;) {
    std::shared_ptr<TSyncEntry> e;
    {
      std::lock_guard<std::mutex> lock(gSyncLock);
      if (gQueue.empty()) break;
      e = gQueue.front();
      gQueue.pop_front();
      e->State = TSyncEntry::Running;
    }
    bool failed = false;
    try {
      e->Fn();
    } catch (...) {
      // A frame that cannot be drawn ends its painter; nothing escapes into the event loop.
      failed = true;
    }
    {
      std::lock_guard<std::mutex> lock(gSyncLock);
      e->Failed = failed;
      e->State = TSyncEntry::Done;
    }
    gSyncDone.notify_all();
    ran = true;
  }
  return ran;
}

TGIFPainter::TGIFPainter(TGIFImage& AImage, TBitmap& ACanvas, const TRect& ARect, uint16_t AOptions)
    : DrawOptions(AOptions),
      AnimationSpeed(AImage.AnimationSpeed),
      FImage(AImage),
      FCanvas(&ACanvas),
      FRect(ARect),
      FThreaded(AOptions & doThreaded) {}

TGIFPainter::~TGIFPainter() { Stop(); }

int TGIFPainter::LiveThreads() { return gLiveThreads.load(); }

int TGIFPainter::FrameDelay(const TGIFSubImage& Frame, bool Threaded) {
  int d = Frame.GraphicControlExtension ? Frame.GraphicControlExtension->Delay : 10;
  if (d == 0) d = 10;
  if (d < 3) d = 3;
  if (d > 1000 && !Threaded) d = 1000;
  return d;
}

void TGIFPainter::Terminate() {
  {
    std::lock_guard<std::mutex> lock(gSyncLock);
    {
      std::lock_guard<std::mutex> own(FLock);
      FTerminated = true;
    }
    // Work not yet taken by the GUI thread is dropped, so a painter waiting for it is free.
    for (auto& e : gQueue)
      if (e->Owner == this) e->State = TSyncEntry::Cancelled;
    std::erase_if(gQueue, [this](const std::shared_ptr<TSyncEntry>& e) { return e->Owner == this; });
  }
  gSyncDone.notify_all();
  FEvent.notify_all();
}

void TGIFPainter::Stop() {
  Terminate();
  if (FThread.joinable()) FThread.join();
}

bool TGIFPainter::Synchronize(const std::function<void()>& Fn) {
  if (!FThreaded) {
    Fn();
    return true;
  }
  auto e = std::make_shared<TSyncEntry>();
  e->Fn = Fn;
  e->Owner = this;
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(gSyncLock);
    if (FTerminated) return false;
    gQueue.push_back(e);
    wake = gWake;
  }
  if (wake) wake();
  std::unique_lock<std::mutex> lock(gSyncLock);
  gSyncDone.wait(lock, [&] { return e->State == TSyncEntry::Done || e->State == TSyncEntry::Cancelled; });
  return e->State == TSyncEntry::Done && !e->Failed;
}

bool TGIFPainter::WaitDelay(int Delay) {
  using namespace std::chrono;
  const auto now = steady_clock::now();
  int wait;
  if (AnimationSpeed < 1) {
    wait = FThreaded ? -1 : 1000 * kDelayScale;
  } else {
    // Half of the time drawing took beyond the last wait is taken off this one.
    const int elapsed = static_cast<int>(duration_cast<milliseconds>(now - FLastFrameTime).count());
    const int h = FLastFrameTime == steady_clock::time_point{} ? 0 : std::max(0, elapsed - FLastWait) / 2;
    const int64_t w = (static_cast<int64_t>(Delay) * kDelayScale - h) * 100;
    wait = static_cast<int>(std::max<int64_t>(0, (w + AnimationSpeed / 2) / AnimationSpeed));
  }
  FLastWait = std::max(wait, 0);
  bool stopped;
  if (FThreaded) {
    std::unique_lock<std::mutex> lock(FLock);
    if (wait < 0)
      FEvent.wait(lock, [this] { return FTerminated.load(); });
    else
      FEvent.wait_for(lock, milliseconds(wait), [this] { return FTerminated.load(); });
    stopped = FTerminated;
  } else {
    // In the caller's thread: short sleeps, with the caller's pending messages handled between.
    const auto until = now + milliseconds(wait);
    while (!FTerminated && steady_clock::now() < until) {
      std::unique_lock<std::mutex> lock(FLock);
      FEvent.wait_for(lock, std::min(milliseconds(100), duration_cast<milliseconds>(until - steady_clock::now())),
                      [this] { return FTerminated.load(); });
      lock.unlock();
      ProcessMessages();
    }
    stopped = FTerminated;
  }
  FLastFrameTime = steady_clock::now();
  return !stopped;
}

void TGIFPainter::Prepare() {
  const TGIFImage& img = FImage;
  if (img.DrawBackgroundColor)
    FBackgroundColor = *img.DrawBackgroundColor;
  else if (img.Header.ColorMap.Count == 0)
    FBackgroundColor = clWhite;  // the window colour
  else
    FBackgroundColor = img.Header.ColorMap.Colors(img.Header.BackgroundColorIndex);
  bool background = false;
  for (const auto& f : img.Images)
    if (f->GraphicControlExtension) {
      const uint8_t d = f->GraphicControlExtension->Disposal();
      background |= d == dmBackground || d == 7;
    }
  if (background || (DrawOptions & doClearOnLoop)) {
    FBackground = std::make_unique<TBitmap>(std::max(FRect.Width(), 0), std::max(FRect.Height(), 0));
    if (DrawOptions & doTransparent) {
      // Restoring to the background shows what the canvas had under the animation.
      FUseSavedArea = true;
      CopyRect(*FBackground, {0, 0, FBackground->Width(), FBackground->Height()}, *FCanvas, FRect);
    } else {
      FBackground->Fill(FBackgroundColor);
    }
  }
}

void TGIFPainter::DrawFrame(int Index) {
  const auto& frames = FImage.Images;
  TGIFSubImage& frame = *frames[static_cast<size_t>(Index)];
  const TRect whole{0, 0, FRect.Width(), FRect.Height()};
  auto toLocal = [this](TRect r) {
    r.Left -= FRect.Left;
    r.Right -= FRect.Left;
    r.Top -= FRect.Top;
    r.Bottom -= FRect.Top;
    return r;
  };
  if (FPreviousFrame >= 0 && FPreviousFrame < static_cast<int>(frames.size())) {
    const TRect pr = frames[static_cast<size_t>(FPreviousFrame)]->ScaleRect(FRect);
    if ((FPreviousDisposal == dmBackground || FPreviousDisposal == 7) && FBackground)
      CopyRect(*FCanvas, pr, *FBackground, toLocal(pr));
    else if (FPreviousDisposal == dmPrevious && FBackup)
      CopyRect(*FCanvas, FRect, *FBackup, whole);
  }
  if (Index == 0 && FPreviousFrame >= 0 && (DrawOptions & doClearOnLoop) && FBackground)
    CopyRect(*FCanvas, FRect, *FBackground, whole);
  FDisposal = frame.GraphicControlExtension ? frame.GraphicControlExtension->Disposal() : uint8_t{dmNone};
  if (FDisposal == dmPrevious) {
    if (!FBackup) FBackup = std::make_unique<TBitmap>(whole.Right, whole.Bottom);
    CopyRect(*FBackup, whole, *FCanvas, FRect);
  }
  frame.Draw(*FCanvas, FRect, DrawOptions & doTransparent, DrawOptions & doTile);
  FPreviousFrame = Index;
  FPreviousDisposal = FDisposal;
  ++FFramesDrawn;
}

void TGIFPainter::Start() {
  Prepare();
  if (FImage.OnStartPaint) FImage.OnStartPaint();
  if (FImage.Images.empty() || FImage.Images[0]->Empty()) return;
  FActiveImage = 0;
  DrawFrame(0);
  ++gLiveThreads;
  FThread = std::thread([this] {
    Execute();
    --gLiveThreads;
  });
}

void TGIFPainter::Run() {
  Prepare();
  if (FImage.OnStartPaint) FImage.OnStartPaint();
  Execute();
}

void TGIFPainter::Execute() {
  const auto& frames = FImage.Images;
  const int count = static_cast<int>(frames.size());
  int restart = 0, loops = 1;
  bool loopSeen = false, endless = false;
  // Frame 0 of a threaded painter is already on the canvas.
  const bool firstDrawn = FFramesDrawn > 0;
  int from = firstDrawn ? 1 : 0;
  int delay = FThreaded ? 0 : 1;
  auto note = [&](int i) {
    const TGIFSubImage& f = *frames[static_cast<size_t>(i)];
    if (!loopSeen)
      for (const auto& e : f.Extensions)
        if (const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(e.get())) {
          loopSeen = true;
          loops = loop->Loops;
          endless = loop->Loops == 0;
          restart = i;
          break;
        }
    delay = FrameDelay(f, FThreaded);
  };
  if (firstDrawn) note(0);
  bool passBegun = firstDrawn;
  while (!Terminated()) {
    if (!passBegun && FFramesDrawn > 0)
      Synchronize([this] {
        if (FImage.OnLoopPaint) FImage.OnLoopPaint();
      });
    passBegun = false;
    int drawn = 0;
    for (int i = from; i < count && !Terminated(); ++i) {
      if (frames[static_cast<size_t>(i)]->Empty()) break;
      if (!WaitDelay(delay)) break;
      FActiveImage = i;
      const bool ok = Synchronize([this, i] {
        if (FImage.OnBeforePaint) FImage.OnBeforePaint();
        DrawFrame(i);
        if (FImage.OnAfterPaint) FImage.OnAfterPaint();
      });
      if (!ok) break;
      ++drawn;
      note(i);
      if (!(DrawOptions & doAnimate)) break;
    }
    if (loops > 0) --loops;
    const bool again =
        (DrawOptions & doAnimate) && (DrawOptions & doLoop) && (!(DrawOptions & doLoopCount) || endless || loops > 0);
    // A pass that drew nothing would spin.
    if (!again || (drawn == 0 && from == restart)) break;
    from = restart;
  }
  FActiveImage = -1;
  Synchronize([this] {
    if (FImage.OnEndPaint) FImage.OnEndPaint();
  });
  FFinished = true;
}
