#!/bin/sh
# Installs the build into a scratch DESTDIR under its configured prefix, puts
# the staged data directory where the program looks for it (a bind mount in a
# mount namespace of this script's own, so nothing outside changes), and runs
# the staged program from an empty folder: it must read the staged catalog,
# say so (on the picture too, so the pictures differ), and end its load as the
# shipped catalog named outright does.
# Exits 77 (skipped) where no mount namespace can be made.
# Usage: installed_catalog.sh CMAKE BUILD_DIR SOURCE_DIR BINDIR DATA_DIR
set -eu
cmake=$1 build=$2 source=$3 bindir=$4 data_dir=$5
fail() { echo "installed_catalog: $*" >&2; exit 1; }
share=$(dirname "$data_dir")
if [ ! -d "$share" ]; then echo "installed_catalog: no $share on this machine to mount over"; exit 77; fi
if unshare --mount true 2>/dev/null; then ns="unshare --mount"
elif unshare --user --map-root-user --mount true 2>/dev/null; then ns="unshare --user --map-root-user --mount"
else echo "installed_catalog: no mount namespace can be made here"; exit 77; fi

dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest "$cmake" --install "$build" >/dev/null
staged=$dest$bindir/starhop
[ -x "$staged" ] || fail "no program installed at $bindir"
cmp -s "$dest$data_dir/stars.txt" "$source/data/stars.txt" || fail "no shipped catalog installed in $data_dir"

work=$dest/work
mkdir "$work"
status=0
(cd "$work" && $ns sh -c 'mount --bind "$1" "$2" && exec env -u DISPLAY "$3" --picture "$4"' \
    sh "$dest$share" "$share" "$staged" "$work/found.png" >"$dest/out" 2>"$dest/err") || status=$?
[ "$status" -eq 0 ] || fail "status $status: $(cat "$dest/err")"
said=$(cat "$dest/err")
[ "$said" = "No stars.txt in the working directory: reading $data_dir/stars.txt" ] || fail "said: $said"

(cd "$work" && env -u DISPLAY "$staged" --picture "$work/named.png" "$source/data/stars.txt" >"$dest/named-out" 2>/dev/null) ||
    fail "the shipped catalog named outright does not draw"
cmp -s "$dest/out" "$dest/named-out" || fail "closing line $(cat "$dest/out"), not $(cat "$dest/named-out")"
[ -s "$work/found.png" ] || fail "no picture written"
echo "read the staged $data_dir/stars.txt from an empty folder"
