#!/bin/bash
# Side-by-side wall times of featureresize and ImageMagick's liquid rescale (liblqr) on
# photos from the scikit-image data set, fetched at bench time and never committed.
# Usage: bench/compare_liblqr.sh FEATURERESIZE_BINARY [RUNS]
set -euo pipefail
tool=$1
runs=${2:-3}
root="$(cd "$(dirname "$0")/.." && pwd)"
data="$root/build/bench-data"
mkdir -p "$data"

if [ ! -f "$data/hubble_2000.png" ]; then
  ( cd "$data" && rm -rf deb && mkdir deb && cd deb && apt-get download python3-skimage >/dev/null 2>&1 &&
    dpkg-deb -x python3-skimage_*.deb x )
  src="$data/deb/x/usr/lib/python3/dist-packages/skimage/data"
  cp "$src/coffee.png" "$src/motorcycle_left.png" "$data/"
  convert "$src/hubble_deep_field.jpg" -resize 2000x "$data/hubble_2000.png" 2>/dev/null
  rm -rf "$data/deb"
fi

size() { identify -format '%w %h' "$1"; }

# Wall-clock seconds of one run of a command.
run_time() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

# The smallest of the numbers on stdin, and their median (the lower middle one).
least() { sort -g | head -1; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-24s %-12s %-11s %10s %10s %8s %8s\n' image from to ours liblqr ratio median
# Each run of ours is paired with a run of liblqr right after it, so that both see the same
# load of a shared machine: "ratio" is best against best, "median" the median of the paired
# ratios.
row() {
  local name=$1 file=$2 wp=$3 hp=$4
  local dims w h
  dims=$(size "$file")
  w=${dims% *}
  h=${dims#* }
  local tw th
  tw=$(( (w * wp + 50) / 100 ))
  th=$(( (h * hp + 50) / 100 ))
  local ours="" lqr="" ratios="" o l
  for _ in $(seq "$runs"); do
    o=$(run_time "$tool" "$file" -o "$data/ours.png" --width "$tw" --height "$th" --quiet)
    l=$(run_time convert "$file" -liquid-rescale "${tw}x${th}!" "$data/lqr.png")
    ours+="$o"$'\n'
    lqr+="$l"$'\n'
    ratios+="$(echo "$o / $l" | bc -l)"$'\n'
  done
  o=$(printf '%s' "$ours" | least)
  l=$(printf '%s' "$lqr" | least)
  printf '%-24s %-12s %-11s %9.3fs %9.3fs %8.2f %8.2f\n' "$name" "${w}x${h}" "${tw}x${th}" "$o" "$l" \
    "$(echo "$o / $l" | bc -l)" "$(printf '%s' "$ratios" | median)"
}

row coffee "$data/coffee.png" 50 100
row motorcycle_left "$data/motorcycle_left.png" 70 80
row hubble_2000 "$data/hubble_2000.png" 130 100
row hubble_2000 "$data/hubble_2000.png" 60 100
