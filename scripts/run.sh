#!/usr/bin/env bash
# Installs what is missing, builds Quadrel and analyses the bundled sample picture (or the files given):
# the feature table of every cell, then the statistics of every feature.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUADREL_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh" >/dev/null
echo "== Cells (quadrel-cli measure) =="
"$build/cli/quadrel-cli" measure "$@"
echo
echo "== Statistics (quadrel-cli stats) =="
"$build/cli/quadrel-cli" stats "$@"
