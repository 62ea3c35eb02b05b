/* The example's window: an X11 window when a display is there. */
#ifndef QXPLAYSDK_EXAMPLES_MEDIA_TOUR_TOUR_WINDOW_H
#define QXPLAYSDK_EXAMPLES_MEDIA_TOUR_TOUR_WINDOW_H

typedef struct TourWindow TourWindow;

/* A window titled `title`; NULL when there is no display (or no X11
 * support in this build). */
TourWindow* TourWindowOpen(const char* title, int width, int height);
/* The handle to give Ovra_Play: the X11 window id, NULL for no window. */
void* TourWindowHandle(TourWindow* window);
/* Handles the window's pending events. */
void TourWindowPump(TourWindow* window);
void TourWindowClose(TourWindow* window);

#endif
