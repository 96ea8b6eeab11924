#!/usr/bin/env bash
# Installs what is missing, configures and builds the station, then starts it on the sensor
# simulator in a demo folder of its own (scripts/run-demo.sh; its options pass through).
#
#   scripts/demo.sh [run-demo.sh options]     e.g. scripts/demo.sh --reset -- --silent 4
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
BUILD=${BUILD:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)" --target tavrona sensor-sim demo-setup
exec scripts/run-demo.sh --build "$BUILD" "$@"
