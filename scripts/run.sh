#!/usr/bin/env bash
# Installs what is missing, builds Rostrel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target rostrel
cd share && exec ../build/src/rostrel "$@"
