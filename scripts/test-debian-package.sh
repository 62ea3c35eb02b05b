#!/usr/bin/env bash
# The Debian packages: made with CPack from the default build, checked for
# their split and dependencies, installed with apt-get (needs root), and
# used as a user of the packages would: the consumer program built with
# pkg-config and with find_package against /usr, run on a real clip without
# any search path set, and the Python binding's tests run on the installed
# python3-qxplaysdk. The packages are removed again at the end (their
# dependencies stay).
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

cmake --preset default >/dev/null
cmake --build --preset default -j2
rm -rf build/default/packages
(cd build/default && cpack --config CPackConfig.cmake >/dev/null)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

version=$(sed -n 's/^#define OVRA_VERSION_STRING "\(.*\)"$/\1/p' include/qxplaysdk.h)
arch=$(dpkg --print-architecture)
runtime=build/default/packages/libqxplaysdk1_${version}_${arch}.deb
dev=build/default/packages/libqxplaysdk-dev_${version}_${arch}.deb
python=build/default/packages/python3-qxplaysdk_${version}_all.deb
for deb in "${runtime}" "${dev}" "${python}"; do [ -f "${deb}" ] || fail "${deb} not made"; done

echo "== what each package holds"
runtime_files=$(dpkg-deb -c "${runtime}")
dev_files=$(dpkg-deb -c "${dev}")
grep -q "/qxplaysdk/libqxplay.so$" <<<"${runtime_files}" || fail "runtime lacks the backends"
! grep -q "include/" <<<"${runtime_files}" || fail "runtime holds the header"
grep -q "include/qxplaysdk/qxplaysdk.h$" <<<"${dev_files}" || fail "-dev lacks the header"
grep -q "pkgconfig/qxplaysdk.pc$" <<<"${dev_files}" || fail "-dev lacks qxplaysdk.pc"
depends=$(dpkg-deb -f "${runtime}" Depends)
echo "libqxplaysdk1 depends on: ${depends}"
for package in libavcodec libavformat libavutil libswscale libswresample libsdl2-2.0-0 \
  libgstreamer1.0-0 libgstreamer-plugins-base1.0-0 gstreamer1.0-plugins-good gstreamer1.0-plugins-bad; do
  grep -q "${package}" <<<"${depends}" || fail "libqxplaysdk1 does not depend on ${package}"
done
[ "$(dpkg-deb -f "${dev}" Depends)" = "libqxplaysdk1 (= ${version})" ] || fail "-dev dependency"
echo "ok"

echo "== apt-get install"
remove() {
  apt-get purge -y -o DPkg::Lock::Timeout=600 libqxplaysdk1 libqxplaysdk-dev python3-qxplaysdk \
    >/dev/null 2>&1 || true
}
trap 'remove; rm -rf "${work:-}"' EXIT
export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 \
  "./${runtime}" "./${dev}" "./${python}" >/dev/null
dpkg-query -W libqxplaysdk1 libqxplaysdk-dev python3-qxplaysdk

work=$(mktemp -d)
clip=${work}/clip.ts
ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc2=size=160x120:rate=25 \
  -frames:v 50 -c:v libx264 -preset veryfast -g 12 -pix_fmt yuv420p -f mpegts "${clip}"

echo "== consumer built with pkg-config against the package"
[ "$(pkg-config --modversion qxplaysdk)" = "${version}" ] || fail "pkg-config does not find the package"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror examples/consumer/consumer.c -o "${work}/consumer-pc" \
  $(pkg-config --cflags --libs qxplaysdk)
(cd "${work}" && env -u LD_LIBRARY_PATH ./consumer-pc "${clip}") | tee "${work}/pc.out"
grep -q "^frames: 50 of 50 decoded, 160x120, end reached" "${work}/pc.out" || fail "pkg-config consumer"

echo "== consumer built with find_package(qxplaysdk) against the package"
cmake -S examples/consumer -B "${work}/consumer-build" -G Ninja >/dev/null
cmake --build "${work}/consumer-build" >/dev/null
(cd "${work}" && env -u LD_LIBRARY_PATH ./consumer-build/consumer "${clip}") | tee "${work}/cmake.out"
grep -q "^frames: 50 of 50 decoded, 160x120, end reached" "${work}/cmake.out" || fail "CMake consumer"

echo "== python3-qxplaysdk"
(cd "${work}" && env -u QXPLAYSDK_LIBRARY QXPLAYSDK_TEST_INSTALLED=1 \
  timeout 900 /usr/bin/python3 -m pytest -p no:cacheprovider -q "${source}/python/tests")
(cd "${work}" && /usr/bin/python3 -c 'import qxplaysdk; print(qxplaysdk.__file__)') |
  grep -q "^/usr/lib/python3/dist-packages/qxplaysdk/" || fail "python3 does not import the packaged binding"
echo "Debian package test: 4 passed, 0 failed"
