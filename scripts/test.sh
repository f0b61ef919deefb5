#!/bin/sh
# Installs what is needed, then builds and runs the whole suite three times:
# a normal build, an AddressSanitizer + UBSan build and a Release build
# (the optimiser sees warnings the others miss; a packager builds this way),
# and last checks the Debian package made from the Release build.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
for preset in dev asan release; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
sh scripts/check-package.sh build/release
