#!/bin/sh
# Builds the fuzz targets with clang and runs each one for a bounded time from
# the committed corpus (seconds per target: first argument, default 60). A
# crash, a sanitizer report, a failed check or a hang stops with a non-zero
# status; the input that did it is kept in build-fuzz/artifacts/. New inputs
# the fuzzer finds go to build-fuzz/corpus-*/, never into the committed corpus.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$top/build-fuzz"
cmake -S "$top" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DSTARHOP_FUZZ=ON -DSTARHOP_TESTS=OFF -DSTARHOP_WERROR=ON >/dev/null
cmake --build "$build" --target load_fuzz draw_fuzz location_fuzz -j"$(nproc)"
mkdir -p "$build/artifacts"
for target in load draw location; do
    mkdir -p "$build/corpus-$target"
    dict=""
    [ "$target" = load ] && dict="-dict=$top/fuzz/catalog.dict"
    log="$build/$target.log"
    echo "Fuzzing ${target}_fuzz for $seconds s"
    if ! "$build/fuzz/${target}_fuzz" "$build/corpus-$target" "$top/fuzz/corpus/$target" $dict \
            -max_total_time="$seconds" -max_len=65536 -timeout=30 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1; then
        grep -v "^#" "$log" | tail -60
        echo "${target}_fuzz failed; its input is in $build/artifacts/" >&2
        exit 1
    fi
    grep -E "DONE|stat::number_of_executed_units|stat::average_exec_per_sec" "$log"
done
