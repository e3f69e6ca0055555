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

for file in bin/Lumaserve bin/lumaserve-cli include/mlink_ca410.h include/xspect.h share/lumaserve/Lumaserve_zh_CN.qm \
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

# The pkg-config file: the project's version, and flags that build against the
# installed header and library wherever the prefix is.
version="$("$prefix/bin/lumaserve-cli" --version)"
version="${version#lumaserve-cli }"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
pcversion="$(pkg-config --modversion mlink_ca410)" || fail "pkg-config does not find mlink_ca410.pc"
[ "$pcversion" = "$version" ] || fail "mlink_ca410.pc says version $pcversion, the programs $version"
printf '#include <mlink_ca410.h>\nint main(void) { return new_clog(0, 0, 0, 0) != 0; }\n' >"$prefix/pc.c"
# shellcheck disable=SC2046
cc -o "$prefix/pc" "$prefix/pc.c" $(pkg-config --cflags --libs mlink_ca410) \
    || fail "a program does not build with mlink_ca410.pc's flags"

# The menu entry starts an installed program and names an icon the theme has at
# every size a menu asks for.
desktop=("$prefix"/share/applications/*.desktop)
[ -f "${desktop[0]}" ] || fail "no desktop entry is installed"
exec="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "${desktop[0]}")"
[ -x "$prefix/bin/$exec" ] || fail "the desktop entry starts '$exec', which is not installed in bin/"
icon="$(sed -n 's/^Icon=//p' "${desktop[0]}")"
for size in 16 22 24 32 48 64 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png"
    file -b "$png" 2>/dev/null | grep -F "PNG image data, $size x $size," >/dev/null \
        || fail "the menu icon '$icon' is not a ${size}x$size PNG in the hicolor theme"
done
grep -F "<svg" "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" >/dev/null 2>&1 \
    || fail "the menu icon '$icon' has no scalable SVG in the hicolor theme"

# The manual pages: each of lumaserve-cli's commands with every option it takes.
for page in Lumaserve lumaserve-cli; do
    [ -s "$prefix/share/man/man1/$page.1.gz" ] || fail "share/man/man1/$page.1.gz is not installed"
done
manpage="$(gzip -dc "$prefix/share/man/man1/lumaserve-cli.1.gz")"
commands="$("$prefix/bin/lumaserve-cli" --help | awk '/^Commands:$/ { on = 1; next } /^$/ { on = 0 } on { print $1 }')"
[ -n "$commands" ] || fail "lumaserve-cli --help lists no command"
for command in $commands; do
    section="$(printf '%s\n' "$manpage" | heading=".SS ${command//-/\\-}" \
               awk '$0 == ENVIRON["heading"] { on = 1; next } /^\.S[SH] / { on = 0 } on')"
    [ -n "$section" ] || fail "lumaserve-cli.1 has no section for the command $command"
    for option in $("$prefix/bin/lumaserve-cli" "$command" --help 2>/dev/null | sed -n 's/^  \(-[^ ,]*\).*/\1/p'); do
        printf '%s\n' "$section" | grep -F "\\fB${option//-/\\-}" >/dev/null \
            || fail "lumaserve-cli.1 does not give $command's option $option"
    done
done

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
