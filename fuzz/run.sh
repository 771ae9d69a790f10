#!/bin/sh
# Runs every libFuzzer target for SECONDS seconds, one after the other.
#   fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
# Configures BUILD_DIR with clang and -DVELMORA_FUZZ=ON and builds only the fuzz targets.  Each
# target works on its own corpus copy in BUILD_DIR/corpus/<target>, seeded from
# fuzz/corpus/<target> and fuzz/regressions/<target> (the committed corpus never grows on its
# own), with crash reproducers in BUILD_DIR/artifacts/<target>/ and its log in
# BUILD_DIR/logs/<target>.log.  Exits non-zero when any target found something.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-build-fuzz}
seconds=${2:-60}
[ $# -ge 2 ] && shift 2 || shift $#
targets=${*:-"devfile load_file load_water ctd gps hyp_stream flw_stream settings recipe"}
case $build in /*) ;; *) build=$root/$build ;; esac

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DVELMORA_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 1; }
jobs=${JOBS:-$(nproc)}
exes=""
for t in $targets; do exes="$exes --target velmora-fuzz-$t"; done
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" $exes

# The readers take paths: their input files live in a per-process folder, in memory when possible.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
summary=""
failed=0
for t in $targets; do
    work=$build/corpus/$t
    artifacts=$build/artifacts/$t
    mkdir -p "$work" "$artifacts" "$build/logs"
    cp -n "$here/corpus/$t/"* "$work/" 2>/dev/null || true
    for f in "$here/regressions/$t/"*; do
        [ -f "$f" ] && cp -n "$f" "$work/" || true
    done
    dict=""
    [ -f "$here/dict/$t.dict" ] && dict="-dict=$here/dict/$t.dict"
    log=$build/logs/$t.log
    # Reproducers of earlier runs stay where they are; only new ones count as findings.
    before=$(ls "$artifacts" | wc -l)
    echo "== $t: $seconds s"
    set +e
    # shellcheck disable=SC2086
    "$build/fuzz/velmora-fuzz-$t" "$work" -max_total_time="$seconds" -timeout=30 \
        -rss_limit_mb=2560 -max_len=${MAX_LEN:-65536} -print_final_stats=1 \
        -artifact_prefix="$artifacts/" $dict >"$log" 2>&1
    rc=$?
    set -e
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    found=$(($(ls "$artifacts" | wc -l) - before))
    if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
        failed=1
        line="$t: ${execs:-?} executions, FOUND $found input(s) in $artifacts (exit $rc, log $log)"
        grep -E "^==[0-9]+==ERROR|runtime error|property broken|deadly signal|timeout|out-of-memory" \
            "$log" | head -n 3
    else
        line="$t: ${execs:-?} executions, nothing found"
    fi
    echo "$line"
    summary="$summary$line
"
done
echo
echo "Fuzzing summary ($seconds s per target):"
printf '%s' "$summary"
exit "$failed"
