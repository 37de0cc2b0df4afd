#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer (the fuzz targets with them) and runs every
# test, checks the installed library from two consumer projects and the SDL
# host, then builds the ThreadSanitizer configuration and gives each fuzz
# target a short bounded run over its seed corpus while the whole suite runs
# again under ThreadSanitizer (the fuzz smoke uses one core at a time; the
# TSan suite takes the rest). Each step prints how long it took and the
# processor time it used.
#
# A test that fails is run once more before the suite counts it
# as failed: the timing tests share the machine with a whole parallel
# suite, and a second failure is still a failure.
#
# JOBS caps the parallel jobs of every build and of each suite (default:
# the number of cores), so a measurement on a shared machine stays inside
# its share.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
build_jobs=()
[ -z "${JOBS:-}" ] || build_jobs=(-j "$JOBS")
started=$SECONDS

# Each step's wall time, and the processor time its processes used: their
# sum over two cores is the least the step can take on a two-core machine.
step() {
  local name=$1
  shift
  echo "==> $name"
  local TIMEFORMAT="==> $name: %0R s, processor %0U s user + %0S s system"
  time "$@"
  echo "==> total $((SECONDS - started)) s"
}

run_suite() {
  ctest --preset "$1" -j "$jobs" --repeat until-pass:2
}

step "install dependencies" scripts/install-deps.sh
cmake --preset dev >/dev/null
step "build (sanitizers)" cmake --build --preset dev "${build_jobs[@]}"
step "tests (sanitizers)" run_suite dev
step "demo" build/dev/demo/plexora-demo --output build/dev/demo-output

# The library as an installed dependency: release builds without warnings,
# installed, and used by two small hosts; then, from the same install, the
# SDL host shows the ads in a real X11 window under Xvfb and is clicked.
prefix=$(mktemp -d)
step "consumer check" env CONSUMER_PREFIX="$prefix" JOBS="$jobs" scripts/consumer-check.sh
step "SDL host under Xvfb" env JOBS="$jobs" scripts/sdl-host-check.sh "$prefix"
rm -rf "$prefix"

cmake --preset tsan >/dev/null
# The same tests run under ThreadSanitizer: CTest starts the ones that took
# longest under the other sanitizers first, so no long test starts last and
# leaves the other cores idle while it runs alone.
costs=Testing/Temporary/CTestCostData.txt
if [ -f "build/dev/$costs" ] && [ ! -f "build/tsan/$costs" ]; then
  mkdir -p "build/tsan/$(dirname "$costs")"
  cp "build/dev/$costs" "build/tsan/$costs"
fi
step "build (ThreadSanitizer)" cmake --build --preset tsan "${build_jobs[@]}"

fuzz_smoke() {
  scripts/fuzz-smoke.sh "${FUZZ_SECONDS:-15}" &
  local fuzz=$!
  local tsan_status=0
  run_suite tsan || tsan_status=$?
  local fuzz_status=0
  wait "$fuzz" || fuzz_status=$?
  if [ "$tsan_status" -ne 0 ] || [ "$fuzz_status" -ne 0 ]; then
    echo "ThreadSanitizer suite: exit $tsan_status; fuzz smoke: exit $fuzz_status" >&2
    return 1
  fi
}
step "tests (ThreadSanitizer) and fuzz smoke" fuzz_smoke
