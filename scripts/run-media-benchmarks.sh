#!/usr/bin/env bash
# Builds the media-bench preset and runs the media engine's benchmarks:
# headless 1080p decode against `ffmpeg -f null` with the same thread count,
# the first picture of a live stream, resident memory of 32 live ports. The
# sample media are made with the ffmpeg tool on the first run and kept in
# build/media-bench/bench-media. Fails when a benchmark reports an error (a
# clip that cannot be made or opened, a picture that never comes).
#
# Usage: scripts/run-media-benchmarks.sh [benchmark program arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset media-bench
cmake --build --preset media-bench

results="build/media-bench/results"
mkdir -p "${results}"
build/media-bench/bin/media_bench --benchmark_out="${results}/media_bench.json" \
  --benchmark_out_format=json "$@"

python3 - "${results}/media_bench.json" <<'PY'
import json
import sys

failures = [f"{run['name']}: {run.get('error_message')}"
            for run in json.load(open(sys.argv[1]))["benchmarks"] if run.get("error_occurred")]
for failure in failures:
    print("FAILED", failure)
sys.exit(1 if failures else 0)
PY
