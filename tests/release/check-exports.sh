#!/usr/bin/env bash
# check-exports.sh <library> <pinned list>
# Fails unless the library's defined dynamic symbols are exactly the pinned
# names: a leaked internal (or a lost native) shows up as a diff.
set -euo pipefail
lib=$1 pinned=$2
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort -u)
expected=$(grep -v '^#' "$pinned" | sed '/^$/d' | sort -u)
if [[ "$actual" != "$expected" ]]; then
    echo "$(basename "$lib"): exported symbols differ from $(basename "$pinned") (< pinned, > exported):"
    diff <(echo "$expected") <(echo "$actual") || true
    exit 1
fi
echo "$(basename "$lib"): $(echo "$actual" | wc -l) exported symbols, as pinned"
