#!/usr/bin/env bash
# Draws the README's picture of the simulated display technologies' spectra and
# the simulated colorimeters' sensitivities into docs/spectra.png, on the
# offscreen platform (no display needed). Builds first if the program is not
# there yet; installs nothing (scripts/install-deps.sh does that).
set -euo pipefail
cd "$(dirname "$0")/.."

tool=build/tools/spectra/lumaserve-spectra
if [ ! -x "$tool" ]; then
    bash scripts/build.sh
fi
QT_QPA_PLATFORM=offscreen "$tool" docs/spectra.png
echo "docs/spectra.png"
