#!/usr/bin/env bash
# Figures of marlet-mpi against marlet: whole-run wall time and peak resident
# memory per process, for marlet on 1 and 2 threads and marlet-mpi on 1 and 2
# ranks of 1 thread, on soc-Slashdot0902 and an R-MAT network of scale 20
# (weighted-cascade probabilities, unit benefits), under LT and IC at unit and
# out-degree costs. Each marlet-mpi row also says whether its seed file equals
# marlet's for the same -seed, and every run its store (hyperedges and index)
# per process; after each table, the store of 2 ranks against half of the
# one-process store (the split's target is a ratio within 10% of 1). Last,
# the store split: a -mem limit that one process's store passes, found by
# lowering the limit until marlet refuses, run again on 2 ranks, where each
# rank holds about half the store.
#
# usage: bench/marlet_mpi_bench.sh [BUILD_DIR]      (default: build)
# environment: NETWORKS ("slashdot rmat20"), MODELS, COSTS ("uniform degree"),
#              BUDGET (default 50), EPSILON (0.1), SEED (1), DATA_DIR,
#              SPLIT ("slashdot IC degree": network, model and costs of the last
#              run; "none" skips it), MPIRUN_OPTIONS (added to every mpirun,
#              e.g. "--mca btl self,vader").
# As root, Open MPI also needs OMPI_ALLOW_RUN_AS_ROOT=1 and
# OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 in the environment.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
data=${DATA_DIR:-$here/../shared/data}
networks=${NETWORKS:-"slashdot rmat20"}
models=${MODELS:-"LT IC"}
costs=${COSTS:-"uniform degree"}
budget=${BUDGET:-50}
epsilon=${EPSILON:-0.1}
seed=${SEED:-1}
read -r -a mpirun_options <<<"${MPIRUN_OPTIONS:-}"
read -r split_net split_model split_cost <<<"${SPLIT:-slashdot IC degree}"

marlet=$build/bin/marlet
marlet_mpi=$build/bin/marlet-mpi
netpack=$build/bin/netpack
for prog in "$marlet" "$marlet_mpi" "$netpack"; do
    [ -x "$prog" ] || { echo "marlet_mpi_bench: $prog not built" >&2; exit 1; }
done
command -v mpirun >/dev/null || { echo "marlet_mpi_bench: mpirun not found" >&2; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/marlet-mpi-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Packs network $1 with cost model $2 into $scratch/$1-$2.
pack() {
    local dir=$scratch/$1-$2 source
    [ -d "$dir" ] && return
    mkdir -p "$dir"
    case $1 in
        slashdot) source=(-i "$data/soc-Slashdot0902.txt.gz") ;;
        rmat20) source=(-gen rmat -scale 20 -edgefactor 16) ;;
        *) echo "marlet_mpi_bench: unknown network $1" >&2; exit 1 ;;
    esac
    "$netpack" "${source[@]}" -w wc -benefit uniform -cost "$2" -o "$dir/net.bin" -bo "$dir/net.ben" \
        -co "$dir/net.cost" >/dev/null 2>"$dir/netpack.err" || { cat "$dir/netpack.err" >&2; exit 1; }
}

# Runs "$@" in $dir with the common options; sets status, wall and err.
timed() {
    local start end
    start=$(date +%s.%N)
    status=0
    (cd "$dir" && "$@" -i net.bin -b net.ben -c net.cost -k "$budget" -epsilon "$epsilon" -seed "$seed" \
        -timing 1 >out.txt 2>err.txt) || status=$?
    end=$(date +%s.%N)
    wall=$(echo "$end - $start" | bc)
    err=$dir/err.txt
}

# One table row: $1 the label, then the command. Sets stores (the store MB
# of every process, empty when the run failed) and most (their max).
row() {
    local label=$1 peaks same=""
    shift
    stores=""
    timed "$@"
    if [ "$status" -ne 0 ]; then
        printf '%-16s failed (status %d): %s\n' "$label" "$status" "$(grep '^marlet: ' "$err" | tail -n 1)"
        return
    fi
    if grep -q 'peak memory per rank' "$err"; then
        peaks=$(sed -n 's/^marlet: timing: peak memory per rank \(.*\) MB$/\1/p' "$err")
        stores=$(sed -n 's/^marlet: timing: store per rank \(.*\) MB, max .*/\1/p' "$err")
        most=$(sed -n 's/^marlet: timing: store per rank .* MB, max \([0-9.]*\) MB,.*/\1/p' "$err")
        cmp -s "$dir/ref.seeds" "$dir/run.seeds" && same=yes || same=NO
    else
        peaks=$(sed -n 's/.*, peak memory \([0-9.]*\) MB.*/\1/p' "$err")
        stores=$(sed -n 's/^marlet: timing: iterations .*, store \([0-9.]*\) MB$/\1/p' "$err")
        most=$stores
    fi
    local hyperedges
    hyperedges=$(sed -n 's/^marlet: timing: iterations [0-9]*, hyperedges \([0-9]*\),.*/\1/p' "$err")
    printf '%-16s %9.2f %11s %-18s %-18s %s\n' "$label" "$wall" "$hyperedges" "$peaks" "$stores" "$same"
}

header() {
    printf '%-16s %9s %11s %-18s %-18s %s\n' run "wall(s)" hyperedges "peak MB per proc" "store MB per proc" \
        "same seeds"
}

echo "marlet-mpi benchmark: budget $budget, epsilon $epsilon, seed $seed, $(nproc) processors"
for net in $networks; do
    for cost in $costs; do
        pack "$net" "$cost"
        dir=$scratch/$net-$cost
        for model in $models; do
            echo
            echo "== $net, $model, $cost costs: $(head -c 4 "$dir/net.bin" | od -An -tu4 | tr -d ' ') nodes"
            header
            row "marlet -t 1" "$marlet" -m "$model" -t 1 -o ref.seeds
            one_store=$most
            row "marlet -t 2" "$marlet" -m "$model" -t 2 -o run2.seeds
            for r in 1 2; do
                row "mpi $r x 1 thread" mpirun --oversubscribe "${mpirun_options[@]}" -np "$r" "$marlet_mpi" \
                    -m "$model" -t 1 -o run.seeds
            done
            if [ -n "$one_store" ] && [ -n "$stores" ]; then
                echo "store: one process $one_store MB; 2 ranks $stores MB; largest rank / (one process / 2) =" \
                    "$(echo "scale=3; $most * 2 / $one_store" | bc)"
            fi
        done
    done
done

# The store split: lower -mem by 30% at a time from marlet's peak until
# marlet refuses, then give 2 ranks the same limit.
[ "$split_net" = none ] && exit 0
pack "$split_net" "$split_cost"
dir=$scratch/$split_net-$split_cost
echo
echo "== store split: $split_net, $split_model, $split_cost costs"
timed "$marlet" -m "$split_model" -o ref.seeds
limit=$(sed -n 's/.*, peak memory \([0-9.]*\) MB.*/\1/p' "$err")
for _ in 1 2 3 4 5 6; do
    limit=$(echo "$limit * 0.7" | bc)
    timed "$marlet" -m "$split_model" -mem "$limit" -o none.seeds
    [ "$status" -ne 0 ] && break
done
header
echo "marlet -mem $limit: $(grep '^marlet: ' "$err" | grep -v 'note:' | tail -n 1 | cut -c1-150)"
row "mpi 2 -mem $limit" mpirun --oversubscribe "${mpirun_options[@]}" -np 2 "$marlet_mpi" -m "$split_model" \
    -mem "$limit" -o run.seeds
