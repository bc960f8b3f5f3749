#!/usr/bin/env bash
# Installs what is missing, builds Quadrel and analyses the bundled sample picture (or the files given):
# the feature table of every cell, then the statistics of every feature; with a display, it starts the
# desktop program instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUADREL_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh" >/dev/null
# With a display (and a build that has the desktop program) the program opens on the sample or on the
# first file given; without one the command-line analysis below runs instead.
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x "$build/quadrel" && -z "${QUADREL_NO_GUI:-}" ]]; then
  exec "$build/quadrel" "${1:-$root/resources/sample.png}"
fi
echo "== Cells (quadrel-cli measure) =="
"$build/cli/quadrel-cli" measure "$@"
echo
echo "== Statistics (quadrel-cli stats) =="
"$build/cli/quadrel-cli" stats "$@"
