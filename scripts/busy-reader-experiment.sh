#!/usr/bin/env bash
# Does another program reading data.db cost the station any reading? The demo station polls
# six simulated sensors; after a minute a second process reads data.db in long transactions
# (holding a read for 2.5 s, letting go for 0.3 s, as a report, a backup copy or the sqlite3
# shell does) for two minutes, then stops; a minute later the simulator stops. Prints the
# data replies the simulator sent and the DATA rows the station stored meanwhile.
#
#   scripts/busy-reader-experiment.sh [--build DIR] [--read SECONDS] [--after SECONDS]
#
# Needs a built station and simulator, python3, and a display (run it under xvfb-run -a).
# Works in a folder of its own under /tmp; never touches the demo's or a real data.db.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TAVRONA_BUILD:-$repo/build}
read_s=120
after_s=60
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=${2:?}; shift 2 ;;
        --read) read_s=${2:?}; shift 2 ;;
        --after) after_s=${2:?}; shift 2 ;;
        -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "busy-reader-experiment.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

work=$(mktemp -d /tmp/tavrona-busy-XXXXXX)
runtime=$work/run
mkdir -p "$runtime"
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
port=$runtime/tavrona-sim/ttySIM-busy
"$build/bin/demo-setup" "$work" "$port" >/dev/null

pids=()
cleanup() {
    for p in "${pids[@]}"; do
        kill -TERM "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
}
trap cleanup EXIT

"$build/bin/sensor-sim" --link ttySIM-busy --stats >"$work/sim.log" 2>&1 &
sim=$!
pids+=("$sim")
for _ in $(seq 50); do
    [ -L "$port" ] && break
    sleep 0.1
done

rows() {
    python3 - "$work/data.db" <<'PY'
import sqlite3, sys
db = sqlite3.connect("file:%s?mode=ro" % sys.argv[1], uri=True, timeout=10)
try:
    print(db.execute("SELECT count(*) FROM DATA").fetchone()[0])
except sqlite3.OperationalError:
    print(0)
PY
}
base=$(rows)

(cd "$work" && XDG_CONFIG_HOME=$work/config exec "$build/bin/tavrona") >"$work/station.log" 2>&1 &
station=$!
pids+=("$station")


sleep 60
echo "reader: ${read_s} s of 2.5 s read transactions with 0.3 s gaps"
python3 - "$work/data.db" "$read_s" <<'PY'
import sqlite3, sys, time
db = sqlite3.connect(sys.argv[1], timeout=10, isolation_level=None)
end = time.time() + float(sys.argv[2])
while time.time() < end:
    db.execute("BEGIN")
    db.execute("SELECT count(*) FROM DATA").fetchone()
    time.sleep(2.5)
    db.execute("COMMIT")
    time.sleep(0.3)
PY
echo "reader stopped; ${after_s} s without it"
sleep "$after_s"

kill -TERM "$sim"
wait "$sim" 2>/dev/null || true
sleep 3
stored=$(( $(rows) - base ))
kill -TERM "$station" 2>/dev/null || true
wait "$station" 2>/dev/null || true
answered=$(grep -o 'data=[0-9]*' "$work/sim.log" | tail -n1 | cut -d= -f2)
journal=$(python3 -c "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute('PRAGMA journal_mode').fetchone()[0])" "$work/data.db")
echo "journal mode: $journal"
echo "data replies sent by the simulator: $answered"
echo "DATA rows stored: $stored"
echo "boxes or storage lines in the station's output:"
grep -i "locked\|waiting\|stored" "$work/station.log" || echo "  none"
echo "folder: $work"
