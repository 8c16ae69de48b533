#!/usr/bin/env bash
# Prints the Wine loader that runs the given Windows executable on this machine. Debian's
# `wine` takes the 32-bit loader whenever wine32 is installed, but some kernels run no
# 32-bit x86 code at all: a 64-bit program then goes to the 64-bit loader itself, and a
# 32-bit one cannot run here, nor where wine32 is missing (exit 77, which ctest counts as
# a skipped test).
set -euo pipefail
exe=$1
# The PE header's machine field: 8664 for x86-64, 014c for i386.
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')
loader32=/usr/lib/wine/wine loader64=/usr/lib/wine/wine64
runs32() { [ -x "$loader32" ] && "$loader32" --version >/dev/null 2>&1; }
if [ "$machine" = 8664 ] && [ -x "$loader64" ] && ! runs32; then
  echo "$loader64"
elif [ "$machine" = 014c ] && ! runs32; then
  if [ -x "$loader32" ]; then
    echo "$exe is 32-bit Windows code and this machine's kernel runs no 32-bit programs: not run" >&2
  else
    echo "$exe is 32-bit Windows code and 32-bit Wine (wine32) is not installed: not run" >&2
  fi
  exit 77
else
  command -v wine || command -v wine64 || { echo "Wine is not installed" >&2; exit 1; }
fi
