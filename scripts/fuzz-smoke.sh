#!/usr/bin/env bash
# Runs every built fuzz target for a bounded time over its seed corpus
# (fuzz/corpus/<target>). Usage: scripts/fuzz-smoke.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
shopt -s nullglob
targets=(build/fuzz/fuzz/*_fuzz)
for target in "${targets[@]}"; do
  name=$(basename "$target")
  work=$(mktemp -d)
  corpus=()
  [ -d "fuzz/corpus/$name" ] && corpus=("fuzz/corpus/$name")
  dictionary=()
  [ -f "fuzz/$name.dict" ] && dictionary=(-dict="fuzz/$name.dict")
  echo "fuzz: $name for ${seconds}s"
  "$target" "${dictionary[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$work" "${corpus[@]}" 2>&1 | tail -n 4
  rm -rf "$work"
done
echo "fuzz: ${#targets[@]} targets ran clean"
