#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUADREL_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh" "$@"
cd "$build"
ctest --output-on-failure --parallel "$(nproc)"
