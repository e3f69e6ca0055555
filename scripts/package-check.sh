#!/usr/bin/env bash
# CI: the Debian packages as a line PC gets them. Builds them (scripts/package.sh,
# from the normal build), has lintian check them (an error fails), installs them
# with apt, runs the installed programs from their installed paths, purges them
# and fails if any of their files or directories is left behind.
#   scripts/package-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
fail() { echo "FAIL: $*" >&2; exit 1; }
started=$SECONDS
bash scripts/install-deps.sh

bash scripts/package.sh >/dev/null
debs=(build/packages/*.deb)
packages=()
for deb in "${debs[@]}"; do packages+=("$(dpkg-deb -f "$deb" Package)"); done
version="$(dpkg-deb -f "${debs[0]}" Version)"
echo "packages: ${packages[*]} $version ($((SECONDS - started)) s)"

lintian --fail-on error "${debs[@]}" || fail "lintian found errors"
echo "lintian: no error ($((SECONDS - started)) s)"

# What the packages put on the system, and which of those paths were there before.
work="$(mktemp -d)"
cleanup() {
    $sudo apt-get purge -y -qq "${packages[@]}" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
$sudo apt-get purge -y -qq "${packages[@]}" >/dev/null 2>&1 || true
for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$work/unpacked"
done
desktop-file-validate "$work"/unpacked/usr/share/applications/*.desktop || fail "the desktop entry is not valid"
appstreamcli validate --no-net "$work"/unpacked/usr/share/metainfo/*.metainfo.xml >/dev/null \
    || fail "the AppStream metainfo is not valid"
for deb in "${debs[@]}"; do
    dpkg-deb -c "$deb" | awk '{ sub(/^\./, "", $6); sub(/\/$/, "", $6); if ($6 != "") print $6 }'
done | sort -u >"$work/paths"
while read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then echo "$path"; fi
done <"$work/paths" >"$work/before"

$sudo apt-get install -y -qq "${debs[@]/#/./}" >/dev/null || fail "apt-get install failed"
for package in "${packages[@]}"; do dpkg -L "$package"; done | sort -u >"$work/installed"
echo "installed ($((SECONDS - started)) s)"

# The installed programs, as a station runs them: nothing of the checkout, a
# working directory of their own.
mkdir "$work/run"
(
    cd "$work/run"
    unset LD_LIBRARY_PATH
    [ "$(/usr/bin/lumaserve-cli --version)" = "lumaserve-cli $version" ] \
        || fail "lumaserve-cli --version does not say $version"
    [ "$(QT_QPA_PLATFORM=offscreen /usr/bin/Lumaserve --version)" = "Lumaserve $version" ] \
        || fail "Lumaserve --version does not say $version"
    /usr/bin/lumaserve-cli sensors >sensors.txt || fail "lumaserve-cli sensors exited with $?"
    grep -F " library /usr/lib/libmlink_ca410.so" sensors.txt >/dev/null \
        || fail "the installed lumaserve-cli did not find /usr/lib/libmlink_ca410.so"
    status=0
    /usr/bin/lumaserve-cli simulate --sensor CR-250 >simulate.log 2>&1 || status=$?
    [ "$status" -eq 0 ] || { tail -20 simulate.log; fail "lumaserve-cli simulate --sensor CR-250 exited with $status"; }
    tail -1 simulate.log
)
echo "installed programs ran ($((SECONDS - started)) s)"

$sudo apt-get purge -y -qq "${packages[@]}" >/dev/null || fail "apt-get purge failed"
left=()
while read -r path; do
    grep -qxF "$path" "$work/before" && continue
    if [ -e "$path" ] || [ -L "$path" ]; then left+=("$path"); fi
done < <(sort -u "$work/installed" "$work/paths")
for dir in /usr/share/lumaserve /usr/lib/lumaserve /usr/share/doc/lumaserve; do
    [ -e "$dir" ] && left+=("$dir")
done
[ ${#left[@]} -eq 0 ] || fail "left after purge: ${left[*]}"
echo "purged, nothing left ($((SECONDS - started)) s)"
