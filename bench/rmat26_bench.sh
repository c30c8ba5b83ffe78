#!/usr/bin/env bash
# marlet on a packed R-MAT network (meant for scale 26: 67 million nodes,
# about a billion arcs, an 8.75 GB file; packing it takes about 12.8 GB, so
# the file is made once, outside the source tree, with
#   netpack -gen rmat -scale 26 -edgefactor 16 -seed 1 -o NET -bo NET.ben -co NET.cost
# and given to this script). For -t 1 and -t 2 under IC and LT (unit costs,
# k = 50, -sampler fast, no pair list) it prints one row each: whole-process
# wall time, marlet's -timing phases (loading, sampling, selection), the
# iterations and hyperedges, and the peak resident memory of /usr/bin/time -v.
# The seeds of each run are kept beside the network (NET.seeds.MODEL.tT.LOAD) so
# that runs of two builds can be compared.
#
# usage: bench/rmat26_bench.sh NETWORK_FILE [BUILD_DIR]   (default build)
# environment: THREADS (default "1 2"), MODELS (default "IC LT"), LOADS
# (default "copy"; "copy map" adds the rows of -load map)
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 NETWORK_FILE [BUILD_DIR]" >&2
    exit 2
fi
net=$(realpath "$1")
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${2:-$here/build}" && pwd)
marlet=$build/bin/marlet
for f in "$net" "$net.ben" "$net.cost"; do
    [ -f "$f" ] || { echo "$0: missing $f" >&2; exit 2; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "network $net: $(head -c 4 "$net" | od -An -tu4 | tr -d ' ') nodes, $(du -h "$net" | cut -f1)"
printf '%-13s %8s %8s %8s %9s %6s %11s %9s\n' run wall loading sampling selection iters hyperedges peak
for model in ${MODELS:-IC LT}; do
    for t in ${THREADS:-1 2}; do
      for load in ${LOADS:-copy}; do
        seeds=$net.seeds.$model.t$t.$load
        # A run beside 10-12 GB of process memory may have pushed part of
        # the file out of the page cache: read it in again first, so that
        # every row times the program rather than the disk.
        cat "$net" "$net.ben" "$net.cost" >/dev/null
        /usr/bin/time -v -o "$tmp/time.txt" "$marlet" -i "$net" -b "$net.ben" -c "$net.cost" -m "$model" -k 50 \
            -t "$t" -seed 1 -sampler fast -load "$load" -pairs none -o "$seeds" -timing 1 >"$tmp/out.txt" 2>"$tmp/err.txt"
        wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$tmp/time.txt")
        peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$tmp/time.txt")
        line=$(grep '^marlet: timing: iterations' "$tmp/err.txt")
        field() { sed -n "s/.*$1 \([0-9.]*\).*/\1/p" <<<"$line"; }
        printf '%-13s %8s %7ss %7ss %8ss %6s %11s %6.1f GB\n' "$model -t $t $load" "$wall" "$(field loading)" \
            "$(field sampling)" "$(field selection)" "$(field iterations)" "$(field hyperedges)" \
            "$(echo "$peak / 1048576" | bc -l)"
      done
    done
done
