#!/usr/bin/env bash
# Builds the fuzz targets (the "fuzz" preset: clang, ASan/UBSan) and runs each for a
# while on a copy of its seed corpus; a crash, a sanitizer report or a broken
# invariant fails the run. FUZZ_SECONDS sets the time per target (60).
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${FUZZ_SECONDS:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
status=0
for seeds in tools/fuzz/corpus/*/; do
  name=$(basename "$seeds")
  # New inputs go to the build tree; the repository keeps only the seeds.
  work="build/fuzz/corpus/$name"
  mkdir -p "$work" "build/fuzz/artifacts"
  echo "== $name: ${seconds} s"
  if ! "build/fuzz/tools/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$name-" "$work" "$seeds" 2>"build/fuzz/$name.log"; then
    tail -n 60 "build/fuzz/$name.log" >&2
    echo "$name failed; the input is in build/fuzz/artifacts" >&2
    status=1
  else
    grep -E '^(stat::number_of_executed_units|stat::new_units_added)' "build/fuzz/$name.log" || true
  fi
done
exit $status
