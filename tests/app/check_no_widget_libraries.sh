#!/bin/sh
# Fails when any program given loads a widget library: Qt Widgets, PrintSupport, Svg or the
# plot widget.  ldd lists what the dynamic loader would load, indirect libraries included.
status=0
for program in "$@"; do
    if ! libs=$(ldd "$program"); then
        echo "$program: ldd failed" >&2
        status=1
        continue
    fi
    found=$(printf '%s\n' "$libs" | grep -i -E 'libQt6(Widgets|PrintSupport|Svg)|qcustomplot')
    if [ -n "$found" ]; then
        echo "$program links widget libraries:" >&2
        printf '%s\n' "$found" >&2
        status=1
    fi
done
exit $status
