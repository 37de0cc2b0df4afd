#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test, checks the installed
# library from two consumer projects and the SDL host, then builds the fuzz
# targets and the ThreadSanitizer configuration, and gives each fuzz target
# a short bounded run over its seed corpus while the whole suite runs again
# under ThreadSanitizer (the fuzz smoke uses one core at a time; the TSan
# suite takes the rest).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake --preset dev
cmake --build --preset dev
ctest --preset dev -j "$jobs"
build/dev/demo/plexora-demo --output build/dev/demo-output

# The library as an installed dependency: release builds without warnings,
# installed, and used by two small hosts; then, from the same install, the
# SDL host shows the ads in a real X11 window under Xvfb and is clicked.
prefix=$(mktemp -d)
CONSUMER_PREFIX=$prefix scripts/consumer-check.sh
scripts/sdl-host-check.sh "$prefix"
rm -rf "$prefix"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
cmake --preset tsan >/dev/null
cmake --build --preset tsan

scripts/fuzz-smoke.sh "${FUZZ_SECONDS:-15}" &
fuzz=$!
tsan_status=0
ctest --preset tsan -j "$jobs" || tsan_status=$?
fuzz_status=0
wait "$fuzz" || fuzz_status=$?
if [ "$tsan_status" -ne 0 ] || [ "$fuzz_status" -ne 0 ]; then
  echo "ThreadSanitizer suite: exit $tsan_status; fuzz smoke: exit $fuzz_status" >&2
  exit 1
fi
