#!/usr/bin/env bash
# Renders each page of the main window headless to a PNG:
#   scripts/render-pages.sh OUTDIR
# The window starts on the simulated board (virtual clock) in a temporary
# working directory with the shipped data files, on Qt's offscreen platform,
# and saves OUTDIR/main.png, OUTDIR/settings.png, ... one per tab.
# BUILD_DIR chooses an existing build directory instead of the default preset.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:?usage: scripts/render-pages.sh OUTDIR}
if [ -n "${BUILD_DIR:-}" ]; then
    build=$BUILD_DIR
else
    bash scripts/deps.sh
    cmake --preset default >/dev/null
    build=build
fi
cmake --build "$build" --target tessaron-pages -j "$(nproc)"
"$build/tessaron-pages" "$out"
