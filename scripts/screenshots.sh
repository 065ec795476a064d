#!/bin/sh
# Installs what is missing, builds starhop and takes the pictures README.md
# shows, docs/start.png and docs/names.png, from the real program on the
# shipped catalog, in a virtual X display started here.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/deps.sh"
starhop_install_deps $STARHOP_BUILD_PACKAGES $STARHOP_TEST_PACKAGES $STARHOP_DOCS_PACKAGES
build=${STARHOP_BUILD_DIR:-"$top/build"}   # the build folder, build/ unless set
cmake -S "$top" -B "$build" -DSTARHOP_TESTS=ON >/dev/null
cmake --build "$build" --target take_screenshots -j"$(nproc)"
mkdir -p "$top/docs"
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
    "$build/tests/take_screenshots" "$top/docs/start.png" "$top/docs/names.png"
