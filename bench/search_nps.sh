#!/usr/bin/env bash
# Nodes per second of the search on the three benchmark middlegame positions,
# next to what Debian's toga2 and glaurung report for the same positions and
# the same time ("go movetime", one thread each, 32 MB hash), in one run.
#   bench/search_nps.sh [build-dir] [milliseconds per position]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
ms=${2:-10000}
dev="$build/tarvok-dev"
[ -x "$dev" ] || { echo "no $dev: build the tarvok-dev target first" >&2; exit 2; }

positions=(
    "r2q1rk1/1pp1bppp/2n1bn2/p1P1p3/3pP3/P2P1N2/1PQNBPPP/1RB2RK1 b - - 0 1"
    "r2qr1k1/p1pbbppp/2p5/3n4/Q3N3/3B4/PPP2PPP/R1B1R1K1 w - - 7 13"
    "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12"
)

# Runs a UCI engine for one position; prints "nodes time_ms" of its last report.
uci_run() {
    local engine=$1 fen=$2 options=$3
    local wait_s=$(((ms + 1999) / 1000))
    { printf 'uci\n%sisready\nposition fen %s\ngo movetime %d\n' "$options" "$fen" "$ms"
      sleep "$wait_s"; printf 'quit\n'; } |
        "$engine" 2>/dev/null |
        awk '/^info/ { n = ""; t = ""
                       for (i = 1; i < NF; i++) { if ($i == "nodes") n = $(i + 1); if ($i == "time") t = $(i + 1) }
                       if (n != "" && t != "") { nodes = n; time = t } }
             END { print nodes + 0, time + 0 }'
}

tarvok_run() {
    "$dev" search "$1" movetime "$ms" | awk '/^bestmove/ { print $8, $10 }'
}

declare -A total_nodes total_ms
engines=(tarvok toga2 glaurung)
for e in "${engines[@]}"; do total_nodes[$e]=0; total_ms[$e]=0; done

printf '%-10s %-4s %12s %8s %10s\n' engine pos nodes ms kNPS
for i in "${!positions[@]}"; do
    fen=${positions[$i]}
    for e in "${engines[@]}"; do
        case $e in
            tarvok) read -r n t < <(tarvok_run "$fen") ;;
            toga2) read -r n t < <(uci_run /usr/games/toga2 "$fen" \
                $'setoption name Hash value 32\nsetoption name Number of Threads value 1\n') ;;
            glaurung) read -r n t < <(uci_run /usr/games/glaurung "$fen" \
                $'setoption name Hash value 32\nsetoption name Threads value 1\n') ;;
        esac
        knps=0; [ "$t" -gt 0 ] && knps=$((n / t))
        printf '%-10s %-4s %12d %8d %10d\n' "$e" "$((i + 1))" "$n" "$t" "$knps"
        total_nodes[$e]=$((total_nodes[$e] + n)); total_ms[$e]=$((total_ms[$e] + t))
    done
done
echo
for e in "${engines[@]}"; do
    t=${total_ms[$e]}; knps=0; [ "$t" -gt 0 ] && knps=$((total_nodes[$e] / t))
    printf '%-10s total %12d nodes %8d ms %8d kNPS\n' "$e" "${total_nodes[$e]}" "$t" "$knps"
done
