// Linkage of the four closed backend libraries' operations.
//
// Every operation has C linkage and the standard Windows calling convention
// on 32-bit Windows (the called function removes its arguments). On other
// platforms the operations are ordinary C functions with default visibility,
// so that the library, built with hidden visibility, still binds them from
// the backend shared libraries found on the search path at load time.
#ifndef QXPLAYSDK_BACKENDS_BACKEND_API_H
#define QXPLAYSDK_BACKENDS_BACKEND_API_H

#if defined(_WIN32) && !defined(_WIN64)
#define QX_BACKEND_CALL __stdcall
#else
#define QX_BACKEND_CALL
#endif

#if defined(_WIN32)
#if defined(QX_BUILDING_BACKEND)
#define QX_BACKEND_API __declspec(dllexport)
#else
#define QX_BACKEND_API
#endif
#elif defined(__GNUC__)
#define QX_BACKEND_API __attribute__((visibility("default")))
#else
#define QX_BACKEND_API
#endif

#endif  // QXPLAYSDK_BACKENDS_BACKEND_API_H
