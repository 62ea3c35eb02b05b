/*
 * A camera wall: one X11 window split into a grid of tiles, each a child
 * window that a port plays into, fed by a file or by a live stream pushed
 * from a file.
 *
 *   camera_wall [--grid CxR] [--live FILE]... [FILE]...
 *
 * The grid is 2x2 .. 6x6 (default 2x2). Tiles take the live sources first,
 * then the files, in turn until every tile has one. A file tile starts
 * again at its first frame when it reaches its end. A live tile is fed by a
 * thread of its own that pushes the file block by block into the port's
 * bounded buffer; a block the buffer refuses is offered again a little
 * later, so the port's clock sets the rate, as a camera's would.
 *
 * Under each tile the caller draws its own label from the decode and draw
 * callbacks: tile number, source, pictures decoded and drawn, size, frame
 * rate. The selected tile has a white border.
 *
 * Commands, one a line on standard input (keys in the window in brackets):
 *   select N          select tile N, from 0             [Tab: next]
 *   pause / resume    pause or resume the tile          [space: toggle]
 *   step / back       one frame forward / back (files)  [n / b]
 *   jump FRAME        jump to a frame (files)           [0: first frame]
 *   pos PERCENT       move to a position (files)
 *   speed X           play speed 1/16 .. 16             [+ / -]
 *   snap FILE         save the picture (.bmp/.jpg)      [s]
 *   record FILE       start recording the tile          [r: start/stop]
 *   switch FILE       go on recording into a new file
 *   stoprec           stop recording
 *   color B C S H     colour values 0..128 (live tiles) [c: cycle]
 *   sound / mute      the tile's sound on / off
 *   volume V          volume 0..65535
 *   info              print every tile's counters
 *   quit                                                [q, Escape]
 * Once every tile has drawn a few pictures it prints "wall: all N tiles
 * showing". Every call's result code is printed with its message.
 */
#define _POSIX_C_SOURCE 200809L

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "qxplaysdk.h"

enum { kMaxTiles = 36, kLabelHeight = 16, kBorder = 2, kShowingAfter = 3 };

typedef struct Tile {
  int index;
  const char* source;
  int live;
  int32_t port;
  Window window;
  /* Written by the port's thread in the callbacks, read by the main loop. */
  atomic_uint decoded;
  atomic_uint drawn;
  atomic_uint width;
  atomic_uint height;
  atomic_uint fps;
  atomic_int ended;
  /* The live feeder. */
  pthread_t feeder;
  int feeder_started;
  atomic_int stop_feeding;
  /* Main thread only. */
  int paused;
  int recording;
  float speed;
  int colour_step;
} Tile;

static Tile tiles[kMaxTiles];
/* Tile of each port number, -1 for none; set before the port plays. */
static atomic_int tile_of_port[OVRA_LAST_LOCAL_PORT + 1];
static int tile_count;
static int selected;
static Display* display;
static Window wall;
static GC label_gc;
static unsigned long white;
static unsigned long grey;

static int32_t Report(const char* call, int32_t result) {
  const char* text = Ovra_GetErrorMessage(result);
  printf("%-32s -> %3d  %s\n", call, (int)result, text != NULL ? text : "(no text)");
  fflush(stdout);
  return result;
}

/* Callbacks: on the port's thread. They only count; drawing is the main
 * loop's job. Each finds its tile through the user value it was registered
 * with. */
static void OVRA_CALLBACK OnDecode(int32_t port, const DecodeFrameInfo* info, uintptr_t user) {
  (void)port;
  Tile* tile = &tiles[user];
  atomic_store(&tile->width, info->info_a);
  atomic_store(&tile->height, info->info_b);
  atomic_store(&tile->fps, info->info_e);
  atomic_fetch_add(&tile->decoded, 1);
}

/* Ovra_Play registers the draw notification anew, without the user value
 * given to Ovra_RegisterDrawFun, so the draw callback finds its tile by the
 * port number. */
static void OVRA_CALLBACK OnDraw(int32_t port, uintptr_t window, uintptr_t user) {
  (void)window;
  (void)user;
  if (port >= 0 && port <= OVRA_LAST_LOCAL_PORT) {
    const int tile = atomic_load(&tile_of_port[port]);
    if (tile >= 0) atomic_fetch_add(&tiles[tile].drawn, 1);
  }
}

static void OVRA_CALLBACK OnFileEnd(int32_t port, uintptr_t user) {
  (void)port;
  if (user < kMaxTiles) atomic_store(&tiles[user].ended, 1);
}

static void OVRA_CALLBACK OnRecordFile(int32_t port, const char* file_name, uintptr_t user) {
  printf("tile %d (port %d) finished recording %s\n", (int)user, (int)port, file_name);
  fflush(stdout);
}

static void SleepMs(long ms) {
  struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

/* Pushes a file into a live tile's port block by block. */
static void* Feed(void* argument) {
  Tile* tile = argument;
  FILE* in = fopen(tile->source, "rb");
  unsigned char block[4096];
  size_t length;
  if (in == NULL) {
    printf("tile %d: cannot read %s\n", tile->index, tile->source);
    return NULL;
  }
  while (!atomic_load(&tile->stop_feeding) && (length = fread(block, 1, sizeof block, in)) > 0) {
    /* Refused: the buffer is full; the port drains it at its own pace. */
    while (!atomic_load(&tile->stop_feeding) &&
           Ovra_InputData(tile->port, block, (uint32_t)length) != OVRA_OK) {
      SleepMs(10);
    }
  }
  fclose(in);
  return NULL;
}

static void Layout(unsigned width, unsigned height, int columns, int rows) {
  const unsigned cell_w = width / (unsigned)columns;
  const unsigned cell_h = height / (unsigned)rows;
  for (int i = 0; i < tile_count; ++i) {
    const int x = (int)cell_w * (i % columns);
    const int y = (int)cell_h * (i / columns);
    XMoveResizeWindow(display, tiles[i].window, x, y, cell_w - 2 * kBorder,
                      cell_h - kLabelHeight - 2 * kBorder);
  }
}

static void DrawLabels(int columns, unsigned width, unsigned height, int rows) {
  const unsigned cell_w = width / (unsigned)columns;
  const unsigned cell_h = height / (unsigned)rows;
  for (int i = 0; i < tile_count; ++i) {
    Tile* tile = &tiles[i];
    char label[160];
    const char* name = strrchr(tile->source, '/');
    name = name != NULL ? name + 1 : tile->source;
    const int x = (int)cell_w * (i % columns);
    const int y = (int)cell_h * (i / columns) + (int)cell_h - kLabelHeight;
    const int n = snprintf(label, sizeof label, "%d %s %s  #%u drawn %u  %ux%u %u fps%s%s", i,
                           tile->live ? "live" : "file", name, atomic_load(&tile->decoded),
                           atomic_load(&tile->drawn), atomic_load(&tile->width),
                           atomic_load(&tile->height), atomic_load(&tile->fps),
                           tile->paused ? " paused" : "", tile->recording ? " REC" : "");
    XClearArea(display, wall, x, y, cell_w, kLabelHeight, False);
    XSetForeground(display, label_gc, i == selected ? white : grey);
    XDrawString(display, wall, label_gc, x + 4, y + kLabelHeight - 4, label,
                n < (int)sizeof label ? n : (int)sizeof label - 1);
    XSetWindowBorder(display, tile->window, i == selected ? white : grey);
  }
  XFlush(display);
}

static void PrintInfo(void) {
  for (int i = 0; i < tile_count; ++i) {
    Tile* tile = &tiles[i];
    uint32_t played = 0;
    uint32_t total = 0;
    int32_t position = 0;
    float speed = 0.0f;
    uint32_t volume = 0;
    Ovra_GetPlaySpeed(tile->port, &speed);
    Ovra_GetVolume(tile->port, &volume);
    printf("tile %d port %d %s: decoded %u drawn %u %ux%u", i, (int)tile->port,
           tile->live ? "live" : "file", atomic_load(&tile->decoded), atomic_load(&tile->drawn),
           atomic_load(&tile->width), atomic_load(&tile->height));
    if (!tile->live && Ovra_GetPlayedFrames(tile->port, &played) == OVRA_OK &&
        Ovra_GetFileTotalFrames(tile->port, &total) == OVRA_OK &&
        Ovra_GetPlayPos(tile->port, &position) == OVRA_OK) {
      printf(" frame %u of %u at %d%%", (unsigned)played, (unsigned)total, (int)position);
    }
    printf(" speed %g volume %u\n", (double)speed, (unsigned)volume);
  }
  fflush(stdout);
}

/* Runs one command on the selected tile; returns 0 to quit. */
static int Command(char* line) {
  Tile* tile = &tiles[selected];
  char word[32] = "";
  char argument[512] = "";
  if (sscanf(line, "%31s %511[^\n]", word, argument) < 1) return 1;
  if (strcmp(word, "quit") == 0) return 0;
  if (strcmp(word, "select") == 0) {
    const int index = atoi(argument);
    if (index >= 0 && index < tile_count) selected = index;
    printf("tile %d selected (port %d)\n", selected, (int)tiles[selected].port);
  } else if (strcmp(word, "pause") == 0 || strcmp(word, "resume") == 0) {
    tile->paused = strcmp(word, "pause") == 0;
    Report(tile->paused ? "Ovra_Pause(1)" : "Ovra_Pause(0)",
           Ovra_Pause(tile->port, (uint32_t)tile->paused));
  } else if (strcmp(word, "step") == 0) {
    Report("Ovra_NextFrame", Ovra_NextFrame(tile->port));
  } else if (strcmp(word, "back") == 0) {
    Report("Ovra_PreviousFrame", Ovra_PreviousFrame(tile->port));
  } else if (strcmp(word, "jump") == 0) {
    Report("Ovra_SetCurrentFrameNum",
           Ovra_SetCurrentFrameNum(tile->port, (uint32_t)strtoul(argument, NULL, 10)));
  } else if (strcmp(word, "pos") == 0) {
    Report("Ovra_SetPlayPos", Ovra_SetPlayPos(tile->port, atoi(argument)));
  } else if (strcmp(word, "speed") == 0) {
    tile->speed = strtof(argument, NULL);
    Report("Ovra_SetPlaySpeed", Ovra_SetPlaySpeed(tile->port, tile->speed));
  } else if (strcmp(word, "snap") == 0) {
    Report("Ovra_CapPic", Ovra_CapPic(tile->port, argument));
  } else if (strcmp(word, "record") == 0) {
    if (Report("Ovra_RecordStart", Ovra_RecordStart(tile->port, argument, OVRA_MEDIA_PLAYER)) ==
        OVRA_OK) {
      tile->recording = 1;
    }
  } else if (strcmp(word, "switch") == 0) {
    Report("Ovra_RecordSwitchFile", Ovra_RecordSwitchFile(tile->port, argument));
  } else if (strcmp(word, "stoprec") == 0) {
    if (Report("Ovra_RecordStop", Ovra_RecordStop(tile->port)) == OVRA_OK) tile->recording = 0;
  } else if (strcmp(word, "color") == 0) {
    int32_t b = 64, c = 64, s = 64, h = 64;
    if (sscanf(argument, "%d %d %d %d", &b, &c, &s, &h) == 4) {
      Report("Ovra_SetColor", Ovra_SetColor(tile->port, b, c, s, h));
    }
    if (Report("Ovra_GetColor", Ovra_GetColor(tile->port, &b, &c, &s, &h)) == OVRA_OK) {
      printf("tile %d colour %d %d %d %d\n", selected, (int)b, (int)c, (int)s, (int)h);
    }
  } else if (strcmp(word, "sound") == 0) {
    Report("Ovra_PlaySound", Ovra_PlaySound(tile->port));
  } else if (strcmp(word, "mute") == 0) {
    Report("Ovra_StopSound", Ovra_StopSound(tile->port));
  } else if (strcmp(word, "volume") == 0) {
    Report("Ovra_SetVolume", Ovra_SetVolume(tile->port, (uint32_t)strtoul(argument, NULL, 10)));
  } else if (strcmp(word, "info") == 0) {
    PrintInfo();
  } else {
    printf("unknown command: %s\n", word);
  }
  fflush(stdout);
  return 1;
}

/* Keys map onto the same commands. Returns 0 to quit. */
static int Key(XKeyEvent* event) {
  static const char* const kColours[] = {"color 64 64 64 64", "color 96 64 64 64",
                                         "color 64 96 128 64", "color 64 64 0 64"};
  Tile* tile = &tiles[selected];
  char line[64];
  KeySym key = XLookupKeysym(event, 0);
  switch (key) {
    case XK_q:
    case XK_Escape:
      return 0;
    case XK_Tab:
      snprintf(line, sizeof line, "select %d", (selected + 1) % tile_count);
      break;
    case XK_space:
      snprintf(line, sizeof line, "%s", tile->paused ? "resume" : "pause");
      break;
    case XK_n:
      snprintf(line, sizeof line, "step");
      break;
    case XK_b:
      snprintf(line, sizeof line, "back");
      break;
    case XK_0:
      snprintf(line, sizeof line, "jump 0");
      break;
    case XK_plus:
    case XK_KP_Add:
      snprintf(line, sizeof line, "speed %g", (double)(tile->speed < 16.0f ? tile->speed * 2 : 16));
      break;
    case XK_minus:
    case XK_KP_Subtract:
      snprintf(line, sizeof line, "speed %g",
               (double)(tile->speed > 0.0625f ? tile->speed / 2 : 0.0625f));
      break;
    case XK_s:
      snprintf(line, sizeof line, "snap tile-%d-%ld.bmp", selected, (long)time(NULL));
      break;
    case XK_r:
      if (tile->recording) {
        snprintf(line, sizeof line, "stoprec");
      } else {
        snprintf(line, sizeof line, "record tile-%d-%ld.ts", selected, (long)time(NULL));
      }
      break;
    case XK_c:
      tile->colour_step = (tile->colour_step + 1) % 4;
      snprintf(line, sizeof line, "%s", kColours[tile->colour_step]);
      break;
    default:
      return 1;
  }
  return Command(line);
}

static int ParseGrid(const char* text, int* columns, int* rows) {
  return sscanf(text, "%dx%d", columns, rows) == 2 && *columns >= 2 && *columns <= 6 &&
         *rows >= 2 && *rows <= 6;
}

static int OpenTile(Tile* tile) {
  char call[64];
  if (tile->live) {
    /* A small buffer: the feeder stays close to what is shown. */
    snprintf(call, sizeof call, "tile %d Ovra_OpenStream", tile->index);
    if (Report(call, Ovra_OpenStream(&tile->port, NULL, 0, 256 * 1024, OVRA_MEDIA_PLAYER)) !=
        OVRA_OK) {
      if (tile->port >= OVRA_FIRST_LOCAL_PORT) Ovra_CloseStream(tile->port);
      return 0;
    }
  } else {
    snprintf(call, sizeof call, "tile %d Ovra_OpenFile", tile->index);
    if (Report(call, Ovra_OpenFile(&tile->port, tile->source)) != OVRA_OK) {
      if (tile->port >= OVRA_FIRST_LOCAL_PORT) Ovra_CloseFile(tile->port);
      return 0;
    }
    Report("Ovra_SetFileEndCallback",
           Ovra_SetFileEndCallback(tile->port, OnFileEnd, (uintptr_t)tile->index));
  }
  atomic_store(&tile_of_port[tile->port], tile->index);
  Report("Ovra_RegisterDrawFun", Ovra_RegisterDrawFun(tile->port, OnDraw, (uintptr_t)tile->index));
  Report("Ovra_SetDecodeCallback",
         Ovra_SetDecodeCallback(tile->port, OnDecode, (uintptr_t)tile->index));
  Report("Ovra_SetRecordFileReadyCallback",
         Ovra_SetRecordFileReadyCallback(tile->port, OnRecordFile, (uintptr_t)tile->index));
  Report("Ovra_Play", Ovra_Play(tile->port, (void*)(uintptr_t)tile->window));
  if (tile->live) tile->feeder_started = pthread_create(&tile->feeder, NULL, Feed, tile) == 0;
  return 1;
}

static void CloseTile(Tile* tile) {
  if (tile->feeder_started) {
    atomic_store(&tile->stop_feeding, 1);
    pthread_join(tile->feeder, NULL);
  }
  if (tile->recording) Report("Ovra_RecordStop", Ovra_RecordStop(tile->port));
  Report("Ovra_Stop", Ovra_Stop(tile->port));
  Report(tile->live ? "Ovra_CloseStream" : "Ovra_CloseFile",
         tile->live ? Ovra_CloseStream(tile->port) : Ovra_CloseFile(tile->port));
}

int main(int argc, char** argv) {
  int columns = 2;
  int rows = 2;
  const char* lives[kMaxTiles];
  const char* files[kMaxTiles];
  int live_count = 0;
  int file_count = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--grid") == 0 && i + 1 < argc) {
      if (!ParseGrid(argv[++i], &columns, &rows)) {
        fprintf(stderr, "--grid takes 2x2 .. 6x6\n");
        return 2;
      }
    } else if (strcmp(argv[i], "--live") == 0 && i + 1 < argc) {
      if (live_count < kMaxTiles) lives[live_count++] = argv[++i];
    } else if (file_count < kMaxTiles) {
      files[file_count++] = argv[i];
    }
  }
  if (live_count + file_count == 0) {
    fprintf(stderr, "usage: %s [--grid CxR] [--live FILE]... [FILE]...\n", argv[0]);
    return 2;
  }
  display = XOpenDisplay(NULL);
  if (display == NULL) {
    fprintf(stderr, "cannot open the X display (DISPLAY=%s)\n",
            getenv("DISPLAY") ? getenv("DISPLAY") : "");
    return 2;
  }
  const int screen = DefaultScreen(display);
  white = WhitePixel(display, screen);
  grey = 0x606060;
  /* Cells of 320x(240 + label), smaller where the screen is too small. */
  unsigned cell_w = 320u;
  unsigned cell_h = 240u + kLabelHeight;
  if (cell_w * (unsigned)columns > (unsigned)DisplayWidth(display, screen)) {
    cell_w = (unsigned)DisplayWidth(display, screen) / (unsigned)columns;
  }
  if (cell_h * (unsigned)rows > (unsigned)DisplayHeight(display, screen)) {
    cell_h = (unsigned)DisplayHeight(display, screen) / (unsigned)rows;
  }
  const unsigned width = cell_w * (unsigned)columns;
  const unsigned height = cell_h * (unsigned)rows;
  printf("wall: %ux%u window, cells %ux%u\n", width, height, cell_w, cell_h);
  wall = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, width, height, 0, 0,
                             BlackPixel(display, screen));
  XStoreName(display, wall, "qxplaysdk camera wall");
  XSelectInput(display, wall, KeyPressMask | ExposureMask | StructureNotifyMask);
  label_gc = XCreateGC(display, wall, 0, NULL);

  for (int port = 0; port <= OVRA_LAST_LOCAL_PORT; ++port) atomic_init(&tile_of_port[port], -1);
  tile_count = columns * rows;
  for (int i = 0; i < tile_count; ++i) {
    Tile* tile = &tiles[i];
    tile->index = i;
    tile->port = -1;
    tile->speed = 1.0f;
    tile->live = i < live_count || file_count == 0;
    tile->source = tile->live ? lives[i % live_count] : files[(i - live_count) % file_count];
    tile->window =
        XCreateSimpleWindow(display, wall, 0, 0, 1, 1, kBorder, grey, BlackPixel(display, screen));
  }
  Layout(width, height, columns, rows);
  XMapSubwindows(display, wall);
  XMapWindow(display, wall);
  XSync(display, False);

  int opened = 0;
  for (int i = 0; i < tile_count; ++i) opened += OpenTile(&tiles[i]);
  printf("wall: %d of %d tiles open\n", opened, tile_count);
  fflush(stdout);

  unsigned current_w = width;
  unsigned current_h = height;
  int announced = 0;
  int running = opened > 0;
  int stdin_open = 1;
  char line[600];
  size_t line_length = 0;
  while (running) {
    struct pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {0, POLLIN, 0}};
    poll(fds, stdin_open ? 2 : 1, 100);
    while (running && XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == KeyPress) running = Key(&event.xkey);
      if (event.type == ConfigureNotify && (unsigned)event.xconfigure.width != current_w) {
        current_w = (unsigned)event.xconfigure.width;
        current_h = (unsigned)event.xconfigure.height;
        Layout(current_w, current_h, columns, rows);
      }
    }
    if (stdin_open && (fds[1].revents & (POLLIN | POLLHUP))) {
      char c;
      const ssize_t got = read(0, &c, 1);
      if (got <= 0) {
        stdin_open = 0;
      } else if (c == '\n' || line_length + 1 >= sizeof line) {
        line[line_length] = '\0';
        line_length = 0;
        running = running && Command(line);
      } else {
        line[line_length++] = c;
      }
    }
    /* Files start again at their first frame; from here, not from the
     * callback, which runs on the port's own thread. */
    for (int i = 0; i < tile_count; ++i) {
      if (atomic_exchange(&tiles[i].ended, 0)) {
        Ovra_SetCurrentFrameNum(tiles[i].port, 0);
        Ovra_Play(tiles[i].port, (void*)(uintptr_t)tiles[i].window);
      }
    }
    DrawLabels(columns, current_w, current_h, rows);
    if (!announced) {
      int showing = 0;
      for (int i = 0; i < tile_count; ++i) {
        showing += atomic_load(&tiles[i].drawn) >= kShowingAfter;
      }
      if (showing == tile_count) {
        announced = 1;
        printf("wall: all %d tiles showing\n", tile_count);
        fflush(stdout);
      }
    }
  }
  for (int i = 0; i < tile_count; ++i) {
    if (tiles[i].port >= OVRA_FIRST_LOCAL_PORT) CloseTile(&tiles[i]);
  }
  XFreeGC(display, label_gc);
  XDestroyWindow(display, wall);
  XCloseDisplay(display);
  return 0;
}
