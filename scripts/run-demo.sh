#!/usr/bin/env bash
# Runs the station on the sensor simulator in a demo folder of its own, never in the
# user's real data.db. Build first (see README); this script builds nothing.
#
#   scripts/run-demo.sh [--build DIR] [--reset] [DEMO_DIR] [-- sensor-sim options]
#
#   --build DIR   the build folder (default: $TAVRONA_BUILD, else build/ in the repository)
#   --reset       start the demo folder's data.db afresh
#   DEMO_DIR      default: demo/ beside the build folder
#   after --       options for sensor-sim, e.g. -- --silent 4 --fall 200
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TAVRONA_BUILD:-$repo/build}
reset=0
demo=""
sim_args=()

while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=${2:?--build needs a folder}; shift 2 ;;
        --build=*) build=${1#--build=}; shift ;;
        --reset) reset=1; shift ;;
        -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        --) shift; sim_args=("$@"); break ;;
        -*) echo "run-demo.sh: unknown option $1" >&2; exit 2 ;;
        *) demo=$1; shift ;;
    esac
done

build=$(cd "$build" 2>/dev/null && pwd) || { echo "run-demo.sh: no build folder; build first" >&2; exit 1; }
demo=${demo:-$(dirname "$build")/demo}
for tool in tavrona sensor-sim demo-setup; do
    if [ ! -x "$build/bin/$tool" ]; then
        echo "run-demo.sh: $build/bin/$tool is missing; build the project first" >&2
        exit 1
    fi
done

mkdir -p "$demo"
demo=$(cd "$demo" && pwd)
if [ "$reset" = 1 ]; then
    rm -f "$demo/data.db"
fi

# The simulator links its line into the runtime folder, where the Settings dialog looks.
# Use the session's own folder when it is a private one (ours, and writable by no one
# else: the station lists no line from any other folder), else one inside the demo.
runtime=${XDG_RUNTIME_DIR:-}
if [ -z "$runtime" ] || [ -L "$runtime" ] || [ ! -d "$runtime" ] || [ ! -w "$runtime" ] ||
    [ ! -O "$runtime" ] || [ -n "$(find "$runtime" -maxdepth 0 -perm /022)" ]; then
    runtime=$demo/run
    mkdir -p "$runtime"
    chmod 700 "$runtime"
fi
export XDG_RUNTIME_DIR=$runtime
link_name=ttySIM-demo
port=$runtime/tavrona-sim/$link_name

"$build/bin/demo-setup" "$demo" "$port"

# The simulated tanks go on from the levels data.db last stored: a restart makes no jump
# that the station would take for a delivery or a loss.
start_levels=$(cat "$demo/sim-start" 2>/dev/null || true)
start_args=()
[ -n "$start_levels" ] && start_args=(--start "$start_levels")

"$build/bin/sensor-sim" --link "$link_name" --fall 1 --scenario all "${start_args[@]}" "${sim_args[@]}" >"$demo/sensor-sim.log" 2>&1 &
sim_pid=$!
stop_sim() {
    if kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

# Wait for the line to exist before the station opens it.
for _ in $(seq 50); do
    [ -L "$port" ] && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$demo/sensor-sim.log" >&2; exit 1; }
    sleep 0.1
done
[ -L "$port" ] || { echo "run-demo.sh: the simulator did not start" >&2; exit 1; }

echo "Demo folder: $demo"
echo "Sensor line: $port -> $(head -n1 "$demo/sensor-sim.log")"
echo "Take the line away and give it back: kill -USR2 $sim_pid (each time)"
cd "$demo"
XDG_CONFIG_HOME=$demo/config "$build/bin/tavrona"
