#!/usr/bin/env bash
# The snippets of the README's "Using it from your project" section, taken
# from the README itself: the C program built with the pkg-config command
# and with the CMake lines against a fresh install in a temporary prefix,
# both run on a real clip, and the Python lines run on the installed
# binding.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

cmake --preset default >/dev/null
cmake --build --preset default -j2

work=$(mktemp -d)
trap 'rm -rf "${work}"' EXIT
prefix=${work}/prefix
cmake --install build/default --prefix "${prefix}" >/dev/null
libdir=${prefix}/lib/$(gcc -print-multiarch)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Prints the n-th (from 1) fenced block of language $1 in the section.
snippet() {
  awk -v lang="$1" -v want="$2" '
    /^## / { inside = ($0 == "## Using it from your project") }
    inside && /^```/ {
      if (fence) { fence = 0; next }
      if ($0 == "```" lang) { count++; fence = 1; next }
    }
    fence && count == want { print }
  ' "${source}/README.md"
}

cd "${work}"
snippet c 1 >hello.c
[ -s hello.c ] || fail "no C snippet"
ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc2=size=160x120:rate=25 \
  -frames:v 50 -c:v libx264 -preset veryfast -g 12 -pix_fmt yuv420p -f mpegts clip.ts
export LD_LIBRARY_PATH=${libdir}

echo "== pkg-config snippet"
build_line=$(snippet sh 2 | grep '^cc ')
[ -n "${build_line}" ] || fail "no pkg-config build line"
PKG_CONFIG_PATH=${libdir}/pkgconfig bash -euo pipefail -c "${build_line} -Wall -Wextra -Werror"
./hello clip.ts | tee pc.out
grep -qx "clip.ts: QXPLAYSDK NO ERROR, 50 frames" pc.out || fail "pkg-config build of hello.c"

echo "== CMake snippet"
mkdir cmake-project
cp hello.c cmake-project/
{
  echo "cmake_minimum_required(VERSION 3.25)"
  echo "project(hello C)"
  snippet cmake 1
} >cmake-project/CMakeLists.txt
cmake -S cmake-project -B cmake-build -G Ninja -DCMAKE_PREFIX_PATH="${prefix}" >/dev/null
cmake --build cmake-build >/dev/null
./cmake-build/hello clip.ts | tee cmake.out
grep -qx "clip.ts: QXPLAYSDK NO ERROR, 50 frames" cmake.out || fail "CMake build of hello.c"

echo "== Python snippet"
snippet python 1 >snippet.py
PYTHONPATH=${prefix}/lib/python3/dist-packages QXPLAYSDK_LIBRARY=${libdir}/libqxplaysdk.so.1 \
  /usr/bin/python3 snippet.py | tee python.out
grep -qx "clip.ts: 50 frames" python.out || fail "Python snippet"
echo "README snippets: 3 passed, 0 failed"
