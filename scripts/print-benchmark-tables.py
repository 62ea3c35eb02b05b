#!/usr/bin/env python3
"""Prints the benchmark tables from the results run-benchmarks.sh leaves.

Usage: print-benchmark-tables.py RESULTS_DIR CALLS

Times are medians of CPU time per operation (the time the measuring thread
was running, so a loaded machine's waiting is left out); every ratio and
difference compares figures of one run of one program.
"""
import json
import re
import sys
from pathlib import Path

LOCK_ROW = "lock/section_lock_round_trip"
LINE = re.compile(r"^\s*([\d,]+)\s+\([^)]*\)\s+([\d,.]+)\s+(?:\([^)]*\)\s+)?\S*?:(.+) \[(.+)\]$")


def medians(path):
    """Median of every benchmark, or its one run without repetitions: name -> JSON entry."""
    entries = json.loads(path.read_text())["benchmarks"]
    found = {
        e["run_name"]: e
        for e in entries
        if e.get("run_type") == "aggregate" and e.get("aggregate_name") == "median"
    }
    return found or {e["run_name"]: e for e in entries if e.get("run_type") == "iteration"}


def ns(entry, clock="cpu_time"):
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[entry["time_unit"]]
    return entry[clock] * scale


def inclusive_costs(path, functions, object_name):
    """Sum of inclusive instructions and locked instructions of `functions`."""
    instructions = locked = 0
    found = set()
    for line in path.read_text().splitlines():
        match = LINE.match(line)
        if not match:
            continue
        ir, ge, function, obj = match.groups()
        if function in functions and obj.endswith(object_name):
            instructions += int(ir.replace(",", ""))
            locked += 0 if ge == "." else int(ge.replace(",", ""))
            found.add(function)
    missing = set(functions) - found
    if missing:
        sys.exit(f"{path}: no cost found for {', '.join(sorted(missing))}")
    return instructions, locked


def table(header, rows):
    widths = [max(len(str(c)) for c in column) for column in zip(header, *rows)]
    for i, row in enumerate([header] + rows):
        cells = [str(c).ljust(w) if j == 0 else str(c).rjust(w) for j, (c, w) in enumerate(zip(row, widths))]
        print("  ".join(cells).rstrip())
        if i == 0:
            print("  ".join("-" * w for w in widths))
    print()


def export_table(results, calls):
    runs = medians(results / "export_overhead_bench.json")
    lock_ns = ns(runs[LOCK_ROW])
    header = ["export", "locks", "ns/op", "direct ns/op", "ratio", "excess ns",
              "instr/call", "locked/call", "allocs/op"]
    rows = []
    for line in (results / "rows.tsv").read_text().splitlines():
        row, functions, locks = line.split("\t")
        trace = results / f"callgrind.{row.replace('/', '_')}.txt"
        if row == LOCK_ROW:
            ir, ge = inclusive_costs(trace, functions.split(" "), "export_instruction_count")
            rows.append([row, 1, f"{lock_ns:.1f}", "", "", "",
                         f"{ir / calls:.0f}", f"{ge / calls:.1f}", ""])
            continue
        ir, ge = inclusive_costs(trace, functions.split(" "), "libqxplaysdk.so")
        through_export = runs[f"{row}/export"]
        direct = runs[f"{row}/direct"]
        export_ns, direct_ns = ns(through_export), ns(direct)
        # What the export costs beyond its backend call and its lock round
        # trips: argument checks, the call into the library, state reads.
        excess = export_ns - direct_ns - int(locks) * lock_ns
        rows.append([row, locks, f"{export_ns:.1f}", f"{direct_ns:.1f}",
                     f"{export_ns / direct_ns:.1f}", f"{excess:+.1f}",
                     f"{ir / calls:.0f}", f"{ge / calls:.1f}",
                     f"{through_export['allocs/op']:g}"])
    print("Exports against direct backend calls (CPU time, medians; excess = ns/op - direct"
          " - locks x lock round trip)")
    table(header, rows)


def trampoline_tables(results):
    runs = medians(results / "trampoline_bench.json")
    lock_ns = ns(runs[LOCK_ROW])
    header = ["trampoline", "ns/op", "bare call ns", "overhead ns", "minus 1 lock ns", "allocs/op"]
    rows = []
    frame, bare = runs["decode/trampoline_per_frame"], runs["decode/bare_caller_call"]
    overhead = ns(frame) - ns(bare)
    rows.append(["decode, per frame", f"{ns(frame):.1f}", f"{ns(bare):.1f}", f"{overhead:.1f}",
                 f"{overhead - lock_ns:+.1f}", f"{frame['allocs/frame']:g}"])
    for length in (1024, 4096):
        block = runs[f"voice/trampoline_per_block/{length}"]
        bare = runs[f"voice/bare_caller_call/{length}"]
        overhead = ns(block) - ns(bare)
        rows.append([f"voice, per {length}-byte block", f"{ns(block):.1f}", f"{ns(bare):.1f}",
                     f"{overhead:.1f}", "", f"{block['allocs/block']:g}"])
    rows.append([LOCK_ROW, f"{lock_ns:.1f}", "", "", "", ""])
    calibration = runs["calibration/one_allocation_per_op"]
    rows.append(["calibration: one allocation", "", "", "", "", f"{calibration['allocs/op']:g}"])
    print("Trampolines against a bare call of the caller's function (CPU time, medians)")
    table(header, rows)

    header = ["frames from 1 and 2 threads", "1 thread frames/s", "2 threads frames/s",
              "wall ratio", "CPU ns/frame 1", "CPU ns/frame 2", "CPU-time ratio"]
    rows = []
    for ports in ("neighbouring_ports", "distant_ports", "same_port"):
        one = runs[f"decode/scaling/{ports}/real_time/threads:1"]
        two = runs[f"decode/scaling/{ports}/real_time/threads:2"]
        # Wall ratio: aggregate frames per second of wall-clock time. CPU-time
        # ratio: the rate two threads would reach with a core each, from the
        # CPU time one frame took in each case; blind to threads that sleep
        # on a lock, so it says nothing for the same port.
        rows.append([ports.replace("_", " "), f"{one['frames/s'] / 1e6:.1f}M",
                     f"{two['frames/s'] / 1e6:.1f}M", f"{two['frames/s'] / one['frames/s']:.2f}",
                     f"{ns(one):.1f}", f"{ns(two):.1f}", f"{2 * ns(one) / ns(two):.2f}"])
    print("Decode frames delivered from 1 and 2 threads, one port per thread (medians)")
    table(header, rows)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    results, calls = Path(sys.argv[1]), int(sys.argv[2])
    print((results / "machine.txt").read_text())
    export_table(results, calls)
    trampoline_tables(results)


if __name__ == "__main__":
    main()
