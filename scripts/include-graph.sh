#!/bin/sh
# Counts the project includes between top-level folders: one row per (from folder, to folder)
# pair with the number of #include "folder/..." lines of the first naming a header of the second.
# Run from the repository root; an optional list of folders replaces the default set.
set -eu
folders=${*:-"app scenes player data tools bench tests"}
for from in $folders; do
  [ -d "$from" ] || continue
  grep -rhoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^/"]+/' "$from" \
    --include='*.h' --include='*.cpp' --include='*.c' --include='*.hpp' 2>/dev/null |
    sed -E 's/.*"([^/"]+)\/$/\1/' | sort | uniq -c |
    while read -r count to; do
      printf '%-8s -> %-8s %5d\n' "$from" "$to" "$count"
    done
done
