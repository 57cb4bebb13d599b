#!/usr/bin/env bash
# Configures and builds one CMake preset: scripts/build.sh [default|asan]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
bash scripts/deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
