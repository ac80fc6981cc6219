#!/usr/bin/env bash
# check-install.sh <build folder> <demo jar> <java command>...
# Installs the build into a temporary prefix, the way a user would, and runs
# the demo against the installed bridges:
#  - the default install puts exactly the three bridges into lib/ (stripped,
#    their debug information in lib/.debug/) and nothing of the stand-ins;
#  - the stand-ins' component goes into a prefix of its own, stripped the same way;
#  - without LD_LIBRARY_PATH the bridges cannot load (they find no queue
#    manager by themselves); with it naming the stand-ins, the demo passes.
set -euo pipefail
build=$1 demo_jar=$2
shift 2
java=("$@")
cmake=${CMAKE_COMMAND:-cmake}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/zt-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

"$cmake" --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; exit 1; }
"$cmake" --install "$build" --prefix "$tmp/standin" --component standin >>"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log"; exit 1; }

installed=$(cd "$tmp/prefix" && find . -type f | sort | tr '\n' ' ')
expected="./lib/.debug/libdeferbridge.so.debug ./lib/.debug/libsessbridge.so.debug ./lib/.debug/libxabridge.so.debug ./lib/libdeferbridge.so ./lib/libsessbridge.so ./lib/libxabridge.so "
[[ "$installed" == "$expected" ]] || fail "default install: $installed"
standin_lib=$(dirname "$(find "$tmp/standin" -name libztm.so)")
[[ -f "$standin_lib/zthost.jar" && -f "$standin_lib/libztmcs.so" && -f "$standin_lib/libztmzse.so" ]] ||
    fail "stand-in component: $(cd "$tmp/standin" && find . -type f | tr '\n' ' ')"
for f in "$tmp"/prefix/lib/lib{sessbridge,deferbridge,xabridge}.so "$standin_lib"/libztm{,cs,zse}.so; do
    [[ -f $f ]] || continue
    lib=$(basename "$f")
    readelf -SW "$f" | grep -q '\.debug_info' && fail "$lib keeps its debug information"
    readelf -SW "$f" | grep -q '\.gnu_debuglink' || fail "$lib has no debug link"
    readelf -SW "$(dirname "$f")/.debug/$lib.debug" | grep -q '\.debug_info' ||
        fail "$lib.debug holds no debug information"
done
echo "installed: $installed"
echo "stand-ins: ${standin_lib#"$tmp/standin/"}"

cp=("-Djava.library.path=$tmp/prefix/lib" -cp "$standin_lib/zthost.jar:$demo_jar" Demo)
if env -u LD_LIBRARY_PATH "${java[@]}" "${cp[@]}" >"$tmp/alone.log" 2>&1; then
    fail "the demo ran without LD_LIBRARY_PATH: the bridges found a queue manager by themselves"
elif ! grep -q 'libztm.*\.so' "$tmp/alone.log"; then
    cat "$tmp/alone.log"
    fail "without LD_LIBRARY_PATH the demo failed, but not for want of the queue manager's libraries"
else
    echo "without LD_LIBRARY_PATH: $(grep -m1 -o 'libztm[a-z]*\.so[^:]*: [^;]*' "$tmp/alone.log")"
fi
LD_LIBRARY_PATH="$standin_lib" "${java[@]}" "${cp[@]}" >"$tmp/demo.log" 2>&1 || true
head -3 "$tmp/demo.log"
tail -1 "$tmp/demo.log"
grep -qx 'demo complete' "$tmp/demo.log" || { cat "$tmp/demo.log"; fail "the demo did not complete"; }
exit $failed
