#!/usr/bin/env bash
# Runs a test command with real servers beside it on loopback ports: Dante as a SOCKS
# proxy and GNU telnetd under inetd. Their addresses reach the tests as
# HOROLAN_SOCKS_PROXY and HOROLAN_TELNET_SERVER; a server that is not installed is
# left out (its tests skip). Everything started here is stopped by its PID on exit.
set -uo pipefail
dir=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
wait_listening() {  # port
  for _ in $(seq 100); do
    python3 -c "import socket,sys; s=socket.socket(); sys.exit(s.connect_ex(('127.0.0.1', $1)))" && return 0
    sleep 0.05
  done
  echo "with-peers: nothing listens on port $1" >&2
  return 1
}

if [ -x /usr/sbin/danted ] && [ "$(id -u)" = 0 ]; then
  port=$(free_port)
  # Clients and destinations on loopback only.
  cat >"$dir/danted.conf" <<CONF
logoutput: $dir/danted.log
internal: 127.0.0.1 port = $port
external: 127.0.0.1
clientmethod: none
socksmethod: none
user.privileged: root
user.unprivileged: nobody
client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }
socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 }
socks block { from: 0.0.0.0/0 to: 0.0.0.0/0 }
CONF
  /usr/sbin/danted -f "$dir/danted.conf" -N 1 -p "$dir/danted.pid" >"$dir/danted.out" 2>&1 &
  pids+=($!)
  wait_listening "$port" && export HOROLAN_SOCKS_PROXY="127.0.0.1:$port"
fi

if [ -x /usr/sbin/telnetd ] && [ -x /usr/sbin/inetutils-inetd ]; then
  port=$(free_port)
  # After the option negotiation the "login" program tells the terminal type it got.
  cat >"$dir/session.sh" <<'SH'
#!/bin/sh
echo "horolan-session term=$TERM"
sleep 2
SH
  chmod +x "$dir/session.sh"
  echo "127.0.0.1:$port stream tcp nowait root /usr/sbin/telnetd telnetd -h -E $dir/session.sh" >"$dir/inetd.conf"
  /usr/sbin/inetutils-inetd -d "$dir/inetd.conf" >"$dir/inetd.out" 2>&1 &
  pids+=($!)
  wait_listening "$port" && export HOROLAN_TELNET_SERVER="127.0.0.1:$port"
fi

"$@"
