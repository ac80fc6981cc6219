#!/usr/bin/env bash
# check-reproducible.sh <source folder> <stand-in library folder> <cmake> <generator> <cmake options>...
# Builds the three bridges twice, from two copies of the sources in folders of
# different names and depths, and fails unless the libraries are identical
# byte for byte (debug information included). The copies build against a
# queue manager folder made of the stand-in's interface header and libraries
# (-DZT_QMGR_DIR), which also proves that option: only the bridges are built.
set -euo pipefail
src=$1 standin=$2 cmake=$3 generator=$4
shift 4
tmp=$(mktemp -d "${TMPDIR:-/tmp}/zt-repro.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

mkdir -p "$tmp/qm/include" "$tmp/qm/lib"
cp "$src/qmgr/include/ztm.h" "$tmp/qm/include/"
cp "$standin"/libztm.so "$standin"/libztmcs.so "$standin"/libztmzse.so "$tmp/qm/lib/"

libs=(libsessbridge.so libdeferbridge.so libxabridge.so)
for copy in a "second/copy-with-a-longer-name"; do
    dir="$tmp/$copy"
    mkdir -p "$dir/src"
    # What the bridges are built from, and nothing else.
    (cd "$src" && cp -r CMakeLists.txt cmake common deferred host lib "$dir/src/")
    "$cmake" -S "$dir/src" -B "$dir/build" -G "$generator" -DZT_QMGR_DIR="$tmp/qm" "$@" \
        >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; exit 1; }
    "$cmake" --build "$dir/build" -j 1 --target sessbridge deferbridge xabridge \
        >"$dir/build.log" 2>&1 || { cat "$dir/build.log"; exit 1; }
done
status=0
for lib in "${libs[@]}"; do
    if cmp -s "$tmp/a/build/lib/$lib" "$tmp/second/copy-with-a-longer-name/build/lib/$lib"; then
        echo "$lib: identical ($(stat -c %s "$tmp/a/build/lib/$lib") bytes)"
    else
        echo "$lib: the two builds differ"
        cmp "$tmp/a/build/lib/$lib" "$tmp/second/copy-with-a-longer-name/build/lib/$lib" | head -1 || true
        status=1
    fi
done
exit $status
