#!/bin/sh
# Installs what is needed, checks the formatting and the layers, then builds
# and runs the suite: all of it under AddressSanitizer + UBSan, the test
# programs whose code runs threads under ThreadSanitizer (the host lookup, the
# event loop's posts and the token refresh, and the runs built on them; Qt's
# own code is not instrumented), and the desktop's tests under Release (the
# optimiser sees warnings the others miss, and a packager builds this way).
# Then it checks the Debian package made from the Release build and runs
# clang-tidy over src while every fuzz target runs briefly on its seeds. The
# dev preset is the developers' everyday build; it compiles the same code, so
# CI leaves it out to stay quick.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh
sh scripts/check-format.sh
python3 scripts/check-layers.py
export QT_QPA_PLATFORM=offscreen
for preset in asan tsan release; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
done
# Two at a time: most tests wait on a server or a timer, not the processor.
ctest --preset asan -j 2
ctest --preset tsan -j 2
# The tsan build already ran the threaded tests optimised (-O2); the
# release preset builds only the desktop's, which the tsan build leaves out.
ctest --preset release -j 2
sh scripts/check-package.sh build/release
# Each fuzz run keeps one processor busy for a set time: clang-tidy takes the
# other meanwhile, once the fuzz build no longer needs both.
sh scripts/fuzz.sh build
sh scripts/tidy.sh build/release >build/tidy.log 2>&1 &
tidy=$!
sh scripts/fuzz.sh 15
if ! wait "$tidy"; then
  cat build/tidy.log >&2
  echo "clang-tidy has findings" >&2
  exit 1
fi
