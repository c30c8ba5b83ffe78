#!/usr/bin/env bash
# The bundled example, end to end, with a few lines on how to read each
# report: netpack generates a small directed R-MAT network (4096 nodes, about
# 32000 arcs, weighted-cascade probabilities) with unit benefits, out-degree
# costs and its pair list; marlet chooses seeds within a budget of 20 cost
# units under IC on two threads; ostrand then estimates the benefit of the
# seed file that marlet wrote. The programs' own output is shown unchanged;
# the narration lines start with "#".
#
# Usage: examples/demo.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
bin="$build/bin"
work="$build/demo"
mkdir -p "$work"
cd "$work"

echo "# netpack: a 4096-node R-MAT network; every benefit is 1, every cost is the"
echo "# node's out-degree (at least 1); db_Enron.txt gets one pair per arc."
"$bin/netpack" -gen rmat -scale 12 -edgefactor 8 -seed 7 \
    -o example.bin -bo example.benefit -co example.cost -cost degree -po db_Enron.txt

echo
echo "# marlet: seeds for a budget of 20 cost units (IC model, 2 threads, -seed 1)"
"$bin/marlet" -i example.bin -b example.benefit -c example.cost -m IC -k 20 -t 2 \
    -o example.seeds -seed 1 -json example.json

# The seed count and their cost, from marlet's JSON report (one "key": value a line).
field() { sed -n "s/^ *\"$1\": \([^,]*\),\{0,1\}\$/\1/p" example.json; }
count=$(field seedCount) spent=$(field costSpent) left=$(field budgetLeft)
cat <<NOTE
# How to read marlet's report:
#   Seed Nodes          the $count seeds, in the order chosen (also in example.seeds).
#                       Their costs add up to $spent of the budget of 20, $left left
#                       ("seedCount", "costSpent" and "budgetLeft" in example.json;
#                       -timing 1 prints them too). The selection takes nodes by
#                       benefit gained per unit of cost, cheap ones included,
#                       until the next one no longer fits; -select fill skips
#                       that one and spends the rest on the next that fit.
#   Total Benefit       the expected benefit the seeds reach; every benefit here is
#                       1, so it is the expected number of nodes reached.
#   Time                processor seconds of sampling, selection and the Total
#                       Benefit estimate, summed over both threads (so it can
#                       exceed the elapsed time); reading the files is not counted.
#   Memory              megabytes mapped by the process at the end.
#   Estimate Influence  the seeds' entries in db_Enron.txt added up; netpack wrote
#                       one pair per arc, so here: the arcs leaving the seeds.
# example.json holds the same figures, the settings in force and more.
NOTE

echo
echo "# ostrand: estimated benefit of example.seeds, from fresh reverse samples"
"$bin/ostrand" -i example.bin -b example.benefit -s example.seeds -m IC -t 2 -seed 1
echo "# An independent check of the seed file: with the defaults, ostrand's figure is"
echo "# within 10% (epsilon 0.1) of the true expected benefit with probability 99%"
echo "# (delta 0.01), so it should lie near marlet's Total Benefit."
echo "# (files in $work; formats in $(cd "$here/.." && pwd)/readme.txt)"
