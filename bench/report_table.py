#!/usr/bin/python3
"""Turns the RESULT lines that bench/report.sh collected into one markdown table with the machine
it ran on.

    report_table.py RESULTS_FILE [REPEAT]

A key measured in several post-processing runs ("run<k>.<key>") is shown as the median of the
runs.
"""
import os
import platform
import statistics
import subprocess
import sys


def read_results(path):
    runs = {}  # key -> list of values over the runs
    single = {}  # key -> value (number or text)
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) < 3 or parts[0] != "RESULT":
                continue
            key, rest = parts[1], parts[2:]
            try:
                value = float(rest[0])
            except ValueError:
                value = rest[0]
            if key.startswith("machine.load"):
                value = " ".join(rest)
            if key.startswith("run") and "." in key:
                runs.setdefault(key.split(".", 1)[1], []).append(value)
            else:
                single[key] = value
    for key, values in runs.items():
        numbers = [v for v in values if isinstance(v, float)]
        single[key] = statistics.median(numbers) if numbers else values[0]
        single[key + "#runs"] = values
    return single


def machine():
    model, cpus, hypervisor = "unknown CPU", 0, False
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name") and model == "unknown CPU":
                model = line.split(":", 1)[1].strip()
            elif line.startswith("processor"):
                cpus += 1
            elif line.startswith("flags") and " hypervisor" in line:
                hypervisor = True
    mem_kb = 0
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                mem_kb = int(line.split()[1])
    os_name = platform.system()
    try:
        with open("/etc/os-release") as f:
            for line in f:
                if line.startswith("PRETTY_NAME="):
                    os_name = line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    try:
        gxx = subprocess.run(["g++", "-dumpfullversion"], capture_output=True, text=True).stdout
        gxx = "g++ " + gxx.strip()
    except OSError:
        gxx = "g++ ?"
    try:
        import numpy
        import pandas

        py = (
            f"Python {platform.python_version()}, pandas {pandas.__version__}, "
            f"numpy {numpy.__version__}"
        )
    except ImportError:
        py = f"Python {platform.python_version()}"
    cpu = f"{model}, {cpus} CPU{'s' if cpus != 1 else ''}"
    if hypervisor:
        cpu += " (virtual machine)"
    return (
        f"{cpu}, {mem_kb / 1048576:.0f} GB RAM; {os_name}, Linux {platform.release()}; "
        f"{gxx} (Release); {py}"
    )


def fmt(v):
    if not isinstance(v, float):
        return "n/a"
    a = abs(v)
    if v == int(v) and a < 1e15:
        return f"{int(v):,}"
    if a >= 1000:
        return f"{v:,.0f}"
    if a >= 100:
        return f"{v:.0f}"
    if a >= 10:
        return f"{v:.1f}"
    if a >= 1:
        return f"{v:.2f}"
    return f"{v:.3g}"


def main():
    r = read_results(sys.argv[1])
    repeat = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    g = lambda k: r.get(k)  # noqa: E731
    out = []
    w = out.append

    mb = g("core.data_mb")
    records = g("core.records")
    channels = g("core.channels")
    w(f"Machine: {machine()}.")
    w(
        f"Load average before / after the run: {r.get('machine.load_before', '?')} / "
        f"{r.get('machine.load_after', '?')}; the whole report took {fmt(g('machine.seconds'))} s."
    )
    w("")
    w(
        f"**Post processing** (velmora-bench-core against bench/reference_pandas.py on the same "
        f"files: {fmt(records)} records x {fmt(channels)} channels, {fmt(mb)} MB data file, CTD "
        f"merge, temperature + salinity + water + proportional scattering corrections, corrected "
        f"file with CTD columns; median of {repeat} run{'s' if repeat != 1 else ''} each, "
        f"wall-clock seconds, CPU seconds in brackets)"
    )
    w("")
    before = isinstance(g("baseline.total.wall"), float)
    if before:
        w(
            "| stage | Velmora s | Velmora MB/s | previous build s | previous MB/s | pandas s "
            "| pandas MB/s | pandas / Velmora |"
        )
        w("|---|---:|---:|---:|---:|---:|---:|---:|")
    else:
        w("| stage | Velmora s | Velmora MB/s | pandas s | pandas MB/s | pandas / Velmora |")
        w("|---|---:|---:|---:|---:|---:|")
    stages = [
        ("load", "load"),
        ("CTD read + merge", "ctd_merge"),
        ("correct", "correct"),
        ("save corrected file", "save"),
        ("**end to end**", "total"),
    ]
    for label, key in stages:
        vw, vc = g(f"core.{key}.wall"), g(f"core.{key}.cpu")
        pw, pc = g(f"pandas.{key}.wall"), g(f"pandas.{key}.cpu")
        ok = all(isinstance(x, float) and x > 0 for x in (vw, vc, pw, pc))
        ratio = f"{pw / vw:.1f}x ({pc / vc:.1f}x)" if ok else "n/a"
        speed = fmt(mb / vw) if ok else "n/a"
        if key == "total":
            ratio = f"**{ratio}** (target >= 20x)"
            speed = f"**{speed}** (target >= 200)"
        prev = ""
        if before:
            bw, bc = g(f"baseline.{key}.wall"), g(f"baseline.{key}.cpu")
            bok = isinstance(bw, float) and bw > 0
            prev = f"| {fmt(bw)} ({fmt(bc)}) | {fmt(mb / bw) if bok else 'n/a'} "
        w(
            f"| {label} | {fmt(vw)} ({fmt(vc)}) | {speed} {prev}"
            f"| {fmt(pw)} ({fmt(pc)}) | {fmt(mb / pw) if ok else 'n/a'} | {ratio} |"
        )
    match = g("compare.match")
    worst = g("compare.max_rel_diff")
    worst = f"{worst:g}" if isinstance(worst, float) else "n/a"
    identical = g("compare.identical")
    verdict = "same numbers" if match == 1.0 else "**DIFFERENT numbers**"
    w("")
    w(
        f"Output check: {verdict}: {fmt(g('compare.values'))} sampled values of "
        f"{fmt(g('compare.lines'))} record lines (Velmora) and {fmt(g('compare.lines_pandas'))} "
        f"(pandas), largest relative difference {worst} "
        f"(tolerance 1e-6); the two corrected files are "
        f"{'byte for byte identical' if identical == 1.0 else 'not byte-identical'}."
    )
    same_before = g("compare.baseline_identical")
    if same_before is not None:
        w(
            "Against the previous build: from the same data file, the corrected file is "
            + (
                "byte for byte identical"
                if same_before == 1.0
                else "**NOT identical**"
            )
            + " (apart from lines 4 to 6, which name the input files)."
        )
    peak_v, peak_b = g("core.peak_rss"), g("baseline.peak_rss")
    if isinstance(peak_v, float) and isinstance(peak_b, float):
        w(f"Peak resident memory: Velmora {fmt(peak_v)} MB, previous build {fmt(peak_b)} MB.")
    totals_v = r.get("core.total.wall#runs")
    totals_p = r.get("pandas.total.wall#runs")
    if isinstance(totals_v, list) and isinstance(totals_p, list) and len(totals_v) > 1:
        w(
            "End-to-end seconds of each run: Velmora "
            + ", ".join(fmt(x) for x in totals_v)
            + "; pandas "
            + ", ".join(fmt(x) for x in totals_p)
            + "."
        )
    w("")
    w("**Replay** of a simulated capture through the decoder (velmora-bench-link, 4096-byte "
      "blocks)")
    w("")
    w("| model | capture MB | MB/s (CPU) | MB/s (wall) | records/s (CPU) | lost records |")
    w("|---|---:|---:|---:|---:|---:|")
    for label, key in (("HYP (85 channels)", "hyp"), ("FLW (9 channels)", "flw")):
        w(
            f"| {label} | {fmt(g(f'link.{key}.mb'))} | {fmt(g(f'link.{key}.cpu_mbps'))} "
            f"| {fmt(g(f'link.{key}.wall_mbps'))} | {fmt(g(f'link.{key}.records_per_s'))} "
            f"| {fmt(g(f'link.{key}.lost'))} |"
        )
    w("")
    w(
        "**Acquisition tick** with continuous saving (velmora-bench-app, HYP 86 channels at 4 "
        "records/s, fake port, no views; 200 ticks each)"
    )
    w("")
    w("| records held | records | median ms | max ms | tick that grows the raw capture, ms |")
    w("|---|---:|---:|---:|---:|")
    for h in (1, 6, 24):
        k = f"app.tick_{h}h"
        w(
            f"| {h} h | {fmt(g(k + '.records'))} | {fmt(g(k + '.median'))} | {fmt(g(k + '.max'))} "
            f"| {fmt(g(k + '.grow'))} |"
        )
    w("")
    w(
        f"**View refresh** at {fmt(g('views.records'))} records (velmora-bench-views, offscreen, "
        f"900 x 560; wall ms, CPU ms in brackets)"
    )
    w("")
    w("| view | ms | target |")
    w("|---|---:|---:|")
    views = [
        ("time view, settings changed (2 x correct_series + draw)", "time_refresh", "< 30"),
        ("time view, live tick of 10 records", "live_tick", "< 5"),
        ("spectral view, record changed", "spectral", "< 5"),
        ("spectral view, live", "spectral_live", "< 5"),
        ("time view, attach data set + first draw", "time_attach", ""),
    ]
    for label, key, target in views:
        w(
            f"| {label} | {fmt(g(f'views.{key}.wall'))} ({fmt(g(f'views.{key}.cpu'))}) "
            f"| {target} |"
        )
    w("")
    w("**Peak memory** (resident, whole process unless said)")
    w("")
    w("| program | peak MB | what it holds |")
    w("|---|---:|---|")
    values_mb = g("core.values_mb")
    core_peak = g("core.peak_rss")
    ratio = (
        f"{core_peak / values_mb:.2f}x"
        if isinstance(core_peak, float) and isinstance(values_mb, float)
        else "n/a"
    )
    w(
        f"| velmora-bench-core, load to save | {fmt(core_peak)} | records' values "
        f"{fmt(values_mb)} MB ({ratio}), the corrected copy the save keeps for the ChlA column |"
    )
    w(f"| reference_pandas.py | {fmt(g('pandas.peak_rss'))} | the same road in pandas |")
    w(
        f"| velmora-bench-link | {fmt(g('link.peak_rss'))} | both 200 MB captures, their raw "
        f"capture copies and every decoded record ({fmt(g('link.hyp.records'))} HYP, "
        f"{fmt(g('link.flw.records'))} FLW) |"
    )
    w(
        f"| velmora-bench-views | {fmt(g('views.peak_rss'))} | two data sets of "
        f"{fmt(g('views.records'))} records, the views |"
    )
    w(
        f"| velmora-bench-app | {fmt(g('app.peak_rss'))} | 24 h of HYP records "
        f"({fmt(g('app.tick_24h.records'))}), the decoder's list and the raw capture |"
    )
    print("\n".join(out))


if __name__ == "__main__":
    main()
