#!/usr/bin/env bash
# Builds the media-bench preset and runs the media engine's benchmarks:
# headless 1080p decode against `ffmpeg -f null` with the same thread count,
# the first picture of a live stream, resident memory of 32 live ports, the
# camera wall (threads and CPU of 64 live 720p25 ports, the largest number of
# ports and of `ffmpeg -re` processes that keep real time: about 70 s); then
# the network library's download, first remote picture and CPU. The
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
# The network library against the test recorder on loopback (about two
# minutes: `ffmpeg -c copy` fetches the 60 s recording at real time). Its
# warnings go to stderr, so that a failed download says why.
QXPLAYSDK_LOG="${QXPLAYSDK_LOG:-warning}" build/media-bench/bin/net_bench --benchmark_out="${results}/net_bench.json" \
  --benchmark_out_format=json

python3 - "${results}/media_bench.json" "${results}/net_bench.json" <<'PY'
import json
import sys

failures = [f"{run['name']}: {run.get('error_message')}"
            for path in sys.argv[1:]
            for run in json.load(open(path))["benchmarks"] if run.get("error_occurred")]
for failure in failures:
    print("FAILED", failure)
sys.exit(1 if failures else 0)
PY
