#!/usr/bin/env bash
# check-layers.sh <source root> <jni.h>
# The layers of the bridges' sources (ARCHITECTURE.md), over every .h and .cpp
# under the checked folders, subfolders included:
#  - a file includes only files of its own layer or below; libxabridge's files
#    only their own and the JNI core's;
#  - no include cycle, of any length (a header and its source taken as one);
#  - no JNI function called raw (through any pointer or reference: the names
#    are jni.h's function table) outside the JNI core, except where pinned;
#  - every file and function ARCHITECTURE.md names in backquotes exists.
# Generated and system headers are not ours and not checked.
set -euo pipefail
src=$1
jni_h=$2
cd "$src"

# Layer of a file by its folder, then its name without extension, lowest first.
layer_of() {
    local dir=$1 base=$2
    case $dir in
        common/jni | common/jni/*) echo 1; return ;;
        lib/xa | lib/xa/* | deferred | deferred/*) echo 9; return ;;
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

# What a folder's files may include besides their own layer rule (empty: any
# folder below them). The XA bridge is built with the JNI core only.
allowed_folders() {
    case $1 in
        lib/xa | lib/xa/*) echo "lib/xa common/jni" ;;
        *) echo "" ;;
    esac
}

# Raw JNI calls allowed outside the core, per file: NativeTrace's optional
# method lookup drops the error of a lookup on purpose (three calls).
declare -A raw_allowed=([common/javabase/native/NativeTrace.cpp]=3)

dirs=(common/jni common/javabase/native lib/xa deferred)
roots=("${dirs[@]}")
mapfile -t files < <(find "${dirs[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
declare -A known
for f in "${files[@]}"; do known[$f]=1; done

# The JNI functions, by their names in the function table of jni.h.
jni_names=$(sed -n '/^struct JNINativeInterface_ {/,/^};/p' "$jni_h" |
    grep -oE '(JNICALL|\*) *[A-Z][A-Za-z0-9]* *\)' | grep -oE '[A-Z][A-Za-z0-9]*' | sort -u | paste -sd'|')
if [[ -z $jni_names ]]; then
    echo "no JNI function names found in $jni_h"
    exit 1
fi
raw_call="(->|\\.)[[:space:]]*($jni_names)[[:space:]]*\\("

# The code of a file without its comments.
code_of() { perl -0777 -pe 's{/\*.*?\*/}{ }gs; s{//[^\n]*}{}g' "$1"; }

# The file an include names: beside the includer, else under an include root.
resolve() {
    local from=$1 inc=$2 c
    for c in "$from/$inc" "${roots[@]/%//$inc}"; do
        [[ $c != *..* ]] || c=$(realpath -m --relative-to=. "$c")
        if [[ -n ${known[$c]:-} ]]; then echo "$c"; return; fi
    done
    return 0
}

failed=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
for f in "${files[@]}"; do
    dir=$(dirname "$f") name=$(basename "$f")
    base=${name%.*}
    mine=$(layer_of "$dir" "$base")
    if [[ $mine == "?" ]]; then
        echo "$f: in no layer (add it to check-layers.sh and ARCHITECTURE.md)"
        failed=1
        continue
    fi
    read -ra only <<<"$(allowed_folders "$dir")"
    while read -r inc; do
        target=$(resolve "$dir" "$inc")
        [[ -n $target ]] || continue
        tdir=$(dirname "$target") tname=$(basename "$target")
        theirs=$(layer_of "$tdir" "${tname%.*}")
        if [[ $theirs == "?" || $theirs -gt $mine ]]; then
            echo "$f: includes $inc, a layer above its own ($theirs > $mine)"
            failed=1
        fi
        if [[ ${#only[@]} -gt 0 ]]; then
            ok=0
            for o in "${only[@]}"; do [[ $tdir == "$o" || $tdir == "$o"/* ]] && ok=1; done
            if [[ $ok -eq 0 ]]; then
                echo "$f: includes $inc, outside what its library is built with (${only[*]})"
                failed=1
            fi
        fi
        # Modules: a header and its source are one.
        [[ ${target%.*} == "${f%.*}" ]] || echo "${f%.*} ${target%.*}" >>"$edges"
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$f")

    if [[ $dir != common/jni && $dir != common/jni/* ]]; then
        raw=$(code_of "$f" | grep -Ec "$raw_call" || true)
        if [[ $raw -ne ${raw_allowed[$f]:-0} ]]; then
            echo "$f: $raw raw JNI calls outside the JNI core (${raw_allowed[$f]:-0} allowed):"
            code_of "$f" | grep -En "$raw_call" || true
            failed=1
        fi
    fi
done

# tsort names the members of each loop it meets.
if loops=$(tsort "$edges" 2>&1 >/dev/null) && [[ -z $loops ]]; then
    :
else
    echo "include cycle among:"
    sed -n 's/^tsort: //p' <<<"$loops" | grep -v 'input contains a loop' | sed 's/^/  /'
    failed=1
fi

# What ARCHITECTURE.md names in backquotes: a path must exist (a bare file name
# somewhere in the tree, or beside jni.h), a name of code must be found in the
# sources.
words=$(mktemp)
trap 'rm -f "$edges" "$words"' EXIT
find . -path ./build -prune -o -path ./.git -prune -o -type f \
    \( -name '*.h' -o -name '*.cpp' -o -name '*.java' -o -name '*.cmake' -o -name 'CMakeLists.txt' \
       -o -name '*.map' \) -print0 |
    xargs -0 grep -ohE '[A-Za-z_][A-Za-z0-9_]*' | sort -u >"$words"
while read -r token; do
    case $token in
        *'...'* | *'<'* | *'{'* | *'*'* | [0-9-]*) continue ;;
    esac
    if [[ $token =~ ^[A-Za-z0-9_.-]+(/[A-Za-z0-9_.-]+)*/?$ && ($token == */* || $token =~ \.(h|cpp|sh|map|cmake|md|java|txt)$) ]]; then
        if [[ ! -e ${token%/} && ! -e $(dirname "$jni_h")/$token &&
            -z $(find . -path ./build -prune -o -name "$token" -print -quit) ]]; then
            echo "ARCHITECTURE.md names $token, which is not in the tree"
            failed=1
        fi
    elif [[ $token =~ ^[A-Za-z_][A-Za-z0-9_]*((::|\.|->)[A-Za-z_][A-Za-z0-9_]*)*(::)?(\(.*\))?$ ]]; then
        name=${token%%(*}
        for part in ${name//[.:>-]/ }; do
            if ! grep -qxF "$part" "$words"; then
                echo "ARCHITECTURE.md names $token, but no source has $part"
                failed=1
            fi
        done
    fi
done < <(grep -oE '`[^`]+`' ARCHITECTURE.md | tr -d '`' | sort -u)

if [[ $failed -ne 0 ]]; then
    exit 1
fi
echo "${#files[@]} files: no upward include, no include cycle, raw JNI calls only where pinned;" \
    "what ARCHITECTURE.md names exists"
