#!/usr/bin/env bash
# Draws the README's pictures of the main window into docs/screenshots/, with an
# emulated CR-250 and display, on the offscreen platform (no display needed), and
# a plot of docs/examples/display-readings.csv by lumaserve-cli, and the menu entry
# as the programs' package installs it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh
QT_QPA_PLATFORM=offscreen build/tools/screenshots/lumaserve-screenshots docs/screenshots
# A plot of a display's primaries and whites, drawn by lumaserve-cli as a line PC would.
build/lumaserve-cli plot --points docs/examples/display-readings.csv --out docs/screenshots/plot.png --size 900x900
echo docs/screenshots/plot.png
# The menu entry and its icon, from what the install puts below a prefix.
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix" --component lumaserve >/dev/null
QT_QPA_PLATFORM=offscreen build/tools/menuentry/lumaserve-menuentry "$prefix" docs/screenshots/menu-icon.png
echo docs/screenshots/menu-icon.png
