#!/usr/bin/env bash
# Installs the default build into a temporary prefix and uses it as another
# project would:
#   - the layout: soname libqxplaysdk.so.1, header under include/qxplaysdk/,
#     backends and engine only in lib/<arch>/qxplaysdk/, RUNPATHs;
#   - a small C program (examples/consumer) built once with pkg-config and
#     once with find_package(qxplaysdk), each run on a real clip;
#   - a backend swapped in through LD_LIBRARY_PATH replaces the installed one.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

cmake --preset default >/dev/null
cmake --build --preset default -j2

work=$(mktemp -d)
trap 'rm -rf "${work}"' EXIT
prefix=${work}/prefix
cmake --install build/default --prefix "${prefix}" >/dev/null

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

arch=$(gcc -print-multiarch)
libdir=${prefix}/lib/${arch}
echo "== layout of ${prefix}"
[ -f "${prefix}/include/qxplaysdk/qxplaysdk.h" ] || fail "header not under include/qxplaysdk/"
[ -f "${libdir}/libqxplaysdk.so.1.0.0" ] || fail "libqxplaysdk.so.1.0.0 missing"
[ "$(readlink "${libdir}/libqxplaysdk.so.1")" = libqxplaysdk.so.1.0.0 ] || fail "libqxplaysdk.so.1 link"
[ "$(readlink "${libdir}/libqxplaysdk.so")" = libqxplaysdk.so.1 ] || fail "libqxplaysdk.so link"
soname=$(readelf -d "${libdir}/libqxplaysdk.so.1.0.0" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "${soname}" = libqxplaysdk.so.1 ] || fail "soname is '${soname}'"
runpath=$(readelf -d "${libdir}/libqxplaysdk.so.1.0.0" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "${runpath}" = '$ORIGIN/qxplaysdk' ] || fail "RUNPATH of the library is '${runpath}'"
for name in qxplay Qx3GppPlaysdk QX_3gpFileConv qxnetsdk_sub qxmedia; do
  [ -f "${libdir}/qxplaysdk/lib${name}.so" ] || fail "lib${name}.so not in the private folder"
  [ ! -e "${libdir}/lib${name}.so" ] || fail "lib${name}.so in the shared library folder"
  backend_runpath=$(readelf -d "${libdir}/qxplaysdk/lib${name}.so" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [ "${backend_runpath}" = '$ORIGIN' ] || fail "RUNPATH of lib${name}.so is '${backend_runpath}'"
done
[ -f "${libdir}/cmake/qxplaysdk/qxplaysdkConfigVersion.cmake" ] || fail "CMake version file missing"
grep -q "^prefix=${prefix}\$" "${libdir}/pkgconfig/qxplaysdk.pc" || fail "qxplaysdk.pc names another prefix"
echo "ok"

clip=${work}/clip.ts
ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc2=size=160x120:rate=25 \
  -frames:v 50 -c:v libx264 -preset veryfast -g 12 -pix_fmt yuv420p -f mpegts "${clip}"

echo "== consumer built with pkg-config"
export PKG_CONFIG_PATH=${libdir}/pkgconfig
[ "$(pkg-config --modversion qxplaysdk)" = 1.0.0 ] || fail "pkg-config version"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror examples/consumer/consumer.c -o "${work}/consumer-pc" \
  $(pkg-config --cflags --libs qxplaysdk) -Wl,-rpath,"${libdir}"
"${work}/consumer-pc" "${clip}" | tee "${work}/pc.out"
grep -q "^frames: 50 of 50 decoded, 160x120, end reached" "${work}/pc.out" || fail "pkg-config consumer"

echo "== consumer built with find_package(qxplaysdk)"
cmake -S examples/consumer -B "${work}/consumer-build" -G Ninja \
  -DCMAKE_PREFIX_PATH="${prefix}" >/dev/null
cmake --build "${work}/consumer-build" >/dev/null
"${work}/consumer-build/consumer" "${clip}" | tee "${work}/cmake.out"
grep -q "^frames: 50 of 50 decoded, 160x120, end reached" "${work}/cmake.out" || fail "CMake consumer"

echo "== the CMake package's version file refuses another major version"
mkdir -p "${work}/wants-2"
cat >"${work}/wants-2/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(wants_2 LANGUAGES C)
find_package(qxplaysdk 2.0 REQUIRED)
CMAKE
if cmake -S "${work}/wants-2" -B "${work}/wants-2/build" -DCMAKE_PREFIX_PATH="${prefix}" \
  >"${work}/wants-2.out" 2>&1; then
  fail "find_package(qxplaysdk 2.0) accepted version 1"
fi
grep -q "version: 1.0.0" "${work}/wants-2.out" || fail "find_package did not name the installed version"
echo "ok"

echo "== a player library on LD_LIBRARY_PATH replaces the installed one"
# The stand-in player built to refuse every file: if the process loaded it,
# Ovra_OpenFile reports the player library's refusal (-3).
mkdir -p "${work}/swap"
c++ -std=c++20 -shared -fPIC -I"${source}" -DQX_BUILDING_BACKEND -DQX_STANDIN_OPEN_FILE_RESULT=0 \
  backends/standin/player_standin.cpp -o "${work}/swap/libqxplay.so"
status=0
LD_LIBRARY_PATH=${work}/swap "${work}/consumer-pc" "${clip}" >"${work}/swap.out" || status=$?
cat "${work}/swap.out"
[ "${status}" = 2 ] || fail "swapped player: exit status ${status}, expected 2"
grep -q "^Ovra_OpenFile *-3 " "${work}/swap.out" || fail "swapped player was not the one loaded"
echo "ok"

echo "install test: 5 passed, 0 failed"
