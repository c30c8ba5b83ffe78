#!/usr/bin/env bash
# Figures of the certified stop against the default threshold stop.
#
# On the packed networks of the golden data directory (network, unit
# benefits, out-degree costs, pair list), marlet runs with -sampler fast on
# -t threads for each model and budget, once with the default options and
# once with the options of CERTIFIED (default "-stop certified"; with the
# filling greedy built, "-select fill -stop certified"). One row per run:
# hyperedges drawn (stored, plus the validation samples drawn over every
# iteration), wall time, the certified ratio (certified runs only), the
# report's Total Benefit, and the seeds' benefit by ostrand with another
# -seed, so that the seeds are judged on samples of their own; after each
# pair of rows, the certified run's share of the default's hyperedges
# (stored and validation together) and of its wall time. Wall times are of a shared machine: compare rows of one run
# of this script, not across runs.
#
# usage: bench/certified_bench.sh [BUILD_DIR]   (default: build)
# environment: NETWORKS (names in the data directory), BUDGETS, MODELS,
#              THREADS (default 2), CERTIFIED, DATA_DIR (default
#              /work/golden/data), SEED (default 1), CHECK_SEED (default 7).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
# Settings from the environment, with their defaults.
: "${DATA_DIR:=/work/golden/data}" "${NETWORKS:=email-Enron soc-Slashdot0902}"
: "${BUDGETS:=10 20 50 100 200 500 1000}" "${MODELS:=IC LT}" "${THREADS:=2}"
: "${CERTIFIED:=-stop certified}" "${SEED:=1}" "${CHECK_SEED:=7}"
data=$DATA_DIR networks=$NETWORKS budgets=$BUDGETS models=$MODELS threads=$THREADS
certified=$CERTIFIED seed=$SEED checkSeed=$CHECK_SEED

marlet=$build/bin/marlet
ostrand=$build/bin/ostrand
[ -x "$marlet" ] && [ -x "$ostrand" ] || { echo "certified_bench: marlet and ostrand are not built in $build" >&2; exit 1; }
command -v jq >/dev/null || { echo "certified_bench: jq is needed to read the JSON reports" >&2; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/certified-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# One run of network $1, model $2, budget $3, label $4, extra options $5;
# prints a row and leaves "hyperedges wall" in $scratch/last.
run() {
    local net=$1 model=$2 k=$3 label=$4 extra=$5 start end status=0 json=$scratch/r.json
    start=$(date +%s.%N)
    # shellcheck disable=SC2086 # $extra is a list of options
    (cd "$scratch" && "$marlet" -i "$data/$net.bin" -b "$data/$net.benefit" -c "$data/$net.cost" -m "$model" \
        -k "$k" -t "$threads" -sampler fast -seed "$seed" -pairs none -progress 0 -o s.seeds -json "$json" \
        $extra >out.txt 2>err.txt) || status=$?
    end=$(date +%s.%N)
    if [ "$status" -ne 0 ]; then
        printf '%-17s %-3s %5s %-9s failed (status %d): %s\n' "$net" "$model" "$k" "$label" "$status" \
            "$(tail -n 1 "$scratch/err.txt")"
        echo "0 0" >"$scratch/last"
        return
    fi
    local stored drawn ratio benefit check wall
    stored=$(jq '.timing.hyperedges' "$json")
    drawn=$(jq '.timing.validationSamplesDrawn // 0' "$json")
    ratio=$(jq -r '.report.certifiedRatio // "-"' "$json")
    benefit=$(jq '.report.totalBenefit' "$json")
    check=$("$ostrand" -i "$data/$net.bin" -b "$data/$net.benefit" -s "$scratch/s.seeds" -m "$model" \
        -seed "$checkSeed" -sampler fast -t "$threads" 2>/dev/null | tail -n 1)
    wall=$(echo "$end - $start" | bc -l)
    [ "$ratio" = "-" ] || ratio=$(printf '%.3f' "$ratio")
    printf '%-17s %-3s %5s %-9s %11d %11d %8.2f %6s %10.2f %10s %5d\n' "$net" "$model" "$k" "$label" \
        "$stored" "$drawn" "$wall" "$ratio" "$benefit" "$check" "$(jq '.seeds | length' "$json")"
    echo "$((stored + drawn)) $wall" >"$scratch/last"
}

echo "marlet, -sampler fast, -t $threads, -seed $seed; certified: $certified; ostrand -seed $checkSeed"
printf '%-17s %-3s %5s %-9s %11s %11s %8s %6s %10s %10s %5s\n' network model k run stored validation \
    "wall s" ratio benefit ostrand seeds
for net in $networks; do
    [ -f "$data/$net.bin" ] || { echo "certified_bench: $data/$net.bin not found" >&2; exit 1; }
    for model in $models; do
        for k in $budgets; do
            run "$net" "$model" "$k" default ""
            read -r edgesDefault wallDefault <"$scratch/last"
            run "$net" "$model" "$k" certified "$certified"
            read -r edgesCertified wallCertified <"$scratch/last"
            if [ "$edgesDefault" != 0 ] && [ "$edgesCertified" != 0 ]; then
                printf '%-17s %-3s %5s share: hyperedges %.3f, wall %.3f\n' "$net" "$model" "$k" \
                    "$(echo "$edgesCertified / $edgesDefault" | bc -l)" "$(echo "$wallCertified / $wallDefault" | bc -l)"
            fi
        done
    done
done
