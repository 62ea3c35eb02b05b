#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target for SECONDS seconds each,
# starting from its seed corpus in fuzz/corpus/<name>/ (left unchanged: new
# inputs go to build/fuzz/work/<name>/corpus, crash inputs to
# build/fuzz/work/<name>/artifacts). Fails when a target finds a fault.
#
# Usage: scripts/run-fuzzers.sh SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$#" -ne 1 ] || ! [[ "$1" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 SECONDS   (run time of each fuzz target, a positive whole number)" >&2
  exit 2
fi
seconds="$1"

cmake --preset fuzz
cmake --build --preset fuzz

status=0
for seeds in fuzz/corpus/*/; do
  name="$(basename "${seeds}")"
  fuzzer="build/fuzz/bin/${name}_fuzzer"
  work="build/fuzz/work/${name}"
  mkdir -p "${work}/corpus" "${work}/artifacts"
  echo "=== ${name}: ${seconds} s ==="
  if ! "${fuzzer}" -max_total_time="${seconds}" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="${work}/artifacts/" "${work}/corpus" "${seeds}"; then
    echo "=== ${name}: FAILED (inputs in ${work}/artifacts) ===" >&2
    status=1
  fi
done
exit "${status}"
