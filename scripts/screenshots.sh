#!/usr/bin/env bash
# Remakes the pictures of the README in app/resources/ from the sample data:
#   scripts/screenshots.sh [build]
# The sample HYP cast is processed by a recipe (CTD with UTC times, GPS, c onto the a
# wavelengths, the residual temperature correction, QC flags and 10 s time bins, or 2 m depth
# bins for the depth plot) and rendered offscreen.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
app="$build/velmora"
out=app/resources
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export VELMORA_SETTINGS="$tmp/settings.json" # the user's own settings stay out of the pictures

# The simulated cast is clean: the spike thresholds are tightened so that its noise shows
# what flagged values look like.
"$build/velmora-cli" correct --ctd data/sample_ctd_iso.txt --ctd-time iso \
    --temp-source ctd --saln-source ctd --gps data/sample_gps.nmea --apply temp,saln,scat \
    --grid a --scat-method residual-temp --qc --qc-set spike_suspect=0.006,spike_fail=0.015 \
    --bin time:10 --save-recipe "$tmp/time.json"
"$build/velmora-cli" correct --recipe "$tmp/time.json" --bin depth:2 \
    --save-recipe "$tmp/depth.json"

shot() { # PNG RECIPE [more arguments]
    local png=$1 recipe=$2
    shift 2
    "$app" --screenshot "$out/$png" --recipe "$tmp/$recipe" "$@" data/sample_hyp.dat
    echo "$out/$png"
}
"$app" --screenshot "$out/screenshot.png" --tab 1 data/sample_hyp.dat && echo "$out/screenshot.png"
shot screenshot_processing.png time.json --tab 1 --size 1100x1020
shot view_time_qc.png time.json --view time
shot view_spectral_qc.png time.json --view spectral
shot view_depth_bins.png depth.json --view depth
shot view_binned.png time.json --view binned
shot view_residual.png time.json --view residual
