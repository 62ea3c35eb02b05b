#include "backends/media/x11_error_trap.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#if defined(QX_MEDIA_HAS_X11)
#include <X11/Xlib.h>
#endif

namespace qx::media {

#if defined(QX_MEDIA_HAS_X11)
namespace {

struct Trap {
  std::mutex mutex;
  std::vector<void*> displays;
  XErrorHandler previous = nullptr;
  bool installed = false;
  std::vector<uint64_t> failed;
};

Trap& TheTrap() {
  // Never destroyed: Xlib may call the handler while the process exits.
  static Trap* trap = new Trap;
  return *trap;
}

int TrapError(Display* display, XErrorEvent* event) {
  Trap& trap = TheTrap();
  XErrorHandler previous = nullptr;
  {
    const std::lock_guard<std::mutex> guard(trap.mutex);
    if (std::find(trap.displays.begin(), trap.displays.end(), display) != trap.displays.end()) {
      trap.failed.push_back(static_cast<uint64_t>(event->resourceid));
      return 0;
    }
    previous = trap.previous;
  }
  return previous != nullptr ? previous(display, event) : 0;
}

}  // namespace

void InstallXErrorTrap() {
  Trap& trap = TheTrap();
  const std::lock_guard<std::mutex> guard(trap.mutex);
  trap.displays.clear();
  trap.failed.clear();
  if (trap.installed) return;
  trap.previous = XSetErrorHandler(&TrapError);
  trap.installed = true;
}

void TrapXErrorsOf(void* display) {
  if (display == nullptr) return;
  Trap& trap = TheTrap();
  const std::lock_guard<std::mutex> guard(trap.mutex);
  if (std::find(trap.displays.begin(), trap.displays.end(), display) == trap.displays.end()) {
    trap.displays.push_back(display);
  }
}

void RemoveXErrorTrap() {
  Trap& trap = TheTrap();
  const std::lock_guard<std::mutex> guard(trap.mutex);
  if (!trap.installed) return;
  // Put back what was there, unless the host has replaced the trap since.
  const XErrorHandler current = XSetErrorHandler(trap.previous);
  if (current != &TrapError) XSetErrorHandler(current);
  trap.installed = false;
  trap.displays.clear();
  trap.failed.clear();
}

std::vector<uint64_t> TakeFailedWindows() {
  Trap& trap = TheTrap();
  const std::lock_guard<std::mutex> guard(trap.mutex);
  return std::exchange(trap.failed, {});
}
#else
void InstallXErrorTrap() {}
void TrapXErrorsOf(void* /*display*/) {}
void RemoveXErrorTrap() {}
std::vector<uint64_t> TakeFailedWindows() { return {}; }
#endif

}  // namespace qx::media
