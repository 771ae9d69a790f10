"""NetCDF files of velmora-cli read by real clients: xarray (with its CF decoding) and netCDF4.

    netcdf_client.py VELMORA_CLI DATA_DIR

Each case corrects the sample HYP cast with `--format text,netcdf` and checks the NetCDF file
against the text files written beside it: time decoded to UTC datetimes (or to time since the
first record without a start time), the dimensions and attributes, and the values, flags and bin
statistics to the text's 10 significant digits.  Exit status 1 on any mismatch.
"""

import os
import subprocess
import sys
import tempfile

import netCDF4
import numpy as np
import xarray as xr

START = np.datetime64("2024-03-15T12:00:30", "ms")

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def read_text(path):
    """The column names and the rows (floats) of a Velmora text file."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    head = next(i for i, line in enumerate(lines) if line.startswith("Time(ms)\t"))
    names = lines[head].rstrip("\t").split("\t")
    rows = [[float(v) for v in line.rstrip("\t").split("\t")] for line in lines[head + 1:] if line]
    return names, np.array(rows, dtype=float).reshape(len(rows), len(names))


def columns(names, table, prefix):
    """The channel columns `prefix`<wavelength> and their wavelengths."""
    idx = [i for i, n in enumerate(names) if n[:1] == prefix and n[1:2].isdigit()]
    return np.array([float(names[i][1:]) for i in idx]), table[:, idx]


def named(names, table, name):
    return table[:, names.index(name)]


def same(got, want, what):
    got = np.asarray(got, dtype=float)
    want = np.asarray(want, dtype=float)
    if got.shape != want.shape:
        check(False, f"{what}: shape {got.shape} against {want.shape}")
        return
    # The text holds 10 significant digits.
    ok = np.allclose(got, want, rtol=1e-9, atol=1e-12, equal_nan=True)
    check(ok, f"{what}: values differ from the text file")


def without_start(data, out_dir):
    """A copy of the sample cast whose first line carries no start time."""
    with open(os.path.join(data, "sample_hyp.dat"), encoding="utf-8") as f:
        first, rest = f.read().split("\n", 1)
    path = os.path.join(out_dir, "no_start.dat")
    with open(path, "w", encoding="utf-8") as f:
        f.write(first.split("\tstart=")[0] + "\n" + rest)
    return path


def run_case(cli, data, out_dir, case):
    name, args, expect = case
    out = os.path.join(out_dir, name + ".txt")
    if expect["start"]:
        cast = os.path.join(data, "sample_hyp.dat")
    else:
        cast = without_start(data, out_dir)
    cmd = [cli, "correct", cast] + args + [
        "--format", "text,netcdf", "-o", out]
    done = subprocess.run(cmd, cwd=data, capture_output=True, text=True)
    if done.returncode != 0:
        check(False, f"{name}: velmora-cli failed: {done.stderr.strip()}")
        return
    nc_path = os.path.join(out_dir, name + ".nc")
    names, table = read_text(out)
    text_ms = table[:, 0]

    with xr.open_dataset(nc_path) as ds:
        wl = "wavelength" if expect["common"] else None
        dims = dict(ds.sizes)
        want_dims = {"time": len(table)}
        if wl:
            want_dims["wavelength"] = len(columns(names, table, "a")[0])
        else:
            want_dims["wavelength_a"] = len(columns(names, table, "a")[0])
            want_dims["wavelength_c"] = len(columns(names, table, "c")[0])
        check(dims == want_dims, f"{name}: dimensions {dims}, expected {want_dims}")
        check(ds.attrs.get("Conventions") == "CF-1.8", f"{name}: Conventions")
        check(ds.attrs.get("featureType") == expect["feature"],
              f"{name}: featureType {ds.attrs.get('featureType')}")
        check(ds.attrs.get("source") == "Velmora 2.0", f"{name}: source")
        check("velmora-cli correct" in ds.attrs.get("history", ""), f"{name}: history")
        for key, value in expect.get("meta", {}).items():
            check(ds.attrs.get(key) == value, f"{name}: attribute {key}")

        # Time, decoded by xarray from its units.
        t = ds["time"].values
        if expect["start"]:
            check(np.issubdtype(t.dtype, np.datetime64), f"{name}: time is not decoded to dates")
            want = START + text_ms.astype("timedelta64[ms]")
            err = np.abs((t.astype("datetime64[ns]") - want.astype("datetime64[ns]"))
                         .astype(np.int64))
            check(err.max() < 1000, f"{name}: time is {t[:2]}, expected {want[:2]}")
        else:
            check(np.issubdtype(t.dtype, np.timedelta64),
                  f"{name}: time without a start time is not a duration ({t.dtype})")
            want = (text_ms - text_ms[0]).astype("timedelta64[ms]")
            err = np.abs((t.astype("timedelta64[ns]") - want.astype("timedelta64[ns]"))
                         .astype(np.int64))
            check(err.max() < 1000, f"{name}: time is {t[:2]}, expected {want[:2]}")

        for prefix in ("a", "c"):
            text_wl, text_values = columns(names, table, prefix)
            coord = wl or f"wavelength_{prefix}"
            same(ds[coord].values, text_wl, f"{name}: {coord}")
            same(ds[prefix].values, text_values, f"{name}: {prefix}")
            check(ds[prefix].attrs.get("units") == "m-1", f"{name}: units of {prefix}")
        for var, column in expect.get("columns", {}).items():
            same(ds[var].values, named(names, table, column), f"{name}: {var}")
        for coord in expect.get("coords", []):
            check(coord in ds["a"].coords, f"{name}: {coord} is not a coordinate of a")

        if expect.get("qc"):
            fnames, flags = read_text(os.path.join(out_dir, name + "_flags.txt"))
            for prefix in ("a", "c"):
                same(ds[prefix + "_qc"].values, columns(fnames, flags, prefix)[1],
                     f"{name}: {prefix}_qc")
            same(ds["qc"].values, table[:, names.index("flag")], f"{name}: qc")
        if expect.get("bins"):
            snames, sd = read_text(os.path.join(out_dir, name + "_sd.txt"))
            nnames, counts = read_text(os.path.join(out_dir, name + "_n.txt"))
            for prefix in ("a", "c"):
                same(ds[prefix + "_sd"].values, columns(snames, sd, prefix)[1],
                     f"{name}: {prefix}_sd")
                same(ds[prefix + "_n"].values, columns(nnames, counts, prefix)[1],
                     f"{name}: {prefix}_n")
            same(ds["n"].values, named(names, table, "n"), f"{name}: n")

    # The raw file through netCDF4: the types, the flag attributes and the fill value.
    with netCDF4.Dataset(nc_path) as nc:
        check(nc.data_model == "NETCDF4", f"{name}: data model {nc.data_model}")
        check(np.isnan(nc["a"].getncattr("_FillValue")), f"{name}: _FillValue of a")
        filters = nc["a"].filters()
        check(filters.get("zlib") and filters.get("shuffle") and filters.get("complevel") == 4,
              f"{name}: compression of a {filters}")
        if expect.get("qc"):
            q = nc["a_qc"]
            check(q.dtype == np.int8, f"{name}: a_qc type {q.dtype}")
            check(list(q.flag_values) == [1, 2, 3, 4, 9], f"{name}: flag_values")
            check(q.flag_meanings == "pass not_evaluated suspect fail missing",
                  f"{name}: flag_meanings")
            check(nc["a"].ancillary_variables.split()[:2] == ["a_qc", "qc"],
                  f"{name}: ancillary_variables")
        if expect["start"]:
            check(nc["time"].units == "seconds since 1970-01-01T00:00:00Z", f"{name}: time units")
            check(nc["time"].calendar == "standard", f"{name}: calendar")
        else:
            check(nc["time"].units == "seconds", f"{name}: time units")


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    cli, data = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    ctd = ["--ctd", "sample_ctd.txt", "--temp-source", "ctd", "--saln-source", "ctd"]
    start = ["--start", "2024-03-15T12:00:30Z"]
    cases = [
        ("native_ctd_gps_qc",
         start + ctd + ["--gps", "sample_gps.nmea", "--apply", "temp,saln,scat", "--qc"],
         {"common": False, "start": True, "feature": "trajectory", "qc": True,
          "columns": {"temperature": "temp", "salinity": "saln", "pressure": "pres",
                      "latitude": "Lat", "longitude": "Lon"},
          "coords": ["latitude", "longitude"]}),
        ("grid_time_bins_no_start",
         ["--grid", "400:700:5", "--bin", "time:5", "--apply", "scat"],
         {"common": True, "start": False, "feature": "timeSeries", "bins": True}),
        ("depth_bins",
         start + ctd + ["--apply", "temp,saln", "--bin", "depth:1", "--meta", "cruise=SAMPLE2024"],
         {"common": False, "start": True, "feature": "profile", "bins": True,
          "columns": {"depth": "depth", "temperature": "temp"}, "coords": ["depth"],
          "meta": {"cruise": "SAMPLE2024"}}),
    ]
    with tempfile.TemporaryDirectory(prefix="velmora_netcdf_") as out_dir:
        for case in cases:
            run_case(cli, data, out_dir, case)
    if failures:
        print(f"{len(failures)} failure(s)")
        return 1
    print(f"{len(cases)} cases: the NetCDF files agree with the text files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
