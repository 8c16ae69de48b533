#!/usr/bin/env bash
# Runs a test command in a network namespace of its own, so that its servers on
# loopback (port 123 above all) never meet this machine's, nor its port 123 theirs.
# As root, `unshare --net` gives a namespace with nothing but a loopback interface.
# Without one the command runs beside the machine's services; with --port-123 first it
# is then skipped (exit 77, ctest's SKIP_RETURN_CODE) when UDP port 123 is taken.
# Under Wine the sockets belong to the prefix's server: a namespace run uses a prefix
# of its own (WINEPREFIX-netns), whose server starts and ends inside the namespace.
set -uo pipefail
need_port=0
if [ "${1:-}" = --port-123 ]; then
  need_port=1
  shift
fi

if [ -z "${HOROLAN_NETNS:-}" ] && [ "$(id -u)" = 0 ] && command -v unshare >/dev/null &&
  unshare --net true 2>/dev/null; then
  export HOROLAN_NETNS=1
  [ -n "${WINEPREFIX:-}" ] && export WINEPREFIX="$WINEPREFIX-netns"
  exec unshare --net bash -c '
    ip link set lo up || exit 1
    "$@"
    status=$?
    # The prefix server must not outlive the namespace run that started it.
    if [ -n "${WINEPREFIX:-}" ] && command -v wineserver >/dev/null; then
      WINEPREFIX="$WINEPREFIX" timeout 120 wineserver -w 2>/dev/null
    fi
    exit $status' netns "$@"
fi

if [ "$need_port" = 1 ] && ! python3 - <<'PY'
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
try:
    s.bind(("0.0.0.0", 123))
except OSError as e:
    print(f"netns: UDP port 123 cannot be had here ({e.strerror}) and no private network"
          " namespace is available (needs root and unshare): skipped", file=sys.stderr)
    sys.exit(1)
PY
then
  exit 77
fi
exec "$@"
