#!/usr/bin/env bash
# Win At Chess: how many positions of bench/data/wac.epd the search solves
# (its move is one of the "bm" moves) within the given time per position, and
# the largest overrun of that time seen over the run.
#   bench/wac.sh [build-dir] [milliseconds per position] [epd file]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
ms=${2:-1000}
epd=${3:-bench/data/wac.epd}
dev="$build/tarvok-dev"
[ -x "$dev" ] || { echo "no $dev: build the tarvok-dev target first" >&2; exit 2; }

solved=0 total=0 overrun=0 worst=""
missed=()
while IFS= read -r line; do
    [ -n "${line// /}" ] || continue
    fen=$(awk '{ print $1, $2, $3, $4 }' <<<"$line")
    bm=$(sed -n 's/.* bm \([^;]*\);.*/\1/p' <<<"$line")
    id=$(sed -n 's/.*id "\([^"]*\)".*/\1/p' <<<"$line")
    # shellcheck disable=SC2086
    wanted=$("$dev" san "$fen" $bm)
    result=$("$dev" search "$fen 0 1" movetime "$ms" | grep '^bestmove')
    move=$(awk '{ print $2 }' <<<"$result")
    t=$(awk '{ print $10 }' <<<"$result")
    total=$((total + 1))
    if grep -qx -- "$move" <<<"$wanted"; then
        solved=$((solved + 1))
    else
        missed+=("$id")
    fi
    over=$((t - ms))
    if [ "$over" -gt "$overrun" ]; then overrun=$over; worst=$id; fi
done <"$epd"

echo "missed: ${missed[*]}"
echo "solved $solved of $total at $ms ms per position; largest overrun $overrun ms${worst:+ ($worst)}"
