#!/usr/bin/env bash
# Builds the bench preset, runs the benchmark programs (every benchmark
# REPETITIONS times, medians reported, export and direct runs interleaved at
# random so that a change in the machine's load falls on both), counts each
# export's instructions and locked instructions under callgrind, and prints
# the tables. Raw results stay in build/bench/results/.
#
# Usage: scripts/run-benchmarks.sh [REPETITIONS [MIN_TIME]]
#   REPETITIONS  runs of each benchmark (default 5)
#   MIN_TIME     least seconds of each run (default 0.5)
set -euo pipefail
cd "$(dirname "$0")/.."

repetitions="${1:-5}"
min_time="${2:-0.5}"
if ! [[ "${repetitions}" =~ ^[1-9][0-9]*$ ]] || ! [[ "${min_time}" =~ ^[0-9]*\.?[0-9]+$ ]]; then
  echo "usage: $0 [REPETITIONS [MIN_TIME]]   (a positive whole number, seconds)" >&2
  exit 2
fi
for tool in valgrind callgrind_annotate python3; do
  if ! command -v "${tool}" >/dev/null; then
    echo "${tool} is missing (scripts/setup-debian.sh installs it)" >&2
    exit 1
  fi
done

cmake --preset bench
cmake --build --preset bench

bin="build/bench/bin"
results="build/bench/results"
rm -rf "${results}"
mkdir -p "${results}"

# Noted before the runs: the figures depend on what else the machine does.
read -r load1 load5 load15 _ </proc/loadavg
echo "cores: $(nproc); load average before the runs: ${load1} ${load5} ${load15}" \
  >"${results}/machine.txt"

for program in export_overhead_bench trampoline_bench; do
  echo "=== ${program} ==="
  "${bin}/${program}" --benchmark_repetitions="${repetitions}" \
    --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true \
    --benchmark_min_time="${min_time}" \
    --benchmark_out="${results}/${program}.json" --benchmark_out_format=json
done

# Instructions per call: every row's exports run a fixed number of times
# under callgrind; their inclusive cost divided by the calls is one call's.
# Binding every symbol at load keeps the first call's lookup out of it.
calls=100000
"${bin}/export_instruction_count" --list >"${results}/rows.tsv"
echo "=== callgrind: ${calls} calls of each row ==="
while IFS=$'\t' read -r row _; do
  out="${results}/callgrind.${row//\//_}"
  LD_BIND_NOW=1 valgrind --tool=callgrind --collect-bus=yes --callgrind-out-file="${out}.out" \
    "${bin}/export_instruction_count" "${row}" "${calls}" 2>"${out}.log"
  callgrind_annotate --inclusive=yes --threshold=100 "${out}.out" >"${out}.txt"
done <"${results}/rows.tsv"

echo "load average after the runs: $(cut -d' ' -f1-3 /proc/loadavg)" >>"${results}/machine.txt"
python3 scripts/print-benchmark-tables.py "${results}" "${calls}"
