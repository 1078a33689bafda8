#!/usr/bin/env bash
# A longer match of tarvok against Debian's fairymax and phalanx, played by
# xboard 4.9 in match mode without a window (under xvfb-run), half of the
# games with tarvok in xboard mode and half in UCI mode through polyglot.
# Prints per opponent and protocol the score, the games that did not end by
# a chess result, and the time losses of each side. Never fails.
#
#   bench/match.sh [BINARY]
#
# Environment: GAMES (per opponent and protocol, default 20, so 40 games per
# opponent), TC (xboard time-control options, default "-mps 40 -tc 1"),
# OPPONENTS (default "fairymax phalanx").
set -u
cd "$(dirname "$0")/.."
binary=$(realpath "${1:-build/tarvok}")
games=${GAMES:-20}
tc=${TC:-"-mps 40 -tc 1"}
opponents=${OPPONENTS:-"fairymax phalanx"}
export PATH="$PATH:/usr/games"

for tool in xvfb-run xboard polyglot $opponents; do
    command -v "$tool" >/dev/null || { echo "missing: $tool"; exit 0; }
done
[ -x "$binary" ] || { echo "missing: $binary (build it first)"; exit 0; }

work=$(mktemp -d /tmp/tarvok-match-XXXXXX)
trap 'rm -rf "$work"' EXIT

# Sums up a PGN file from tarvok's side: score, games without a chess result,
# time losses of tarvok and of the opponent, faults (illegal moves, crashes).
summarise() {
    awk '
    function flush() {
        if (result == "") return
        n++
        mine = (white ~ /Tarvok/) ? "w" : "b"
        if (result == "1-0") score += (mine == "w") ? 1 : 0
        else if (result == "0-1") score += (mine == "b") ? 1 : 0
        else if (result == "1/2-1/2") score += 0.5
        loser = (result == "1-0") ? "b" : (result == "0-1") ? "w" : ""
        if (result == "*" || ending ~ /exit|first chess program|second chess program|disconnect|crash/)
            unfinished++
        if (ending ~ /on time/) { if (loser == mine) ownTime++; else oppTime++ }
        if (ending ~ /llegal|invalid|Forfeit/ && loser == mine) faults++
        result = ""; ending = ""
    }
    /^\[White "/  { flush(); white = $0 }
    /^\[Result "/ { split($0, r, "\""); result = r[2] }
    /\{[^}]*\}/   { line = $0; while (match(line, /\{[^}]*\}/)) { ending = substr(line, RSTART + 1, RLENGTH - 2); line = substr(line, RSTART + RLENGTH) } }
    END {
        flush()
        printf "games %d  score %.1f/%d  not ended by a chess result %d  time losses: tarvok %d, opponent %d  illegal-move forfeits of tarvok %d\n",
               n, score, n, unfinished, ownTime, oppTime, faults
    }' "$1"
}

total=0
for opponent in $opponents; do
    for protocol in xboard uci; do
        dir="$work/$opponent-$protocol"
        mkdir -p "$dir"
        uciFlag=""
        [ "$protocol" = uci ] && uciFlag="-fUCI"
        # xboard alternates the colours from game to game in match mode.
        # shellcheck disable=SC2086
        timeout $((games * 600)) xvfb-run -a xboard -saveSettingsOnExit false -noGUI -xexit -ponderNextMove false \
            -autoCallFlag true -fcp "$binary" $uciFlag -fd "$dir" -scp "$opponent" -sd "$dir" \
            -matchGames "$games" $tc -saveGameFile "$dir/games.pgn" >/dev/null 2>&1
        printf '%-9s %-6s ' "$opponent" "$protocol"
        if [ -s "$dir/games.pgn" ]; then summarise "$dir/games.pgn"; else echo "no games saved"; fi
        cat "$dir/games.pgn" >> "$work/all.pgn" 2>/dev/null
    done
done
printf '%-16s ' "all"
if [ -s "$work/all.pgn" ]; then summarise "$work/all.pgn"; else echo "no games saved"; fi
