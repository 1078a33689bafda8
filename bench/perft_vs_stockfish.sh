#!/usr/bin/env bash
# Perft speed of tarvok-dev against Debian's stockfish on the same positions,
# in the same run: the start position to depth 6 and "kiwipete" to depth 5.
# Prints both rates and their ratio; it measures, it never fails on speed.
# Usage: bench/perft_vs_stockfish.sh [path/to/tarvok-dev] (default build/tarvok-dev)
set -euo pipefail
cd "$(dirname "$0")/.."

dev=${1:-build/tarvok-dev}
stockfish=${STOCKFISH:-/usr/games/stockfish}
[ -x "$dev" ] || { echo "no $dev: build it first (cmake --build build --target tarvok-dev)" >&2; exit 1; }
[ -x "$stockfish" ] || { echo "no $stockfish: apt-get install stockfish" >&2; exit 1; }

now_ns() { date +%s%N; }

# Wall time of a stockfish perft in ns, less the time of a depth-1 perft in a
# fresh process (start-up and hash allocation are not perft).
stockfish_run() {  # fen depth -> "nodes ns"
    local fen=$1 depth=$2 t0 t1 t2 t3 out nodes
    t0=$(now_ns)
    printf 'position fen %s\ngo perft 1\nquit\n' "$fen" | "$stockfish" >/dev/null
    t1=$(now_ns)
    t2=$(now_ns)
    out=$(printf 'position fen %s\ngo perft %d\nquit\n' "$fen" "$depth" | "$stockfish")
    t3=$(now_ns)
    nodes=$(sed -n 's/^Nodes searched: \([0-9]*\).*/\1/p' <<<"$out")
    local ns=$(( (t3 - t2) - (t1 - t0) ))
    [ "$ns" -gt 0 ] || ns=1
    echo "$nodes $ns"
}

tarvok_run() {  # fen depth -> "nodes ns"
    local last
    last=$("$dev" perft "$2" "$1" | tail -n 1)
    # nodes N time_ms T nps R
    read -r _ nodes _ ms _ nps <<<"$last"
    echo "$nodes $nps"
}

printf '%-10s %5s %12s %14s %14s %7s\n' position depth nodes tarvok_nps stockfish_nps ratio
total_t=0
total_s=0
for entry in "startpos|rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1|6" \
            "kiwipete|r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1|5"; do
    IFS='|' read -r name fen depth <<<"$entry"
    read -r tnodes tnps <<<"$(tarvok_run "$fen" "$depth")"
    read -r snodes sns <<<"$(stockfish_run "$fen" "$depth")"
    snps=$(( snodes * 1000000000 / sns ))
    [ "$tnodes" = "$snodes" ] || echo "node counts differ: tarvok $tnodes, stockfish $snodes" >&2
    ratio=$(awk -v a="$tnps" -v b="$snps" 'BEGIN { printf "%.2f", a / b }')
    printf '%-10s %5s %12s %14s %14s %7s\n' "$name" "$depth" "$tnodes" "$tnps" "$snps" "$ratio"
    total_t=$(( total_t + tnps ))
    total_s=$(( total_s + snps ))
done
awk -v a="$total_t" -v b="$total_s" 'BEGIN { printf "mean ratio %.2f (target 0.30)\n", a / b }'
