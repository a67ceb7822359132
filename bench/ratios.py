#!/usr/bin/env python3
"""The table of bench/README.md from a run's JSON output (--benchmark_out=FILE with repetitions):
for each pair, the medians of both sides per element (record or call) and the library's median divided
by the raw one. The time is the CPU time of the benchmark's thread, but for the benchmarks measured by
the wall clock (/real_time), whose work happens on the component's thread."""
import json
import sys


def medians(path):
    with open(path) as source:
        run = json.load(source)
    found = {}
    for entry in run["benchmarks"]:
        if entry.get("aggregate_name") != "median":
            continue
        name = entry["run_name"]
        time = entry["real_time"] if name.endswith("/real_time") else entry["cpu_time"]
        # Every benchmark counts its elements; the count per iteration is a whole number.
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry["time_unit"]]
        elements = round(entry["items_per_second"] * time * scale)
        found[name] = time / elements * scale * 1e9
    return found


def main(path):
    found = medians(path)
    print("| pair | library (ns) | raw (ns) | library - raw (ns) | library / raw |")
    print("| --- | ---: | ---: | ---: | ---: |")
    for name, library in found.items():
        if not name.startswith("BM_Library_"):
            continue
        raw = found.get(name.replace("BM_Library_", "BM_Raw_", 1))
        if raw is None:
            sys.exit(f"{name} has no raw side")
        pair = name[len("BM_Library_"):].removesuffix("/real_time")
        print(f"| {pair} | {library:.0f} | {raw:.0f} | {library - raw:.0f} | {library / raw:.2f} |")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: ratios.py RUN.json")
    main(sys.argv[1])
