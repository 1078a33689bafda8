#!/bin/sh
# Rebuilds the shipped opening book: 300 games of the engine against itself at
# depth 6 (seed 1; the first 10 plies picked among near-best moves), kept in
# book/data/selfplay.pgn, then the book of the positions up to ply 16 that
# two games or more met. Usage: tools/make_book.sh [build] [--games-only|--book-only]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
data=$root/book/data
if [ "$2" != "--book-only" ]; then
  "$build/tarvok-dev" selfplay 300 1 6 "$data/selfplay.pgn"
fi
if [ "$2" != "--games-only" ]; then
  "$build/tarvok-dev" makebook "$data/bookTarvok.ctg" --plies 16 --min-games 2 "$data/selfplay.pgn"
fi
ls -l "$data"
