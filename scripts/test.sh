#!/usr/bin/env bash
# Installs what the tests need, builds the Release and the sanitizer
# configurations, and runs every test. Used by CI (.ci/run) and by hand.
set -euo pipefail
cd "$(dirname "$0")/.."

export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq g++ cmake ninja-build googletest libgtest-dev libbenchmark-dev \
    stockfish fairymax phalanx xboard polyglot xvfb xauth \
    libgaviotatb-dev gaviotatb >/dev/null
export PATH="$PATH:/usr/games"

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVOK_SANITIZE=ON \
    -DTARVOK_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"

# xboard always reads ~/.xboardrc (it finds the home folder through the
# password file, so HOME cannot redirect it), and a file saved by an earlier
# xboard session can keep a match from starting its engines. The game tests
# never write one; a file found here is set aside for the run and put back.
xboardrc="$(getent passwd "$(id -u)" | cut -d: -f6)/.xboardrc"
if [ -f "$xboardrc" ]; then
    mv "$xboardrc" "$xboardrc.tarvok-tests"
    trap 'mv "$xboardrc.tarvok-tests" "$xboardrc"' EXIT
fi

status=0
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 1200 || status=1
# The sanitizer configuration runs everything but the tests named Slow* (long
# differential runs and real games), which run once, in Release.
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 1200 -E 'Slow' || status=1
exit $status
