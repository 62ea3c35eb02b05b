#!/usr/bin/env bash
# clang-tidy over the library's own code (core/, playback/, record/, talk/,
# remote/, backends/) with the checks of .clang-tidy, every warning an
# error. Uses the clang preset's compilation database, configuring it when
# it is missing. Exits nonzero on any finding.
#   scripts/run-clang-tidy.sh [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-2}
build=build/clang
if [[ ! -f ${build}/compile_commands.json ]]; then
  cmake --preset clang >/dev/null
fi
# Generated headers (the version resource, spdlog's) exist once the build
# has configured; the sources need nothing else built.
mapfile -t sources < <(git ls-files 'core/*.cpp' 'playback/*.cpp' 'record/*.cpp' 'talk/*.cpp' \
  'remote/*.cpp' 'backends/*.cpp' | grep -v '^core/dll_main.cpp$')
echo "clang-tidy: ${#sources[@]} files"
status=0
printf '%s\n' "${sources[@]}" |
  xargs -P "${jobs}" -n 4 clang-tidy -p "${build}" --quiet 2>/dev/null || status=$?
if [[ ${status} -ne 0 ]]; then
  echo "clang-tidy: findings above (exit ${status})" >&2
  exit 1
fi
echo "clang-tidy: clean"
