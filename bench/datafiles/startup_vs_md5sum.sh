#!/bin/sh
# Times the start-up load of vexalo-fetch over a generated AllData.csv
# (1,000,000 rows by default, about 117 MB) against md5sum reading the same
# file, in the same rounds: the floor of reading the bytes once. The data
# folder names no server, so each run loads FirstRow.csv and AllData.csv,
# finds nothing to fetch from and ends (exit 1). Times are medians over the
# rounds; peak memory is the largest maximum resident set size seen.
#
#   bench/datafiles/startup_vs_md5sum.sh [LINES [ROUNDS]]   (default 1000000, 5)
#
# VEXALO_BIN (default build/dev/bin) holds vexalo-fetch and
# datafiles_load_once, which writes the file. With VEXALO_BASE_BIN set to the
# bin folder of another build (an older commit, say), its vexalo-fetch is
# timed in the same rounds, so before and after share the machine's load.
# Needs /usr/bin/time (package "time").
set -eu

script=startup_vs_md5sum.sh
support=$(cd "$(dirname "$0")/../support" && pwd)
. "$support/bench_lib.sh"
lines=${1:-1000000}
rounds=${2:-5}
base=${VEXALO_BASE_BIN:-}

case $lines in '' | *[!0-9]*) die "LINES must be a number" ;; esac
case $rounds in '' | *[!0-9]* | 0) die "ROUNDS must be a number above 0" ;; esac
[ -x "$bin/vexalo-fetch" ] || die "$bin/vexalo-fetch is missing: build the dev preset first"
[ -x "$bin/datafiles_load_once" ] || die "$bin/datafiles_load_once is missing"
[ -z "$base" ] || [ -x "$base/vexalo-fetch" ] || die "$base/vexalo-fetch is missing"
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (scripts/deps.sh installs it)"

mkdir "$work/data"
printf '[POP3]\r\nHOST=\r\n' >"$work/data/Vexalo.ini"
"$bin/datafiles_load_once" --write "$work/data/AllData.csv" "$lines"
file_kb=$(($(wc -c <"$work/data/AllData.csv") / 1024))
md5sum "$work/data/AllData.csv" >/dev/null  # into the page cache for every round alike

# Runs vexalo-fetch of bin folder $1 on the data folder; it ends with the
# "no server set" error once the table is loaded.
load_once() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$1/vexalo-fetch" --dir "$work/data" \
    >"$work/output" 2>&1 || true
  # time puts "Command exited with non-zero status 1" before the figures.
  read -r seconds kilobytes <<FIGURES
$(tail -n 1 "$work/time")
FIGURES
  grep -q 'POP3' "$work/output" || { cat "$work/output" >&2; die "$1/vexalo-fetch did not load"; }
}

for name in md5 new base new.kb base.kb ratio base.ratio; do : >"$work/$name"; done
round=1
while [ "$round" -le "$rounds" ]; do
  measure md5sum "$work/data/AllData.csv"
  md5_s=$seconds
  echo "$md5_s" >>"$work/md5"
  load_once "$bin"
  echo "$seconds" >>"$work/new"
  echo "$kilobytes" >>"$work/new.kb"
  ratio "$seconds" "$md5_s" >>"$work/ratio"
  line="round $round: md5sum ${md5_s} s, vexalo-fetch ${seconds} s"
  if [ -n "$base" ]; then
    load_once "$base"
    echo "$seconds" >>"$work/base"
    echo "$kilobytes" >>"$work/base.kb"
    ratio "$seconds" "$md5_s" >>"$work/base.ratio"
    line="$line, baseline ${seconds} s"
  fi
  echo "$line"
  round=$((round + 1))
done

echo "$lines rows, $((file_kb / 1024)) MiB, $rounds rounds, medians:"
echo "  md5sum                  $(median <"$work/md5") s"
if [ -n "$base" ]; then
  echo "  baseline vexalo-fetch   $(median <"$work/base") s, peak $(maximum <"$work/base.kb") KB," \
    "$(median <"$work/base.ratio") x md5sum"
fi
echo "  vexalo-fetch start-up   $(median <"$work/new") s, peak $(maximum <"$work/new.kb") KB," \
  "$(median <"$work/ratio") x md5sum (goal: at most 1.5)"
echo "  peak goal: at most 2 x file + 50 MB = $((2 * file_kb + 51200)) KB"
