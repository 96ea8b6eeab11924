#!/usr/bin/env bash
# scripts/run-demo.sh with the real simulator and demo set-up, and a stand-in station that
# records what it was given and asks the line for one reading.
#   run_demo_test.sh REPO BIN_DIR WORK_DIR
set -euo pipefail
repo=$1 bin=$2 work=$3
rm -rf "$work"
mkdir -p "$work/build/bin" "$work/out"
ln -s "$bin/sensor-sim" "$work/build/bin/sensor-sim"
ln -s "$bin/demo-setup" "$work/build/bin/demo-setup"
cat >"$work/build/bin/tavrona" <<'STUB'
#!/usr/bin/env bash
out=$(dirname "$0")/../../out
pwd >"$out/cwd"
echo "$XDG_CONFIG_HOME" >"$out/config"
port=$(sed -n 's/^PortNum=//p' "$XDG_CONFIG_HOME/Dravo.ini")
echo "$port" >"$out/port"
exec 3<>"$port"
printf '\x31\x01\x06\x6c' >&3          # the data request to address 1
timeout 5 head -c 9 <&3 | od -An -tx1 | tr -d ' \n' >"$out/reply"
STUB
chmod +x "$work/build/bin/tavrona"

fail() { echo "FAIL: $*" >&2; exit 1; }
unset XDG_RUNTIME_DIR
"$repo/scripts/run-demo.sh" --build "$work/build" || fail "run-demo.sh failed"

demo=$work/demo
[ "$(cat "$work/out/cwd")" = "$demo" ] || fail "station not started in the demo folder"
[ "$(cat "$work/out/config")" = "$demo/config" ] || fail "wrong XDG_CONFIG_HOME"
port=$(cat "$work/out/port")
case "$port" in "$demo"/run/tavrona-sim/*) ;; *) fail "PortNum $port not in the demo's runtime folder" ;; esac
grep -qx 'WorkMode=Direct' "$demo/config/Dravo.ini" || fail "WorkMode is not Direct"
reply=$(cat "$work/out/reply")
case "$reply" in 3e0106*) ;; *) fail "no data reply from address 1 on $port: '$reply'" ;; esac
[ ${#reply} -eq 18 ] || fail "reply is not 9 bytes: $reply"
[ -f "$demo/data.db" ] || fail "no data.db"
[ ! -e "$port" ] && [ ! -L "$port" ] || fail "the simulator was not stopped (its link is still there)"
# A second run keeps the database and its history.
"$repo/scripts/run-demo.sh" --build "$work/build" >"$work/out/second" || fail "second run failed"
grep -q "kept as it was" "$work/out/second" || fail "second run did not keep data.db"
echo "run-demo.sh: all checks passed"
