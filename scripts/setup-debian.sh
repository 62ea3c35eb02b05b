#!/usr/bin/env bash
# Installs the build and test tools from Debian's packages (needs root).
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-dev clang-format clang-tidy libgtest-dev libgmock-dev
  libbenchmark-dev binutils valgrind python3 pkg-config
  # The logger.
  libspdlog-dev libfmt-dev
  # The media backends: FFmpeg's libraries and SDL2 (window and sound).
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libsdl2-dev
  # Their tests and the example: sample media made and probed with the ffmpeg
  # tools, rendering checked on a virtual X display.
  ffmpeg xvfb xauth libx11-dev
  # The network library: GStreamer's RTSP client and depayloaders, the
  # muxers, the H.264/H.265 timestampers (plugins-bad) that give pictures
  # their decode times, and the RTSP server its tests run as a recorder on
  # loopback.
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base
  gstreamer1.0-plugins-good gstreamer1.0-plugins-bad libgstrtspserver-1.0-dev
  # Packaging and its checks: the reference documentation, Debian packages
  # (dpkg-shlibdeps), the Python binding's tests, the viewer's screenshot.
  doxygen dpkg-dev python3-pytest python3-numpy python3-venv python3-pip python3-setuptools
  python3-wheel x11-apps imagemagick)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "${package}" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("${package}")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "$(dirname "$0")/apt-update.sh"
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
