#!/usr/bin/env bash
# Installs every Debian package Quadrel needs to build, test and benchmark, when it is missing.
# Idempotent and quiet: a machine that already has everything is left alone and nothing is printed.
# Works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libtiff-dev libtiff-tools
  libboost-filesystem-dev libspdlog-dev libfmt-dev libpugixml-dev libgsf-1-dev libxlsxwriter-dev
  qt6-base-dev qt6-base-dev-tools libqt6svg6
  dbus dbus-daemon dbus-x11 python3 python3-dbus python3-pil libglib2.0-bin
  python3-olefile
  xvfb xauth fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
  sudo_cmd=()
elif command -v sudo >/dev/null 2>&1; then
  sudo_cmd=(sudo)
else
  echo "deps.sh: these packages are missing and I am neither root nor able to sudo: ${missing[*]}" >&2
  exit 1
fi

echo "deps.sh: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
if ! { "${sudo_cmd[@]}" apt-get update -qq && \
       "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "deps.sh: package installation failed" >&2
  exit 1
fi
rm -f "$log"
