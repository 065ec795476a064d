#!/bin/sh
# Builds the whole test suite once more with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan and runs it there, window tests
# included. Any sanitizer report fails the test that triggered it. Arguments
# go to ctest.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-asan"
cmake -S "$top" -B "$build" -DSTARHOP_TESTS=ON -DSTARHOP_SANITIZE=ON -DSTARHOP_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
# Every leak is reported except what scripts/lsan.supp names as meant (at
# present nothing). The slow unwinder follows a leak's stack through the
# library's frames, which have no frame pointers, up to our own code, which a
# suppression would name.
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0"
export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
STARHOP_REQUIRE_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j2 "$@"
