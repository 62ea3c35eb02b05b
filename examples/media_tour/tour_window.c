#include "tour_window.h"

#include <stdint.h>
#include <stdlib.h>

#if defined(QX_TOUR_HAS_X11)
#include <X11/Xlib.h>

struct TourWindow {
  Display* display;
  Window window;
};

TourWindow* TourWindowOpen(const char* title, int width, int height) {
  if (getenv("DISPLAY") == NULL) return NULL;
  Display* display = XOpenDisplay(NULL);
  if (display == NULL) return NULL;
  TourWindow* tour = malloc(sizeof *tour);
  if (tour == NULL) {
    XCloseDisplay(display);
    return NULL;
  }
  tour->display = display;
  tour->window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, (unsigned)width,
                          (unsigned)height, 0, 0, BlackPixel(display, DefaultScreen(display)));
  XStoreName(display, tour->window, title);
  XMapWindow(display, tour->window);
  XSync(display, False);
  return tour;
}

void* TourWindowHandle(TourWindow* tour) {
  return tour != NULL ? (void*)(uintptr_t)tour->window : NULL;
}

void TourWindowPump(TourWindow* tour) {
  if (tour == NULL) return;
  while (XPending(tour->display) > 0) {
    XEvent event;
    XNextEvent(tour->display, &event);
  }
}

void TourWindowClose(TourWindow* tour) {
  if (tour == NULL) return;
  XDestroyWindow(tour->display, tour->window);
  XCloseDisplay(tour->display);
  free(tour);
}

#else

TourWindow* TourWindowOpen(const char* title, int width, int height) {
  (void)title;
  (void)width;
  (void)height;
  return NULL;
}
void* TourWindowHandle(TourWindow* tour) {
  (void)tour;
  return NULL;
}
void TourWindowPump(TourWindow* tour) { (void)tour; }
void TourWindowClose(TourWindow* tour) { (void)tour; }

#endif
