#!/bin/sh
# Installs what is needed, builds the program and starts it.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake --preset dev
cmake --build --preset dev --target vexalo
exec build/dev/bin/vexalo
