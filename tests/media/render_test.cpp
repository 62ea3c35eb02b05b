// Rendering into a caller's X11 window on a virtual display (Xvfb), checked
// by reading the window's pixels back.
#include <gtest/gtest.h>

#include "backends/media/render_service.h"
#include "backends/player.h"
#include "tests/media/media_test_support.h"
#include "tests/media/notification_log.h"
#include "tests/media/virtual_display.h"

// Xlib's macros (None, True, Status...) last, after every C++ header.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace qxmedia_test {
namespace {

constexpr int32_t kPort = 70;

struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
};

Rgb PixelAt(Display* display, Window window, int x, int y) {
  XSync(display, False);
  XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
  if (image == nullptr) return {};
  const unsigned long pixel = XGetPixel(image, 0, 0);
  Rgb rgb{static_cast<int>((pixel & image->red_mask) >> 16),
          static_cast<int>((pixel & image->green_mask) >> 8),
          static_cast<int>(pixel & image->blue_mask)};
  XDestroyImage(image);
  return rgb;
}

TEST(RenderTest, PicturesFillTheCallersWindowWithTheirColourSettings) {
  VirtualDisplay server;
  ASSERT_TRUE(server.ready()) << "Xvfb did not start";
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 240, 0,
                                            0, BlackPixel(display, DefaultScreen(display)));
  XMapWindow(display, window);
  XSync(display, False);

  NotificationLog log;
  ASSERT_EQ(player_open_file(kPort, Clip("red").c_str()), 1);
  log.Register(kPort);
  void* handle = reinterpret_cast<void*>(window);
  ASSERT_EQ(player_play(kPort, handle), 1);
  ASSERT_TRUE(WaitFor([&] { return log.draws() >= 5; }));
  qx::media::WaitUntilDrawn();
  EXPECT_EQ(log.last_draw_window(), static_cast<uintptr_t>(window));
  for (auto [x, y] : {std::pair{160, 120}, std::pair{5, 5}, std::pair{314, 234}}) {
    const Rgb pixel = PixelAt(display, window, x, y);
    EXPECT_GT(pixel.r, 200) << x << "," << y;
    EXPECT_LT(pixel.g, 60);
    EXPECT_LT(pixel.b, 60);
  }

  // No saturation: the red turns grey.
  ASSERT_EQ(player_set_colour(kPort, 0, 64, 64, 0, 64), 1);
  const int draws = log.draws();
  ASSERT_TRUE(WaitFor([&] { return log.draws() >= draws + 3; }));
  qx::media::WaitUntilDrawn();
  const Rgb grey = PixelAt(display, window, 160, 120);
  EXPECT_NEAR(grey.r, grey.g, 12);
  EXPECT_NEAR(grey.g, grey.b, 12);
  EXPECT_GT(grey.r, 40);

  EXPECT_EQ(player_stop(kPort), 1);
  // A handle that names no window is refused; the process goes on.
  EXPECT_EQ(player_play(kPort, reinterpret_cast<void*>(uintptr_t{0x7ffffff0})), 0);
  EXPECT_EQ(player_close_file(kPort), 1);
  // The window is still the caller's.
  XWindowAttributes attributes;
  EXPECT_NE(XGetWindowAttributes(display, window, &attributes), 0);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  qx::media::ReleaseDisplay();  // before the server goes
}

int host_errors = 0;
int CountHostError(Display* /*display*/, XErrorEvent* /*event*/) {
  ++host_errors;
  return 0;
}

// The caller destroys its window while a port draws into it: the port stops
// drawing there and goes on decoding, the process lives, errors on the
// host's own connection still reach the host's handler, and that handler is
// the one installed once the engine lets go of the display.
TEST(RenderTest, AWindowDestroyedWhileDrawnIntoIsLetGoAndDecodingGoesOn) {
  VirtualDisplay server;
  ASSERT_TRUE(server.ready()) << "Xvfb did not start";
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const XErrorHandler before = XSetErrorHandler(&CountHostError);
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 240, 0,
                                            0, BlackPixel(display, DefaultScreen(display)));
  XMapWindow(display, window);
  XSync(display, False);

  NotificationLog log;
  ASSERT_EQ(player_open_file(kPort, Clip("long").c_str()), 1);
  log.Register(kPort);
  ASSERT_EQ(player_play(kPort, reinterpret_cast<void*>(window)), 1);
  ASSERT_TRUE(WaitFor([&] { return log.draws() >= 5; }));
  qx::media::WaitUntilDrawn();

  XDestroyWindow(display, window);
  XSync(display, False);
  const size_t decoded = log.DecodedCount();
  EXPECT_TRUE(WaitFor([&] { return log.DecodedCount() >= decoded + 25; }));
  qx::media::WaitUntilDrawn();
  EXPECT_EQ(host_errors, 0);
  // An error on the host's connection goes to the host's handler.
  XWindowAttributes attributes;
  EXPECT_EQ(XGetWindowAttributes(display, window, &attributes), 0);
  XSync(display, False);
  EXPECT_EQ(host_errors, 1);

  EXPECT_EQ(player_stop(kPort), 1);
  EXPECT_EQ(player_close_file(kPort), 1);
  qx::media::ReleaseDisplay();
  EXPECT_EQ(XSetErrorHandler(before), &CountHostError);
  XCloseDisplay(display);
}

int io_errors_seen = 0;
int IgnoreIoError(Display* /*display*/) {
  ++io_errors_seen;
  return 0;
}

// The X server dies while a port draws into one of its windows: the port
// goes on decoding and the process lives; a later play into a window is
// refused.
TEST(RenderTest, TheXServerDyingWhileAPortDrawsEndsTheDrawingNotTheProcess) {
  VirtualDisplay server;
  ASSERT_TRUE(server.ready()) << "Xvfb did not start";
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 240, 0,
                                            0, BlackPixel(display, DefaultScreen(display)));
  XMapWindow(display, window);
  XSync(display, False);
  // The test, as a host, survives the loss of its own connection by its own
  // handlers; the engine must survive it without them.
  const XIOErrorHandler before = XSetIOErrorHandler(&IgnoreIoError);
  XSetIOErrorExitHandler(
      display, [](Display*, void*) {}, nullptr);

  NotificationLog log;
  ASSERT_EQ(player_open_file(kPort, Clip("long").c_str()), 1);
  log.Register(kPort);
  ASSERT_EQ(player_play(kPort, reinterpret_cast<void*>(window)), 1);
  ASSERT_TRUE(WaitFor([&] { return log.draws() >= 5; }));

  server.Kill();
  const size_t decoded = log.DecodedCount();
  EXPECT_TRUE(WaitFor([&] { return log.DecodedCount() >= decoded + 25; }));
  EXPECT_EQ(player_play(kPort, reinterpret_cast<void*>(window)), 0);

  EXPECT_EQ(player_stop(kPort), 1);
  EXPECT_EQ(player_close_file(kPort), 1);
  qx::media::ReleaseDisplay();
  // The engine's handler is gone again: the host's own one answers.
  io_errors_seen = 0;
  XCloseDisplay(display);
  EXPECT_GE(io_errors_seen, 1);
  EXPECT_EQ(XSetIOErrorHandler(before), &IgnoreIoError);
}

}  // namespace
}  // namespace qxmedia_test
