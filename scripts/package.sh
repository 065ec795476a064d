#!/bin/sh
# Builds the Debian package starhop_<version>_<arch>.deb into the top folder:
# installs what building it needs, builds it in a scratch copy of the source
# (dpkg-buildpackage writes beside the folder it builds, which need not be
# writable), runs the unit tests during the build, runs lintian (any error or
# warning fails), then unpacks the package into a throwaway root and checks
# that its program answers --version with the project's version and that the
# catalog, desktop entry, icon, man page and metadata stand where they should.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/deps.sh"
fail() { echo "package: $*" >&2; exit 1; }

# The tools, then the package's own build dependencies from debian/control.
starhop_install_deps dpkg-dev debhelper lintian desktop-file-utils appstream
if ! (cd "$top" && dpkg-checkbuilddeps >/dev/null 2>&1); then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing the build dependencies of debian/control"
    $sudo apt-get update -qq
    (cd "$top" && DEBIAN_FRONTEND=noninteractive $sudo apt-get build-dep -y -qq --no-install-recommends ./)
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
src=$scratch/starhop
mkdir "$src"
# The files of the checkout as they are now, committed or not; no build folders.
if git -C "$top" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$top" && git ls-files -z --cached --others --exclude-standard |
        xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\n" "$f"; done' sh |
        tar -c -T - -f -) | tar -x -C "$src"
else
    (cd "$top" && tar -c --exclude='./build*' --exclude='./obj-*' --exclude='./debian/starhop' -f - .) |
        tar -x -C "$src"
fi

echo "Building the package in $src"
(cd "$src" && dpkg-buildpackage -us -uc -b -j"$(nproc)") >"$scratch/build.log" 2>&1 ||
    { tail -80 "$scratch/build.log"; fail "dpkg-buildpackage failed"; }
grep -E "tests passed|tests failed" "$scratch/build.log" || fail "the build ran no tests"

changes=$(ls "$scratch"/starhop_*.changes)
deb=$(ls "$scratch"/starhop_*.deb)
echo "lintian $(basename "$changes"):"
lintian --info --fail-on error,warning "$changes" || fail "lintian found errors or warnings"

# The package's version is the project's, with the Debian revision after it.
project_version=$(sed -n 's/^project(starhop VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
[ -n "$project_version" ] || fail "no version in the project() line of CMakeLists.txt"
package_version=$(dpkg-deb -f "$deb" Version)
[ "${package_version%-*}" = "$project_version" ] ||
    fail "the package is version $package_version, the project $project_version"

root=$scratch/root
dpkg -x "$deb" "$root"
answer=$("$root/usr/bin/starhop" --version) || fail "the unpacked program does not run --version"
[ "$answer" = "starhop $project_version" ] || fail "the unpacked program answers '$answer'"

id=io.github.starhop
entry=$root/usr/share/applications/$id.desktop
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
for f in usr/share/starhop/stars.txt usr/share/starhop/README.md usr/share/applications/$id.desktop \
         usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/man/man1/starhop.1.gz \
         usr/bin/starhop-convert usr/share/man/man1/starhop-convert.1.gz \
         usr/share/metainfo/$id.metainfo.xml usr/share/doc/starhop/copyright; do
    [ -f "$root/$f" ] || fail "no /$f in the package"
done
cmp -s "$root/usr/share/starhop/stars.txt" "$top/data/stars.txt" || fail "the packaged catalog is not data/stars.txt"
value() { sed -n "s/^$1=//p" "$entry"; }
[ "$(value Exec)" = "/usr/bin/starhop %f" ] || fail "the desktop entry runs '$(value Exec)'"
[ "$(value Path)" = /usr/share/starhop ] || fail "the desktop entry starts in '$(value Path)'"
[ "$(value Icon)" = "$id" ] || fail "the desktop entry's icon is '$(value Icon)'"
[ "$(value StartupWMClass)" = starhop ] || fail "the desktop entry expects the window class '$(value StartupWMClass)'"
desktop-file-validate "$entry" || fail "the packaged desktop entry does not validate"
appstreamcli validate --no-net "$metainfo" >/dev/null || fail "the packaged metadata does not validate"
grep -q "<release version=\"$project_version\"" "$metainfo" || fail "the metadata does not name release $project_version"
zcat "$root/usr/share/man/man1/starhop.1.gz" | head -1 | grep -q "\"starhop $project_version\"" ||
    fail "the man page does not name version $project_version"

cp "$deb" "$top/"
echo "package: $(basename "$deb") built, lintian clean; unpacked, it answers '$answer' and holds the catalog," \
     "converter, desktop entry, icon, man pages and metadata"
