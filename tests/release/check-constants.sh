#!/usr/bin/env bash
# check-constants.sh <javap> <zthost.jar> <listing program, with its emulator if any>...
# com.zel.zt.ZTConstants in the jar holds exactly the constants the listing
# program prints (each name of ztm.h it was generated from, with the value the
# C compiler gives it), and a few the Java side relies on are among them.
set -euo pipefail
javap=$1 jar=$2
shift 2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/zt-constants.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
"$@" | sort >"$tmp/c"
"$javap" -constants -cp "$jar" com.zel.zt.ZTConstants |
    sed -n -e 's/^ *public static final int \([A-Z0-9_]*\) = \(-\{0,1\}[0-9]*\);$/\1 \2/p' \
           -e 's/^ *public static final java\.lang\.String \([A-Z0-9_]*\) = "\(.*\)";$/\1 \2/p' |
    sort >"$tmp/java"
failed=0
if ! diff -u "$tmp/c" "$tmp/java"; then
    echo "FAIL: ZTConstants differs from ztm.h (- C, + Java)"
    failed=1
fi
for row in "ZTRC_NO_MSG_AVAILABLE 3016" "ZTOO_OUTPUT 16" "ZTGMO_SYNCPOINT 2" "ZTIA_CURRENT_DEPTH 3" \
           "ZTPER_PERSISTENT 1" "ZTHC_UNUSABLE_HCONN -1" "ZT_DEFAULT_QMGR_NAME ZTQM.STANDIN"; do
    grep -qxF "$row" "$tmp/java" || { echo "FAIL: ZTConstants lacks $row"; failed=1; }
done
echo "$(wc -l <"$tmp/java") constants compared"
exit $failed
