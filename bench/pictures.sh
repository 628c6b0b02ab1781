#!/bin/sh
# pictures.sh [BIN] [WORK]: whole runs at 4096 x 4096, lvfilter beside
# ImageMagick on the same work, taken in one run: a photo-like PNG (smooth
# colour with sensor-like noise) blended with a PNG vignette, written as
# PNG at each compression and as JPEG at quality 90. Prints the median,
# fastest and slowest of RUNS runs (default 5) and the size written.
set -eu
bin=${1:-build/bin}
work=${2:-build/bench-pictures}
runs=${RUNS:-5}
mkdir -p "$work"
photo=$work/photo.png vignette=$work/vignette.png
# Made once: plasma takes a while at this size. The seed makes it the same picture every time.
[ -s "$photo" ] || convert -seed 7 -size 4096x4096 plasma:fractal -blur 0x8 -attenuate 0.6 +noise Gaussian \
  -depth 8 "$photo"
[ -s "$vignette" ] || convert -size 4096x4096 radial-gradient:white-gray80 -depth 8 -type TrueColor "$vignette"

# Seconds of each run, sorted.
durations() {
  i=0
  while [ $i -lt "$runs" ]; do
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "FAILED: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    echo "$end - $start" | bc
    i=$((i + 1))
  done | sort -n
}

row() {  # label, output, command...
  label=$1 out=$2
  shift 2
  t=$(durations "$@")
  median=$(echo "$t" | sed -n "$(((runs + 1) / 2))p")
  printf '| %s | %.3f s | %.3f s | %.3f s | %s bytes |\n' "$label" "$median" "$(echo "$t" | head -1)" \
    "$(echo "$t" | tail -1)" "$(stat -c %s "$out")"
}

echo "| run ($runs each) | median | fastest | slowest | written |"
echo "|---|---|---|---|---|"
row "ImageMagick, PNG (its default)" "$work/im.png" \
  convert "$photo" "$vignette" -compose LinearBurn -composite "$work/im.png"
for level in fast default best; do
  row "lvfilter, PNG --compression $level" "$work/$level.png" \
    "$bin/lvfilter" "$photo" "$vignette" -o "$work/$level.png" --compression "$level"
done
row "ImageMagick, JPEG quality 90" "$work/im.jpg" \
  convert "$photo" "$vignette" -compose LinearBurn -composite -quality 90 "$work/im.jpg"
# At quality 90 ImageMagick keeps full colour resolution (4:4:4) where
# libjpeg's default, and lvfilter's, halves it both ways (4:2:0): the same
# setting, but not the same work. This row does lvfilter's.
row "ImageMagick, JPEG quality 90, 4:2:0" "$work/im420.jpg" \
  convert "$photo" "$vignette" -compose LinearBurn -composite -quality 90 -sampling-factor 4:2:0 "$work/im420.jpg"
row "lvfilter, JPEG --quality 90" "$work/out.jpg" \
  "$bin/lvfilter" "$photo" "$vignette" -o "$work/out.jpg" --quality 90
row "lvfilter, BMP (reading and blending alone)" "$work/out.bmp" \
  "$bin/lvfilter" "$photo" "$vignette" -o "$work/out.bmp"
# The same pixels as ImageMagick's, every level.
for level in fast default best; do
  [ "$(compare -metric AE "$work/$level.png" "$work/im.png" null: 2>&1)" = 0 ] ||
    { echo "FAILED: --compression $level differs from ImageMagick's pixels" >&2; exit 1; }
done
