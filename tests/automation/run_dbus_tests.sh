#!/usr/bin/env bash
# Starts a private session bus, serves a document on it and drives it with real clients.
# Usage: run_dbus_tests.sh HOST QUADREL_CLI PICTURE
set -euo pipefail
host=$1 cli=$2 picture=$3
here=$(cd "$(dirname "$0")" && pwd)
for tool in dbus-run-session gdbus; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
/usr/bin/python3 -c 'import dbus' || { echo "missing python3-dbus"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QUADREL_TEST_WORK=$work
dbus-run-session -- bash -c '
  set -u
  "$0" "$2" > "$QUADREL_TEST_WORK/host.log" 2>&1 &
  pid=$!
  for i in $(seq 100); do
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.NameHasOwner Quadrel.Document 2>/dev/null | grep -q true && break
    kill -0 $pid 2>/dev/null || { cat "$QUADREL_TEST_WORK/host.log"; exit 1; }
    sleep 0.1
  done
  /usr/bin/python3 "$3" "$2" "$1" "$QUADREL_TEST_WORK"
  status=$?
  # A second start of the program hands its file to the running one and ends.
  if [ $status -eq 0 ] && [ "$(basename "$0")" = quadrel ]; then
    cp "$2" "$QUADREL_TEST_WORK/second.png"
    if timeout 60 "$0" "$QUADREL_TEST_WORK/second.png" > "$QUADREL_TEST_WORK/second.log" 2>&1; then
      echo "ok   a second start hands its file over"
    else
      echo "FAIL a second start hands its file over"; cat "$QUADREL_TEST_WORK/second.log"; status=1
    fi
  fi
  kill -0 $pid 2>/dev/null || { echo "the document host died"; cat "$QUADREL_TEST_WORK/host.log"; status=1; }
  kill $pid 2>/dev/null
  exit $status
' "$host" "$cli" "$picture" "$here/client_test.py"
