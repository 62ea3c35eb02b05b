#!/usr/bin/env bash
# Builds the debug preset and runs the whole test program under Valgrind's
# memcheck with full leak checking. Fails when a test fails, when memcheck
# finds an invalid access or an uninitialised read, or when memory is lost.
# Prints how long the run took.
#
# No test is left out: under Valgrind the slowest ones (the concurrency
# stress test and the file-playback fault session) take a few seconds each
# and the whole program well under a minute, so every test stays in. Should
# one ever become impractical, exclude it by name in EXCLUDED below and say
# why beside it.
#
# Usage: scripts/run-valgrind.sh [extra test program arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

EXCLUDED=""  # e.g. "Suite.Name:Other.Name"

cmake --preset debug
cmake --build --preset debug

filter=()
if [ -n "${EXCLUDED}" ]; then
  filter=("--gtest_filter=-${EXCLUDED}")
fi

start=$(date +%s)
status=0
valgrind --tool=memcheck --leak-check=full --error-exitcode=1 \
  build/debug/bin/qxplaysdk_tests --gtest_brief=1 "${filter[@]}" "$@" || status=$?
echo "=== valgrind memcheck: $(($(date +%s) - start)) s, exit status ${status} ==="
exit "${status}"
