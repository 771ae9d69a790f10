#!/bin/bash
# Runs every benchmark of the project and the pandas reference script in one run and prints one
# table (markdown) with the machine it ran on.
#
#   bench/report.sh BUILD_DIR
#
# Environment: REPEAT (post-processing runs of Velmora and of pandas, alternating; the table takes
# the median of each figure; default 3), KEEP_FILES=1 keeps the generated data files, BASELINE=DIR
# a build folder of earlier code whose velmora-bench-core runs beside this one's: its figures join
# the table, and its corrected file must be byte-identical with this one's.
# Everything it writes stays under BUILD_DIR/bench/report: one log per program, the RESULT lines
# collected in results.txt, and the table in report.md.
set -euo pipefail

if [ $# -lt 1 ] || [ ! -d "$1/bench" ]; then
    echo "usage: $0 BUILD_DIR   (a build folder holding bench/velmora-bench-*)" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
bench=$(cd "$1/bench" && pwd)
out="$bench/report"
work="$out/work"
python=/usr/bin/python3 # Debian's, with python3-pandas and python3-numpy
repeat=${REPEAT:-3}
baseline=${BASELINE:-}
if [ -n "$baseline" ]; then
    if [ ! -x "$baseline/bench/velmora-bench-core" ]; then
        echo "$0: BASELINE=$baseline holds no bench/velmora-bench-core" >&2
        exit 2
    fi
    baseline=$(cd "$baseline" && pwd)
fi

for prog in velmora-bench-core velmora-bench-link velmora-bench-views velmora-bench-app; do
    if [ ! -x "$bench/$prog" ]; then
        echo "$0: $bench/$prog is missing; build first (make build)" >&2
        exit 1
    fi
done
if ! "$python" -c 'import pandas, numpy' 2>/dev/null; then
    echo "$0: $python cannot import pandas and numpy (Debian: python3-pandas python3-numpy)" >&2
    exit 1
fi

rm -rf "$out"
mkdir -p "$work"
results="$out/results.txt"
: >"$results"

# Runs a program with its output in LOG and its errors in LOG's .err; on failure shows the errors
# and stops the report.
run_logged() { # log program args...
    local log=$1
    shift
    if ! "$@" >"$log" 2>"${log%.log}.err"; then
        echo "$0: $* failed; its output is in $log" >&2
        tail -n 20 "${log%.log}.err" >&2
        exit 1
    fi
}

# RESULT lines of a log, with a prefix for the repetition they came from.
collect() { # log [run]
    grep '^RESULT ' "$1" | sed "s/^RESULT /RESULT ${2:+run$2.}/" >>"$results" || true
}
step() { printf '%s\n' "$*" >&2; }

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date +%s)

# Post processing: Velmora then pandas on the very same files, REPEAT times.
for run in $(seq 1 "$repeat"); do
    step "[$run/$repeat] velmora-bench-core (100,000 records x 86 channels)"
    log="$out/core.$run.log"
    run_logged "$log" "$bench/velmora-bench-core" 100000 "$work" --keep
    collect "$log" "$run"
    data=$(awk '$2 == "core.file.data" {print $3}' "$log")
    ctd=$(awk '$2 == "core.file.ctd" {print $3}' "$log")
    water=$(awk '$2 == "core.file.water" {print $3}' "$log")
    corrected=$(awk '$2 == "core.file.corrected" {print $3}' "$log")
    folder=$(dirname "$data")
    step "[$run/$repeat] reference_pandas.py on the same files"
    log="$out/pandas.$run.log"
    run_logged "$log" "$python" "$here/reference_pandas.py" run "$data" "$ctd" "$water" \
        "$folder/pandas_corrected.dat"
    collect "$log" "$run"
    if [ -n "$baseline" ]; then
        step "[$run/$repeat] the baseline's velmora-bench-core"
        log="$out/baseline.$run.log"
        mkdir -p "$work/baseline"
        run_logged "$log" "$baseline/bench/velmora-bench-core" 100000 "$work/baseline" --keep
        grep '^RESULT core\.' "$log" | sed "s/^RESULT core\./RESULT run$run.baseline./" \
            >>"$results" || true
        base_data=$(awk '$2 == "core.file.data" {print $3}' "$log")
        base_corrected=$(awk '$2 == "core.file.corrected" {print $3}' "$log")
        if [ "$run" = 1 ]; then
            # Same input bytes; the corrected files then differ at most in lines 4 to 6, which
            # name the input files (each program made its own folder).
            same=0
            if cmp -s "$data" "$base_data" &&
                cmp -s <(sed 4,6d "$corrected") <(sed 4,6d "$base_corrected"); then
                same=1
            fi
            echo "RESULT compare.baseline_identical $same bool" >>"$results"
        fi
        rm -rf "$(dirname "$base_data")"
    fi
    if [ "$run" = 1 ]; then
        step "comparing the two corrected files"
        log="$out/compare.log"
        "$python" "$here/reference_pandas.py" compare "$corrected" "$folder/pandas_corrected.dat" \
            >"$log" 2>"$out/compare.err" || true
        collect "$log"
        if cmp -s "$corrected" "$folder/pandas_corrected.dat"; then
            echo "RESULT compare.identical 1 bool" >>"$results"
        else
            echo "RESULT compare.identical 0 bool" >>"$results"
        fi
    fi
    if [ "${KEEP_FILES:-0}" != 1 ]; then
        rm -rf "$folder"
    fi
done

step "velmora-bench-link (200 MB replay per model)"
run_logged "$out/link.log" "$bench/velmora-bench-link"
collect "$out/link.log"
step "velmora-bench-views (345,600 records)"
run_logged "$out/views.log" "$bench/velmora-bench-views"
collect "$out/views.log"
step "velmora-bench-app (tick at 1 h, 6 h, 24 h)"
run_logged "$out/app.log" "$bench/velmora-bench-app"
collect "$out/app.log"

{
    echo "RESULT machine.load_before $load_before"
    echo "RESULT machine.load_after $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "RESULT machine.seconds $(($(date +%s) - started)) s"
} >>"$results"

"$python" "$here/report_table.py" "$results" "$repeat" | tee "$out/report.md"

# Wrong numbers fail the report, whatever the speed.
if [ -n "$baseline" ] && ! grep -q '^RESULT compare.baseline_identical 1 ' "$results"; then
    echo "$0: the corrected file differs from the one the baseline build wrote" >&2
    exit 1
fi
if ! grep -q '^RESULT compare.match 1 ' "$results"; then
    echo "$0: the corrected files of Velmora and pandas hold different numbers;" \
        "see $out/compare.log" >&2
    exit 1
fi
