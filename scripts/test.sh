#!/bin/sh
# Installs what is needed, then builds and runs the whole suite twice: an
# AddressSanitizer + UBSan build and a Release build (the optimiser sees
# warnings the others miss, and a packager builds this way), then checks the
# Debian package made from the Release build, and last runs every fuzz target
# briefly on its seeds. The dev preset is the developers' everyday build; it
# compiles the same code as these two, so CI leaves it out to stay quick.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
for preset in asan release; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
sh scripts/check-package.sh build/release
sh scripts/fuzz.sh 15
