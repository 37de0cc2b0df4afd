#!/usr/bin/env bash
# Proves the library works as an installed dependency. An optimised build
# without tests, warnings as errors, of the shared and of the static library,
# both installed into one temporary prefix: the second install must leave
# the first one's package files as they were. Then:
# - the installed headers name (in code or comments) only installed headers;
# - the shared library exports everything its installed headers declare
#   (scripts/check-exports.sh) and hides the library's internals;
# - the installed sandbox ad server (bin/plexora-adserver) lists and serves
#   its placements and the videos they name;
# - for each kind, a host that uses every installed header's classes, built
#   through find_package (which also compiles every installed header on its
#   own), and a small host built through pkg-config, each run against the
#   sandbox server with no library path set: a shared host must find the
#   library through the run path the package gave it; the find_package host
#   also closes an interstitial inside its 375x812 window and plays the
#   rewarded video to its reward and close;
# - a public call from another thread ends the release-built host.
# Usage: scripts/consumer-check.sh [shared|static]...
# JOBS sets the build's parallel jobs (default: the number of cores);
# CONSUMER_PREFIX names an empty directory, outside the source tree, to
# install into and keep for later checks (default: a temporary one).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(shared static)
jobs=${JOBS:-$(nproc)}
work=$(mktemp -d)
adserver_pid=
trap '[ -z "$adserver_pid" ] || kill "$adserver_pid" 2>/dev/null; rm -rf "$work"' EXIT
prefix=${CONSUMER_PREFIX:-$work/prefix}
package_files=(lib/cmake/Plexora lib/pkgconfig)

# Both kinds compile every source with the same flags (hidden symbols, the
# static library included), and the compiler cache keys them by paths
# relative to the build directory: the second kind's build takes the first
# one's objects from the cache instead of compiling the library again.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
fi
hidden=(-DCMAKE_CXX_VISIBILITY_PRESET=hidden -DCMAKE_C_VISIBILITY_PRESET=hidden -DCMAKE_VISIBILITY_INLINES_HIDDEN=ON)

fail() {
  echo "consumer-check: $*" >&2
  exit 1
}

# ---- Build and install each kind into the one prefix ----
for kind in "${kinds[@]}"; do
  case "$kind" in
    shared) shared=ON ;;
    static) shared=OFF ;;
    *) echo "consumer-check: unknown kind '$kind' (shared or static)" >&2; exit 2 ;;
  esac
  build=build/consumer-$kind
  echo "consumer-check: $kind library"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLEXORA_SHARED=$shared \
    -DPLEXORA_TESTS=OFF -DPLEXORA_BENCH=OFF -DPLEXORA_FUZZ=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    "${hidden[@]}" "${launcher[@]}" >/dev/null
  cmake --build "$build" -j "$jobs"

  before=$work/before-$kind.sha256
  if [ -d "$prefix" ]; then
    (cd "$prefix" && find "${package_files[@]}" -type f -exec sha256sum {} + 2>/dev/null) >"$before" || true
  fi
  cmake --install "$build" --prefix "$prefix" >/dev/null
  if [ -s "$before" ] && ! (cd "$prefix" && sha256sum --quiet -c "$before"); then
    fail "installing the $kind library changed the package files installed before it"
  fi
done

# The installed package must not lead back into the repository.
if grep -rIl -- "$root" "$prefix" >/dev/null; then
  echo "consumer-check: the installed files name the source tree:" >&2
  grep -rIl -- "$root" "$prefix" >&2
  exit 1
fi

# ---- The installed headers name only installed headers ----
# A header (in an include or in its comments) that a host cannot open is a
# dead end: every library header an installed one names must be installed.
include_root=$(find "$prefix" -path '*/include/plexora' -type d -print -quit)
missing_headers=$(cd "$include_root" && find . -name '*.h' -printf '%P\n' | sort >"$work/installed-headers" &&
  grep -oHE '(\b(platform|plexora)/[A-Za-z0-9_/]+\.h|\b[A-Z][A-Za-z0-9]*\.h)\b' -r --include='*.h' . |
  while IFS=: read -r file named; do
    case "$named" in
      plexora/*) wanted=${named#plexora/} ;;
      platform/*) wanted=$named ;;
      *) grep -q "\(^\|/\)$named\$" "$work/installed-headers" || echo "${file#./} names $named" ; continue ;;
    esac
    grep -qx "$wanted" "$work/installed-headers" || echo "${file#./} names $named"
  done)
if [ -n "$missing_headers" ]; then
  echo "consumer-check: installed headers name headers that are not installed:" >&2
  echo "$missing_headers" >&2
  exit 1
fi

# ---- The shared library's exports ----
if [[ " ${kinds[*]} " == *" shared "* ]]; then
  scripts/check-exports.sh "$prefix"
  exported=$(nm -DC --defined-only "$(find "$prefix" -name 'libplexora.so.*' -type f -print -quit)")
  if grep -q -- 'plexora::OVAdEventManager' <<<"$exported"; then
    fail "internal classes are exported"
  fi
fi

# ---- The sandbox ad server ----
adserver=$prefix/bin/plexora-adserver
[ -x "$adserver" ] || fail "no installed ad server at bin/plexora-adserver"
placements=$("$adserver" --list)
for placement in banner native interstitial; do
  grep -q "^$placement " <<<"$placements" || fail "plexora-adserver --list does not name $placement"
done
"$adserver" >"$work/adserver.out" &
adserver_pid=$!
for _ in $(seq 100); do
  [ -s "$work/adserver.out" ] && break
  sleep 0.1
done
ad_server_url=$(head -n 1 "$work/adserver.out")
[ -n "$ad_server_url" ] || fail "the ad server did not start"
for video in rewarded-15s.mp4 instream-30s.mp4 interstitial-video.mp4 native-video.mp4; do
  curl -sf -o /dev/null "${ad_server_url}media/$video" || fail "the installed ad server does not serve media/$video"
done
curl -sf -o /dev/null "${ad_server_url}media/interstitial-portrait.jpg" ||
  fail "the installed ad server does not serve the interstitial's picture"

# ---- The hosts ----
# They keep their settings and caches in the scratch directory, and find
# the library only where the package said.
unset LD_LIBRARY_PATH
# Each kind's find_package host compiles the same installed headers from
# $work/<kind>/cmake. The cache keys paths relative to the build directory
# only below its base directory, so that is a directory above both the
# scratch directory and the prefix: the second kind's compiles are then taken
# from the cache (with the repository as base, every one of them missed).
host_cache_base=$work
while [ "$host_cache_base" != / ] && [[ "$prefix/" != "$host_cache_base/"* ]]; do
  host_cache_base=$(dirname "$host_cache_base")
done
pkgconfig_dir=$(dirname "$(find "$prefix" -name 'plexora*.pc' -print -quit)")
for kind in "${kinds[@]}"; do
  export XDG_CONFIG_HOME=$work/$kind/config XDG_CACHE_HOME=$work/$kind/cache
  static=OFF
  pc=plexora
  if [ "$kind" = static ]; then
    static=ON
    pc=plexora-static
  fi

  cmake -S tests/consumers/cmake -B "$work/$kind/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" -DPlexora_USE_STATIC_LIBS=$static "${launcher[@]}" >/dev/null
  CCACHE_BASEDIR=$host_cache_base cmake --build "$work/$kind/cmake" -j "$jobs"
  mkdir -p "$work/$kind/pkgconfig"
  PKG_CONFIG_PATH=$pkgconfig_dir make -s -C tests/consumers/pkgconfig BUILD="$work/$kind/pkgconfig" PLEXORA_PC=$pc

  for host in "$work/$kind/cmake/consumer" "$work/$kind/pkgconfig/consumer"; do
    if [ "$kind" = shared ]; then
      # grep reads to the end (no -q): stopping at the first match could end
      # ldd with SIGPIPE, which pipefail reports as a failure.
      ldd "$host" | grep "libplexora.so.* => $prefix/" >/dev/null ||
        fail "$host does not find the installed shared library"
    elif readelf -d "$host" | grep 'NEEDED.*libplexora' >/dev/null; then
      fail "$host links the shared library instead of the static one"
    fi
    "$host" "$ad_server_url"
  done
  # The release library keeps the main-thread rule: a public call from
  # another thread ends the host, naming the call.
  if "$work/$kind/cmake/consumer" --off-main-thread 2>"$work/$kind/off-main.err"; then
    fail "a public call from another thread went on in the $kind release library"
  fi
  grep -q "OVAdView::initWithPlacementID called off the main thread" "$work/$kind/off-main.err" ||
    fail "the $kind release library ended an off-main call without naming it: $(cat "$work/$kind/off-main.err")"
done
echo "consumer-check: ${kinds[*]} installs share one prefix, and build and run their hosts"
