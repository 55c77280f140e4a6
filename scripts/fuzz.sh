#!/bin/sh
# Fuzzes the XM loader and the block filler for SECONDS seconds with one job: builds the
# libFuzzer target with clang in build-fuzz (kept apart from the g++ build folders), gathers a
# seed corpus of the embedded song and the fetched real-world corpus, runs the fuzzer and
# prints its summary. Exits non-zero on a finding.
set -eu
seconds=${1:-60}
cd "$(dirname "$0")/.."
build=build-fuzz
instrument="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -g -O1"
CXX=clang++ CC=clang cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DTIRVALEX_FUZZ=ON -DTIRVALEX_DISPLAY=OFF -DBUILD_TESTING=ON \
    -DCMAKE_CXX_FLAGS="$instrument" -DCMAKE_C_FLAGS="$instrument" >/dev/null
cmake --build "$build" --target module_fuzzer -j2

seeds="$build/seeds"
corpus="$build/corpus"
mkdir -p "$seeds" "$corpus" "$build/findings"
cp data/song.xm "$seeds/song.xm"
if [ -d .cache/corpus ]; then
    find .cache/corpus -type f -iname '*.xm' | while read -r file; do
        cp "$file" "$seeds/corpus_$(printf '%s' "$file" | cksum | cut -d' ' -f1).xm"
    done
fi

log="$build/fuzz.log"
status=0
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
nice "$build/module_fuzzer" -max_total_time="$seconds" \
    -max_len=262144 -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
grep -E '^#[0-9]+.*(DONE|pulse|NEW)' "$log" | tail -n 3 || true
grep -E '^stat::' "$log" || true
if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz.sh: finding after $seconds s, see $build/findings/ and $log" >&2
    exit "$status"
fi
echo "fuzz.sh: no findings in $seconds s"
