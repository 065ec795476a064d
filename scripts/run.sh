#!/bin/sh
# Installs what is missing, builds starhop and flies among the shipped stars,
# or among the catalog named on the command line. The program runs in the
# folder run.sh was started in, so relative paths (a catalog, --picture's
# file) mean what they meant to the user; when no catalog is named, the
# shipped one is given by its full path.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)

# Whether the arguments name a catalog: an argument that is neither an option
# nor the value of one (--window, --at and --picture take one), or anything
# after "--". An option missing its value counts as naming one, so that the
# program, not a catalog taken for the value, says what is missing.
starhop_names_catalog() {
    while [ $# -gt 0 ]; do
        case $1 in
            --) [ $# -gt 1 ]; return ;;
            --window | --at | --picture) [ $# -gt 1 ] || return 0; shift ;;
            -?*) ;;
            *) return 0 ;;
        esac
        shift
    done
    return 1
}

# Runs PROGRAM with the arguments, and with the shipped catalog when they
# name none.
starhop_run() {
    program=$1
    shift
    if starhop_names_catalog "$@"; then
        exec "$program" "$@"
    fi
    exec "$program" "$@" "$top/data/stars.txt"
}

# tests/run_script_test.sh takes the functions above and builds nothing.
[ "${STARHOP_RUN_FUNCTIONS_ONLY:-}" = 1 ] && return 0

. "$top/scripts/deps.sh"
starhop_install_deps $STARHOP_BUILD_PACKAGES
cmake -S "$top" -B "$top/build" -DSTARHOP_TESTS=OFF >/dev/null
cmake --build "$top/build" --target starhop -j"$(nproc)"
starhop_run "$top/build/starhop" "$@"
