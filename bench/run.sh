#!/bin/sh
# Measures the figures of docs/performance.md and draws its plot:
#
#   bench/run.sh [BUILD_DIR]          (default: build-release beside this folder)
#
# Builds the benchmark optimised (Release), writes the synthetic catalogs into
# BUILD_DIR/bench-data the first time (about 1 GB for all sizes, never part of
# the repository), runs every frame, floor and load benchmark with five
# repetitions, times the load and the star groups of fresh processes as at
# start-up, measures the peak resident size of a 10 million star load in a
# process of its own and of the viewer itself (under Xvfb, until its name
# index is ready), takes the processor share of the real program at rest
# under Xvfb, and draws docs/performance.png with gnuplot. Takes a few
# minutes; run it on an otherwise idle machine.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-release}
. "$top/scripts/deps.sh"
starhop_install_deps $STARHOP_BUILD_PACKAGES $STARHOP_TEST_PACKAGES $STARHOP_DOCS_PACKAGES

cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target starhop_bench starhop -j"$(nproc)"
bench="$build/bench/starhop_bench"
data="$build/bench-data"
mkdir -p "$data"

echo "== machine"
lscpu | grep -E '^(Model name|CPU\(s\)|Thread|Core|Socket)'
grep MemTotal /proc/meminfo

echo "== frames, floors and loads"
"$bench" --sizes=shipped,100000,300000,1000000,3000000,10000000 --data_dir="$data" \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --summary="$data/summary.tsv"

echo "== start-up: the load and the groups of a fresh process, three times"
for i in 1 2 3; do "$bench" --startup=10000000 --data_dir="$data"; done | tee "$data/startup.tsv"

echo "== peak resident size: 2,000 stars, then 10 million"
for size in 2000 10000000; do
    /usr/bin/time -f "$size stars: peak resident %M KiB" \
        "$bench" --sizes=$size --data_dir="$data" --benchmark_filter="^load/" >/dev/null
done

echo "== the viewer's own peak resident size, bytes a star (records, groups, name index, libraries)"
"$top/bench/viewer_peak.sh" "$build/starhop" "$data/synthetic-10000000-seed1.txt" | tee "$data/viewer-peak.tsv"

# A hundred million stars: about 6.3 GB of catalog on disk and 8 GB of memory
# while it runs (a second list of the same size while its load is timed), so
# only when asked for:  STARHOP_BENCH_100M=1 bench/run.sh
if [ "${STARHOP_BENCH_100M:-0}" = 1 ]; then
    echo "== 100 million stars"
    for i in 1 2 3; do "$bench" --startup=100000000 --data_dir="$data"; done | tee "$data/startup-100M.tsv"
    /usr/bin/time -f "100000000 stars: peak resident %M KiB" \
        "$bench" --sizes=100000000 --data_dir="$data" \
        --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
        --summary="$data/summary-100M.tsv"
    "$top/bench/viewer_peak.sh" "$build/starhop" "$data/synthetic-100000000-seed1.txt" 8 | tee -a "$data/viewer-peak.tsv"
fi

echo "== at rest: the real program under Xvfb, the shipped catalog, nothing moving"
sh "$top/bench/idle_cpu.sh" "$build/starhop" "$top/data/stars.txt" 20

echo "== plot"
rows() { grep -v '^#' "$data/summary.tsv" | awk -F'\t' -v c="$1" -v w="$2" 'NR > 1 && ($1 == "shipped") == (c == "shipped") && $3 == w'; }
rows synthetic home > "$data/home.tsv"
rows synthetic out1000 > "$data/out1000.tsv"
rows shipped home > "$data/shipped.tsv"
# The frames through the star groups, and the 100 million star run if there is one.
if [ -f "$data/summary-100M.tsv" ]; then
    for w in home out1000; do
        grep -v '^#' "$data/summary-100M.tsv" | awk -F'\t' -v w=$w 'NR > 1 && $3 == w' >> "$data/$w.tsv"
    done
fi
summaries=$(ls "$data/summary.tsv" "$data/summary-100M.tsv" 2>/dev/null)
culled() { cat $summaries | awk -F'\t' -v w="$1" '$1 == "# culled" && $2 != "shipped" && $4 == w { print $3 "\t" $5 "\t" $6 "\t" $7 }' | sort -n; }
culled home > "$data/culled-home.tsv"
culled out1000 > "$data/culled-out1000.tsv"
culled centre > "$data/culled-centre.tsv"
gnuplot <<EOF
set terminal pngcairo size 640,420 font "sans,9"
set output "$top/docs/performance.png"
set title "Star work per frame on one thread, median of 5"
set xlabel "stars in the list (synthetic catalogs; triangle: the shipped catalog)"
set ylabel "milliseconds per frame"
set logscale xy
set grid
set key bottom right box opaque
set key top left box opaque
set xrange [50000:200000000]
set format x "%.0s%c"
plot "$data/home.tsv" using 2:4 with linespoints lw 2 pt 7 title "frame, from home", \
     "$data/out1000.tsv" using 2:4 with linespoints lw 2 pt 5 title "frame, 1,000 ly out", \
     "$data/home.tsv" using 2:5 with linespoints dt 2 pt 6 title "floor (walk only), from home", \
     "$data/out1000.tsv" using 2:5 with linespoints dt 2 pt 4 title "floor, 1,000 ly out", \
     "$data/shipped.tsv" using 2:4 with points pt 9 ps 1.5 title "shipped catalog, frame from home", \
     "$data/culled-home.tsv" using 1:2 with linespoints lw 2 pt 13 title "star groups, from home", \
     "$data/culled-out1000.tsv" using 1:2 with linespoints lw 2 pt 11 title "star groups, 1,000 ly out", \
     "$data/culled-centre.tsv" using 1:2 with linespoints lw 1 pt 3 title "star groups, in the disc's centre", \
     50 with lines lt 0 lw 2 title "50 ms"
EOF
echo "wrote $top/docs/performance.png; figures in $data/summary.tsv"
