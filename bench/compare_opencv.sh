#!/usr/bin/env bash
# Side-by-side run of quadrel-cli and the OpenCV reference pipeline on the same 4096 x 4096 synthetic image.
# Prints each run and the ratios: end-to-end time, analysis after decoding against OpenCV's labelling plus
# contours, and peak resident memory. Usage: bench/compare_opencv.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shared=${QUADREL_SHARED:-$root/../shared}
runs=${1:-3}
build=${QUADREL_BUILD_DIR:-$root/build}
bash "$root/scripts/deps.sh"
for p in python3-opencv python3-numpy python3-pil time; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="${missing:-} $p"
done
if [[ -n "${missing:-}" ]]; then
  ${SUDO:-$( [[ $(id -u) -eq 0 ]] || echo sudo )} apt-get install -y -qq $missing >/dev/null
fi
cmake --build "$build" --target quadrel-cli >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$shared/bench/make_big.py" 4096 "$work/big.png"

for i in $(seq "$runs"); do
  /usr/bin/time -f "%M %e" -o "$work/cv.time" /usr/bin/python3 "$shared/bench/opencv_pipeline.py" "$work/big.png" > "$work/cv.out"
  /usr/bin/time -f "%M %e" -o "$work/q.time" "$build/cli/quadrel-cli" measure --features all --timings "$work/big.png" \
    > /dev/null 2> "$work/q.out"
  cv_total=$(sed -n 's/.*total=\([0-9.]*\)s.*/\1/p' "$work/cv.out")
  cv_label=$(sed -n 's/.*label+stats=\([0-9.]*\)s.*/\1/p' "$work/cv.out")
  cv_shape=$(sed -n 's/.*contours+shape=\([0-9.]*\)s.*/\1/p' "$work/cv.out")
  q_total=$(sed -n 's/.*total=\([0-9.]*\)s.*/\1/p' "$work/q.out")
  q_analysis=$(sed -n 's/.*analysis=\([0-9.]*\)s.*/\1/p' "$work/q.out")
  read -r cv_rss cv_wall < "$work/cv.time"
  read -r q_rss q_wall < "$work/q.time"
  echo "run $i: opencv $(cat "$work/cv.out") rss=${cv_rss}kB wall=${cv_wall}s"
  echo "run $i: quadrel $(cat "$work/q.out") rss=${q_rss}kB wall=${q_wall}s"
  awk -v a="$q_total" -v b="$cv_total" -v c="$q_analysis" -v d="$cv_label" -v e="$cv_shape" -v f="$q_rss" -v g="$cv_rss" \
    'BEGIN { printf "run %d ratios: end to end %.2f, analysis / (labelling + contours) %.2f, peak memory %.2f\n", '"$i"', a / b, c / (d + e), f / g }'
done
