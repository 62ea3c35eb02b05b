# Cross build for 32-bit Windows with Debian's mingw-w64 compilers, POSIX
# threads variant (std::thread and std::mutex need it). Programs built here
# run under Wine, which ctest and gtest use through the emulator below.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(QX_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QX_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${QX_MINGW_PREFIX}-dlltool)
set(CMAKE_OBJDUMP ${QX_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${QX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program and library carries its own copy of the compiler's runtime
# (libgcc, libstdc++, winpthread), so that it needs only system DLLs and the
# backend DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

find_program(QX_WINE NAMES wine wine-stable)
if(QX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QX_WINE})
endif()
