// What the sanitizers are not to report in the media tests: the system
// libraries below are not instrumented.
//  - FFmpeg's decoder threads, SDL's threads and the OpenGL driver hand
//    buffers over with their own atomics and lock in their own order, which
//    ThreadSanitizer does not see: allocations and frees made from inside
//    them are not races.
//  - The graphics and sound stacks (SDL's drivers, the OpenGL driver they
//    load, Xlib) keep allocations for the process's lifetime.
// The sanitizer runtimes ask the program for these lists at start-up.

extern "C" {

__attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
  return "called_from_lib:libavcodec.so\n"
         "called_from_lib:libavutil.so\n"
         "called_from_lib:libavformat.so\n"
         "called_from_lib:libswscale.so\n"
         "called_from_lib:libswresample.so\n"
         "called_from_lib:libSDL2-2.0.so\n"
         "race:libavcodec.so\n"
         "race:libavutil.so\n"
         "race:libSDL2-2.0.so\n"
         // The OpenGL driver SDL's renderer loads has its own locking.
         "called_from_lib:libGLX_mesa.so\n"
         "called_from_lib:libGLX.so\n"
         "race:libGLX\n"
         "race:_dri.so\n"
         "deadlock:libGLX\n"
         "deadlock:_dri.so\n"
         "mutex:libGLdispatch.so\n"
         // Xlib's connection locks, as SDL and the tests use them.
         "mutex:libX11.so\n"
         "mutex:libxcb.so\n";
}

__attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libSDL2\n"
         "leak:libLLVM\n"
         "leak:libGLX\n"
         "leak:libGL.so\n"
         "leak:libEGL\n"
         "leak:_dri.so\n"
         "leak:libX11\n"
         "leak:libxcb\n"
         "leak:libdbus\n"
         "leak:libpulse\n"
         "leak:libasound\n";
}

}  // extern "C"
