#!/usr/bin/env bash
# Builds tessaron and starts it on the simulated nForce2 board, in the
# working directory run/ (made from data/ the first time; the board file and
# your settings are kept there between runs). Extra arguments go to tessaron.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default
mkdir -p run
for f in boards.ini controls.ini; do
    [ -e "run/$f" ] || cp "data/$f" "run/$f"
done
cd run
export TESSARON_HW=sim
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    # no display: tessaron still runs (headless); say how to stop it
    echo "tessaron: no display, running headless on the simulated board (log: run/tessaron.log); Ctrl-C ends it in order" >&2
fi
exec ../build/tessaron "$@"
