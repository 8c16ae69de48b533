#!/usr/bin/env bash
# Builds every preset and runs every test suite: natively under ASan/UBSan, and the
# Windows build under Wine. This is the command README.md gives for "run all tests".
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in linux linux-asan win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# The shipped build is 32-bit Windows code.
for exe in build/win32/tests/*/*.exe build/win32/app/*.exe; do
  [ -e "$exe" ] || continue
  file "$exe" | grep -q 'PE32 executable' || { echo "$exe is not a 32-bit Windows executable" >&2; exit 1; }
done

# One virtual display for the whole Wine run, stopped again when we leave.
xvfb_pid=
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    break
  done
  sleep 1
fi

status=0
echo "== native tests (linux-asan)"
ctest --preset linux-asan || status=1
echo "== Windows tests under Wine (win64)"
ctest --preset win64 || status=1
exit $status
