#!/usr/bin/env bash
# Proves the library works as an installed dependency. For each kind of
# library (shared and static unless named): an optimised build without tests
# whose warnings are errors, installed into a temporary prefix; then two small
# hosts built against that prefix alone, one through find_package (which
# also compiles every installed header on its own) and one through
# pkg-config, and each run. Both load a banner from the loopback ad server
# program of the tests' build (build/dev, or PLEXORA_ADSERVER).
# Usage: scripts/consumer-check.sh [shared|static]...
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(shared static)
jobs=${JOBS:-$(nproc)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

adserver=${PLEXORA_ADSERVER:-build/dev/testserver/plexora-adserver}
if [ ! -x "$adserver" ]; then
  echo "consumer-check: no ad server program at $adserver (build the dev preset first)" >&2
  exit 1
fi
"$adserver" >"$work/adserver.out" &
adserver_pid=$!
trap 'kill "$adserver_pid" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  [ -s "$work/adserver.out" ] && break
  sleep 0.1
done
ad_server_url=$(head -n 1 "$work/adserver.out")
[ -n "$ad_server_url" ] || { echo "consumer-check: the ad server did not start" >&2; exit 1; }

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

for kind in "${kinds[@]}"; do
  case "$kind" in
    shared) shared=ON ;;
    static) shared=OFF ;;
    *) echo "consumer-check: unknown kind '$kind' (shared or static)" >&2; exit 2 ;;
  esac
  build=build/consumer-$kind
  prefix=$work/$kind/prefix
  echo "consumer-check: $kind library"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLEXORA_SHARED=$shared \
    -DPLEXORA_TESTS=OFF -DPLEXORA_BENCH=OFF -DPLEXORA_FUZZ=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    "${launcher[@]}" >/dev/null
  cmake --build "$build" -j "$jobs"
  cmake --install "$build" --prefix "$prefix" >/dev/null

  # The installed package must not lead back into the repository.
  if grep -rIl -- "$root" "$prefix" >/dev/null; then
    echo "consumer-check: the installed files name the source tree:" >&2
    grep -rIl -- "$root" "$prefix" >&2
    exit 1
  fi

  # The shared library exports its public API and hides the rest.
  if [ "$kind" = shared ]; then
    exported=$(nm -DC --defined-only "$(find "$prefix" -name 'libplexora.so.*' -type f -print -quit)")
    for wanted in 'plexora::OVAdSettings::setLogLevel' 'plexora::platform::MainLoop::instance'; do
      grep -q -- "$wanted" <<<"$exported" || { echo "consumer-check: $wanted is not exported" >&2; exit 1; }
    done
    if grep -q -- 'plexora::OVAdEventManager' <<<"$exported"; then
      echo "consumer-check: internal classes are exported" >&2
      exit 1
    fi
  fi

  # The hosts keep their settings and caches in the scratch directory.
  export XDG_CONFIG_HOME=$work/$kind/config XDG_CACHE_HOME=$work/$kind/cache

  cmake -S tests/consumers/cmake -B "$work/$kind/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" "${launcher[@]}" >/dev/null
  cmake --build "$work/$kind/cmake" -j "$jobs"
  "$work/$kind/cmake/consumer" "$ad_server_url"

  pkgconfig_dir=$(dirname "$(find "$prefix" -name plexora.pc -print -quit)")
  mkdir -p "$work/$kind/pkgconfig"
  PKG_CONFIG_PATH=$pkgconfig_dir make -s -C tests/consumers/pkgconfig BUILD="$work/$kind/pkgconfig"
  "$work/$kind/pkgconfig/consumer" "$ad_server_url"
done
echo "consumer-check: ${kinds[*]} installs build and run their hosts"
