#!/usr/bin/env bash
# Figures of marlet on the real networks of the shared data directory.
#
# Each network is packed once by netpack (weighted-cascade probabilities, unit
# benefits, out-degree costs, its own reference pair list) into a scratch
# directory; then marlet runs under LT and IC, on 1 and 2 threads, for each
# budget, and one line per run gives: processor time (the report's "Time"),
# wall time, iterations, hyperedges, peak resident memory and the wall-time
# split between sampling and selection (marlet's "-timing 1" line). Last, one
# run on email-Enron under IC with unit costs, budget 50, epsilon 0.1.
#
# usage: bench/marlet_bench.sh [BUILD_DIR]      (default: build)
# environment: NETWORKS (file names in the data directory), BUDGETS,
#              THREADS, MODELS, EPSILON (default 0.1), DATA_DIR, SEED.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
data=${DATA_DIR:-$here/../shared/data}
networks=${NETWORKS:-"email-Eu-core.txt.gz ca-GrQc.txt.gz wiki-Vote.txt.gz nethept.txt.gz email-Enron.txt.gz"}
budgets=${BUDGETS:-"50 200 1000"}
threads=${THREADS:-"1 2"}
models=${MODELS:-"LT IC"}
epsilon=${EPSILON:-0.1}
seed=${SEED:-1}

marlet=$build/bin/marlet
netpack=$build/bin/netpack
for prog in "$marlet" "$netpack"; do
    [ -x "$prog" ] || { echo "marlet_bench: $prog not built" >&2; exit 1; }
done
[ -d "$data" ] || { echo "marlet_bench: data directory $data not found" >&2; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/marlet-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Packs $1 (a data file) into $scratch/$2 with the cost model $3.
pack() {
    local dir=$scratch/$2
    mkdir -p "$dir"
    "$netpack" -i "$data/$1" -w wc -benefit uniform -cost "$3" \
        -o "$dir/net.bin" -bo "$dir/net.ben" -co "$dir/net.cost" -po "$dir/db_Enron.txt" \
        >/dev/null 2>"$dir/netpack.err" || { cat "$dir/netpack.err" >&2; exit 1; }
}

# One marlet run in $1 with model $2, threads $3, budget $4, epsilon $5;
# prints the figures of the run as one table row.
run() {
    local dir=$1 model=$2 t=$3 k=$4 eps=$5 out err start end status
    out=$dir/out.txt
    err=$dir/err.txt
    start=$(date +%s.%N)
    status=0
    (cd "$dir" && "$marlet" -i net.bin -b net.ben -c net.cost -m "$model" -t "$t" -k "$k" \
        -epsilon "$eps" -seed "$seed" -o net.seeds -timing 1 >"$out" 2>"$err") || status=$?
    end=$(date +%s.%N)
    if [ "$status" -ne 0 ]; then
        printf '%-6s %2s %6s  failed (status %d): %s\n' "$model" "$t" "$k" "$status" "$(tail -n 1 "$err")"
        return
    fi
    local cpu seeds
    cpu=$(sed -n 's/^Time: \(.*\)s$/\1/p' "$out")
    seeds=$(sed -n 's/^Seed Nodes: //p' "$out" | wc -w)
    # marlet: timing: iterations I, hyperedges H, lambda L, sampling S s, selection C s, peak memory P MB
    sed -n 's/^marlet: timing: //p' "$err" | awk -v m="$model" -v t="$t" -v k="$k" -v cpu="$cpu" \
        -v start="$start" -v end="$end" -v seeds="$seeds" -F', ' '{
            split($1, it, " "); split($2, he, " "); split($4, sa, " "); split($5, se, " "); split($6, pm, " ");
            printf "%-6s %2s %6s %9.3f %9.3f %5s %11s %9.3f %9.3f %9.1f %6s\n",
                   m, t, k, cpu, end - start, it[2], he[2], sa[2], se[2], pm[3], seeds }'
}

header() {
    printf '%-6s %2s %6s %9s %9s %5s %11s %9s %9s %9s %6s\n' \
        model t k "cpu(s)" "wall(s)" iter hyperedges "sample(s)" "select(s)" "peak(MB)" seeds
}

echo "marlet benchmark: epsilon $epsilon, seed $seed, $(nproc) processors"
for net in $networks; do
    [ -f "$data/$net" ] || { echo "marlet_bench: $data/$net not found, skipped" >&2; continue; }
    name=${net%%.*}
    pack "$net" "$name" degree
    echo
    echo "== $name: $(head -c 4 "$scratch/$name/net.bin" | od -An -tu4 | tr -d ' ') nodes, wc probabilities, unit benefits, out-degree costs"
    header
    for model in $models; do
        for t in $threads; do
            for k in $budgets; do
                run "$scratch/$name" "$model" "$t" "$k" "$epsilon"
            done
        done
    done
done

if [ -f "$data/email-Enron.txt.gz" ]; then
    pack email-Enron.txt.gz enron-unit uniform
    echo
    echo "== email-Enron, IC, unit costs, budget 50, epsilon 0.1"
    header
    for t in $threads; do
        run "$scratch/enron-unit" IC "$t" 50 0.1
    done
fi
