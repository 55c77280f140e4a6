#!/bin/sh
# Measures how close our offline renderer comes to the two peer players on the fetched corpus:
# xmfidelity's corpus.py renders every .xm under .cache/corpus with openmpt123, xmp and
# build/xm_render, compares the renders and writes OUT/results.md and OUT/results.json.
#
#   scripts/fidelity.sh [OUT]        (default OUT: build/fidelity)
#
# XMFIDELITY names the tool folder (default: ../shared/tools/xmfidelity beside the repository);
# BUILD names the build folder holding xm_render (default: build). Extra arguments after OUT go
# to corpus.py (for instance --only 'vor/*' or --keep-wavs).
set -eu
cd "$(dirname "$0")/.."
repo=$(pwd)
tools=${XMFIDELITY:-$repo/../shared/tools/xmfidelity}
build=${BUILD:-build}
out=${1:-$build/fidelity}
[ $# -gt 0 ] && shift

if [ ! -x "$build/xm_render" ]; then
    echo "fidelity: $build/xm_render is missing; build first (make build)" >&2
    exit 1
fi
if [ ! -f "$tools/corpus.py" ]; then
    echo "fidelity: no corpus.py in $tools (set XMFIDELITY)" >&2
    exit 1
fi
if ! ls .cache/corpus/*/*.xm >/dev/null 2>&1; then
    scripts/fetch-corpus.sh >/dev/null
fi
mkdir -p "$out"
/usr/bin/python3 "$tools/corpus.py" .cache/corpus "$out" \
    --ours "$repo/$build/xm_render --rate 44100 {in} {out}" "$@"
echo "fidelity: results in $out/results.md"
