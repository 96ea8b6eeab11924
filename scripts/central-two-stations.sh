#!/usr/bin/env bash
# Two stations (two folders, two simulators) send to one PostgreSQL of their own; the server
# is stopped for a while in the middle. Prints how long each catch-up took, compares every
# station's row counts on the server with its data.db, and shows the depot summary of both
# over the server. Takes minutes and runs the stations under Xvfb: run by hand, not by CI.
# Build first (tavrona, sensor-sim, demo-setup, tavrona-report, central_send_helper).
#
#   scripts/central-two-stations.sh [--build DIR] [--run SECONDS] [--down SECONDS] [WORK_DIR]
#
#   --run SECONDS    sending before the server stops, and again after it is back (default 60)
#   --down SECONDS   how long the server stays stopped (default 120)
#   WORK_DIR         default: a new folder under /tmp; kept afterwards for a look
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TAVRONA_BUILD:-$repo/build}
run=60
down=120
work=""
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=${2:?--build needs a folder}; shift 2 ;;
        --run) run=${2:?--run needs seconds}; shift 2 ;;
        --down) down=${2:?--down needs seconds}; shift 2 ;;
        -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "central-two-stations.sh: unknown option $1" >&2; exit 2 ;;
        *) work=$1; shift ;;
    esac
done
build=$(cd "$build" && pwd)
bin=$build/bin
for tool in tavrona sensor-sim demo-setup tavrona-report central_send_helper; do
    [ -x "$bin/$tool" ] || { echo "central-two-stations.sh: $bin/$tool is missing" >&2; exit 1; }
done
pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
[ -n "$pgbin" ] || { echo "central-two-stations.sh: no PostgreSQL server installed" >&2; exit 1; }

work=${work:-$(mktemp -d /tmp/central-two-stations.XXXXXX)}
mkdir -p "$work/pg"
work=$(cd "$work" && pwd)
chmod 755 "$work"
# PostgreSQL refuses to run as root.
as_pg() { if [ "$(id -u)" = 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi; }
[ "$(id -u)" = 0 ] && chown nobody "$work/pg"
pg_up() {
    as_pg "$pgbin/pg_ctl" -D "$work/pg/data" -l "$work/pg/log" -w \
        -o "-k $work/pg -c listen_addresses=" start >/dev/null
}
pg_down() { as_pg "$pgbin/pg_ctl" -D "$work/pg/data" -w -m fast stop >/dev/null; }
conninfo="host=$work/pg dbname=postgres user=central"
psql_n() { "$pgbin/psql" -X -A -t -q -d "$conninfo" -c "$1" 2>/dev/null || echo "-"; }

pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    as_pg "$pgbin/pg_ctl" -D "$work/pg/data" -w -m immediate stop >/dev/null 2>&1 || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

[ -d "$work/pg/data" ] || as_pg "$pgbin/initdb" -D "$work/pg/data" -U central -A trust -E UTF8 \
    --locale=C --no-sync >/dev/null
pg_up

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 >"$work/xvfb.log" 2>&1 &
pids+=($!)

stations=(north south)
for s in "${stations[@]}"; do
    dir=$work/$s
    mkdir -p "$dir/run"
    chmod 700 "$dir/run"
    XDG_RUNTIME_DIR=$dir/run "$bin/demo-setup" "$dir" "$dir/run/tavrona-sim/ttySIM-$s" >/dev/null
    grep -q '^\[Central\]' "$dir/config/Dravo.ini" ||
        printf '\n[Central]\nConnection=%s\nStation=%s\n' "$conninfo" "$s" >>"$dir/config/Dravo.ini"
    XDG_RUNTIME_DIR=$dir/run "$bin/sensor-sim" --link "ttySIM-$s" --fall 1 >"$dir/sim.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -L "$dir/run/tavrona-sim/ttySIM-$s" ] && break; sleep 0.1; done
    (cd "$dir" && DISPLAY=$display XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/config \
        exec "$bin/tavrona" >"$dir/station.log" 2>&1) &
    pids+=($!)
done

local_rows() { sqlite3 "file:$work/$1/data.db?mode=ro" "SELECT count(*) FROM $2" 2>/dev/null || echo "-"; }
server_rows() { psql_n "SELECT count(*) FROM central.$2 WHERE station = '$1'"; }
# Seconds until the server holds, for every station, at least the DATA rows it had at the call.
catch_up() {
    local start=$SECONDS want=() i=0
    for s in "${stations[@]}"; do want+=("$(local_rows "$s" DATA)"); done
    while :; do
        local done=1
        i=0
        for s in "${stations[@]}"; do
            local have
            have=$(server_rows "$s" readings)
            [[ "$have" =~ ^[0-9]+$ ]] && [ "$have" -ge "${want[$i]}" ] || done=0
            i=$((i + 1))
        done
        [ "$done" = 1 ] && break
        [ $((SECONDS - start)) -gt 900 ] && { echo "no catch-up in 15 minutes" >&2; return 1; }
        sleep 1
    done
    echo "$((SECONDS - start)) s (${want[*]} DATA rows)"
}

sleep 5
echo "First start (the demo week of stored readings): caught up in $(catch_up)"
sleep "$run"
echo "Stopping the server for $down s"
pg_down
sleep "$down"
for s in "${stations[@]}"; do
    echo "  $s: $(local_rows "$s" DATA) DATA rows in data.db when the server returns"
done
pg_up
echo "Server back: caught up in $(catch_up)"
sleep "$run"

# Stop the stations and simulators; what they had not sent yet goes with their own sender.
for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
pids=()
for s in "${stations[@]}"; do
    echo "  $s, the rest after the stop: $("$bin/central_send_helper" "$work/$s/data.db" \
        "$conninfo" "$s" 5000)"
done

status=0
for s in "${stations[@]}"; do
    for t in DATA:readings ERROR:errors EVENTS:events; do
        l=$(local_rows "$s" "${t%%:*}")
        r=$(server_rows "$s" "${t##*:}")
        mark=$([ "$l" = "$r" ] && echo ok || echo DIFFERENT)
        [ "$l" = "$r" ] || status=1
        printf '%-6s %-7s data.db %8s  server %8s  %s\n' "$s" "${t%%:*}" "$l" "$r" "$mark"
    done
done

today=$(date +%d/%m/%Y)
"$bin/tavrona-report" --central "$conninfo" --what summary --from "$today" --to "$today" -o - |
    tee "$work/summary.csv"
echo "Work folder: $work"
exit $status
