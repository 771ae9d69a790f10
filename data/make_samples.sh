#!/bin/sh
# Rebuilds the sample data from the two sample device files (sample_hyp.dev, sample_flw.dev):
# a CTD downcast that covers the HYP capture's record times, simulated raw captures of instruments
# in that water, and the data files replayed from them.
#   data/make_samples.sh [path/to/velmora-cli]     (default: build/velmora-cli, or $VELMORA_CLI)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-${VELMORA_CLI:-$here/../build/velmora-cli}}

# CTD downcast at 8 Hz from 2 s before the first record to 2 s after the last (200 spectra at
# 4 Hz span 0 to 49.75 s): 0.6 dbar/s, a thermocline near 12 dbar, salinity rising with depth.
# Columns: time(ms) pressure temperature conductivity salinity (the column dialog's defaults
# 1, 2, 3, 5 pick time, pressure, temperature and salinity).
LC_ALL=C awk 'BEGIN {
    print "time(ms)\tpressure(dbar)\ttemperature(C)\tconductivity(S/m)\tsalinity(PSU)";
    for (t = -2000; t <= 52000; t += 125) {
        p = 0.5 + 0.6 * (t + 2000) / 1000.0;
        temp = 11.5 + 5.0 / (1 + exp((p - 12.0) / 2.5)) + 0.01 * sin(t / 700.0);
        sal = 33.2 + 0.9 / (1 + exp(-(p - 14.0) / 3.0)) + 0.003 * cos(t / 900.0);
        cond = 2.9 + 0.09 * temp + 0.03 * (sal - 33);
        printf "%d\t%.3f\t%.4f\t%.5f\t%.4f\n", t, p, temp, cond, sal;
    }
}' > "$here/sample_ctd.txt"
# The instruments sit in the water of that cast, so the corrections take its temperature and
# salinity effect off again.
"$cli" simulate --model hyp --dev "$here/sample_hyp.dev" --records 200 --seed 1 \
    --profile "$here/sample_ctd.txt" -o "$here/sample_hyp.bin"
# The HYP cast began at 2024-03-15T12:00:30.250Z (UTC): its data file carries that start time.
"$cli" replay --dev "$here/sample_hyp.dev" "$here/sample_hyp.bin" -o "$here/sample_hyp.dat" \
    --start 2024-03-15T12:00:30.250Z
# The ship's NMEA log around the HYP records (from 3 s before the start time on the data file's
# first line to 3 s after its last record): RMC and GGA at 1 Hz, 5 knots to the north-east.
python3 - "$here/sample_hyp.dat" > "$here/sample_gps.nmea" <<'NMEA'
import datetime, functools, math, sys
title = open(sys.argv[1]).readline()
start = datetime.datetime.strptime(title.split("start=")[1].strip(), "%Y-%m-%dT%H:%M:%S.%fZ")
first = start.replace(microsecond=0) - datetime.timedelta(seconds=3)
def pos(deg, width):
    d = int(deg)
    return "%0*d%08.5f" % (width, d, (deg - d) * 60)
def out(body):
    sys.stdout.write("$%s*%02X\r\n" % (body, functools.reduce(lambda x, c: x ^ ord(c), body, 0)))
for s in range(57):
    t = first + datetime.timedelta(seconds=s)
    north = 2.572 * s * math.cos(math.radians(45))  # m
    lat = 54 + 10 / 60 + north / 1852 / 60
    lon = 7 + 53 / 60 + north / 1852 / 60 / math.cos(math.radians(lat))
    hms, ll = t.strftime("%H%M%S") + ".00", "%s,N,%s,E" % (pos(lat, 2), pos(lon, 3))
    out("GPRMC,%s,A,%s,5.0,45.0,%s,,,A" % (hms, ll, t.strftime("%d%m%y")))
    out("GPGGA,%s,%s,1,09,0.9,12.0,M,41.2,M,," % (hms, ll))
NMEA
"$cli" simulate --model flw --dev "$here/sample_flw.dev" --records 30 --seed 2 \
    --profile "$here/sample_ctd.txt" -o "$here/sample_flw.bin"
"$cli" replay --dev "$here/sample_flw.dev" "$here/sample_flw.bin" -o "$here/sample_flw.dat"

# The same cast with UTC clock times (velmora-cli correct --ctd-time iso): each time moved by the
# start time sample_hyp.dat carries on line 1 (the cast is within one day).
start=$(awk -F'\t' 'NR == 1 {
    for (i = 2; i <= NF; i++) if ($i ~ /^start=/) print substr($i, 7);
    exit
}' "$here/sample_hyp.dat")
LC_ALL=C awk -v start="${start:-2024-03-15T12:00:30.250Z}" 'BEGIN {
    day = substr(start, 1, 10);
    t0 = ((substr(start, 12, 2) * 60 + substr(start, 15, 2)) * 60 + substr(start, 18, 2)) * 1000;
    if (substr(start, 20, 1) == ".") t0 += substr(start, 21, 3);
}
NR == 1 { print "time(UTC)\tpressure(dbar)\ttemperature(C)\tconductivity(S/m)\tsalinity(PSU)"; next }
{
    ms = t0 + $1;
    printf "%sT%02d:%02d:%02d.%03dZ", day, int(ms / 3600000), int(ms / 60000) % 60,
        int(ms / 1000) % 60, ms % 1000;
    for (i = 2; i <= NF; i++) printf "\t%s", $i;
    printf "\n";
}' "$here/sample_ctd.txt" > "$here/sample_ctd_iso.txt"

# The HYP cast as an archive takes it: corrected with its CTD cast (UTC times) and the ship's
# track, QC flagged, written as NetCDF and SeaBASS files (the README shows both).  Run from the
# project's folder so that the files name their inputs as data/... wherever the clone lies.
(cd "$here/.." && "$cli" correct data/sample_hyp.dat --ctd data/sample_ctd_iso.txt \
    --ctd-time iso --temp-source ctd --saln-source ctd --gps data/sample_gps.nmea \
    --apply temp,saln,scat --qc --format netcdf,seabass \
    --meta investigators=Velmora_sample_data --meta affiliations=Velmora \
    --meta contact=velmora@example.org --meta experiment=SAMPLE --meta cruise=SAMPLE2024 \
    --meta station=ST1 --meta documents=README.md --meta data_status=preliminary \
    --meta calibration_files=sample_hyp.dev -o data/sample_hyp_archive.txt)

echo "Sample data rebuilt in $here"
