#!/usr/bin/env bash
# Speed-up of the split search: a fresh engine over UCI per run, with 0, 1 and
# 2 slave processes (number_of_processors), "go depth D" on the three
# benchmark positions, the median of a few runs of the time from "go" to
# "bestmove" (with a move time far beyond it, so that only the depth ends
# the search). Prints the times per position, then per depth the geometric
# means of time(0)/time(2) (the speed-up), time(0)/time(1) (what handing the
# root moves to one slave costs) and the nodes per second per searching
# process (1, 1 and 2 of them). It prints, never fails.
#   bench/smp_speedup.sh [build-dir] [runs] [depths...]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
shift 2 2>/dev/null || shift $#
depths=("$@")
[ ${#depths[@]} -gt 0 ] || depths=(12 14)
engine="$(pwd)/$build/tarvok"
[ -x "$engine" ] || { echo "no $engine: build the tarvok target first" >&2; exit 2; }

positions=(
    "r2q1rk1/1pp1bppp/2n1bn2/p1P1p3/3pP3/P2P1N2/1PQNBPPP/1RB2RK1 b - - 0 1"
    "r2qr1k1/p1pbbppp/2p5/3n4/Q3N3/3B4/PPP2PPP/R1B1R1K1 w - - 7 13"
    "r4rk1/pppbqppp/2n1p3/3n4/2B5/4PN2/PBP2PPP/R2Q1RK1 w - - 0 12"
)
slave_counts=(0 1 2)

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# One search by a fresh engine in a scratch directory; prints "ms nodes".
run_one() {
    local slaves=$1 depth=$2 fen=$3 dir line start end nodes=0
    dir=$(mktemp -d)
    (
        cd "$dir" || exit
        coproc ENG { "$engine" 2>/dev/null; }
        printf 'uci\nsetoption name number_of_processors value %d\nisready\n' "$slaves" >&"${ENG[1]}"
        while read -r -t 60 line <&"${ENG[0]}"; do [ "$line" = readyok ] && break; done
        printf 'position fen %s\n' "$fen" >&"${ENG[1]}"
        start=$(now_ms)
        printf 'go depth %d movetime 100000000\n' "$depth" >&"${ENG[1]}"
        while read -r -t 900 line <&"${ENG[0]}"; do
            case $line in
                "Nodes="*) nodes=${line#Nodes=} ;;
                bestmove*) break ;;
            esac
        done
        end=$(now_ms)
        printf 'quit\n' >&"${ENG[1]}"
        wait "$ENG_PID" 2>/dev/null
        echo "$((end - start)) $nodes"
    )
    rm -rf "$dir"
}

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A time_of nodes_of
printf '%-5s %-4s %-7s %10s %12s\n' depth pos slaves median_ms nodes
for depth in "${depths[@]}"; do
    for p in "${!positions[@]}"; do
        for s in "${slave_counts[@]}"; do
            times=() node_list=()
            for ((r = 0; r < runs; r++)); do
                read -r t n < <(run_one "$s" "$depth" "${positions[$p]}")
                times+=("$t"); node_list+=("$n")
            done
            m=$(median "${times[@]}")
            nm=$(median "${node_list[@]}")
            time_of[$depth,$p,$s]=$m
            nodes_of[$depth,$p,$s]=$nm
            printf '%-5s %-4s %-7s %10d %12d\n' "$depth" "$((p + 1))" "$s" "$m" "$nm"
        done
    done
done
echo
for depth in "${depths[@]}"; do
    {
        for p in "${!positions[@]}"; do
            echo "${time_of[$depth,$p,0]} ${time_of[$depth,$p,1]} ${time_of[$depth,$p,2]}" \
                "${nodes_of[$depth,$p,0]} ${nodes_of[$depth,$p,1]} ${nodes_of[$depth,$p,2]}"
        done
    } | awk -v d="$depth" '
        function ratio(a, b) { return b > 0 ? a / b : 0 }
        { t0 = $1 > 0 ? $1 : 1; t1 = $2 > 0 ? $2 : 1; t2 = $3 > 0 ? $3 : 1
          s02 += log(t0 / t2); s01 += log(t0 / t1)
          k0 += log(ratio($4, t0) + 1e-9); k1 += log(ratio($5, t1) + 1e-9); k2 += log(ratio($6, t2) / 2 + 1e-9); n++ }
        END { printf "depth %d: time(0)/time(2) %.2f  time(0)/time(1) %.2f  kNPS per searching process %.0f %.0f %.0f\n",
                     d, exp(s02 / n), exp(s01 / n), exp(k0 / n), exp(k1 / n), exp(k2 / n) }'
done
