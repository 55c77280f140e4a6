#!/bin/sh
# Times the scenes of two builds in turn on Mesa's software renderer: ROUNDS rounds, each
# running bench_scenes of BEFORE_BUILD and then of AFTER_BUILD (one process per build and
# round, FRAMES frames per scene), so that both meet the same load. Prints every run, then per
# build and scene the best and the median frame rate and CPU time per frame, and the load
# average before and after.
#   scripts/bench-frames.sh BEFORE_BUILD AFTER_BUILD [ROUNDS] [FRAMES]    (default 5 rounds, 200)
# To time an earlier commit with the same harness, build it from `git archive` with this tree's
# bench/bench_scenes.cpp copied in (see docs/PERFORMANCE.md).
set -eu
before=$1
after=$2
rounds=${3:-5}
frames=${4:-200}
log=$(mktemp)
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
round=1
while [ "$round" -le "$rounds" ]; do
  for side in before after; do
    eval build=\$$side
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" env LIBGL_ALWAYS_SOFTWARE=1 \
      "$build/bench_scenes" "$frames" | grep '^scene' | sed "s/^/$side /" | tee -a "$log"
  done
  round=$((round + 1))
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
# Lines read: SIDE scene N (...) FPS frames/s CPU ms CPU/frame over F frames
awk '
  { side = $1; scene = $3; key = side " " scene
    n[key]++; fps[key, n[key]] = $(NF - 7); cpu[key, n[key]] = $(NF - 5) }
  function sort(a, key, count,   i, j, t) {
    for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++)
      if (a[key, j] < a[key, i]) { t = a[key, i]; a[key, i] = a[key, j]; a[key, j] = t } }
  END {
    print "build   scene  best fps  median fps  best CPU ms  median CPU ms  runs"
    for (key in n) keys[++k] = key
    for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++)
      if (keys[j] < keys[i]) { t = keys[i]; keys[i] = keys[j]; keys[j] = t }
    for (i = 1; i <= k; i++) {
      key = keys[i]; c = n[key]; sort(fps, key, c); sort(cpu, key, c)
      split(key, part, " ")
      printf "%-7s %5s %9.1f %11.1f %12.2f %14.2f %5d\n", part[1], part[2], fps[key, c],
        fps[key, int((c + 1) / 2)], cpu[key, 1], cpu[key, int((c + 1) / 2)], c
    }
  }' "$log"
rm -f "$log"
