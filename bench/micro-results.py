#!/usr/bin/env python3
"""Runs the micro benchmarks and writes their results as a Markdown table.

Each benchmark program runs once with repetitions in random interleaving, so
that the engine's code and its references (zlib's crc32 and inflate, a
one-byte table loop) share the same minutes of a machine whose speed drifts;
the tables give medians of CPU time and the ratios between them.

Usage: bench/micro-results.py [--build build/linux] [--out bench/results/micro.md]
       [--repetitions 5]
Needs a build configured with -DKV_BUILD_BENCHMARKS=ON.
"""

import argparse
import datetime
import json
import os
import platform
import subprocess
import sys


def run_benchmark(program, repetitions, extra=()):
    """The median aggregates of one benchmark program, by run name."""
    command = [program, "--benchmark_format=json", f"--benchmark_repetitions={repetitions}",
               "--benchmark_enable_random_interleaving=true",
               "--benchmark_report_aggregates_only=true", *extra]
    print("running", " ".join(command), file=sys.stderr, flush=True)
    output = subprocess.run(command, check=True, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True).stdout
    results = {}
    for entry in json.loads(output)["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            if entry.get("error_occurred"):
                raise SystemExit(f"{entry['run_name']}: {entry.get('error_message')}")
            results[entry["run_name"]] = entry
    return results


def nanoseconds(entry):
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[entry["time_unit"]]
    return entry["cpu_time"] * scale


def machine_description():
    fields = {}
    for line in subprocess.run(["lscpu"], check=True, stdout=subprocess.PIPE,
                               text=True).stdout.splitlines():
        key, _, value = line.partition(":")
        fields[key.strip()] = value.strip()
    flags = set(fields.get("Flags", "").split())
    wanted = ["Architecture", "Model name", "CPU(s)", "Thread(s) per core", "Hypervisor vendor",
              "L1d cache", "L2 cache", "L3 cache"]
    lines = [f"- {key}: {fields[key]}" for key in wanted if key in fields]
    lines.append("- Carry-less multiplication (pclmulqdq): "
                 + ("yes" if "pclmulqdq" in flags else "no"))
    compiler = subprocess.run(["c++", "--version"], stdout=subprocess.PIPE,
                              text=True).stdout.splitlines()[0]
    lines.append(f"- Compiler: {compiler}; build type RelWithDebInfo (preset linux)")
    lines.append(f"- Kernel: {platform.system()} {platform.release()}")
    load = " ".join(f"{value:.2f}" for value in os.getloadavg())
    lines.append(f"- Load average when the run started: {load} (other work shares the machine)")
    return "\n".join(lines)


def size_name(length):
    return "1 MiB" if length == 1 << 20 else f"{length:,} B"


def crc_table(micro):
    rows = ["| Length | Crc32Update | GB/s | zlib crc32 / Crc32Update | byte loop / Crc32Update "
            "| slicing-by-8 alone: byte loop / slicing | carry-less alone: byte loop / carry-less |",
            "|---|---|---|---|---|---|---|"]
    for length in (16, 64, 256, 2047, 1 << 20):
        engine = nanoseconds(micro[f"Crc32Update_Engine/{length}"])
        zlib = nanoseconds(micro[f"Crc32_Zlib/{length}"])
        byte_loop = nanoseconds(micro[f"Crc32_ByteLoop/{length}"])
        slicing = nanoseconds(micro[f"Crc32Update_Slicing/{length}"])
        carryless = micro.get(f"Crc32Update_Carryless/{length}")
        carryless_ratio = f"{byte_loop / nanoseconds(carryless):.1f} x" if carryless else "n/a"
        rows.append(f"| {size_name(length)} | {engine:,.1f} ns | {length / engine:.2f} "
                    f"| {zlib / engine:.2f} x | {byte_loop / engine:.1f} x "
                    f"| {byte_loop / slicing:.1f} x | {carryless_ratio} |")
    return "\n".join(rows)


def decoder_table(micro):
    rows = ["| Content | Output | Block decoder MB/s | zlib inflate MB/s "
            "| decoder time / inflate time |", "|---|---|---|---|---|"]
    for name in ("signature_records", "text", "low_entropy", "far_repeats"):
        decoder = micro[f"DecompressBlock/{name}"]
        inflate = micro[f"ZlibInflate/{name}"]
        output = decoder["output_bytes"]
        rows.append(f"| {name.replace('_', ' ')} | {output:,.0f} B "
                    f"| {output / nanoseconds(decoder) * 1e3:,.0f} "
                    f"| {output / nanoseconds(inflate) * 1e3:,.0f} "
                    f"| {nanoseconds(decoder) / nanoseconds(inflate):.2f} |")
    return "\n".join(rows)


def database_table(database):
    load = database["BM_LoadMillionSignatures/iterations:5"]
    rows = ["| Measure | Result | Target |", "|---|---|---|",
            f"| Load of 1,000,000 signatures | {nanoseconds(load) / 1e6:,.0f} ms | < 1 s |",
            f"| Memory kept per signature beside its name | {load['bytes_besides_name']:.1f} B "
            f"(name {load['name_bytes_per_signature']:.1f} B, total "
            f"{load['bytes_per_signature']:.1f} B) | < 64 B |",
            f"| Peak memory during the load, per signature | "
            f"{load['peak_bytes_per_signature']:.1f} B (file "
            f"{load['file_bytes_per_signature']:.1f} B) | - |"]
    for kind in ("hits", "complemented_hits", "misses", "mixed"):
        lookup = database[f"BM_FindPestHashPath/{kind}"]
        rows.append(f"| FindPest, {kind.replace('_', ' ')} | {nanoseconds(lookup):.1f} ns "
                    f"({lookup['allocations_per_lookup']:.0f} allocations) | < 100 ns |")
    return "\n".join(rows)


def name_table(micro):
    rows = ["| Check | Time per call |", "|---|---|",
            f"| MatchesFileMasks, default list, mixed names "
            f"| {nanoseconds(micro['MatchesFileMasks']):,.0f} ns |"]
    for argument, what in ((0, "existing file no entry holds"), (1, "file in the last entry"),
                           (2, "path holding QUARANTINE")):
        rows.append(f"| IsExcluded, 1,000 entries, {what} "
                    f"| {nanoseconds(micro[f'IsExcluded/path:{argument}']):,.0f} ns |")
    return "\n".join(rows)


def unzip_table(unzip):
    rows = ["| Members | List and extract all | Per member |", "|---|---|---|"]
    for members in (1000, 10000, 40000):
        entry = unzip[f"ListThenExtractEveryMember/{members}"]
        rows.append(f"| {members:,} | {nanoseconds(entry) / 1e6:,.1f} ms "
                    f"| {nanoseconds(entry) / members / 1e3:.1f} us |")
    return "\n".join(rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/linux")
    parser.add_argument("--out", default="bench/results/micro.md")
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()
    bench = os.path.join(args.build, "bench")
    machine = machine_description()
    started = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")

    micro = run_benchmark(os.path.join(bench, "micro_benchmark"), args.repetitions)
    database = run_benchmark(os.path.join(bench, "database_benchmark"), 3,
                             ["--benchmark_filter=Load|FindPest"])
    unzip = run_benchmark(os.path.join(bench, "unzip32_benchmark"), 3)

    text = f"""# Micro benchmarks

Written by `bench/micro-results.py` ({started}). Medians of CPU time over
{args.repetitions} interleaved repetitions (3 for the database and the unzip
library); each ratio compares two programs measured in the same run.
"Byte loop" is a one-byte table loop; a ratio "x / Crc32Update" above 1 means
Crc32Update is that many times faster. (Debian's Google Benchmark library
warns that it was built for debugging: that is the harness, not the code
measured.)

## Machine

{machine}

## CRC-32 (`Crc32Update`; targets: 3 x the byte loop, at least zlib on 1 MiB)

{crc_table(micro)}

## Block decoder (target: within 2 x of zlib inflate's time for the same output)

{decoder_table(micro)}

## Signature database (1,000,000 signatures)

{database_table(database)}

## Per-file name checks

{name_table(micro)}

## Unzip library, list then extract every member (target: linear in size)

{unzip_table(unzip)}
"""
    os.makedirs(os.path.dirname(args.out), exist_ok=True)
    with open(args.out, "w", encoding="utf-8") as out:
        out.write(text)
    print(text)


if __name__ == "__main__":
    main()
