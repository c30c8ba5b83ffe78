#!/usr/bin/env bash
# The Python module's overhead against marlet on the same work: marlet's
# whole-process wall time, against the module's network made from numpy
# arcs plus choose_seeds (in-process), and the python3 process's whole wall
# time; on email-Enron with out-degree costs (IC, -k 200, -sampler fast,
# -t 2, -seed 1), and with RMAT=1 also on R-MAT scale 20 (packing takes a
# while). Prints figures only, and whether the seeds agree.
#
#   bench/python_bench.sh BUILD     (BUILD with the module: BUILD/python)
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD}" && pwd)
data=$(cd "$(dirname "$0")/../../shared/data" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python=${PYTHON:-/usr/bin/python3}

bench() {  # name, netpack's input arguments
    local name=$1; shift
    "$build/bin/netpack" "$@" -o "$work/$name.bin" -bo "$work/$name.benefit" -co "$work/$name.cost" -cost degree \
        > /dev/null 2>&1
    local args=(-i "$work/$name.bin" -b "$work/$name.benefit" -c "$work/$name.cost" -m IC -k 200 -t 2 -seed 1
                -sampler fast -pairs none -o "$work/$name.seeds")
    local start end
    start=$(date +%s.%N)
    "$build/bin/marlet" "${args[@]}" > "$work/$name.report"
    end=$(date +%s.%N)
    local marlet_wall
    marlet_wall=$(echo "$end - $start" | bc -l)
    start=$(date +%s.%N)
    PYTHONPATH="$build/python" "$python" - "$work/$name" > "$work/$name.py" <<'PY'
import sys, time
import numpy as np
t0 = time.perf_counter()
import lattis
base = sys.argv[1]
raw = open(base + ".bin", "rb").read()
n = int(np.frombuffer(raw, np.uint32, 1)[0]); m = int(np.frombuffer(raw, np.uint64, 1, 4)[0])
deg = np.frombuffer(raw, np.int32, n, 12)
adj = np.frombuffer(raw, np.int32, m, 12 + 4 * n)
prob = np.frombuffer(raw, np.float32, m, 12 + 4 * n + 4 * m)
costs = np.loadtxt(base + ".cost"); benefits = np.loadtxt(base + ".benefit")
t1 = time.perf_counter()
net = lattis.Network(adj - 1, np.repeat(np.arange(n), deg), prob, n=n)
t2 = time.perf_counter()
r = lattis.choose_seeds(net, 200, costs, benefits, model="IC", seed=1, sampler="fast", threads=2)
t3 = time.perf_counter()
seeds = [int(x) for x in open(base + ".seeds").read().split()]
print(f"{t1 - t0:.3f} {t2 - t1:.3f} {t3 - t2:.3f} {'same' if [s + 1 for s in r.seeds] == seeds else 'DIFFERENT'}")
PY
    end=$(date +%s.%N)
    local py_wall
    py_wall=$(echo "$end - $start" | bc -l)
    read -r files_s arrays_s choose_s agree < "$work/$name.py"
    local module_s
    module_s=$(echo "$arrays_s + $choose_s" | bc -l)
    printf '%s: marlet whole process %.3f s; module: network from arrays %.3f s + choose_seeds %.3f s = %.3f s (%+.1f%% against marlet); python3 whole process %.3f s (imports and reading the files with numpy %.3f s); seeds %s\n' \
        "$name" "$marlet_wall" "$arrays_s" "$choose_s" "$module_s" "$(echo "100 * ($module_s / $marlet_wall - 1)" | bc -l)" \
        "$py_wall" "$files_s" "$agree"
}

bench email-Enron -i "$data/email-Enron.txt.gz"
if [ "${RMAT:-0}" = 1 ]; then
    bench rmat20 -gen rmat -scale 20
fi
