# Debian packages made with CPack from the install components, split as
# Debian splits a shared library:
#
#   libqxplaysdk1       the library, its backends and the media engine
#   libqxplaysdk-dev    header, link-time name, pkg-config and CMake files
#   python3-qxplaysdk   the ctypes binding
#
# `cpack --config <build>/CPackConfig.cmake` (scripts/test-debian-package.sh)
# writes them into <build>/packages/. Dependencies on shared libraries
# (FFmpeg, SDL2, spdlog, fmt, the C++ runtime) come from dpkg-shlibdeps; the
# GStreamer packages are named here, because the network library loads
# GStreamer's plugins at run time, where dpkg-shlibdeps cannot see them.
if(WIN32)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qxplaysdk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description: its first line is the synopsis.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES OFF)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
if(QX_INSTALL_PYTHON)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "qxplaysdk developers <qxplaysdk@invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libqxplaysdk1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
# A shlibs file for packages built against it, and the ldconfig trigger.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The backends and the engine live in the package's own private folder;
# dpkg-shlibdeps looks for them in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS
  "libgstreamer1.0-0, libgstreamer-plugins-base1.0-0, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "flat C interface for video from digital video recorders (library)
qxplaysdk plays local files and live streams into windows, records them,
carries a two-way voice talk and plays back recordings of remote
recorders, through 45 Ovra_ functions. This package holds the shared
library and its FFmpeg/SDL2 media backends.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libqxplaysdk-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "flat C interface for video from digital video recorders (development files)
The header qxplaysdk/qxplaysdk.h, the link-time library name, the
pkg-config file qxplaysdk.pc and the CMake package (qxplaysdk::qxplaysdk).")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-qxplaysdk)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_COMPONENT_PYTHON_DEPENDS runtime)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
  "flat C interface for video from digital video recorders (Python binding)
Pure-Python binding over ctypes for all 45 functions of qxplaysdk.")

include(CPack)
