#!/bin/sh
# Installs the Debian packages that building, running and testing starhop need,
# skipping the ones already there. Sourced by run.sh and test.sh.
starhop_install_deps() {
    missing=""
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing:$missing"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}

STARHOP_BUILD_PACKAGES="build-essential cmake pkg-config liballegro4-dev zlib1g-dev libx11-dev librsvg2-bin libpng-dev"
STARHOP_TEST_PACKAGES="libgtest-dev libbenchmark-dev xvfb xauth libx11-dev libxtst-dev desktop-file-utils appstream clang libclang-rt-14-dev groff-base"
# Only for docs/ and the benchmarks: bench/run.sh, which measures and plots
# docs/performance.md, screenshots.sh, which writes the screenshots, and
# bench/window_fps.sh, which drives the window (xdotool) and reads its title
# (xprop, in x11-utils).
STARHOP_DOCS_PACKAGES="gnuplot-nox time xdotool x11-utils"
