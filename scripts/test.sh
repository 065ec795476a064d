#!/bin/sh
# Installs what is missing, builds everything and runs every test. Window tests
# run the real program on a virtual X display started here. Every build here
# treats warnings as errors (STARHOP_WERROR); the package build does not.
# With --quick first, stops after the build and CTest: the gate while working,
# a few minutes; the full run, package, sanitizers and fuzzing, is the gate for
# what lands. Other arguments go to ctest.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
quick=
if [ "$1" = "--quick" ]; then
    quick=1
    shift
fi
. "$top/scripts/deps.sh"
starhop_install_deps $STARHOP_BUILD_PACKAGES $STARHOP_TEST_PACKAGES
cmake -S "$top" -B "$top/build" -DSTARHOP_TESTS=ON -DSTARHOP_WERROR=ON >/dev/null
cmake --build "$top/build" -j"$(nproc)"
(cd "$top/build" && STARHOP_REQUIRE_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j2 "$@")
if [ -n "$quick" ]; then exit 0; fi
# The Debian package: built with its unit tests, lintian clean, and unpacked
# to check what it installs.
"$top/scripts/package.sh"
# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer,
# then a minute of fuzzing for each fuzz target; any fault fails the run.
"$top/scripts/sanitize.sh" "$@"
"$top/scripts/fuzz.sh" 60
