#!/bin/sh
# Times vexalo-fetch on a mailbox of picked order mails (ISO-2022-JP, about
# 1 KB each) served by a private Dovecot on 127.0.0.1:
#   first   from an empty table: every message is retrieved and taken
#   second  the same mailbox again (a re-poll): every message is already
#           taken, so it should cost a small part of the first
# and, once, a poll of an empty mailbox on a second server: the floor under
# any poll, which the re-poll cannot go below
# against Debian's mpop downloading the same mailbox (USER/PASS, no TLS, into
# an mbox, keeping the mail) in the same run. Rounds interleave the three, so
# a busy machine slows them alike; times are medians over the rounds. Peak
# memory is the largest maximum resident set size /usr/bin/time saw.
#
# mpop syncs every mail it delivers to disk, while a vexalo-fetch run that
# deletes nothing (as here) syncs nothing; on a slow or shared disk mpop's
# time swings with that. So mpop is timed twice: as it is, and under
# eatmydata, which turns its syncs into no-ops; the goal is judged against the
# second, the peer doing the same work as vexalo-fetch.
#
#   bench/run/fetch_vs_mpop.sh [COUNT [ROUNDS]]    (default 10000 messages, 3 rounds)
#
# Needs the dev build (VEXALO_BIN, default build/dev/bin: vexalo-fetch and
# vexalo-test-dovecot), python3, mpop, eatmydata and /usr/bin/time (package
# "time").
set -eu

script=fetch_vs_mpop.sh
support=$(cd "$(dirname "$0")/../support" && pwd)
. "$support/bench_lib.sh"
count=${1:-10000}
rounds=${2:-3}

case $count in '' | *[!0-9]*) die "COUNT must be a number" ;; esac
case $rounds in '' | *[!0-9]* | 0) die "ROUNDS must be a number above 0" ;; esac
[ -x "$bin/vexalo-fetch" ] || die "$bin/vexalo-fetch is missing: build the dev preset first"
command -v mpop >/dev/null || die "mpop is missing (scripts/deps.sh installs it)"
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (scripts/deps.sh installs it)"
command -v eatmydata >/dev/null || die "eatmydata is missing (scripts/deps.sh installs it)"

echo "generating $count order mails ..."
python3 "$support/make_mailbox.py" "$work/maildir" --count "$count" --size 1024
serve "$work/maildir"
port=$served_port
mkdir "$work/mpop"
make_fetch_dir "$work/fetch" "$port"

# Downloads the whole mailbox with mpop (run through "$@" when given) into a
# fresh mbox, keeping the mail on the server.
mpop_download() {
  rm -f "$work/mpop/mbox" "$work/mpop/uidls"
  touch "$work/mpop/mbox"
  measure env HOME="$work/mpop" "$@" mpop -C /dev/null -q --host=127.0.0.1 --port="$port" \
    --user=vexalo --passwordeval="echo $password" --auth=user --tls=off \
    --delivery=mbox,"$work/mpop/mbox" --keep=on --uidls-file="$work/mpop/uidls" \
    --received-header=off
  got=$(grep -c '^From ' "$work/mpop/mbox" || true)
  [ "$got" -eq "$count" ] || die "mpop downloaded $got of $count messages"
}

: >"$work/mpop.s"
: >"$work/first.s"
: >"$work/second.s"
: >"$work/ratio"
: >"$work/nosync.s"
: >"$work/nosync.ratio"
: >"$work/repoll.ratio"
: >"$work/first.kb"
: >"$work/second.kb"
: >"$work/mpop.kb"
round=1
while [ "$round" -le "$rounds" ]; do
  mpop_download
  mpop_s=$seconds
  echo "$kilobytes" >>"$work/mpop.kb"
  mpop_download eatmydata
  nosync_s=$seconds

  rm -f "$work/fetch/AllData.csv" "$work/fetch/FirstRow.csv" "$work/fetch/Unpicked.txt"
  measure "$bin/vexalo-fetch" --dir "$work/fetch"
  first_s=$seconds
  echo "$kilobytes" >>"$work/first.kb"
  got=$(wc -l <"$work/fetch/AllData.csv")
  [ "$got" -eq "$count" ] || die "vexalo-fetch took $got of $count messages"

  measure "$bin/vexalo-fetch" --dir "$work/fetch"
  second_s=$seconds
  echo "$kilobytes" >>"$work/second.kb"
  got=$(wc -l <"$work/fetch/AllData.csv")
  [ "$got" -eq "$count" ] || die "the second pass changed AllData.csv ($got lines)"

  echo "$mpop_s" >>"$work/mpop.s"
  echo "$nosync_s" >>"$work/nosync.s"
  ratio "$first_s" "$nosync_s" >>"$work/nosync.ratio"
  ratio "$second_s" "$first_s" >>"$work/repoll.ratio"
  echo "$first_s" >>"$work/first.s"
  echo "$second_s" >>"$work/second.s"
  ratio "$first_s" "$mpop_s" >>"$work/ratio"
  echo "round $round: mpop ${mpop_s} s, without syncs ${nosync_s} s;" \
    "vexalo-fetch first ${first_s} s, second ${second_s} s"
  round=$((round + 1))
done

echo "$count messages, $rounds rounds, medians:"
echo "  mpop download           $(median <"$work/mpop.s") s, peak $(maximum <"$work/mpop.kb") KB"
echo "  mpop without syncs      $(median <"$work/nosync.s") s"
echo "  vexalo-fetch first pass $(median <"$work/first.s") s, peak $(maximum <"$work/first.kb") KB"
echo "  vexalo-fetch second     $(median <"$work/second.s") s, peak $(maximum <"$work/second.kb") KB"
echo "  first pass / mpop       $(median <"$work/ratio")"
echo "  first pass / mpop without syncs  $(median <"$work/nosync.ratio") (goal: at most 0.7)"
echo "  re-poll / first pass    $(median <"$work/repoll.ratio") (goal: at most 0.05)"
measure_empty_poll
echo "  empty mailbox poll      $floor_seconds s (start-up, greeting, login, QUIT: under any poll)"
