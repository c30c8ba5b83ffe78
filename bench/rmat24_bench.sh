#!/usr/bin/env bash
# marlet on an R-MAT network of scale 24 (16.8 million nodes, about 263
# million arcs): packing it takes minutes and about 3.2 GB, so this is a
# script of its own. The network is packed once with netpack (weighted
# cascade, unit benefits and costs, its 4 GB pair list) into WORK_DIR (kept
# for later runs); then marlet runs under IC at k = 50 on 2 threads with each
# sampler, and the script prints the whole-process wall time, the peak
# resident memory and marlet's -timing split (pair list, loading, sampling,
# selection, estimate, memory probe). The load alone is timed first with
# bench_load -file on 1 and 2 threads, three loads each way (-load copy and
# map, alternating; the later ones from a warm page cache).
#
# usage: bench/rmat24_bench.sh [BUILD_DIR]      (default: build)
# environment: WORK_DIR (default /tmp/rmat24), SAMPLERS (default "fast classic")
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
work=${WORK_DIR:-/tmp/rmat24}
samplers=${SAMPLERS:-"fast classic"}
marlet=$build/bin/marlet
netpack=$build/bin/netpack
mkdir -p "$work"
cd "$work"

if [ ! -f net.bin ] || [ ! -f db_Enron.txt ]; then
    echo "packing R-MAT scale 24 into $work ..."
    /usr/bin/time -f "netpack: %e s wall, %M KB peak" "$netpack" -gen rmat -scale 24 -edgefactor 16 -w wc \
        -o net.bin -bo net.ben -co net.cost -po db_Enron.txt >/dev/null
fi
echo "R-MAT 24: $(head -c 4 net.bin | od -An -tu4 | tr -d ' ') nodes, network file $(du -h net.bin | cut -f1), pair list $(du -h db_Enron.txt | cut -f1)"
if [ -x "$build/bench/bench_load" ]; then
    for t in 1 2; do "$build/bench/bench_load" -file net.bin -m IC -t "$t" -repeats 3; done
fi
for sampler in $samplers; do
    /usr/bin/time -o time.txt -f "%e %M" "$marlet" -i net.bin -b net.ben -c net.cost -m IC -k 50 -t 2 -seed 1 \
        -sampler "$sampler" -o net.seeds -timing 1 >out.txt 2>err.txt
    read -r wall peak <time.txt
    printf 'marlet IC k=50 -t 2 -sampler %-7s: wall %6.1f s, peak %6.0f MB\n' "$sampler" "$wall" "$((peak / 1024))"
    sed -n 's/^marlet: timing: /    /p' err.txt
done
