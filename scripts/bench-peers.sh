#!/bin/bash
# Rendering speed against Debian's xmp: renders every .xm of the corpus with build/xm_render and
# with `xmp -i linear -f 44100`, each to a WAV file, and prints per file and overall the seconds
# of audio rendered per CPU second (user + system, the best of RUNS runs) and our speed over
# xmp's. The renders may differ in length (each player decides where a song ends), so speeds,
# not times, are compared.
#
#   scripts/bench-peers.sh [CORPUS]     (default: .cache/corpus; RUNS=3, BUILD=build)
set -euo pipefail
cd "$(dirname "$0")/.."
corpus=${1:-.cache/corpus}
build=${BUILD:-build}
runs=${RUNS:-3}
renderer=$build/xm_render

if [ ! -x "$renderer" ]; then
    echo "bench-peers: $renderer is missing; build first (make build)" >&2
    exit 1
fi
# xmp serves this benchmark only; it is not one of the project's dependencies.
if ! command -v xmp >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get install -y -qq --no-install-recommends xmp >/dev/null
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The best CPU time (user + system, seconds) of RUNS runs of a command.
best_cpu() {
    local best="" t
    for _ in $(seq "$runs"); do
        t=$( { TIMEFORMAT='%U %S'; time "$@" </dev/null >/dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }')
        if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$t
        fi
    done
    echo "$best"
}

# Seconds of audio in a WAV file.
duration() {
    sox --i -D "$1" 2>/dev/null || echo 0
}

printf '%-48s %9s %9s %9s %9s %7s\n' song "ours s" "ours x" "xmp s" "xmp x" ratio
ours_audio=0 ours_cpu=0 xmp_audio=0 xmp_cpu=0
while IFS= read -r song; do
    name=${song#"$corpus"/}
    oc=$(best_cpu "$renderer" --rate 44100 "$song" "$scratch/ours.wav")
    oa=$(duration "$scratch/ours.wav")
    xc=$(best_cpu xmp --norc --nocmd -f 44100 -i linear -o "$scratch/xmp.wav" "$song")
    xa=$(duration "$scratch/xmp.wav")
    awk -v n="$name" -v oa="$oa" -v oc="$oc" -v xa="$xa" -v xc="$xc" 'BEGIN {
        os = oc > 0 ? oa / oc : 0; xs = xc > 0 ? xa / xc : 0
        printf "%-48s %9.1f %9.0f %9.1f %9.0f %7.2f\n", n, oa, os, xa, xs, (xs > 0 ? os / xs : 0) }'
    ours_audio=$(awk -v a="$ours_audio" -v b="$oa" 'BEGIN { print a + b }')
    ours_cpu=$(awk -v a="$ours_cpu" -v b="$oc" 'BEGIN { print a + b }')
    xmp_audio=$(awk -v a="$xmp_audio" -v b="$xa" 'BEGIN { print a + b }')
    xmp_cpu=$(awk -v a="$xmp_cpu" -v b="$xc" 'BEGIN { print a + b }')
done < <(find "$corpus" -type f -iname '*.xm' | sort)

awk -v oa="$ours_audio" -v oc="$ours_cpu" -v xa="$xmp_audio" -v xc="$xmp_cpu" 'BEGIN {
    os = oc > 0 ? oa / oc : 0; xs = xc > 0 ? xa / xc : 0
    printf "%-48s %9.1f %9.0f %9.1f %9.0f %7.2f\n", "overall", oa, os, xa, xs, (xs > 0 ? os / xs : 0) }'
