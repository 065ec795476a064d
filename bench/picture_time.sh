#!/bin/sh
# Seconds from the closing line a --picture run prints (the load's end) to the
# program's end: what the picture costs after the stars are read.
#   bench/picture_time.sh STARHOP CATALOG [RUNS]
set -e
starhop=$1 catalog=$2 runs=${3:-3}
[ -x "$starhop" ] && [ -f "$catalog" ] || { echo "usage: $0 STARHOP CATALOG [RUNS]" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for run in $(seq "$runs"); do
    "$starhop" --picture "$out/sky.png" "$catalog" 2>/dev/null | while IFS= read -r line; do date +%s.%N; done >"$out/closing"
    ended=$(date +%s.%N)
    closed=$(tail -1 "$out/closing")
    awk -v run="$run" -v a="$closed" -v b="$ended" 'BEGIN { printf "run %d: %.2f s after the closing line\n", run, b - a }'
done
