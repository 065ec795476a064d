#!/bin/sh
# The real program's frame rate in its window while flying, under Xvfb:
#
#   bench/window_fps.sh STARHOP CATALOG WxH [SETTLE_SECONDS] [SECONDS] [OPTION...]
#
# Starts the program with --window WxH on its own X server, waits
# SETTLE_SECONDS (default 10) for the load and the name index, then holds
# Space (full thrust: every frame is drawn) and reads the rate the window's
# title shows once a second for SECONDS (default 10). Prints the readings,
# lowest to highest, their median, and the share of a core the program took
# meanwhile (at rest it draws nothing, so a high share shows it was flying).
# Then it unmaps the window, as a window manager does when it minimises it,
# and gives the share of a core over SECONDS more of flying unseen.
# Any OPTIONs go to the program, e.g. --at "LINE" to start far from Earth.
set -e
if [ "$1" != --on-display ]; then
    [ -x "$1" ] && [ -r "$2" ] && [ -n "$3" ] ||
        { echo "usage: $0 STARHOP CATALOG WxH [SETTLE_SECONDS] [SECONDS] [OPTION...]" >&2; exit 2; }
    . "$(dirname "$0")/../scripts/deps.sh"
    starhop_install_deps xvfb xauth xdotool x11-utils
    exec xvfb-run -a -s "-screen 0 2560x1600x24 -noreset" "$0" --on-display "$@"
fi
program=$2 catalog=$3 size=$4 settle=${5:-10} seconds=${6:-10}
shift $(($# < 6 ? $# : 6))
"$program" --window "$size" "$@" "$catalog" >/dev/null 2>&1 &
pid=$!
sleep "$settle"
window=$(xdotool search --name '^starhop' | head -n 1)
xdotool windowfocus "$window"
xdotool keydown space
sleep 2
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(ticks)
i=0
rates=
while [ "$i" -lt "$seconds" ]; do
    rates="$rates $(xprop -id "$window" WM_NAME | sed -n 's/.* \([0-9][0-9]*\) fps.*/\1/p')"
    sleep 1
    i=$((i + 1))
done
after=$(ticks)
xdotool windowunmap "$window"
sleep 1
unseen_before=$(ticks)
sleep "$seconds"
unseen_after=$(ticks)
xdotool windowmap "$window"
xdotool keyup space
kill "$pid"
hz=$(getconf CLK_TCK)
echo $rates | tr ' ' '\n' | sort -n | awk -v size="$size" -v t=$((after - before)) -v hz="$hz" -v s="$seconds" '
    { v[NR] = $1; line = line " " $1 }
    END { printf "%s while flying: fps%s (median %d), %.0f %% of a core\n", size, line, v[int((NR + 1) / 2)], 100 * t / hz / s }'
awk -v size="$size" -v t=$((unseen_after - unseen_before)) -v hz="$hz" -v s="$seconds" '
    BEGIN { printf "%s while flying with the window unmapped: %.1f %% of a core\n", size, 100 * t / hz / s }'
