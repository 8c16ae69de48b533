#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine for ctest: a Japanese locale (ANSI
# code page 932), the build tree's own prefix, and a virtual display when none is set.
set -euo pipefail
export LANG="${LANG:-ja_JP.UTF-8}" LC_ALL="${LC_ALL:-ja_JP.UTF-8}"
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX="$(cd "$(dirname "$1")" && pwd)/wineprefix"
fi
export WINEPREFIX
# The loader the executable needs; a 32-bit one on a machine that runs no 32-bit code
# is skipped (77).
wine_cmd=$(bash "$(dirname "$0")/wine-loader.sh" "$1") || exit $?
[[ $wine_cmd == */wine64 ]] && export WINELOADER="$wine_cmd"
# The first run creates the prefix; parallel tests wait for it instead of racing.
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine_cmd" wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
) 9>"$WINEPREFIX.lock"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$wine_cmd" "$@"
fi
exec "$wine_cmd" "$@"
