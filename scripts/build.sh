#!/usr/bin/env bash
# Installs what is missing and builds Quadrel into build/ (or $QUADREL_BUILD_DIR).
# Extra arguments go to CMake, e.g. -DQUADREL_SANITIZE=ON.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUADREL_BUILD_DIR:-$root/build}
bash "$root/scripts/deps.sh"
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$build" "${generator[@]}" "$@" >/dev/null
elif [[ $# -gt 0 ]]; then
  cmake -S "$root" -B "$build" "$@" >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)"
