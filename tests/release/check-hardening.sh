#!/usr/bin/env bash
# check-hardening.sh <fortified: 0|1> <folder that must not appear, or -> <library>...
# What a distributor checks on each bridge: full RELRO (GNU_RELRO and
# BIND_NOW), no executable stack, no search path at all (the queue manager's
# libraries come from the system or LD_LIBRARY_PATH, never from the build
# tree), the queue manager's libraries needed by name, stack protection,
# _FORTIFY_SOURCE where the build optimises, and no build folder recorded.
set -euo pipefail
fortified=$1 folder=$2
shift 2
failed=0
fail() { echo "  FAIL: $*"; failed=1; }
for lib in "$@"; do
    echo "$(basename "$lib"):"
    dyn=$(readelf -dW "$lib")
    segs=$(readelf -lW "$lib")
    undef=$(nm -D --undefined-only "$lib" | awk '{print $NF}')
    grep -q 'GNU_RELRO' <<<"$segs" || fail "no GNU_RELRO segment"
    grep -Eq '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dyn" || fail "not linked with -z now"
    stack=$(grep 'GNU_STACK' <<<"$segs" || true)
    [[ -n "$stack" ]] || fail "no GNU_STACK header (the stack would be executable)"
    grep -q 'RWE' <<<"$stack" && fail "executable stack: $stack"
    grep -Eq '\((RPATH|RUNPATH)\)' <<<"$dyn" && fail "has a search path: $(grep -E 'R(UN)?PATH' <<<"$dyn")"
    for qm in libztm.so libztmcs.so libztmzse.so; do
        grep -q "(NEEDED).*\[$qm\]" <<<"$dyn" || fail "does not need $qm by name"
    done
    grep -q '^__stack_chk_fail' <<<"$undef" || fail "no stack protector (__stack_chk_fail not referenced)"
    if [[ $fortified == 1 ]]; then
        grep -Eq '^__[a-z]+_chk' <<<"$undef" || fail "no fortified call (__*_chk) referenced"
    fi
    if [[ $folder != - ]] && grep -qF "$folder" "$lib"; then
        fail "records the folder $folder (-ffile-prefix-map missing)"
    fi
    [[ $failed -eq 0 ]] && echo "  RELRO, BIND_NOW, no exec stack, no RUNPATH, stack protector$([[ $fortified == 1 ]] && echo ', fortified')"
done
exit $failed
