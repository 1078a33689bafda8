#!/usr/bin/env bash
# Time and memory of the tablebase generator: every 3- and 4-piece table into
# a fresh directory, then the 5-piece tables named (default kqqkq, which
# needs only 4-piece tables) one at a time, each followed by its check.
# Prints the generator's lines, /usr/bin/time's wall, processor time and
# peak memory, and the load average before and after (the machine may be
# shared: processor time is the fair figure).
#   bench/tbgen.sh [build-dir] [tables-dir] [5-piece table...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
dir=${2:-/tmp/tarvok-tables}
shift $(( $# < 2 ? $# : 2 ))
five=("${@:-kqqkq}")
gen="$build/tarvok-tbgen"
[ -x "$gen" ] || { echo "no $gen: build the tarvok-tbgen target first" >&2; exit 2; }
mkdir -p "$dir"
measure() {
    echo "== tarvok-tbgen $*   (load: $(cut -d' ' -f1-3 /proc/loadavg))"
    /usr/bin/time -f "wall %e s, user %U s, system %S s, peak %M KB" "$gen" "$@"
}
measure "$dir" 3 4
for t in "${five[@]}"; do
    measure "$dir" "$t"
    measure --verify "$dir" "$t" | tail -2
done
echo "== done (load: $(cut -d' ' -f1-3 /proc/loadavg))"
