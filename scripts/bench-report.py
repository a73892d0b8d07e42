#!/usr/bin/env python3
"""Writes docs/PERFORMANCE.md (to standard output) from one run of the benchmarks.

Usage: bench-report.py RESULTS_DIR BUILD_DIR

RESULTS_DIR holds <program>.json (Google Benchmark's JSON output) for each benchmark program
run, and runs.tsv with one line per program: name, arguments, load average before and after.
Every figure on the page comes from those files; the text around the figures says how they
were measured and what the goals are. Run through scripts/bench-report.sh.
"""

import json
import os
import platform
import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# Known programs: section title and what to read from the figures. Programs not listed here
# still get a section, described by their source's opening comment.
TITLES = {
    "line_rate_bench": "Programming at line rate",
    "flashprog_bench": "Turnaround and package load",
    "decoder_bench": "Decoder throughput",
    "package_bench": "Package load at growing sizes",
    "log_bench": "Log",
    "startup_bench": "Start-up",
    "sim_pacing_bench": "Simulator pacing",
}
ORDER = list(TITLES)

STANDARD_KEYS = {
    "name", "family_index", "per_family_instance_index", "run_name", "run_type", "repetitions",
    "repetition_index", "threads", "iterations", "real_time", "cpu_time", "time_unit",
    "bytes_per_second", "items_per_second", "label", "aggregate_name", "aggregate_unit",
    "error_occurred", "error_message",
}


def sh(*cmd):
    try:
        return subprocess.run(cmd, capture_output=True, text=True, check=False).stdout.strip()
    except OSError:
        return ""


def num(value, digits=3):
    """A figure with `digits` significant digits, without an exponent for everyday sizes."""
    if value is None:
        return "-"
    if value == 0:
        return "0"
    if float(value).is_integer() and abs(value) >= 1:
        return f"{int(value):,}".replace(",", " ")
    magnitude = len(str(int(abs(value)))) if abs(value) >= 1 else 0
    decimals = max(digits - magnitude, 0)
    return f"{value:,.{decimals}f}".replace(",", " ")


def load_results(results):
    runs = []
    with open(results / "runs.tsv", encoding="utf-8") as f:
        for line in f:
            name, args, before, after = line.rstrip("\n").split("\t")
            runs.append({"name": name, "args": args, "load": (float(before), float(after))})
    data = {}
    for run in runs:
        path = results / f"{run['name']}.json"
        with open(path, encoding="utf-8") as f:
            doc = json.load(f)
        run["context"] = doc.get("context", {})
        run["benchmarks"] = [b for b in doc.get("benchmarks", []) if b.get("run_type", "iteration") == "iteration"]
        data[run["name"]] = run
    return data


def find(data, program, pattern):
    """The first benchmark of `program` whose name matches `pattern`, or None."""
    for b in data.get(program, {}).get("benchmarks", []):
        if re.search(pattern, b["name"]) and not b.get("error_occurred"):
            return b
    return None


def source_comment(program):
    """The opening comment of bench/<program>.cpp as one paragraph."""
    path = ROOT / "bench" / f"{program}.cpp"
    paragraph = []
    if path.exists():
        for line in path.read_text(encoding="utf-8").splitlines():
            if not line.startswith("//"):
                break
            text = line[2:].strip()
            # A line starting "- " starts a list item; the others continue the one before.
            if text.startswith("- ") or not paragraph:
                paragraph.append(text)
            else:
                paragraph[-1] += " " + text
    return "\n".join(("\n" + p) if p.startswith("- ") and i > 0 and not paragraph[i - 1].startswith("- ") else p
                     for i, p in enumerate(paragraph))


def results_table(run):
    rows = ["| benchmark | wall | CPU | iterations | counters |", "|---|---|---|---|---|"]
    for b in run["benchmarks"]:
        unit = b.get("time_unit", "ns")
        if b.get("error_occurred"):
            rows.append(f"| `{b['name']}` | failed: {b.get('error_message', '')} | | | |")
            continue
        counters = []
        for key, value in b.items():
            if key in STANDARD_KEYS or not isinstance(value, (int, float)):
                continue
            counters.append(f"{key}={num(value)}")
        if b.get("bytes_per_second"):
            counters.append(f"MB/s={num(b['bytes_per_second'] / 1e6)}")
        rows.append(f"| `{b['name']}` | {num(b['real_time'])} {unit} | {num(b['cpu_time'])} {unit} | "
                    f"{b['iterations']} | {', '.join(counters)} |")
    return "\n".join(rows)


def ms(b):
    """A benchmark's wall time per iteration in milliseconds."""
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
    return b["real_time"] * scale


def cpu_ms(b):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
    return b["cpu_time"] * scale


def met(ok):
    return "yes" if ok else "**no**"


def summary(data):
    rows = ["| measure | goal | result | met |", "|---|---|---|---|"]
    for baud, blocks, goal in (("115200", "1024", 98.0), ("57600", "1024", None), ("9600", "32", None)):
        sim = find(data, "line_rate_bench", rf"SimProcess/{baud}/{blocks}\b")
        own = find(data, "line_rate_bench", rf"LineRate/{baud}/{blocks}\b")
        if not sim and not own:
            continue
        shares = [b["efficiency_pct"] for b in (sim, own) if b]
        result = " / ".join(f"{num(s, 4)}%" for s in shares) + " (simulator process / in-process)"
        rows.append(f"| programming at {baud} baud, {blocks} blocks, share of the line-rate bound | "
                    f"{'>= %g%%' % goal if goal else ''} | {result} | {met(min(shares) >= goal) if goal else ''} |")
    # A counter named like "longest_stall_ms" (or "_us") in any program: the main thread's
    # longest stall while programming, which must stay under 50 ms.
    for run in data.values():
        for b in run["benchmarks"]:
            for key, value in b.items():
                if "stall" not in key.lower() or not isinstance(value, (int, float)):
                    continue
                stall_ms = value / 1e3 if key.endswith("_us") else value
                rows.append(f"| main thread's longest stall (`{b['name']}`, `{key}`) | < 50 ms | "
                            f"{num(stall_ms)} ms | {met(stall_ms < 50)} |")
    turn = find(data, "flashprog_bench", r"ProgramOverPty")
    if turn:
        median, p99 = turn["ack_to_write_median_us"], turn["ack_to_write_p99_us"]
        rows.append(f"| turnaround, acknowledgement to next block, median | < 100 us | {num(median)} us | {met(median < 100)} |")
        rows.append(f"| turnaround, 99th percentile | < 1 ms | {num(p99)} us | {met(p99 < 1000)} |")
    dec = find(data, "decoder_bench", r"DecodeStream")
    if dec:
        rate = dec["MB_per_s"]
        rows.append(f"| decoder throughput | >= 50 MB/s | {num(rate)} MB/s | {met(rate >= 50)} |")
    small = find(data, "package_bench", r"/1024/256\b")
    large = find(data, "package_bench", r"/16384/256\b")
    if small and large:
        time_ratio = cpu_ms(large) / cpu_ms(small)
        mem_ratio = large["peak_MiB"] / small["peak_MiB"]
        ok = time_ratio <= 16 * 1.5 and mem_ratio <= 16 * 1.5
        rows.append(f"| package load, 1 MiB and 16 MiB in 256-byte blocks | linear (16 times the data: at most "
                    f"1.5 times proportional) | {num(cpu_ms(small))} ms, {num(small['peak_MiB'])} MiB peak; "
                    f"{num(cpu_ms(large))} ms, {num(large['peak_MiB'])} MiB peak (CPU x{num(time_ratio)}, "
                    f"memory x{num(mem_ratio)}) | {met(ok)} |")
    log = find(data, "log_bench", r"LogAddWithAutoSave")
    if log:
        rows.append(f"| log, one entry (default limit, auto-save every 100) | | {num(ms(log) * 1e3)} us wall, "
                    f"{num(cpu_ms(log) * 1e3)} us CPU | |")
    load = find(data, "log_bench", r"LogStartupLoad/10000")
    if load:
        rows.append(f"| log, start-up load of a 10 000-line file | | {num(ms(load))} ms wall, {num(cpu_ms(load))} ms CPU | |")
    shown = [find(data, "startup_bench", rf"MainWindowShown/{n}\b") for n in (2000, 10000)]
    if all(shown):
        rows.append(f"| desktop window shown (offscreen), full 2000-line / 10 000-line log | | "
                    f"{num(ms(shown[0]))} ms / {num(ms(shown[1]))} ms | |")
    return "\n".join(rows)


def reading(program, data):
    """What the figures of a known program say, computed from them."""
    out = []
    if program == "line_rate_bench":
        for b in data[program]["benchmarks"]:
            if "bound_s" not in b or not b.get("blocks"):
                continue
            extra_ms = (b["measured_s"] - b["bound_s"]) * 1e3 / b["blocks"]
            out.append(f"- `{b['name']}`: {num(b['measured_s'], 4)} s against a bound of {num(b['bound_s'], 4)} s "
                       f"({num(b['efficiency_pct'], 4)}%), {'+' if extra_ms >= 0 else ''}{num(extra_ms)} ms a block "
                       "against the line time of its exchange.")
        out.append("")
        out.append("The bound is every character of the exchange from `FP_ACTION_START` to the update "
                   "acknowledgement, both ways, at 10 bits a character. Figures a little over 100% are the "
                   "simulator's pacing tolerance: its clock counts whole milliseconds and lets a character "
                   "through when its end falls within half a millisecond of now.")
    elif program == "flashprog_bench":
        b = find(data, program, r"ProgramOverPty")
        if b:
            out.append(f"From a block acknowledgement decoded by the command processor to the next block handed "
                       f"to the port: median {num(b['ack_to_write_median_us'])} us, 99th percentile "
                       f"{num(b['ack_to_write_p99_us'])} us over {int(b['blocks'])} blocks. Unpaced, a run takes "
                       f"{num(b['program_us_per_block'])} us a block up to the update command; the whole run, "
                       f"{num(ms(b))} ms, is mostly the reboot poll's wait.")
    elif program == "package_bench":
        rows = [b for b in data[program]["benchmarks"] if "peak_MiB" in b]
        if rows:
            base = rows[0]
            for b in rows[1:]:
                out.append(f"- `{b['name']}` against `{base['name']}`: CPU x{num(cpu_ms(b) / cpu_ms(base))}, "
                           f"peak memory x{num(b['peak_MiB'] / base['peak_MiB'])}, package file "
                           f"x{num(b['file_MiB'] / base['file_MiB'])}.")
            out.append("")
            out.append("Peak memory is measured in a forked child whose free heap is returned first: the rise of "
                       "the resident high-water mark over the resident size before the load. The file is read "
                       "whole by the XML parser, so the peak is about the file plus its document plus the image.")
    elif program == "decoder_bench":
        b = find(data, program, r"DecodeStream")
        if b:
            out.append(f"{num(1e3 / b['MB_per_s'])} ns of CPU a character, {num(b['lines_per_s'] / 1e3)} thousand "
                       "lines a second: at the fastest line the program drives (256000 baud, 25.6 kB/s) the "
                       f"decoder uses {num(100 * 0.0256 / b['MB_per_s'])}% of a CPU.")
    elif program == "sim_pacing_bench":
        for b in data[program]["benchmarks"]:
            if "vs_line" in b:
                out.append(f"- `{b['name']}`: {num(b['measured_ms'])} ms for {int(b['chars'])} characters whose "
                           f"line time is {num(b['line_ms'])} ms (x{num(b['vs_line'])}).")
    return "\n".join(out)


GANG_ROW = re.compile(r"^(\d+)\s*\|\s*([\d.]+)\s+([\d.]+)\s+([\d.]+)\s*\|\s*([\d.]+)\s+([\d.]+)\s+([\d.]+)(.*)$")


def gang_section(results, build_dir, index):
    """The many-beacons section, from gang_bench's own table (gang_bench.txt), or None."""
    path = results / "gang_bench.txt"
    if not path.exists():
        return None
    rows = []
    for line in path.read_text(encoding="utf-8").splitlines():
        m = GANG_ROW.match(line.strip())
        if m:
            rows.append(m.groups())
    if not rows:
        return None
    loads = []
    tsv = results / "gang.tsv"
    if tsv.exists():
        for line in tsv.read_text(encoding="utf-8").splitlines():
            loads += [float(x) for x in line.split("\t")[2:4]]
    out = [f"## {index}. Many beacons at once\n", f"    {build_dir}/bench/gang_bench\n"]
    out.append("1, 2, 4 and 8 simulator processes paced at 115200 baud, each programmed with the same 64 KiB "
               "package (256 blocks): first by one program process serving every port (`-PORT=A,B,...`), then "
               "by one single-port process per beacon started together. Wall time against one beacon's time "
               "(the one-beacon run of one process), and the program's CPU seconds per beacon (user + system of "
               "the program processes only, from `wait4`; the simulators are not counted).")
    if loads:
        out.append(f"Load average (1 minute) before and after: {min(loads):.1f} to {max(loads):.1f}.")
    out.append("")
    out.append("| beacons | one process: s | x one | CPU s/beacon | one process each: s | x one | CPU s/beacon |")
    out.append("|---|---|---|---|---|---|---|")
    for r in rows:
        note = " (a run failed)" if r[7].strip() else ""
        out.append(f"| {r[0]} | {r[1]} | {r[2]} | {r[3]} | {r[4]} | {r[5]} | {r[6]}{note} |")
    out.append("")
    last = rows[-1]
    ratio, cpu = float(last[2]), float(last[3])
    out.append(f"Goal for {last[0]} beacons from one process: at most 1.05 times one beacon's time "
               f"(measured x{last[2]}: {met(ratio <= 1.05)}) and at most 0.2 CPU seconds per beacon "
               f"(measured {last[3]}: {met(cpu <= 0.2)}).\n")
    return "\n".join(out)


def main():
    results, build_dir = Path(sys.argv[1]), sys.argv[2]
    data = load_results(results)
    nproc = os.cpu_count() or 1
    loads = [load for run in data.values() for load in run["load"]]
    first = next(iter(data.values()), {})
    context = first.get("context", {})
    cpu_model = ""
    for line in sh("lscpu").splitlines():
        if line.startswith("Model name:"):
            cpu_model = line.split(":", 1)[1].strip()
    mem_gib = 0.0
    with open("/proc/meminfo", encoding="utf-8") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                mem_gib = int(line.split()[1]) / (1 << 20)
    compiler = sh("c++", "--version").splitlines()[0] if sh("c++", "--version") else "unknown"
    commit = sh("git", "-C", str(ROOT), "describe", "--always", "--dirty")

    page = []
    page.append("# Performance\n")
    page.append("Measured speed of the programmer, from one run of the benchmarks in `bench/` (Google "
                "Benchmark); nothing here is asserted in a test. This page is generated: "
                "`bash scripts/bench-report.sh` builds Release, runs the benchmarks and rewrites it, so edit "
                "the benchmarks or `scripts/bench-report.py`, not the page. Ratios measured side by side in one "
                "run are what count; absolute times are for reference.\n")
    page.append("## Run conditions\n")
    page.append(f"- Run: {context.get('date', 'unknown date')}, commit `{commit}`.")
    page.append(f"- Machine: {cpu_model or platform.processor()}, {nproc} CPUs (`nproc`), "
                f"{mem_gib:.0f} GiB memory, Linux {platform.release()}.")
    cache = {}
    cache_file = Path(build_dir) / "CMakeCache.txt"
    if cache_file.exists():
        for line in cache_file.read_text(encoding="utf-8").splitlines():
            m = re.match(r"^(CMAKE_BUILD_TYPE|QV_WERROR|CMAKE_CXX_FLAGS_RELEASE):[A-Z]+=(.*)$", line)
            if m:
                cache[m.group(1)] = m.group(2)
    build_type = cache.get("CMAKE_BUILD_TYPE", "unknown")
    flags = f" ({cache['CMAKE_CXX_FLAGS_RELEASE']})" if build_type == "Release" and "CMAKE_CXX_FLAGS_RELEASE" in cache else ""
    werror = ", warnings as errors" if cache.get("QV_WERROR", "").upper() in ("ON", "1", "TRUE") else ""
    page.append(f"- Build: {compiler}, `{build_type}`{flags}{werror}, in `{build_dir}/`.")
    if loads:
        page.append(f"- Load average (1 minute) before and after each program: {min(loads):.1f} to "
                    f"{max(loads):.1f} on {nproc} CPUs.")
        if max(loads) > 0.75 * nproc:
            page.append(f"- **The machine was shared during the run** (load average up to {max(loads):.1f} on "
                        f"{nproc} CPUs): wall-clock figures, above all the paced programming runs, the turnaround "
                        "and the start-up, include time spent waiting for a CPU; CPU times and the ratios within "
                        "one program are less affected.")
    skipped = "57600" not in " ".join(b["name"] for b in data.get("line_rate_bench", {}).get("benchmarks", []))
    if skipped:
        page.append("- The 57600-baud programming runs (about three minutes) were left out; "
                    "`QV_BENCH_FULL=1 bash scripts/bench-report.sh` includes them.")
    page.append("")
    page.append("## Summary\n")
    page.append(summary(data))
    page.append("")

    programs = [p for p in ORDER if p in data] + sorted(p for p in data if p not in ORDER)
    for index, program in enumerate(programs, 1):
        run = data[program]
        page.append(f"## {index}. {TITLES.get(program, program)}\n")
        command = f"{'QT_QPA_PLATFORM=offscreen ' if program == 'startup_bench' else ''}{build_dir}/bench/{program}"
        if run["args"]:
            command += f" {run['args']}"
        page.append(f"    {command}\n")
        comment = source_comment(program)
        if comment:
            page.append(comment + "\n")
        page.append(results_table(run))
        page.append("")
        text = reading(program, data)
        if text:
            page.append(text + "\n")
    gang = gang_section(results, build_dir, len(programs) + 1)
    if gang:
        page.append(gang)
    sys.stdout.write("\n".join(page).rstrip("\n") + "\n")


if __name__ == "__main__":
    main()
