#!/usr/bin/env bash
# The bundled example, end to end: netpack generates a small directed R-MAT
# network (4096 nodes, about 32000 arcs, weighted-cascade probabilities) with
# unit benefits, out-degree costs and its pair list; marlet chooses seeds
# within a budget of 20 cost units under IC on two threads; ostrand then
# estimates the benefit of the seed file that marlet wrote.
#
# Usage: examples/demo.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
work="$build/demo"
mkdir -p "$work"
cd "$work"

"$build/tools/netpack" -gen rmat -scale 12 -edgefactor 8 -seed 7 \
    -o example.bin -bo example.benefit -co example.cost -cost degree -po db_Enron.txt

echo "== marlet: seeds for a budget of 20 (IC, 2 threads)"
"$build/marlet" -i example.bin -b example.benefit -c example.cost -m IC -k 20 -t 2 \
    -o example.seeds -seed 1

echo "== ostrand: estimated benefit of example.seeds"
"$build/ostrand" -i example.bin -b example.benefit -s example.seeds -m IC -t 2 -seed 1
echo "(files in $work; formats in $here/../readme.txt)"
