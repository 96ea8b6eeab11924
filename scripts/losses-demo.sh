#!/bin/sh
# Fourteen days of a 20 000 l diesel tank made from a depot's physics (trucks by day, three
# deliveries, slow and fast thefts at night, a leak of 3 l/h), and what the report tool makes
# of them: the events, the daily balance and the leak test.
#   scripts/losses-demo.sh [BUILD_DIR, default build] [OUT_DIR, default a new temporary one]
set -eu
build=${1:-build}
out=${2:-$(mktemp -d)}
mkdir -p "$out"
db=$out/data.db
rm -f "$db"
"$build/bin/physics-history" "$db" --from 2026-03-02 --days 14 --leak 3 \
    --event 3,10:00,8000,300 --event 7,10:00,8000,300 --event 11,10:00,8000,300 \
    --event 4,23:10,-150,2 --event 6,01:30,-400,8 --event 8,02:00,-600,150 \
    --event 10,23:00,-120,3 --event 12,00:30,-300,100 --event 12,03:30,-200,5
for what in events daily leak; do
    echo "== tavrona-report --what $what"
    "$build/bin/tavrona-report" --db "$db" --what "$what" --tank 1 --from 02/03/2026 \
        --to 15/03/2026 -o -
done
