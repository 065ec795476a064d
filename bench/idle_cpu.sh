#!/bin/sh
# Share of one core the real program takes with nothing moving, under Xvfb:
#
#   bench/idle_cpu.sh STARHOP_BINARY CATALOG [SECONDS]
#
# Starts the program on its own X server, lets it settle for three seconds,
# then reads its processor time (user and system, from /proc) over SECONDS
# (default 10) and prints it as a percentage of one core.
set -e
binary=$1
catalog=$2
seconds=${3:-10}
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" sh -c '
    "$1" "$2" >/dev/null 2>&1 &
    pid=$!
    sleep 3
    ticks() { awk "{ print \$14 + \$15 }" /proc/$pid/stat; }
    before=$(ticks)
    sleep "$3"
    after=$(ticks)
    kill $pid
    wait $pid || true                           # ended before its display goes
    hz=$(getconf CLK_TCK)
    awk -v t=$((after - before)) -v hz=$hz -v s="$3" "BEGIN { printf \"at rest: %.2f %% of a core over %d s\\n\", 100 * t / hz / s, s }"
' sh "$binary" "$catalog" "$seconds"
