#!/usr/bin/env bash
# Builds the Debian packages into build/packages/: lumaserve (the programs, their
# menu entry, manual pages, service unit and simulated station) and
# libmlink-ca410-<major> (the instrument library with its header and pkg-config
# file). They are made from the normal build in build/, brought up to date first.
#   scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# The packages' dates (changelog, metainfo, manual pages) are the last commit's,
# so packaging one tree twice gives the same files.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
    SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"
    export SOURCE_DATE_EPOCH
fi
bash scripts/build.sh
rm -rf build/packages
(cd build && cpack -G DEB --config CPackConfig.cmake >/dev/null)
rm -rf build/packages/_CPack_Packages
ls build/packages/*.deb
