#!/usr/bin/env bash
# The command-line front against the reference request system started as its own process:
# version check, the record of a seeded application, and a wrong token's message.
set -euo pipefail
build=$1
src=$2
work=$(mktemp -d /tmp/orvane-cli-test-XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/tools/request-system/orvane-request-system" --listen 127.0.0.1:0 --state "$work/state" \
  --seed "$src/tools/request-system/sample-seed.ini" >"$work/out" 2>"$work/log" &
server_pid=$!
for _ in $(seq 1 100); do
  grep -q '^listening' "$work/out" 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's|^listening https://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/out")
[ -n "$port" ] || { echo "server did not start"; cat "$work/log"; exit 1; }

cat >"$work/orvane.conf" <<CONF
[request_system]
host = 127.0.0.1
port = $port
[tls]
extra_ca_file = $work/state/tls/server-ca.pem
CONF
export ORVANE_CONFIG=$work/orvane.conf
tool=$build/src/orvane-tool

"$tool" version-check | grep -qx 'accepted: yes'
out=$("$tool" get-subject --token DEMO-TOKEN-0001)
echo "$out" | grep -qx 'request_id: 100500'
echo "$out" | grep -qx 'eku: 1.3.6.1.5.5.7.3.2,1.3.6.1.5.5.7.3.4'
echo "$out" | grep -qx 'cryptoStandart: 1'
if "$tool" get-subject --token NO-SUCH-TOKEN 2>"$work/err"; then
  echo "a wrong token was accepted"
  exit 1
fi
grep -qx 'Ошибка: Маркер доступа не найден' "$work/err"
if "$tool" get-certificate --token DEMO-TOKEN-0002 2>"$work/err"; then
  echo "a certificate before the request"
  exit 1
fi
grep -q 'еще не выпущен' "$work/err"
echo "cli test passed"
