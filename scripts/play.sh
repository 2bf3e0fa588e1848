#!/usr/bin/env bash
# Installs what is missing, builds the game and its data root, and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_TESTS=OFF -DZT_BUILD_BENCH=OFF
cmake --build build
exec build/zentrik "$@"
