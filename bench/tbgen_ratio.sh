#!/usr/bin/env bash
# Processor time of two tablebase generators on the same tables, taken in
# turns in one run so that the load of a shared machine falls on both alike.
# The tables' needs are made once by the first generator; each round then
# remakes every named table with A, then with B, and compares the files.
# Prints each run's user time, the totals and B's time as a share of A's.
#   bench/tbgen_ratio.sh GEN_A GEN_B [rounds] [table...]   (default: 2 kqkr krpk kpkp)
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 GEN_A GEN_B [rounds] [table...]" >&2; exit 2; }
a=$1 b=$2
rounds=${3:-2}
shift $(( $# < 3 ? $# : 3 ))
tables=("${@:-kqkr krpk kpkp}")
read -ra tables <<< "${tables[*]}"
work=$(mktemp -d /tmp/tarvok-tbgen-ratio.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/a" "$work/b"
"$a" "$work/a" "${tables[@]}" > /dev/null
cp "$work"/a/* "$work/b/"
user() { /usr/bin/time -f "%U" "$@" 2>&1 > /dev/null | tail -1; }
total_a=0 total_b=0
for ((r = 1; r <= rounds; ++r)); do
    for t in "${tables[@]}"; do
        ua=$(user "$a" "$work/a" "$t")
        ub=$(user "$b" "$work/b" "$t")
        for f in "$work"/a/"$t".*; do
            cmp -s "$f" "$work/b/$(basename "$f")" || echo "round $r: $t differs: $(basename "$f")"
        done
        echo "round $r $t: A $ua s, B $ub s"
        total_a=$(awk "BEGIN { print $total_a + $ua }")
        total_b=$(awk "BEGIN { print $total_b + $ub }")
    done
done
echo "total: A $total_a s, B $total_b s, B/A $(awk "BEGIN { printf \"%.3f\", $total_b / $total_a }")"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
