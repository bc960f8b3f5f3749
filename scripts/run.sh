#!/usr/bin/env bash
# Installs what is missing, builds Quadrel and analyses the bundled sample picture (or the files given).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUADREL_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh" >/dev/null
"$build/cli/quadrel-cli" cells "$@"
