#!/usr/bin/env bash
# Installs what is missing, builds Velquist and runs every test.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUIST_WERROR=ON "$@"
cmake --build "$BUILD_DIR" -j "$(nproc)"
cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)" --timeout 600
