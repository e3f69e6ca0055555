#!/usr/bin/env bash
# Draws the README's pictures of the main window into docs/screenshots/, with an
# emulated CR-250 and display, on the offscreen platform (no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh
QT_QPA_PLATFORM=offscreen build/tools/screenshots/lumaserve-screenshots docs/screenshots
