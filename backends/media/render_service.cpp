#include "backends/media/render_service.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <future>
#include <map>
#include <thread>

#include "backends/media/guarded_thread.h"
#include "backends/media/x11_error_trap.h"
#include "core/log.h"

#if defined(QX_MEDIA_HAS_X11)
// Xlib's macros (None, Status, ...) stay in this file's end of the includes.
#include <X11/Xlib.h>
#endif

#include "backends/media/mutex.h"

namespace qx::media {

namespace {

#if defined(QX_MEDIA_HAS_X11)
// Xlib's default answer to a request about a window that does not exist is
// to end the process. A caller's handle is checked on a connection of the
// render thread's own first, with errors caught, so that a wrong handle
// fails the play instead.
std::atomic<bool> x_error_seen{false};

int NoteXError(Display* /*display*/, XErrorEvent* /*event*/) {
  x_error_seen.store(true);
  return 0;
}

// The render thread's own connection, opened with its SDL video (so that a
// later render thread on another display checks on that one).
Display* own_display = nullptr;

void OpenOwnDisplay() {
  own_display = XOpenDisplay(nullptr);
  TrapXErrorsOf(own_display);
}

void CloseOwnDisplay() {
  if (own_display != nullptr) XCloseDisplay(own_display);
  own_display = nullptr;
}

// An X resource id has 29 bits: the protocol keeps the top three bits of
// every id zero. A handle with a higher bit set names no window, even when
// its low 32 bits (all that Xlib would send of it) name one.
constexpr uintptr_t kResourceIdBits = 0x1FFFFFFF;

bool IsWindow(void* handle) {
  if ((reinterpret_cast<uintptr_t>(handle) & ~kResourceIdBits) != 0) return false;
  Display* own = own_display;
  if (own == nullptr) return false;
  XSync(own, False);
  x_error_seen.store(false);
  XErrorHandler previous = XSetErrorHandler(&NoteXError);
  XWindowAttributes attributes;
  const Status found = XGetWindowAttributes(
      own, static_cast<::Window>(reinterpret_cast<uintptr_t>(handle)), &attributes);
  XSync(own, False);
  XSetErrorHandler(previous);
  return found != 0 && !x_error_seen.load();
}
#else
void OpenOwnDisplay() {}
void CloseOwnDisplay() {}
bool IsWindow(void* /*handle*/) { return true; }
#endif

struct Target {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int texture_width = 0;
  int texture_height = 0;
  uint64_t handle = 0;  // the caller's window id

  void Release() {
    if (texture != nullptr) SDL_DestroyTexture(texture);
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    if (window != nullptr) SDL_DestroyWindow(window);
    *this = Target{};
  }
};

struct Pending {
  FramePtr picture;
  ColourSettings colour;
};

struct Request {
  RenderTargetId target = 0;
  void* window = nullptr;  // null: detach
  std::promise<bool> done;
};

class RenderThread {
 public:
  ~RenderThread() { Shutdown(); }

  void Shutdown() {
    std::thread ending;
    {
      MutexLock guard(&mutex_);
      quit_ = true;
      ending = std::move(thread_);
    }
    wake_.SignalAll();
    if (ending.joinable()) ending.join();
    MutexLock guard(&mutex_);
    quit_ = false;
    failed_ = false;
    attached_.clear();
    pending_.clear();
  }

  bool Call(RenderTargetId target, void* window) {
    std::future<bool> result;
    {
      MutexLock guard(&mutex_);
      if (window == nullptr && attached_.count(target) == 0) return true;
      if (failed_) return false;
      if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
      requests_.push_back(Request{target, window, {}});
      result = requests_.back().done.get_future();
    }
    wake_.SignalAll();
    return result.get();
  }

  void Show(RenderTargetId target, FramePtr picture, const ColourSettings& colour) {
    {
      MutexLock guard(&mutex_);
      if (attached_.count(target) == 0) return;
      pending_[target] = Pending{std::move(picture), colour};
    }
    wake_.SignalAll();
  }

  void WaitUntilDrawn() {
    MutexLock guard(&mutex_);
    while (!pending_.empty() || drawing_) drawn_.Wait(&mutex_);
  }

 private:
  void Run() {
    if (!RunGuarded("render thread", log::kNoPort, [this] { Serve(); })) Fail();
  }

  // The render thread failed (memory exhausted): nothing is drawn any more,
  // attaching a window fails, and no one waits for a drawing.
  void Fail() noexcept {
    {
      MutexLock guard(&mutex_);
      failed_ = true;
      for (Request& request : requests_) request.done.set_value(false);
      requests_.clear();
      attached_.clear();
      pending_.clear();
      drawing_ = false;
    }
    drawn_.SignalAll();
  }

  void Serve() {
    const bool video = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    // False once the X server is gone: nothing is drawn, no window attached.
    bool drawable = video;
    // After SDL's video is up, so that SDL's own handler is the one the
    // trap forwards the host's errors to and SDL puts back its own.
    InstallXErrorTrap();
    OpenOwnDisplay();
    std::map<RenderTargetId, Target> windows;
    MutexLock lock(&mutex_);
    while (!quit_) {
      // Wakes at least every 100 ms to pump the windows' events.
      if (requests_.empty() && pending_.empty())
        wake_.WaitFor(&mutex_, std::chrono::milliseconds(100));
      while (!requests_.empty()) {
        Request request = std::move(requests_.front());
        requests_.pop_front();
        lock.Release();
        bool ok = true;
        windows[request.target].Release();
        windows.erase(request.target);
        if (request.window != nullptr) {
          ok = drawable && Open(request.window, windows[request.target]);
          if (!ok) windows.erase(request.target);
        }
        lock.Reacquire();
        if (ok && request.window != nullptr) {
          attached_[request.target] = true;
        } else {
          attached_.erase(request.target);
          pending_.erase(request.target);
        }
        request.done.set_value(ok);
      }
      auto work = std::move(pending_);
      pending_.clear();
      drawing_ = !work.empty();
      lock.Release();
      for (auto& [target, pending] : work) {
        auto found = windows.find(target);
        if (drawable && found != windows.end()) Draw(found->second, pending);
      }
      if (drawable) SDL_PumpEvents();
      LetGoOfFailedWindows(windows);
      if (drawable && DisplayLost()) {
        drawable = false;
        LetGoOfAllWindows(windows);
      }
      lock.Reacquire();
      drawing_ = false;
      drawn_.SignalAll();
    }
    lock.Release();
    for (auto& entry : windows) entry.second.Release();
    CloseOwnDisplay();
    // With the X server gone SDL's video is left up: closing it would close
    // a connection SDL keeps out of reach, whose loss Xlib answers by ending
    // the process. Drawing stays impossible in this process from then on.
    if (video && drawable) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    RemoveXErrorTrap();
  }

  // The X server is gone: every window is let go (their ports go on
  // decoding and notifying), and attaching a window fails from now on.
  void LetGoOfAllWindows(std::map<RenderTargetId, Target>& windows) {
    log::Error("media", log::kNoPort, "the X server is gone: windows are no longer drawn into");
    for (auto& entry : windows) entry.second.Release();
    windows.clear();
    MutexLock guard(&mutex_);
    attached_.clear();
    pending_.clear();
  }

  // A window the X server refused a request about (its owner destroyed it)
  // is drawn into no more; its port goes on decoding and notifying.
  void LetGoOfFailedWindows(std::map<RenderTargetId, Target>& windows) {
    for (const uint64_t failed : TakeFailedWindows()) {
      for (auto entry = windows.begin(); entry != windows.end();) {
        if (entry->second.handle != failed) {
          ++entry;
          continue;
        }
        log::Warning("media", log::kNoPort,
                     "window {:#x} failed (destroyed?): no longer drawn into", failed);
        entry->second.Release();
        {
          MutexLock guard(&mutex_);
          attached_.erase(entry->first);
          pending_.erase(entry->first);
        }
        entry = windows.erase(entry);
      }
    }
  }

  static bool Open(void* handle, Target& out) {
    if (!IsWindow(handle)) {
      log::Warning("media", log::kNoPort, "{:#x} names no window of the display",
                   reinterpret_cast<uintptr_t>(handle));
      return false;
    }
    out.window = SDL_CreateWindowFrom(handle);
    if (out.window == nullptr) return false;
    out.handle = reinterpret_cast<uintptr_t>(handle);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(out.window, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11) {
      TrapXErrorsOf(info.info.x11.display);
    }
    out.renderer = SDL_CreateRenderer(out.window, -1, 0);
    if (out.renderer == nullptr)
      out.renderer = SDL_CreateRenderer(out.window, -1, SDL_RENDERER_SOFTWARE);
    if (out.renderer == nullptr) {
      out.Release();
      return false;
    }
    return true;
  }

  static void Draw(Target& target, const Pending& pending) {
    FramePtr adjusted;
    const AVFrame* picture = pending.picture.get();
    if (!pending.colour.Neutral()) {
      adjusted = ApplyColour(*picture, pending.colour);
      if (adjusted) picture = adjusted.get();
    }
    if (target.texture == nullptr || target.texture_width != picture->width ||
        target.texture_height != picture->height) {
      if (target.texture != nullptr) SDL_DestroyTexture(target.texture);
      target.texture =
          SDL_CreateTexture(target.renderer, SDL_PIXELFORMAT_IYUV, SDL_TEXTUREACCESS_STREAMING,
                            picture->width, picture->height);
      target.texture_width = picture->width;
      target.texture_height = picture->height;
      if (target.texture == nullptr) return;
    }
    SDL_UpdateYUVTexture(target.texture, nullptr, picture->data[0], picture->linesize[0],
                         picture->data[1], picture->linesize[1], picture->data[2],
                         picture->linesize[2]);
    SDL_RenderClear(target.renderer);
    SDL_RenderCopy(target.renderer, target.texture, nullptr, nullptr);
    SDL_RenderPresent(target.renderer);
  }

  // The render thread's own state (its windows and renderers) lives in
  // Serve; what callers and the render thread share is guarded here.
  Mutex mutex_;
  CondVar wake_;
  CondVar drawn_;
  std::deque<Request> requests_ QX_GUARDED_BY(mutex_);
  std::map<RenderTargetId, Pending> pending_ QX_GUARDED_BY(mutex_);
  std::map<RenderTargetId, bool> attached_ QX_GUARDED_BY(mutex_);
  bool drawing_ QX_GUARDED_BY(mutex_) = false;
  bool quit_ QX_GUARDED_BY(mutex_) = false;
  // The render thread failed: nothing is drawn until the next Shutdown.
  bool failed_ QX_GUARDED_BY(mutex_) = false;
  std::thread thread_ QX_GUARDED_BY(mutex_);
};

RenderThread& Renderer() {
  // Never destroyed: at exit, ports that still play may ask for drawing
  // until their own teardown, and an exit started on the render thread
  // itself (by Xlib's fatal-error path) must not make it join itself.
  static RenderThread* renderer = new RenderThread;
  return *renderer;
}

}  // namespace

RenderTargetId NewRenderTargetId() {
  static std::atomic<RenderTargetId> next{1};
  return next.fetch_add(1);
}

bool AttachWindow(RenderTargetId target, void* window) {
  return window != nullptr && Renderer().Call(target, window);
}

void DetachWindow(RenderTargetId target) { Renderer().Call(target, nullptr); }

void ShowPicture(RenderTargetId target, FramePtr yuv420, const ColourSettings& colour) {
  if (yuv420) Renderer().Show(target, std::move(yuv420), colour);
}

void WaitUntilDrawn() { Renderer().WaitUntilDrawn(); }

void ReleaseDisplay() { Renderer().Shutdown(); }

}  // namespace qx::media
