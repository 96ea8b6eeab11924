#!/usr/bin/env bash
# How soon the main window shows on a one-year 14-tank data.db, and the window's worst
# answer time while the start-up work runs (report index build, stored readings, history
# examination). Three starts, each in a folder and settings of its own:
#   1. a year written without the report indexes and never examined (a first start),
#   2. the same file started again (indexes built, history examined),
#   3. the year with the indexes made by hand but never examined.
# Needs a build with -DTAVRONA_BENCHMARKS=ON (target start_probe) and xvfb-run.
#
#   benchmarks/start_window.sh [BUILD_DIR] [YEAR_DB]
set -euo pipefail
build=${1:-build}
year=${2:-$build/bench-data/year-sqlite3.db}
here=$(cd "$(dirname "$0")" && pwd)
probe=$build/bin/start_probe
[ -x "$probe" ] || { echo "no $probe: configure with -DTAVRONA_BENCHMARKS=ON" >&2; exit 2; }
if [ ! -f "$year" ]; then
    mkdir -p "$(dirname "$year")"
    "$here/make_year_db.sh" "$year"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() { # NAME FILE
    mkdir -p "$work/$1/config" "$work/$1/run"
    chmod 700 "$work/$1/run"
    echo "== $1"
    XDG_CONFIG_HOME="$work/$1/config" XDG_RUNTIME_DIR="$work/$1/run" \
        xvfb-run -a "$probe" "$2" "$(date +%s%N)" 300
}

cp "$year" "$work/first.db"
run "first start, no report indexes" "$work/first.db"
run "second start, indexes built and history examined" "$work/first.db"
cp "$year" "$work/indexed.db"
sqlite3 "$work/indexed.db" \
    "CREATE INDEX DATA_READINGS ON DATA (adr, tstamp, flevel, fcode, temp);
     CREATE INDEX ERROR_ADR_TSTAMP ON ERROR (adr, tstamp);"
run "indexes present, history never examined" "$work/indexed.db"
