#include "backends/media/x11_error_trap.h"

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

#include "backends/media/mutex.h"

#if defined(QX_MEDIA_HAS_X11)
#include <X11/Xlib.h>
#endif

namespace qx::media {

#if defined(QX_MEDIA_HAS_X11)
namespace {

// Shared by the render thread and whichever thread Xlib calls the handlers
// on.
struct Trap {
  Mutex mutex;
  std::vector<void*> displays QX_GUARDED_BY(mutex);
  XErrorHandler previous QX_GUARDED_BY(mutex) = nullptr;
  XIOErrorHandler previous_io QX_GUARDED_BY(mutex) = nullptr;
  bool installed QX_GUARDED_BY(mutex) = false;
  std::vector<uint64_t> failed QX_GUARDED_BY(mutex);
  bool lost QX_GUARDED_BY(mutex) = false;
  // Errors raised on the render thread come from its connections whatever
  // they are (SDL keeps one more of its own, out of reach).
  std::thread::id render_thread QX_GUARDED_BY(mutex);
};

bool Trapped(const Trap& trap, Display* display) QX_REQUIRES(trap.mutex) {
  return std::this_thread::get_id() == trap.render_thread ||
         std::find(trap.displays.begin(), trap.displays.end(), display) != trap.displays.end();
}

Trap& TheTrap() {
  // Never destroyed: Xlib may call the handler while the process exits.
  static Trap* trap = new Trap;
  return *trap;
}

int TrapError(Display* display, XErrorEvent* event) {
  Trap& trap = TheTrap();
  XErrorHandler previous = nullptr;
  {
    MutexLock guard(&trap.mutex);
    if (Trapped(trap, display)) {
      trap.failed.push_back(static_cast<uint64_t>(event->resourceid));
      return 0;
    }
    previous = trap.previous;
  }
  return previous != nullptr ? previous(display, event) : 0;
}

void NoteLostDisplay(Display* display, void* user_data);

int TrapIoError(Display* display) {
  Trap& trap = TheTrap();
  XIOErrorHandler previous = nullptr;
  {
    MutexLock guard(&trap.mutex);
    if (Trapped(trap, display)) {
      trap.lost = true;
      previous = nullptr;
    } else {
      previous = trap.previous_io;
    }
  }
  if (previous == nullptr) {
    // Xlib goes on to the connection's exit handler: SDL keeps a
    // connection the trap could not reach before, so it gets one now.
    XSetIOErrorExitHandler(display, &NoteLostDisplay, nullptr);
    return 0;
  }
  return previous(display);
}

void NoteLostDisplay(Display* /*display*/, void* /*user_data*/) {
  Trap& trap = TheTrap();
  MutexLock guard(&trap.mutex);
  trap.lost = true;
}

}  // namespace

void InstallXErrorTrap() {
  Trap& trap = TheTrap();
  MutexLock guard(&trap.mutex);
  trap.displays.clear();
  trap.failed.clear();
  trap.lost = false;
  trap.render_thread = std::this_thread::get_id();
  if (trap.installed) return;
  trap.previous = XSetErrorHandler(&TrapError);
  trap.previous_io = XSetIOErrorHandler(&TrapIoError);
  trap.installed = true;
}

void TrapXErrorsOf(void* display) {
  if (display == nullptr) return;
  Trap& trap = TheTrap();
  {
    MutexLock guard(&trap.mutex);
    if (std::find(trap.displays.begin(), trap.displays.end(), display) != trap.displays.end()) {
      return;
    }
    trap.displays.push_back(display);
  }
  // Per connection: the host's connections keep their own exit handler.
  XSetIOErrorExitHandler(static_cast<Display*>(display), &NoteLostDisplay, nullptr);
}

void RemoveXErrorTrap() {
  Trap& trap = TheTrap();
  MutexLock guard(&trap.mutex);
  if (!trap.installed) return;
  // Put back what was there, unless the host has replaced the trap since.
  const XErrorHandler current = XSetErrorHandler(trap.previous);
  if (current != &TrapError) XSetErrorHandler(current);
  const XIOErrorHandler current_io = XSetIOErrorHandler(trap.previous_io);
  if (current_io != &TrapIoError) XSetIOErrorHandler(current_io);
  trap.installed = false;
  trap.render_thread = std::thread::id();
  trap.displays.clear();
  trap.failed.clear();
}

std::vector<uint64_t> TakeFailedWindows() {
  Trap& trap = TheTrap();
  MutexLock guard(&trap.mutex);
  return std::exchange(trap.failed, {});
}

bool DisplayLost() {
  Trap& trap = TheTrap();
  MutexLock guard(&trap.mutex);
  return trap.lost;
}
#else
void InstallXErrorTrap() {}
void TrapXErrorsOf(void* /*display*/) {}
void RemoveXErrorTrap() {}
std::vector<uint64_t> TakeFailedWindows() { return {}; }
bool DisplayLost() { return false; }
#endif

}  // namespace qx::media
