#!/bin/sh
# Times vexalo-fetch on a mailbox of picked order mails (ISO-2022-JP, about
# 1 KB each) served by a private Dovecot on 127.0.0.1:
#   first   from an empty table: every message is retrieved and taken
#   second  the same mailbox again (a re-poll): every message is already
#           taken, so it should cost a small part of the first
# and, once, a poll of an empty mailbox on a second server: the floor under
# any poll, which the re-poll cannot go below
# against Debian's mpop downloading the same mailbox (USER/PASS, no TLS, into
# an mbox, keeping the mail) and re-polling it with only new mail fetched
# (--only-new=on: nothing new, so only the login and the listing), and against
# a bare pipelined client (pop3_floor, bench/run/Pop3Floor.cpp) that sends every RETR
# at once over one connection and throws the bytes away: what the server
# itself costs. Rounds interleave them all, so a busy machine slows them
# alike; times are medians over the rounds. Peak memory is the largest maximum
# resident set size /usr/bin/time saw.
#
# mpop syncs every mail it delivers to disk, while a vexalo-fetch run that
# deletes nothing (as here) syncs nothing; on a slow or shared disk mpop's
# time swings with that. So mpop is timed twice: as it is, and under
# eatmydata, which turns its syncs into no-ops; the goal is judged against the
# second, the peer doing the same work as vexalo-fetch.
#
#   bench/run/fetch_vs_mpop.sh [COUNT [ROUNDS]]    (default 10000 messages, 3 rounds)
#
# Needs the dev build (VEXALO_BIN, default build/dev/bin: vexalo-fetch,
# pop3_floor and vexalo-test-dovecot), python3, mpop, eatmydata and /usr/bin/time (package
# "time"). With VEXALO_BASE_BIN set to the bin folder of another build (an
# older commit, say), its vexalo-fetch makes the same two passes in the same
# rounds, on a data folder of its own.
set -eu

script=fetch_vs_mpop.sh
support=$(cd "$(dirname "$0")/../support" && pwd)
. "$support/bench_lib.sh"
count=${1:-10000}
rounds=${2:-3}
base=${VEXALO_BASE_BIN:-}

case $count in '' | *[!0-9]*) die "COUNT must be a number" ;; esac
case $rounds in '' | *[!0-9]* | 0) die "ROUNDS must be a number above 0" ;; esac
[ -x "$bin/vexalo-fetch" ] || die "$bin/vexalo-fetch is missing: build the dev preset first"
[ -x "$bin/pop3_floor" ] || die "$bin/pop3_floor is missing: build the dev preset first"
command -v mpop >/dev/null || die "mpop is missing (scripts/deps.sh installs it)"
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (scripts/deps.sh installs it)"
command -v eatmydata >/dev/null || die "eatmydata is missing (scripts/deps.sh installs it)"
[ -z "$base" ] || [ -x "$base/vexalo-fetch" ] || die "$base/vexalo-fetch is missing"

echo "generating $count order mails ..."
python3 "$support/make_mailbox.py" "$work/maildir" --count "$count" --size 1024
serve "$work/maildir"
port=$served_port
mkdir "$work/mpop"
make_fetch_dir "$work/fetch" "$port"
[ -z "$base" ] || make_fetch_dir "$work/base" "$port" 0 "$base"

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

# mpop's re-poll: only new mail, against a list of ids its first download
# (not timed) wrote.
mpop_repoll() {
  measure env HOME="$work/mpop" mpop -C /dev/null -q --host=127.0.0.1 --port="$port" \
    --user=vexalo --passwordeval="echo $password" --auth=user --tls=off \
    --delivery=mbox,/dev/null --keep=on --only-new=on --uidls-file="$work/mpop/uidls-repoll" \
    --received-header=off
}
rm -f "$work/mpop/uidls-repoll"
mpop_repoll

# Both passes of the vexalo-fetch of bin folder $1 on data folder $2; sets
# $first_s and $second_s and adds to the files $3.first.s, $3.second.s,
# $3.first.kb and $3.second.kb.
fetch_passes() {
  rm -f "$2/AllData.csv" "$2/FirstRow.csv" "$2/Unpicked.txt" "$2/TakenHeaders.txt"
  measure "$1/vexalo-fetch" --dir "$2"
  first_s=$seconds
  echo "$first_s" >>"$work/$3.first.s"
  echo "$cpu_seconds" >>"$work/$3.first.cpu"
  echo "$kilobytes" >>"$work/$3.first.kb"
  got=$(wc -l <"$2/AllData.csv")
  [ "$got" -eq "$count" ] || die "$1/vexalo-fetch took $got of $count messages"
  measure "$1/vexalo-fetch" --dir "$2"
  second_s=$seconds
  echo "$second_s" >>"$work/$3.second.s"
  echo "$kilobytes" >>"$work/$3.second.kb"
  got=$(wc -l <"$2/AllData.csv")
  [ "$got" -eq "$count" ] || die "the second pass changed AllData.csv ($got lines)"
}

for name in mpop.s mpop.kb nosync.s nosync.cpu repoll.s floor.s floor.cpu; do : >"$work/$name"; done
for who in new base; do
  for name in first.s first.cpu second.s first.kb second.kb ratio nosync.ratio floor.ratio \
    repoll.ratio mpop.repoll.ratio; do
    : >"$work/$who.$name"
  done
done

# The ratios of the passes just made by $1 (new or base) to this round's peers.
note_ratios() {
  ratio "$first_s" "$mpop_s" >>"$work/$1.ratio"
  ratio "$first_s" "$nosync_s" >>"$work/$1.nosync.ratio"
  ratio "$first_s" "$floor_s" >>"$work/$1.floor.ratio"
  ratio "$second_s" "$first_s" >>"$work/$1.repoll.ratio"
  ratio "$second_s" "$repoll_s" >>"$work/$1.mpop.repoll.ratio"
}

round=1
while [ "$round" -le "$rounds" ]; do
  mpop_download
  mpop_s=$seconds
  echo "$mpop_s" >>"$work/mpop.s"
  echo "$kilobytes" >>"$work/mpop.kb"
  mpop_download eatmydata
  nosync_s=$seconds
  echo "$nosync_s" >>"$work/nosync.s"
  echo "$cpu_seconds" >>"$work/nosync.cpu"
  mpop_repoll
  repoll_s=$seconds
  echo "$repoll_s" >>"$work/repoll.s"
  measure "$bin/pop3_floor" "$port" vexalo "$password" "$count"
  floor_s=$seconds
  echo "$floor_s" >>"$work/floor.s"
  echo "$cpu_seconds" >>"$work/floor.cpu"

  line="round $round: mpop ${mpop_s} s, without syncs ${nosync_s} s, re-poll ${repoll_s} s;"
  line="$line floor ${floor_s} s;"
  if [ -n "$base" ]; then
    fetch_passes "$base" "$work/base" base
    note_ratios base
    line="$line baseline first ${first_s} s, second ${second_s} s;"
  fi
  fetch_passes "$bin" "$work/fetch" new
  note_ratios new
  echo "$line vexalo-fetch first ${first_s} s, second ${second_s} s"
  round=$((round + 1))
done

# The medians of the passes of $1 (new or base), under the name $2.
report() {
  echo "  $2 first pass $(median <"$work/$1.first.s") s, peak $(maximum <"$work/$1.first.kb") KB," \
    "CPU $(median <"$work/$1.first.cpu") s"
  echo "  $2 second     $(median <"$work/$1.second.s") s, peak $(maximum <"$work/$1.second.kb") KB"
  echo "    first pass / mpop                $(median <"$work/$1.ratio")"
  echo "    first pass / mpop without syncs  $(median <"$work/$1.nosync.ratio") (goal: at most 0.6)"
  echo "    first pass / floor client        $(median <"$work/$1.floor.ratio") (goal: at most 1.3)"
  echo "    re-poll / mpop re-poll           $(median <"$work/$1.mpop.repoll.ratio") (goal: at most 0.9)"
  echo "    re-poll / first pass             $(median <"$work/$1.repoll.ratio") (goal: at most 0.05)"
}

echo "$count messages, $rounds rounds, medians:"
echo "  mpop download           $(median <"$work/mpop.s") s, peak $(maximum <"$work/mpop.kb") KB"
echo "  mpop without syncs      $(median <"$work/nosync.s") s, CPU $(median <"$work/nosync.cpu") s"
echo "  mpop re-poll (only new) $(median <"$work/repoll.s") s"
echo "  floor client            $(median <"$work/floor.s") s, CPU $(median <"$work/floor.cpu") s" \
  "(every RETR at once, bytes thrown away)"
[ -z "$base" ] || report base "baseline    "
report new "vexalo-fetch"
measure_empty_poll
echo "  empty mailbox poll      $floor_seconds s (start-up, greeting, login, QUIT: under any poll)"
