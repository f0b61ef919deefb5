#!/bin/sh
# Builds the fuzz preset's targets and runs each libFuzzer target for SECONDS
# seconds (first argument, 15 by default) on its seeds: those under
# fuzz/corpus and ones made from the test fixtures. A crash stops the script,
# its input kept in build/fuzz/work/<target>/crashes/; each one becomes a
# named fixture under tests/fixtures/fuzz/<target>/, which the tests replay.
# "fuzz.sh build" only builds them.
set -eu
cd "$(dirname "$0")/.."
targets="pop3_reply pop3_run message_parser string_cipher ini_reader load_alldata"
cmake --preset fuzz >/dev/null
# shellcheck disable=SC2046 # one argument per target
cmake --build --preset fuzz --target $(for target in $targets; do echo "${target}_fuzz"; done)
[ "${1:-}" = build ] && exit 0
seconds="${1:-15}"
work=build/fuzz/work
rm -rf "$work"
for target in $targets; do
  corpus="$work/$target/corpus"
  mkdir -p "$corpus" "$work/$target/crashes"
  cp fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  dict=""
  case "$target" in
    pop3_reply | pop3_run) dict=fuzz/dict/pop3.dict ;;
    message_parser)
      dict=fuzz/dict/mime.dict
      # The target reads the separator and a trigger switch first, then the
      # mail with CR LF line ends, as the client hands its lines over.
      for mail in tests/fixtures/mail/*.eml tests/integration/mail/*.eml; do
        { printf ':0'; sed 's/\r*$/\r/' "$mail"; } >"$corpus/$(basename "$mail")"
      done
      ;;
    load_alldata) cp tests/integration/expected/AllData.csv "$corpus/expected-alldata" ;;
  esac
  if ! build/fuzz/bin/"$target"_fuzz ${dict:+-dict=$dict} -max_total_time="$seconds" \
      -artifact_prefix="$work/$target/crashes/" -print_final_stats=1 "$corpus" \
      >"$work/$target/log" 2>&1; then
    echo "$target: crashed; input and log in $work/$target" >&2
    tail -n 40 "$work/$target/log" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target/log")
  echo "$target: $runs runs in ${seconds} s, no crash"
done
