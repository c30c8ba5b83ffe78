#!/usr/bin/env bash
# Estimator throughput on the real networks: packs each edge list with netpack
# (weighted-cascade probabilities, unit benefits, unit costs), lets marlet
# choose a seed set within a budget of K unit costs, and runs bench_estimate
# on that seed file under LT and IC, which prints samples per second at one
# and two threads and their ratio, in both orders of the estimator.
#
# usage: bench/ostrand_bench.sh [BUILD_DIR] [NETWORK ...]
#   BUILD_DIR  a configured and built tree (default: build); needs netpack,
#              marlet and bench_estimate
#   NETWORK    names under ../shared/data without .txt.gz
#              (default: wiki-Vote nethept email-Enron soc-Epinions1)
# Environment: K (budget, default 50), EPSILON (estimator accuracy, default
# 0.01, small enough that each run is long enough to time).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
shift || true
data="$here/../../shared/data"
networks=("$@")
[ ${#networks[@]} -gt 0 ] || networks=(wiki-Vote nethept email-Enron soc-Epinions1)
budget=${K:-50}
epsilon=${EPSILON:-0.01}

for tool in bin/netpack bin/marlet bench/bench_estimate; do
    [ -x "$build/$tool" ] || { echo "ostrand_bench: $build/$tool is not built" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for net in "${networks[@]}"; do
    src="$data/$net.txt.gz"
    [ -r "$src" ] || { echo "ostrand_bench: $src not found, skipped" >&2; continue; }
    # facebook_combined lists each undirected pair once; the others list arcs.
    undirected=0
    [ "$net" = facebook_combined ] && undirected=1
    "$build/bin/netpack" -i "$src" -undirected "$undirected" -o "$work/$net.bin" \
        -bo "$work/$net.ben" -co "$work/$net.cost" >/dev/null
    for model in LT IC; do
        (cd "$work" && "$build/bin/marlet" -i "$net.bin" -b "$net.ben" -c "$net.cost" -m "$model" \
            -k "$budget" -t 2 -seed 1 -o "$net.$model.seeds" >/dev/null 2>&1)
        "$build/bench/bench_estimate" -i "$work/$net.bin" -b "$work/$net.ben" -m "$model" \
            -s "$work/$net.$model.seeds" -epsilon "$epsilon"
    done
done
