// Entry point of the Windows DLL: the port table, its table lock and its
// port locks exist from process attach to process detach.
//
// A static build of the library (the tests' core) has no entry point of its
// own and attaches while the program loads instead.
#if defined(_WIN32) && !defined(QX_ATTACH_AT_STATIC_INIT)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "core/port_table.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      qx::AttachPortTable();
      break;
    case DLL_PROCESS_DETACH:
      // The caller has closed its ports, recordings and sessions before
      // unloading; nothing is closed in the backends on its behalf.
      qx::DetachPortTable();
      break;
    default:
      // Threads coming and going change nothing in the table.
      break;
  }
  return TRUE;
}

#endif
