#!/usr/bin/env bash
# check-layers.sh <source folder>
# The layers of the bridges' sources (ARCHITECTURE.md): a file includes only
# files of its own layer or below, no two files (a header and its source taken
# as one) include each other, and no JNI function is called raw
# (env->..., ->functions->) outside the JNI core (common/jni), except where
# pinned below. Generated and system headers are not ours and not checked.
set -euo pipefail
src=$1
cd "$src"

# Layer of a file by its name without extension, lowest first.
layer_of() {
    local dir=$1 base=$2
    case $dir in
        common/jni) echo 1; return ;;
        lib/xa | deferred) echo 9; return ;;
    esac
    case $base in
        JavaStrings | InternalError) echo 2 ;;
        NativeTrace) echo 3 ;;
        NativeUtil) echo 4 ;;
        FieldCopy | NativePint) echo 5 ;;
        MemberLookup | NativeZT*) echo 6 ;;
        VerbFrame) echo 7 ;;
        ArgumentChecks | MessageVerbs) echo 8 ;;
        com_zel_zt_server_ZTSESSION*) echo 9 ;;
        *) echo "?" ;;
    esac
}

# Raw JNI calls allowed outside the core, per file: NativeTrace's optional
# method lookup drops the error of a lookup on purpose (three calls).
declare -A raw_allowed=([common/javabase/native/NativeTrace.cpp]=3)

dirs=(common/jni common/javabase/native lib/xa deferred)
mapfile -t files < <(find "${dirs[@]}" -maxdepth 1 -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
declare -A where  # file name -> folder
for f in "${files[@]}"; do where[$(basename "$f")]=$(dirname "$f"); done

failed=0
declare -A edges  # "A B": module A includes module B
for f in "${files[@]}"; do
    dir=$(dirname "$f") name=$(basename "$f")
    base=${name%.*}
    mine=$(layer_of "$dir" "$base")
    if [[ $mine == "?" ]]; then
        echo "$f: in no layer (add it to check-layers.sh and ARCHITECTURE.md)"
        failed=1
        continue
    fi
    while read -r inc; do
        [[ -n ${where[$inc]:-} ]] || continue
        ibase=${inc%.*}
        [[ $ibase == "$base" ]] && continue
        theirs=$(layer_of "${where[$inc]}" "$ibase")
        if [[ $theirs == "?" || $theirs -gt $mine ]]; then
            echo "$f: includes $inc, a layer above its own ($theirs > $mine)"
            failed=1
        fi
        edges["$base $ibase"]=$f
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$f")

    raw=$(grep -Ec '^[^/]*(\b[A-Za-z_]*env_?->[A-Z]|->functions->|\(\*[A-Za-z_]*env\)->)' "$f" || true)
    if [[ $dir != common/jni && $raw -ne ${raw_allowed[$f]:-0} ]]; then
        echo "$f: $raw raw JNI calls outside the JNI core (${raw_allowed[$f]:-0} allowed):"
        grep -En '^[^/]*(\b[A-Za-z_]*env_?->[A-Z]|->functions->|\(\*[A-Za-z_]*env\)->)' "$f" || true
        failed=1
    fi
done

for e in "${!edges[@]}"; do
    read -r a b <<<"$e"
    if [[ -n ${edges["$b $a"]:-} && $a < $b ]]; then
        echo "$a and $b include each other (${edges[$e]}, ${edges["$b $a"]})"
        failed=1
    fi
done

if [[ $failed -ne 0 ]]; then
    exit 1
fi
echo "${#files[@]} files: no upward include, no two including each other, raw JNI calls only where pinned"
