#!/bin/sh
# The viewer's own peak resident size on a catalog, measured on the real
# program under Xvfb: from start until the name index is ready and frames run.
#
#   bench/viewer_peak.sh STARHOP CATALOG [QUIET_SECONDS]
#
# Prints "STARS stars: viewer peak resident KIB KiB, BYTES bytes a star" (the
# stars counted from the catalog's lines). The peak (VmHWM) is read from
# /proc every half second; once it has not grown for QUIET_SECONDS (default
# 5) after the closing line of the load, the viewer is ended.
set -e
program=$1
catalog=$2
quiet=${3:-5}
[ -x "$program" ] && [ -r "$catalog" ] || { echo "usage: $0 STARHOP CATALOG [QUIET_SECONDS]" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
    sh -c 'echo $$ > "$1/pid"; exec "$2" "$3" > "$1/out" 2> "$1/err"' sh "$work" "$program" "$catalog" &
runner=$!
while [ ! -s "$work/pid" ]; do sleep 0.1; done
pid=$(cat "$work/pid")
peak=0
still=0
while kill -0 "$pid" 2>/dev/null; do
    now=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)
    [ -n "$now" ] || now=0
    if [ "$now" -gt "$peak" ]; then peak=$now; still=0; else still=$((still + 1)); fi
    if grep -q '^Fail after reading' "$work/out" 2>/dev/null && [ "$still" -ge $((quiet * 2)) ]; then break; fi
    sleep 0.5
done
kill "$pid" 2>/dev/null || true
wait "$runner" 2>/dev/null || true
stars=$(wc -l < "$catalog")
awk -v s="$stars" -v k="$peak" 'BEGIN { printf "%d stars: viewer peak resident %d KiB, %.1f bytes a star\n", s, k, k * 1024.0 / s }'
