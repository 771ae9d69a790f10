#!/usr/bin/python3
"""The post-processing road of velmora-bench-core written the way a scientist would write it with
pandas and numpy: load a HYP data file, merge a CTD log by time, apply the temperature, salinity,
water and proportional scattering corrections, and write the corrected file.  Each stage is timed
with time.perf_counter (wall) and time.process_time (CPU); the figures are printed as
"RESULT <key> <value> <unit>" lines, as the Velmora benchmarks print theirs.

    reference_pandas.py run DATA CTD WATER OUT [--coefficients CSV]
    reference_pandas.py compare VELMORA_FILE PANDAS_FILE [--every N] [--rtol R]

The CTD columns are those velmora-bench-core chooses: time 1, temperature 3, salinity 5,
pressure 2 (1-based).  The corrections use the settings of velmora-bench-core: temperature and
salinity from the CTD log, water subtraction, proportional scattering at the channels nearest
715 nm.
"""
import argparse
import os
import resource
import sys
import time

import numpy as np
import pandas as pd

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_COEFFICIENTS = os.path.join(HERE, "..", "core", "coefficients", "ts_coefficients.csv")
SCAT_REF_NM = 715.0
CORRECTED_HEADER_LINES = 21


def result(key, value, unit):
    print(f"RESULT {key} {value:.6g} {unit}", flush=True)


class Timer:
    """Wall and CPU seconds of each stage, in order."""

    def __init__(self):
        self.stages = []

    def __call__(self, key):
        timer = self

        class Stage:
            def __enter__(self):
                self.w0, self.c0 = time.perf_counter(), time.process_time()

            def __exit__(self, *exc):
                timer.stages.append(
                    (key, time.perf_counter() - self.w0, time.process_time() - self.c0)
                )

        return Stage()


def read_hyp_header(path):
    """Header of a HYP data file: factory temperature, wavelengths and the number of header lines
    before the first data line."""
    with open(path, "r", encoding="latin-1") as f:
        lines = []
        for _ in range(11):  # title, model, serial ... temperature bins
            lines.append(f.readline())
        if not lines[1][:3].upper() == "HYP":
            raise ValueError(f"{path}: not a HYP data file")
        tcal = lines[4].split()
        fac_cal_temp = float(tcal[1]) if len(tcal) > 1 else 0.0
        c_wl, a_wl = [], []
        while True:
            line = f.readline()
            lines.append(line)
            if not line or line[0] not in "acAC":
                break
            fields = line.split()
            c_wl.append(float(fields[0][1:]))
            a_wl.append(float(fields[1][1:]))
        lines.append(f.readline())  # bin size
        lines.append(f.readline())  # column labels
    return fac_cal_temp, np.array(a_wl), np.array(c_wl), len(lines)


def read_water(path):
    """Water calibration file: calibration temperature and the c and a values of line 8."""
    with open(path, "r", encoding="latin-1") as f:
        lines = f.read().splitlines()
    tw = float(lines[4].split(":")[1])
    n = int(lines[5].split(":")[1])
    values = np.array(lines[7].split()[1:], dtype=float)
    return tw, values[n : 2 * n], values[:n]  # Tw, water_a, water_c


def coefficient_rows(table, wavelengths):
    """Row of each channel: the last table row at or below its wavelength (row 0 below)."""
    idx = np.searchsorted(table["wavelength"].to_numpy(), wavelengths, side="right") - 1
    return table.iloc[np.clip(idx, 0, len(table) - 1)]


def run(args):
    timer = Timer()

    with timer("load"):
        tf, a_wl, c_wl, skip = read_hyp_header(args.data)
        n = len(a_wl)
        raw = pd.read_csv(args.data, sep="\t", header=None, skiprows=skip, dtype=np.float64)
        times = raw[0].to_numpy()
        c = raw.iloc[:, 1 : n + 1].to_numpy()
        a = raw.iloc[:, n + 1 : 2 * n + 1].to_numpy()
        table = pd.read_csv(args.coefficients)
        a_rows = coefficient_rows(table, a_wl)
        c_rows = coefficient_rows(table, c_wl)
        ra = int(np.argmin(np.abs(a_wl - SCAT_REF_NM)))  # first of equal distances
        rc = int(np.argmin(np.abs(c_wl - SCAT_REF_NM)))

    with timer("ctd_merge"):
        ctd = pd.read_csv(args.ctd, sep="\t", usecols=[0, 1, 2, 4], dtype=np.float64)
        ctd.columns = ["time", "pressure", "temperature", "salinity"]
        merged = pd.merge_asof(
            pd.DataFrame({"time": times}), ctd, on="time", direction="nearest"
        )

    tw, water_a, water_c = read_water(args.water)  # one line: not timed, as in Velmora

    with timer("correct"):
        t = merged["temperature"].to_numpy()[:, None]
        s = merged["salinity"].to_numpy()[:, None]
        pt_a, ps_a = a_rows["psi_t_a"].to_numpy(), a_rows["psi_s_a"].to_numpy()
        pt_c, ps_c = c_rows["psi_t_c"].to_numpy(), c_rows["psi_s_c"].to_numpy()
        ka = pt_a * (t - tf) + ps_a * s + (water_a - pt_a * (tw - tf))
        kc = pt_c * (t - tf) + ps_c * s + (water_c - pt_c * (tw - tf))
        a_corr = a - ka
        c_corr = c - kc
        a_ref = a_corr[:, ra : ra + 1]
        scat = a_ref * (c_corr - a_corr) / (c_corr[:, rc : rc + 1] - a_ref)
        a_out = a - (ka + scat)
        c_out = c_corr

    with timer("save"):
        header = [
            "Output of hyp/flw data",
            "File created by Velmora version 2.0",
            "This file was created from the following files:",
            f"HYP file: {args.data}",
            f"CTD file: {args.ctd}",
            f"Water file: {args.water}",
            "",
            "",
            f"Factory Calibration temperature: {tf:g}",
            f"Field Water Calibration temperature: {tw:g}",
            "Using CTD file for temperature.",
            "Using CTD file for salinity.",
            "Temperature correction applied.",
            "Salinity correction applied.",
            "Water file subtraction applied.",
            f"Scattering correction by proportional subtraction applied at {a_wl[ra]:.1f} nm",
            "",
            f"{n}\t\t ; number of wavelengths",
            "",
            "",
            "\t".join(
                ["Time(ms)"]
                + [f"c{w:g}" for w in c_wl]
                + [f"a{w:g}" for w in a_wl]
                + ["temp", "saln", "pres", ""]
            ),
        ]
        out = pd.DataFrame(
            np.column_stack(
                [
                    times,
                    c_out,
                    a_out,
                    merged["temperature"].to_numpy(),
                    merged["salinity"].to_numpy(),
                    merged["pressure"].to_numpy(),
                ]
            )
        )
        with open(args.out, "w", newline="") as f:
            f.write("\n".join(header) + "\n")
            out.to_csv(
                f, sep="\t", header=False, index=False, float_format="%.10g", lineterminator="\t\n"
            )

    data_mb = os.path.getsize(args.data) / 1e6
    result("pandas.records", len(times), "records")
    result("pandas.data_mb", data_mb, "MB")
    total_wall = total_cpu = 0.0
    for key, wall, cpu in timer.stages:
        result(f"pandas.{key}.wall", wall, "s")
        result(f"pandas.{key}.cpu", cpu, "s")
        total_wall += wall
        total_cpu += cpu
    result("pandas.total.wall", total_wall, "s")
    result("pandas.total.cpu", total_cpu, "s")
    result("pandas.peak_rss", resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0, "MB")
    return 0


def sample_lines(path, every):
    """Data lines of a corrected file: every `every`-th one and the last, and how many there are."""
    rows = {}
    count = 0
    last = None
    with open(path, "r", encoding="latin-1") as f:
        for _ in range(CORRECTED_HEADER_LINES):
            f.readline()
        for i, line in enumerate(f):
            if i % every == 0:
                rows[i] = line
            last = (i, line)
            count = i + 1
    if last is not None:
        rows[last[0]] = last[1]
    return rows, count


def compare(args):
    """Compares sampled record lines of two corrected files value by value."""
    v_rows, v_count = sample_lines(args.velmora, args.every)
    p_rows, p_count = sample_lines(args.pandas, args.every)
    ok = v_count == p_count and v_rows.keys() == p_rows.keys()
    values = 0
    worst = 0.0
    for i in sorted(v_rows.keys() & p_rows.keys()):
        v = np.array(v_rows[i].split(), dtype=float)
        p = np.array(p_rows[i].split(), dtype=float)
        if v.shape != p.shape:
            ok = False
            continue
        values += v.size
        # Relative difference; values that are zero up to rounding (the reference channel after
        # scattering) are compared absolutely against the 10-digit resolution of the file.
        scale = np.maximum(np.abs(v), 1e-3)
        diff = np.abs(v - p) / scale
        worst = max(worst, float(diff.max()))
    ok = ok and values > 0 and worst <= args.rtol
    result("compare.lines", v_count, "lines")
    result("compare.lines_pandas", p_count, "lines")
    result("compare.values", values, "values")
    result("compare.max_rel_diff", worst, "")
    result("compare.match", 1 if ok else 0, "bool")
    return 0 if ok else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    r = sub.add_parser("run", help="load, merge, correct and save, timed")
    r.add_argument("data")
    r.add_argument("ctd")
    r.add_argument("water")
    r.add_argument("out")
    r.add_argument("--coefficients", default=DEFAULT_COEFFICIENTS)
    c = sub.add_parser("compare", help="compare sampled values of two corrected files")
    c.add_argument("velmora")
    c.add_argument("pandas")
    c.add_argument("--every", type=int, default=997)
    c.add_argument("--rtol", type=float, default=1e-6)
    args = parser.parse_args()
    return run(args) if args.command == "run" else compare(args)


if __name__ == "__main__":
    sys.exit(main())
