#!/usr/bin/env bash
# Builds the Debian package: <build dir>/velquist_<version>-1_<arch>.deb.
# Usage: scripts/build-deb.sh [extra cmake options]; BUILD_DIR (default build-deb).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build-deb}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELQUIST_BUILD_TESTS=OFF -DVELQUIST_BUILD_BENCH=OFF "$@"
cmake --build "$BUILD_DIR" -j "$(nproc)"
(cd "$BUILD_DIR" && cpack -G DEB)
ls "$BUILD_DIR"/velquist_*.deb
