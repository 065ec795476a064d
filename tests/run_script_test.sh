#!/bin/sh
# scripts/run.sh started from another folder: a catalog and a --picture file
# named by relative paths are found from the folder it was started in, and
# with no catalog named the shipped one is read, whatever options with values
# come before. It takes run.sh's own functions (STARHOP_RUN_FUNCTIONS_ONLY=1
# stops it before it installs or builds anything) and runs them on the built
# program with --picture, which needs no display.
# Usage: run_script_test.sh STARHOP SOURCE_DIR
set -eu
program=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "run_script: $*" >&2; exit 1; }

[ -f "$source/scripts/run.sh" ] || fail "no scripts/run.sh in $source"
grep -q '^starhop_run()' "$source/scripts/run.sh" || fail "run.sh has no starhop_run to test"

mkdir "$work/cats" "$work/out"
head -3 "$source/data/stars.txt" >"$work/cats/mine.txt"
mine="Fail after reading Canopus at Distance 313.612"
shipped=$(cd "$work" && env -u DISPLAY "$program" --picture "$work/shipped.png" "$source/data/stars.txt" 2>/dev/null)
[ "$shipped" != "$mine" ] || fail "the shipped catalog ends as the test's does"
at="starhop-at:1 -800,600,0 0.986636758,0.159384385,-0.0338316858 -0.0333987065,-0.00539533142,-0.999427557 zoom=-2 exposure=+1.0 speed=0"

# Runs run.sh's starhop_run from the scratch folder, in a shell of its own
# (it ends in exec) whose $0 is run.sh, as when run.sh is started; the
# arguments are those after the first, which is the closing line the program
# must write. The picture must land in out/.
check() {
    want=$1
    shift
    rm -f "$work"/out/*
    got=$(cd "$work" && env -u DISPLAY STARHOP_RUN_FUNCTIONS_ONLY=1 \
          sh -c '. "$0"; starhop_run "$@"' "$source/scripts/run.sh" "$program" "$@" 2>"$work/err") ||
        fail "run.sh $* ended with status $?: $(cat "$work/err")"
    [ "$got" = "$want" ] || fail "run.sh $* read '$got', not '$want' ($(cat "$work/err"))"
    [ -n "$(ls "$work/out")" ] || fail "run.sh $* drew no picture in out/"
}
check "$mine" --picture out/a.png cats/mine.txt
check "$mine" cats/mine.txt --window 800x600 --picture out/b.png
check "$mine" --names --at "$at" --picture out/c.png -- cats/mine.txt
check "$shipped" --picture out/d.png
check "$shipped" --window 800x600 --at "$at" --picture out/e.png
check "$shipped" --window=800x600 --names --picture out/f.png --
echo "run.sh from another folder: relative catalog and picture paths kept; the shipped catalog when none is named"
