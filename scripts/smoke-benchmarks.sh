#!/usr/bin/env bash
# A short run of every benchmark for CI: builds the bench preset, runs each
# benchmark once for a moment (the times mean nothing here), and fails when
# a benchmark reports an error, when the library allocates on a measured
# path, or when the allocation counter no longer sees an allocation.
#
# Usage: scripts/smoke-benchmarks.sh
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset bench
cmake --build --preset bench

bin="build/bench/bin"
results="build/bench/smoke"
rm -rf "${results}"
mkdir -p "${results}"

for program in export_overhead_bench trampoline_bench; do
  "${bin}/${program}" --benchmark_min_time=0.01 \
    --benchmark_out="${results}/${program}.json" --benchmark_out_format=json
done
# The instruction-count driver runs every row once, so that a row whose
# exports stopped succeeding fails here too.
while IFS=$'\t' read -r row _; do
  "${bin}/export_instruction_count" "${row}" 1
done < <("${bin}/export_instruction_count" --list)

python3 - "${results}"/*.json <<'PY'
import json
import sys

ALLOCATIONS = ("allocs/op", "allocs/frame", "allocs/block")
failures = []
for path in sys.argv[1:]:
    for run in json.load(open(path))["benchmarks"]:
        name = run["name"]
        if run.get("error_occurred"):
            failures.append(f"{name}: {run.get('error_message')}")
            continue
        for counter in ALLOCATIONS:
            if counter not in run:
                continue
            expected = 1 if name.startswith("calibration/") else 0
            if run[counter] != expected:
                failures.append(f"{name}: {counter} = {run[counter]:g}, expected {expected}")
if failures:
    sys.exit("\n".join(["benchmark smoke run failed:"] + failures))
print("benchmark smoke run: every benchmark ran; no allocation on a measured path")
PY
