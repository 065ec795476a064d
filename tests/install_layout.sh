#!/bin/sh
# Installs the build into a scratch DESTDIR under a prefix other than the
# configured one, then checks that the desktop entry's program, working folder
# and icon are where it says, that the catalog there is the shipped one, that
# the catalog converter and both man pages are installed, and that the
# installed entry and metadata pass their validators.
# Usage: install_layout.sh CMAKE BUILD_DIR SOURCE_DIR
set -eu
cmake=$1 build=$2 source=$3
prefix=/opt/starhop-install-check
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail() { echo "install_layout: $*" >&2; exit 1; }

DESTDIR=$dest "$cmake" --install "$build" --prefix "$prefix" >/dev/null
root=$dest$prefix
id=io.github.starhop

entry=$root/share/applications/$id.desktop
[ -f "$entry" ] || fail "no desktop entry at $entry"
value() { sed -n "s/^$1=//p" "$entry"; }
exec_path=$(value Exec | cut -d' ' -f1)
work_dir=$(value Path)
icon=$(value Icon)

case $exec_path in "$prefix"/*) ;; *) fail "Exec=$exec_path is not under $prefix" ;; esac
[ -x "$dest$exec_path" ] || fail "Exec=$exec_path is not an installed program"
[ "$(value TryExec)" = "$exec_path" ] || fail "TryExec differs from Exec"
[ -f "$dest$work_dir/stars.txt" ] || fail "Path=$work_dir holds no stars.txt"
cmp -s "$dest$work_dir/stars.txt" "$source/data/stars.txt" || fail "installed catalog differs from data/stars.txt"
[ -f "$dest$work_dir/README.md" ] || fail "the catalog's README is not beside it"
[ -f "$root/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon is not installed"
[ -f "$root/share/man/man1/starhop.1" ] || fail "no man page"
[ -x "$root/bin/starhop-convert" ] || fail "no catalog converter at $root/bin/starhop-convert"
[ -f "$root/share/man/man1/starhop-convert.1" ] || fail "no man page for the catalog converter"
[ -f "$root/share/doc/starhop/LICENSE" ] || fail "no licence"

metainfo=$root/share/metainfo/$id.metainfo.xml
[ -f "$metainfo" ] || fail "no AppStream metadata"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metadata does not launch $id.desktop"

desktop-file-validate "$entry" || fail "installed desktop entry does not validate"
appstreamcli validate --no-net "$metainfo" >/dev/null || fail "installed metadata does not validate"
if command -v groff >/dev/null; then
    for page in starhop starhop-convert; do
        warnings=$(groff -t -man -ww -z -Tutf8 "$root/share/man/man1/$page.1" 2>&1)
        [ -z "$warnings" ] || fail "man page $page.1: $warnings"
    done
fi
echo "installed under $prefix: program, catalog converter, catalog, desktop entry, icon, man pages, metadata"
