#!/bin/sh
# Fails when a C++ file of the project differs from what clang-format makes
# of it with the project's .clang-format. With file names, checks just those
# (the pre-commit hook passes the staged ones); without, every tracked file.
set -eu
cd "$(dirname "$0")/.."
if [ "$#" -eq 0 ]; then
  set -- $(git ls-files '*.cpp' '*.h')
fi
[ "$#" -eq 0 ] && exit 0
clang-format --dry-run --Werror "$@"
