#!/bin/sh
# Captures the show with two builds and compares the pictures pixel by pixel: every 2 s of the
# show, and the two frames either side of each scene change (the first frame and the one after
# it, 13.7 s, 28.7 s, 72 s, and the last frame before the end at 79 s). show_capture draws a
# frame every 100 ms of song time, the same frames run after run.
#   scripts/compare-show.sh BEFORE_BUILD AFTER_BUILD [OUT_DIR]
# BEFORE_BUILD and AFTER_BUILD are build folders holding show_capture (for instance a build of
# an earlier commit made from `git archive`). Prints one line per frame.
set -eu
before=$1
after=$2
out=${3:-$(mktemp -d)}
here=$(dirname "$0")
times=0,0.1,13.7,13.8,28.7,28.8,72,72.1,78.9
t=2
while [ $t -le 78 ]; do
  times=$times,$t
  t=$((t + 2))
done
for side in before after; do
  eval build=\$$side
  mkdir -p "$out/$side"
  xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" env LIBGL_ALWAYS_SOFTWARE=1 \
    "$build/show_capture" --at "$times" --out "$out/$side" >"$out/$side.txt"
done
echo "pictures in $out"
python3 "$here/compare-frames.py" "$out/before" "$out/after"
