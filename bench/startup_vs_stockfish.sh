#!/bin/sh
# Time from start to "readyok" for tarvok and Debian's stockfish, each sent
# "uci", "setoption name Hash value N" (and its process or thread count) and
# "isready", at 16, 64, 256 and 1024 MB, with 0 and with 2 slaves (stockfish:
# 1 and 3 threads). Each figure is the median of RUNS starts, in ms. Prints a
# table; never fails.
#
#   bench/startup_vs_stockfish.sh [build-dir] [runs]
BUILD=${1:-build}
RUNS=${2:-3}
TARVOK=$(cd "$BUILD" 2>/dev/null && pwd)/tarvok
STOCKFISH=$(command -v stockfish || echo /usr/games/stockfish)

if [ ! -x "$TARVOK" ]; then
    echo "no engine at $TARVOK (build it first)"
    exit 0
fi
if [ ! -x "$STOCKFISH" ]; then
    echo "stockfish not installed (apt-get install stockfish); tarvok only"
    STOCKFISH=""
fi
echo "/dev/shm: $(df -h /dev/shm | awk 'NR == 2 { print $2 " size, " $4 " free" }')"

python3 - "$TARVOK" "$STOCKFISH" "$RUNS" <<'EOF'
import os, select, statistics, subprocess, sys, tempfile, time

tarvok, stockfish, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])

def ready_ms(command, lines, cwd):
    """Milliseconds from the start of command to its "readyok" (None if it
    does not come within 120 s), then ends it."""
    start = time.monotonic()
    p = subprocess.Popen([command], cwd=cwd, stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    p.stdin.write("".join(l + "\n" for l in lines).encode())
    p.stdin.flush()
    pending, took = b"", None
    deadline = start + 120
    while took is None and time.monotonic() < deadline:
        r, _, _ = select.select([p.stdout], [], [], 1.0)
        if not r:
            continue
        chunk = os.read(p.stdout.fileno(), 65536)
        if not chunk:
            break
        pending += chunk
        if b"readyok" in pending:
            took = (time.monotonic() - start) * 1000
        pending = pending[-16:]
    try:
        p.stdin.write(b"quit\n")
        p.stdin.close()
    except BrokenPipeError:
        pass
    try:
        p.wait(10)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
    return took

def median(command, lines):
    times = []
    for _ in range(runs):
        with tempfile.TemporaryDirectory() as d:
            times.append(ready_ms(command, lines, d))
    if any(t is None for t in times):
        return None
    return statistics.median(times)

def show(t):
    return "   -   " if t is None else "%7.0f" % t

print("%8s %7s %12s %14s %7s" % ("hash MB", "slaves", "tarvok ms", "stockfish ms", "ratio"))
for mb in (16, 64, 256, 1024):
    for slaves in (0, 2):
        t = median(tarvok, ["uci", "setoption name Hash value %d" % mb,
                            "setoption name number_of_processors value %d" % slaves,
                            "isready"])
        s = median(stockfish, ["uci", "setoption name Hash value %d" % mb,
                               "setoption name Threads value %d" % (slaves + 1),
                               "isready"]) if stockfish else None
        ratio = "%7.2f" % (t / s) if t and s else "   -   "
        print("%8d %7d %12s %14s %7s" % (mb, slaves, show(t), show(s), ratio))
EOF
