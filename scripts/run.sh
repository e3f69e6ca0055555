#!/usr/bin/env bash
# Installs what is needed, builds, and starts Lumaserve with a simulated station
# beside it: a display under alignment and every sensor the program knows, no
# instrument needed. Without a display it plays the station's walkthrough on the
# offscreen platform and prints each step (the program's log goes to
# build/walkthrough.log). Arguments are passed on to Lumaserve.
# For real instruments run build/Lumaserve itself.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    # Profiles saved while trying the station stay out of the checkout.
    mkdir -p build/station
    cd build/station
    exec ../Lumaserve --simulate "$@"
fi

echo "No display found: playing the simulated station's walkthrough on the offscreen platform."
echo
status=0
QT_QPA_PLATFORM=offscreen build/Lumaserve --simulate --walkthrough "$@" 2>build/walkthrough.log || status=$?
if [ "$status" -ne 0 ]; then
    echo "The walkthrough failed (exit $status); the end of the program's log, build/walkthrough.log:" >&2
    tail -n 20 build/walkthrough.log >&2
fi
exit "$status"
