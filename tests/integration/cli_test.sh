#!/usr/bin/env bash
# The command-line front against the reference request system started as its own process:
# version check, the record of a seeded application, and a wrong token's message.
set -euo pipefail
build=$1
src=$2
work=$(mktemp -d /tmp/orvane-cli-test-XXXXXX)
server_pid=
cleanup() {
  status=$?
  if [ "$status" -ne 0 ]; then
    echo "cli test failed (status $status, line ${failed_line:-?}); request system log:"
    cat "$work/log" 2>/dev/null || true
    cat "$work/err" 2>/dev/null || true
  fi
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'failed_line=$LINENO' ERR

# The sample applications and one more like the first, for an enrolment that must fail.
cp "$src/tools/request-system/sample-seed.ini" "$work/seed.ini"
sed -n '/^\[application.demo\]/,/^$/p' "$src/tools/request-system/sample-seed.ini" |
  sed 's/^\[application.demo\]/[application.unwritable]/; s/DEMO-TOKEN-0001/DEMO-TOKEN-0099/; s/100500/100599/' \
    >>"$work/seed.ini"
"$build/tools/request-system/orvane-request-system" --listen 127.0.0.1:0 --state "$work/state" \
  --seed "$work/seed.ini" >"$work/out" 2>"$work/log" &
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

# Output that cannot be written is a failure, and a file that cannot be written leaves nothing.
if "$tool" config >/dev/full 2>/dev/null; then
  echo "a failed write to standard output was reported as success"
  exit 1
fi
if "$tool" render-cert "$src/tests/data/head-ca/rootA.cer" -o "$work/missing/form.html" 2>/dev/null; then
  echo "a failed file write was reported as success"
  exit 1
fi
[ ! -e "$work/missing" ]

version=$("$tool" version-check)
grep -qx 'accepted: yes' <<<"$version"
out=$("$tool" get-subject --token DEMO-TOKEN-0001)
grep -qx 'request_id: 100500' <<<"$out"
grep -qx 'eku: 1.3.6.1.5.5.7.3.2,1.3.6.1.5.5.7.3.4' <<<"$out"
grep -qx 'cryptoStandart: 1' <<<"$out"
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

# The whole job without a window: key, request, SMS code, auto-enrolment, certificate.
cat >>"$work/orvane.conf" <<CONF
[paths]
data_dir = $work/data
CONF
# A certificate that cannot be saved where asked is an error, and the token stays valid.
if "$tool" enroll --token DEMO-TOKEN-0099 --reader "Test carrier" --pin 1234 --sms-outbox "$work/state/outbox.txt" \
  --poll-seconds 1 --out "$work/no-such-dir/cert.cer" >"$work/bad.out" 2>"$work/err"; then
  echo "enroll reported success with an unwritable --out"
  exit 1
fi
grep -q 'Не удалось сохранить сертификат в файл' "$work/err"
if grep -q 'kill_marker' "$work/log"; then
  echo "the token was invalidated although the certificate was not saved"
  exit 1
fi
"$tool" get-certificate --token DEMO-TOKEN-0099 >/dev/null
[ ! -e "$work/no-such-dir" ]

"$tool" enroll --token DEMO-TOKEN-0001 --reader "Test carrier" --pin 1234 --sms-outbox "$work/state/outbox.txt" \
  --poll-seconds 1 --out "$work/cert.cer" >"$work/enroll.out"
grep -q 'Сертификат записан в контейнер' "$work/enroll.out"
issuer=$(openssl x509 -inform der -in "$work/cert.cer" -noout -issuer -nameopt utf8)
grep -q 'Тестовый УЦ Orvane ГОСТ 2012-256' <<<"$issuer"
[ -n "$(find "$work/data/containers" -name 'TVK-100500-001-*')" ]
# The token is used up now.
if "$tool" get-subject --token DEMO-TOKEN-0001 2>/dev/null; then
  echo "the token still works after the certificate was installed"
  exit 1
fi
echo "cli test passed"
