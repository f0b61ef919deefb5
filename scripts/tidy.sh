#!/bin/sh
# Runs clang-tidy with the project's .clang-tidy over the sources of src/ (or
# the files given after the build folder), using the compile commands of
# BUILD (first argument, build/release by default). Any finding fails.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build/release}"
[ "$#" -gt 0 ] && shift
if [ "$#" -eq 0 ]; then
  set -- $(git ls-files 'src/*.cpp')
fi
# The compile commands are g++'s; clang does not know every g++ warning flag.
run-clang-tidy -quiet -p "$build" -j "$(nproc)" -extra-arg=-Wno-unknown-warning-option "$@"
