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
"$cli" replay --dev "$here/sample_hyp.dev" "$here/sample_hyp.bin" -o "$here/sample_hyp.dat"
"$cli" simulate --model flw --dev "$here/sample_flw.dev" --records 30 --seed 2 \
    --profile "$here/sample_ctd.txt" -o "$here/sample_flw.bin"
"$cli" replay --dev "$here/sample_flw.dev" "$here/sample_flw.bin" -o "$here/sample_flw.dat"

echo "Sample data rebuilt in $here"
