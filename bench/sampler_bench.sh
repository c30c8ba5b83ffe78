#!/usr/bin/env bash
# The classic and fast samplers side by side, on the five real networks
# (nethept, email-Enron, soc-Epinions1, soc-Slashdot0902, web-NotreDame) and
# an R-MAT network of scale 22, all packed with weighted-cascade
# probabilities, unit benefits and unit costs:
#   - hyperedges per second of both samplers under IC and LT on 1 and 2
#     threads (bench_sampling, about SECONDS_EACH of processor time each);
#   - marlet's whole-process wall time at k = 50, unit costs, -seed 1, on 2
#     threads, for both samplers and both models (median of 3 runs), with the
#     -timing split of the median run;
#   - soc-Slashdot0902 under LT at -epsilon 0.05 with the fast sampler on 1
#     and 2 threads, and the ratio of the two wall times.
# Figures only; nothing is asserted. Times are wall seconds of one run each,
# so run it on a quiet machine and compare ratios from the same run.
#
# usage: bench/sampler_bench.sh [BUILD_DIR]      (default: build)
# environment: NETWORKS (file names in the data directory, plus "rmat22"),
#              DATA_DIR, SECONDS_EACH (default 1), RUNS (default 3).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
data=${DATA_DIR:-$here/../shared/data}
networks=${NETWORKS:-"nethept.txt.gz email-Enron.txt.gz soc-Epinions1.txt.gz soc-Slashdot0902.txt.gz web-NotreDame.txt.gz rmat22"}
budget=${SECONDS_EACH:-1}
runs=${RUNS:-3}

marlet=$build/bin/marlet
netpack=$build/bin/netpack
sampling=$build/bench/bench_sampling
for prog in "$marlet" "$netpack" "$sampling"; do
    [ -x "$prog" ] || { echo "sampler_bench: $prog not built" >&2; exit 1; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/sampler-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Packs network $1 into $scratch/$2 (unit benefits and costs, its pair list).
pack() {
    local dir=$scratch/$2 source
    mkdir -p "$dir"
    if [ "$1" = rmat22 ]; then
        source=(-gen rmat -scale 22 -edgefactor 16)
    else
        source=(-i "$data/$1")
    fi
    "$netpack" "${source[@]}" -w wc -o "$dir/net.bin" -bo "$dir/net.ben" -co "$dir/net.cost" \
        -po "$dir/db_Enron.txt" >/dev/null 2>"$dir/netpack.err" || { cat "$dir/netpack.err" >&2; exit 1; }
}

# Median wall time of $runs marlet runs in $1 with model $2, sampler $3,
# threads $4, epsilon $5; prints "median  timing-line-of-the-median-run".
marlet_median() {
    local dir=$1 i start end
    : >"$dir/times"
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s.%N)
        (cd "$dir" && "$marlet" -i net.bin -b net.ben -c net.cost -m "$2" -k 50 -t "$4" -epsilon "$5" -seed 1 \
            -sampler "$3" -o net.seeds -timing 1 >"$dir/out.$i" 2>"$dir/err.$i")
        end=$(date +%s.%N)
        echo "$(echo "$end - $start" | bc) $i" >>"$dir/times"
    done
    local median
    median=$(sort -n "$dir/times" | sed -n "$(((runs + 1) / 2))p")
    printf '%8.3f  %s\n' "${median% *}" "$(sed -n 's/^marlet: timing: //p' "$dir/err.${median#* }")"
}

echo "sampler benchmark: $(nproc) processors, $(date -u +%Y-%m-%d)"
for net in $networks; do
    name=${net%%.*}
    if [ "$net" != rmat22 ] && [ ! -f "$data/$net" ]; then
        echo "sampler_bench: $data/$net not found, skipped" >&2
        continue
    fi
    pack "$net" "$name"
    echo
    echo "== $name: $(head -c 4 "$scratch/$name/net.bin" | od -An -tu4 | tr -d ' ') nodes"
    "$sampling" "$scratch/$name/net.bin" "$scratch/$name/net.ben" -s "$budget" |
        grep -E '(classic|fast) t=|fast / classic' | sed 's/^/  /'
    for model in IC LT; do
        for sampler in classic fast; do
            printf '  marlet %s %-7s -t 2: wall ' "$model" "$sampler"
            marlet_median "$scratch/$name" "$model" "$sampler" 2 0.1
        done
    done
    if [ "$name" = soc-Slashdot0902 ]; then
        for t in 1 2; do
            printf '  marlet LT fast -epsilon 0.05 -t %s: wall ' "$t"
            marlet_median "$scratch/$name" LT fast "$t" 0.05 | tee "$scratch/slashdot.$t"
        done
        echo "  second thread on the whole LT run at -epsilon 0.05: $(echo "scale=2; $(awk '{print $1}' "$scratch/slashdot.1") / $(awk '{print $1}' "$scratch/slashdot.2")" | bc)x"
    fi
    rm -rf "${scratch:?}/$name"
done
