#!/usr/bin/env bash
# check-layers-selftest.sh <source root> <jni.h>
# check-layers.sh must pass on the tree and fail on each fault below, planted
# one at a time in a copy, with the line that names it: a check that stops
# seeing a kind of fault fails here, not silently.
set -euo pipefail
src=$(cd "$1" && pwd)
jni_h=$2
check=$src/tests/release/check-layers.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fresh_copy() {
    rm -rf "$work/tree"
    mkdir "$work/tree"
    tar -C "$src" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/tree" -xf -
}
add() { printf '%s\n' "${@:2}" >>"$work/tree/$1"; }
n=common/javabase/native

# name | what the check must say | how the fault is planted
plant_cycle3() {
    add $n/NativeZTPMO.h '#include "NativeZTRR.h"'
    add $n/NativeZTRR.h '#include "NativeZTOR.h"'
    add $n/NativeZTOR.h '#include "NativeZTPMO.h"'
}
plant_upward() { add $n/NativeUtil.h '#include "VerbFrame.h"'; }
plant_subfolder_raw() {
    mkdir -p "$work/tree/$n/extra"
    add $n/extra/NativeZTExtra.cpp '#include <jni.h>' \
        'jint peek(JNIEnv* env, jobject o, jfieldID f) { return env->GetIntField(o, f); }'
}
plant_other_name_raw() { add $n/NativeZTMD.cpp 'static jint peek(JNIEnv* e, jobject o, jfieldID f) { return e->GetIntField(o, f); }'; }
plant_reference_raw() { add $n/NativeZTGMO.cpp 'static void drop(JNIEnv& jenv) { jenv.ExceptionClear(); }'; }
plant_xa_sees_verbs() { add lib/xa/ZTXAiMethods.cpp '#include "VerbFrame.h"'; }
plant_no_layer() { add $n/Stray.h '#pragma once'; }
plant_doc_function() { add ARCHITECTURE.md 'See `checked::noSuchCall` for details.'; }
plant_doc_file() { add ARCHITECTURE.md 'See `common/jni/Gone.h`.'; }

rows=(
    "cycle3|include cycle among:"
    "upward|NativeUtil.h: includes VerbFrame.h, a layer above its own"
    "subfolder_raw|extra/NativeZTExtra.cpp: 1 raw JNI calls outside the JNI core"
    "other_name_raw|NativeZTMD.cpp: 1 raw JNI calls outside the JNI core"
    "reference_raw|NativeZTGMO.cpp: 1 raw JNI calls outside the JNI core"
    "xa_sees_verbs|ZTXAiMethods.cpp: includes VerbFrame.h, outside what its library is built with"
    "no_layer|Stray.h: in no layer"
    "doc_function|no source has noSuchCall"
    "doc_file|names common/jni/Gone.h, which is not in the tree"
)

failed=0
fresh_copy
if ! out=$(bash "$check" "$work/tree" "$jni_h" 2>&1); then
    echo "the check fails on the tree itself:"
    echo "$out"
    failed=1
fi
for row in "${rows[@]}"; do
    IFS='|' read -r name expect <<<"$row"
    fresh_copy
    "plant_$name"
    if out=$(bash "$check" "$work/tree" "$jni_h" 2>&1); then
        echo "$name: the check passed with the fault planted"
        failed=1
    elif ! grep -qF -- "$expect" <<<"$out"; then
        echo "$name: the check failed, but not with \"$expect\":"
        echo "$out" | sed 's/^/  /'
        failed=1
    else
        echo "$name: caught"
    fi
done
exit $failed
