#!/usr/bin/env bash
# Runs every built fuzz target for a bounded time over its seed corpus
# (fuzz/corpus/<target>). Usage: scripts/fuzz-smoke.sh [seconds-per-target]
# [build-dir]; the targets are the dev build's unless another is named.
# FUZZ_SEED picks the mutations' seed (default 1).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
build=${2:-build/dev}
shopt -s nullglob
targets=("$build"/fuzz/*_fuzz)
# The MP4 targets also start from the test clips (never checked in): the
# build's own when it made them for its tests, else made here.
clips=$build/tests/media
if [ ! -f "$clips.stamp" ]; then
  clips=$(mktemp -d)
  trap 'rm -rf "$clips"' EXIT
  scripts/make-test-media.sh "$clips/media"
  clips=$clips/media
fi
for target in "${targets[@]}"; do
  name=$(basename "$target")
  work=$(mktemp -d)
  corpus=()
  options=()
  [ -d "fuzz/corpus/$name" ] && corpus=("fuzz/corpus/$name")
  dictionary=()
  [ -f "fuzz/$name.dict" ] && dictionary=(-dict="fuzz/$name.dict")
  case $name in
    # Whole movies, not only the largest seed's 4 KB.
    mp4_box_fuzz) corpus+=("$clips"); options=(-max_len=65536) ;;
    # A run plays the file on real decoder threads: slower, and a hang shows
    # as a timeout.
    mp4_playback_fuzz) corpus+=("$clips"); options=(-max_len=65536 -timeout=60) ;;
    # An init segment and two media segments of some 15 KB together.
    dash_segment_fuzz) options=(-max_len=65536 -timeout=60) ;;
  esac
  echo "fuzz: $name for ${seconds}s"
  # A finding's report (the input, the stack) is what CI's log must show.
  # The seed is fixed so that a smoke run makes the same inputs wherever it
  # runs and a finding reproduces; hunting runs go without it.
  status=0
  "$target" "${dictionary[@]}" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" "${options[@]}" \
    "$work" "${corpus[@]}" >"$work.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$work.log"
    echo "fuzz: $name failed (exit $status)"
    exit "$status"
  fi
  tail -n 4 "$work.log"
  rm -rf "$work" "$work.log"
done
echo "fuzz: ${#targets[@]} targets ran clean"
