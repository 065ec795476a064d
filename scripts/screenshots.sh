#!/bin/sh
# Installs what is missing, builds starhop and draws the pictures README.md
# shows from the shipped catalog with --picture, no display needed:
# docs/start.png (the view at start), docs/names.png (the same with the names
# on) and docs/orion.png (Orion seen from the side, 1,000 light years out).
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/deps.sh"
starhop_install_deps $STARHOP_BUILD_PACKAGES
build=${STARHOP_BUILD_DIR:-"$top/build"}   # the build folder, build/ unless set
cmake -S "$top" -B "$build" >/dev/null
cmake --build "$build" --target starhop -j"$(nproc)"
mkdir -p "$top/docs"
catalog="$top/data/stars.txt"
orion="starhop-at:1 -800,600,0 0.986636758,0.159384385,-0.0338316858 -0.0333987065,-0.00539533142,-0.999427557 zoom=-2 exposure=+1.0 speed=0"
"$build/starhop" --picture "$top/docs/start.png" "$catalog" >/dev/null
"$build/starhop" --names --picture "$top/docs/names.png" "$catalog" >/dev/null
"$build/starhop" --names --at "$orion" --picture "$top/docs/orion.png" "$catalog" >/dev/null
