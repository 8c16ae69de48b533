#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the systemd units there: their
# programs are the installed one, and systemd-analyze accepts them (skipped, exit 77,
# where systemd-analyze is not installed).
# Usage: check_units.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
units="$prefix/lib/systemd/system"
for unit in horolan.service horolan-once.service horolan-once.timer; do
  [ -f "$units/$unit" ] || { echo "not installed: $unit" >&2; exit 1; }
done
for unit in horolan.service horolan-once.service; do
  exec_start=$(sed -n 's/^ExecStart=//p' "$units/$unit")
  program=${exec_start%% *}
  [ "$program" = "$prefix/bin/horolan" ] && [ -x "$program" ] ||
    { echo "$unit runs '$exec_start', not the installed $prefix/bin/horolan" >&2; exit 1; }
done
[ "$(sed -n 's/^ExecStart=//p' "$units/horolan-once.service")" = "$prefix/bin/horolan -1" ] ||
  { echo "horolan-once.service does not run the program once" >&2; exit 1; }
if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze is not installed: the units' syntax is not checked"
  exit 77
fi
# Only our units' findings count: the machine's other units are none of our business.
out=$(cd "$units" && SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no \
  ./horolan.service ./horolan-once.service ./horolan-once.timer 2>&1) || { echo "$out" >&2; exit 1; }
if grep -i 'horolan' <<<"$out" >&2; then exit 1; fi
echo "units verified in $units"
