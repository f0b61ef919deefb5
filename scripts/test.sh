#!/bin/sh
# Installs what is needed, then builds and runs the whole suite twice:
# a normal build and an AddressSanitizer + UBSan build.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
for preset in dev asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
