#!/bin/sh
# What OAuth 2.0 adds to a poll: vexalo-fetch polling a mailbox with nothing
# new on a private Dovecot (127.0.0.1), logging in with the password against
# logging in with XOAUTH2, in the same run. The tokens come from the project's
# own authorization server (tests/support/oauth_server.py), the server checks
# each by introspection, and they live 30 s, under the minute a login needs,
# so every OAuth 2.0 poll refreshes its token and stores the rotated one:
# the worst case, a timer run after each token ran out. Rounds interleave the
# two, so a busy machine slows them alike; times are medians.
#
#   bench/run/oauth_vs_password.sh [ROUNDS]    (default 15)
#
# Needs the dev build (VEXALO_BIN, default build/dev/bin: vexalo-fetch and
# vexalo-test-dovecot), python3 and /usr/bin/time (package "time").
set -eu

script=oauth_vs_password.sh
support=$(cd "$(dirname "$0")/../support" && pwd)
. "$support/bench_lib.sh"
rounds=${1:-15}
case $rounds in '' | *[!0-9]* | 0) die "ROUNDS must be a number above 0" ;; esac
[ -x "$bin/vexalo-fetch" ] || die "$bin/vexalo-fetch is missing: build the dev preset first"
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (scripts/deps.sh installs it)"

python3 "$support/../../tests/support/oauth_server.py" --port-file "$work/auth.port" \
  --expires-in 30 --lifetime 3600 >"$work/auth.out" 2>&1 &
relay_pid=$!  # stopped at exit with the servers
while [ ! -s "$work/auth.port" ]; do sleep 0.1; done
auth="http://127.0.0.1:$(cat "$work/auth.port")"

mkdir -p "$work/box/cur" "$work/box/new" "$work/box/tmp"
VEXALO_DOVECOT_INTROSPECTION=$auth/introspect serve "$work/box"
make_fetch_dir "$work/password" "$served_port"
mkdir -p "$work/oauth"
printf '[POP3]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nUSERNAME=vexalo\r\nAUTH=1\r\nOAUTH_PROVIDER=CUSTOM\r\nOAUTH_CLIENT_ID=vexalo-test-client\r\nOAUTH_AUTHORIZE_URL=%s/authorize\r\nOAUTH_DEVICE_URL=%s/devicecode\r\nOAUTH_TOKEN_URL=%s/token\r\nOAUTH_SCOPE=mail\r\n' \
  "$served_port" "$auth" "$auth" "$auth" >"$work/oauth/Vexalo.ini"
# The grant goes to the file: the keyring of whoever runs this stays untouched.
unset DBUS_SESSION_BUS_ADDRESS
"$bin/vexalo-fetch" --dir "$work/oauth" --sign-in >/dev/null

: >"$work/password.s"
: >"$work/oauth.s"
round=0
while [ "$round" -lt "$rounds" ]; do
  round=$((round + 1))
  measure "$bin/vexalo-fetch" --dir "$work/password"
  echo "$seconds" >>"$work/password.s"
  measure "$bin/vexalo-fetch" --dir "$work/oauth"
  echo "$seconds" >>"$work/oauth.s"
done
password_s=$(median <"$work/password.s")
oauth_s=$(median <"$work/oauth.s")
refreshes=$(python3 -c "import json,urllib.request; print(json.load(urllib.request.urlopen('$auth/stats'))['refreshes'])")
echo "poll with the password:          ${password_s} s (median of $rounds)"
echo "poll with OAuth 2.0 and refresh: ${oauth_s} s (median of $rounds; $refreshes refreshes)"
echo "ratio OAuth 2.0 / password:      $(ratio "$oauth_s" "$password_s")"
