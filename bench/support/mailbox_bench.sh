# Sourced by the scripts that time our client against mpop on a private
# Dovecot (bench/pop3/*_vs_mpop.sh), after they set `script` (their name, for
# messages) and `here` (their folder). Gives them what bench_lib.sh gives,
# RUNS as $runs, the mailbox account as $user, and the helpers below.

support=$here/../support
. "$support/bench_lib.sh"
runs=${RUNS:-3}
user=vexalo

command -v mpop >/dev/null || die "mpop is not installed"

# Makes a mailbox of COUNT mails of about SIZE bytes and serves it: sets
# $box, $port (plain), $tls_port (POP3S) and $ca (the authority to trust).
serve_mailbox() {
  box=$work/box-$1
  python3 "$support/make_mailbox.py" "$box" --count "$1" --size "$2"
  serve "$box"
  port=$served_port
  read -r tls_port ca <<TLS
$(sh "$support/dovecot.sh" tls "$box")
TLS
}

stop_mailbox() {
  unserve "$box"
  rm -rf "$box"
}

# Writes $work/mpoprc for account "bench" on HOST PORT: USER/PASS, keeping the
# mail, every message fetched each time, delivered to /dev/null as an mbox
# (no fsync, no process per mail, so delivery costs it next to nothing). With
# a TRUST file, TLS from the first byte checked against it; else no TLS.
write_mpoprc() {
  if [ $# -gt 2 ]; then
    tls="tls on
tls_starttls off
tls_trust_file $3"
  else
    tls="tls off"
  fi
  umask 077
  cat >"$work/mpoprc" <<CONF
account bench
host $1
port $2
user $user
password $password
auth user
$tls
keep on
only_new off
pipelining auto
uidls_file $work/uidls
delivery mbox /dev/null
received_header off
CONF
  umask 022
}
