#!/bin/sh
# Writes every kind of file velmora-cli makes from the sample data into OUTDIR, with the same
# options each time, so two builds can be compared file by file.  The "created on" clock lines
# of corrected and water files are masked to "<created>".  The inputs are named relative to the
# data folder, so the files (whose headers name their inputs) do not depend on where the
# checkout lies.
#   tests/cli/golden/make_golden.sh path/to/velmora-cli OUTDIR
set -eu
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
mkdir -p "$2"
out=$(cd "$2" && pwd)
cd "$(dirname "$0")/../../../data"
data=.
mask() { sed -i 's/^\(.*[Cc]reated on\).*$/\1 <created>/' "$1"; }

for m in hyp flw; do
    dev=$data/sample_$m.dev
    dat=$data/sample_$m.dat
    "$cli" simulate --model $m --dev "$dev" --records 12 --seed 7 -o "$out/sim_$m.bin"
    "$cli" replay --dev "$dev" "$data/sample_$m.bin" -o "$out/replay_$m.dat"
    "$cli" water "$dat" --records 2-10 --temp 21.3 -o "$out/water_$m.wcf"
    mask "$out/water_$m.wcf"
    "$cli" devfile "$dat" --records 2-10 -o "$out/devfile_$m.dev"
    for s in proportional baseline fraction; do
        "$cli" correct "$dat" --ctd "$data/sample_ctd.txt" --temp-source ctd --saln-source ctd \
            --apply temp,saln,scat --scat-method $s -o "$out/correct_${m}_$s.txt"
        mask "$out/correct_${m}_$s.txt"
    done
    "$cli" correct "$dat" --temp 12.5 --saln 34.8 --apply temp,saln,scat --chl \
        --scat-ref 700 --scat-no-negative -o "$out/correct_${m}_chl.txt"
    mask "$out/correct_${m}_chl.txt"
    "$cli" correct "$dat" -o "$out/correct_${m}_none.txt"
    mask "$out/correct_${m}_none.txt"
done
# A HYP water file subtracted (a data file taken in pure water stands in for the calibration).
"$cli" correct "$data/sample_hyp.dat" --water "$data/sample_hyp.dat" --apply water,temp \
    --temp 15 -o "$out/correct_hyp_water.txt"
mask "$out/correct_hyp_water.txt"
