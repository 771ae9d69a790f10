#!/usr/bin/env bash
# What `make run` starts: the desktop app when it is built, otherwise a correction of the sample data.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
if [ -x "$build/velmora" ]; then
    exec "$build/velmora" --demo hyp
fi
mkdir -p out
"$build/velmora-cli" correct data/sample_hyp.dat --ctd data/sample_ctd.txt \
    --temp-source ctd --saln-source ctd --apply temp,saln,scat -o out/sample_hyp_corrected.txt
echo "Corrected file written to out/sample_hyp_corrected.txt"
