#!/usr/bin/env bash
# Installs the build into a fresh prefix and runs the command-line program from
# there as a line PC would: nothing on LD_LIBRARY_PATH, nothing of the build tree.
#   installedprogram.sh CMAKE BUILD_DIR
set -euo pipefail
cmake="$1"
build="$2"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
unset LD_LIBRARY_PATH

fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

for file in bin/Lumaserve bin/lumaserve-cli include/mlink_ca410.h share/lumaserve/Lumaserve_zh_CN.qm \
            lib/libmlink_ca410.so lib/lumaserve/standins/libmlink_i1d3.so \
            lib/lumaserve/standins/libmlink_k10.so; do
    [ -e "$prefix/$file" ] || fail "$file is not installed"
done
# Whatever links the library by name binds to its interface version, not to the file.
soname="$(objdump -p "$prefix/lib/libmlink_ca410.so" | sed -n 's/^ *SONAME *//p')"
case "$soname" in
    libmlink_ca410.so.[0-9]*) ;;
    *) fail "libmlink_ca410.so has SONAME '$soname', not a versioned one" ;;
esac
[ -e "$prefix/lib/$soname" ] || fail "lib/$soname is not installed"

cd "$prefix"
sensors="$(bin/lumaserve-cli sensors)" || fail "lumaserve-cli sensors exited with $?"
echo "$sensors"
echo "$sensors" | grep -F " library $prefix/lib/libmlink_ca410.so" >/dev/null \
    || fail "lumaserve-cli sensors did not find libmlink_ca410 in $prefix/lib"

status=0
bin/lumaserve-cli simulate --sensor CR-250 >simulate.log 2>&1 || status=$?
tail -5 simulate.log
[ "$status" -eq 0 ] || fail "lumaserve-cli simulate --sensor CR-250 exited with $status"
echo "installed programs run from $prefix"
