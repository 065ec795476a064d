#!/bin/sh
# What flying costs with the window shown and with it unmapped (as a window
# manager does when it minimises it), under Xvfb:
#
#   bench/hidden_cpu.sh STARHOP CATALOG [WxH] [SETTLE_SECONDS]
#
# Starts the program with --window WxH (default 1920x1080), waits
# SETTLE_SECONDS (default 20) for the load, holds Space and reads its
# processor time over 10 s shown, then 10 s with the window unmapped.
set -e
[ -x "$1" ] && [ -r "$2" ] || { echo "usage: $0 STARHOP CATALOG [WxH] [SETTLE_SECONDS]" >&2; exit 2; }
xvfb-run -a -s "-screen 0 2560x1600x24 -noreset" sh -c '
    "$1" --window "$3" "$2" >/dev/null 2>&1 &
    pid=$!
    sleep "$4"
    window=$(xdotool search --name "^starhop" | head -n 1)
    xdotool windowfocus "$window"
    xdotool keydown space
    sleep 2
    ticks() { awk "{ print \$14 + \$15 }" "/proc/$pid/stat"; }
    a=$(ticks); sleep 10; b=$(ticks)
    xdotool windowunmap "$window"
    sleep 1
    c=$(ticks); sleep 10; d=$(ticks)
    xdotool windowmap "$window"
    xdotool keyup space
    kill "$pid"
    awk -v shown=$((b - a)) -v hidden=$((d - c)) -v hz="$(getconf CLK_TCK)" "BEGIN {
        printf \"flying, shown: %.1f %% of a core; flying, unmapped: %.1f %%\\n\", 10 * shown / hz, 10 * hidden / hz }"
' sh "$1" "$2" "${3:-1920x1080}" "${4:-20}"
