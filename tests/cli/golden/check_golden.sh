#!/bin/sh
# Every file velmora-cli makes from the sample data must match the checksums in expected.sha256
# byte for byte.  After a change that is meant to alter an output, rebless with
#   tests/cli/golden/check_golden.sh path/to/velmora-cli --update
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cli=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$here/make_golden.sh" "$cli" "$out" > /dev/null
cd "$out"
if [ "${2:-}" = "--update" ]; then
    sha256sum -- * > "$here/expected.sha256"
    echo "expected.sha256 rewritten"
    exit 0
fi
sha256sum -c --quiet "$here/expected.sha256"
# No file may appear that the list does not know.
ls | sort > "$out.names"
cut -c67- "$here/expected.sha256" | sort | diff - "$out.names"
rm -f "$out.names"
echo "every sample output is byte-identical"
