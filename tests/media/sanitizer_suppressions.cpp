// What the sanitizers are not to report in the media tests: the system
// libraries below are not instrumented.
//  - ThreadSanitizer: FFmpeg's decoder threads (frame and slice threads)
//    allocate, fill and release frame buffers that the port's thread also
//    releases; FFmpeg orders those hand-overs with reference counts and
//    progress flags it updates through atomics, which ThreadSanitizer cannot
//    see inside an uninstrumented library. The patterns name only the
//    memory operations of FFmpeg's own code, never the engine's, and are
//    never "race:" on a whole library: TSan matches such a pattern against
//    every frame of both stacks, so engine code that runs on a library's
//    thread (the mixer under SDL's audio callback) would be hidden with it.
//    tests/media/planted_race_test.cpp proves such a race is still reported.
//  - The graphics and sound stacks (SDL's drivers, the OpenGL driver they
//    load, Xlib) keep allocations for the process's lifetime.
// The sanitizer runtimes ask the program for these lists at start-up.

extern "C" {

__attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
  return
      // libavutil's reference-counted buffers and frames: allocated on a
      // decoder thread, released wherever the last reference goes.
      "race:av_malloc\n"
      "race:av_buffer_unref\n"
      "race:av_frame_unref\n"
      "race:av_frame_new_side_data_from_buf\n"
      "race:av_buffer_allocz\n"
      // A frame thread copying a buffer another frame thread filled (the
      // MPEG-4 Part 2 decoder makes its references writable).
      "race:av_buffer_make_writable\n"
      // libavcodec's symbols are stripped, so its own frames show no
      // function name to match; this stops TSan watching only the C library
      // calls (malloc, memset, free, locks) that libavcodec's code makes.
      "called_from_lib:libavcodec.so\n"
      // libavutil's slice-thread pool shares its locks with libavcodec's code,
      // whose lock calls TSan does not watch (above): lock-misuse and
      // lock-order reports only, never data races.
      "mutex:libavutil.so\n"
      "deadlock:avpriv_slicethread_execute\n"
      "deadlock:avpriv_slicethread_create\n"
      // SDL takes and releases some of its own locks where TSan does not see
      // it (not a data race report).
      "mutex:libSDL2-2.0.so\n"
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
