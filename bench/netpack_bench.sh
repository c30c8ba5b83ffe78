#!/usr/bin/env bash
# Speed and memory of netpack: packs every shared network (the largest one,
# web-NotreDame, is the headline figure) and R-MAT networks of scales 22 and
# 24 (67 and 268 million arcs drawn) at -t 1 and -t 2, printing the parse rate
# of the text in MB/s, the wall time, the peak resident memory, the size of
# the network file, and for each scale the wall time at -t 2 over -t 1.
#
# Targets: the text is parsed at 100 MB/s or more, and the peak memory stays
# within about twice the network file's size.
#
# usage: bench/netpack_bench.sh [BUILD_DIR] [SCALES]
#   BUILD_DIR  build directory holding bin/netpack (default: build)
#   SCALES     R-MAT scales, blank-separated (default "22 24")
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-$root/build}
scales=${2:-22 24}
netpack=$build/bin/netpack
data=$root/../shared/data
[[ -x $netpack ]] || { echo "netpack_bench: no program at $netpack (build it first)" >&2; exit 1; }
netpack=$(cd "$(dirname "$netpack")" && pwd)/netpack

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs netpack with the given arguments in the work directory and sets
# wall (s), peak (KB) and err (its standard error). /usr/bin/time -v gives the
# peak when present; otherwise VmHWM is sampled from /proc while it runs.
measure() {
    local start end
    start=$(date +%s.%N)
    if [[ -x /usr/bin/time ]]; then
        (cd "$work" && /usr/bin/time -v "$netpack" "$@" >/dev/null 2>"$work/err")
        peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/err")
    else
        (cd "$work" && exec "$netpack" "$@" >/dev/null 2>"$work/err") &
        local pid=$! hwm
        peak=0
        while kill -0 "$pid" 2>/dev/null; do
            hwm=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$pid/status" 2>/dev/null || true)
            if [[ -n $hwm && $hwm -gt $peak ]]; then peak=$hwm; fi
            sleep 0.05
        done
        wait "$pid"
    fi
    end=$(date +%s.%N)
    wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
    err=$(grep '^netpack:' "$work/err" || true)
}

row() {  # name, rate text, output file
    local bytes
    bytes=$(stat -c %s "$work/$3")
    awk -v name="$1" -v rate="$2" -v wall="$wall" -v peak="$peak" -v bytes="$bytes" 'BEGIN {
        printf "%-26s %9s %8s s %9.1f MiB %9.1f MiB %6.2f\n", name, rate, wall, peak / 1024, bytes / 1048576,
               peak * 1024 / bytes }'
}

printf "%-26s %9s %10s %13s %13s %6s\n" "input" "MB/s" "wall" "peak RSS" "network" "ratio"
if [[ -d $data ]]; then
    largest=
    for f in "$data"/*.gz; do
        if [[ -z $largest || $(stat -c %s "$f") -gt $(stat -c %s "$largest") ]]; then largest=$f; fi
    done
    for f in "$data"/*.gz; do
        if [[ $f == "$largest" ]]; then continue; fi
        measure -i "$f" -o net.bin
        row "$(basename "$f")" "$(sed -n 's/.*, \([0-9]*\) MB\/s).*/\1/p' <<<"$err")" net.bin
    done
    measure -i "$largest" -o net.bin
    echo "largest: $err"
    row "$(basename "$largest")" "$(sed -n 's/.*, \([0-9]*\) MB\/s).*/\1/p' <<<"$err")" net.bin
else
    echo "netpack_bench: no shared data at $data; skipping the real networks" >&2
fi

for scale in $scales; do
    for t in 1 2; do
        measure -gen rmat -scale "$scale" -edgefactor 16 -t "$t" -o rmat.bin
        echo "rmat: $err"
        row "rmat scale $scale -t $t" "-" rmat.bin
        eval "wall$t=$wall"
    done
    awk -v s="$scale" -v a="$wall1" -v b="$wall2" 'BEGIN { printf "rmat scale %s: wall -t 2 / -t 1 = %.2f\n", s, b / a }'
done
echo "ratio = peak RSS / network file size"
