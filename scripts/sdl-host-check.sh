#!/usr/bin/env bash
# Shows the ads in a real X11 window: builds examples/sdl-host against an
# installed library, runs it under Xvfb against the installed sandbox ad
# server, takes a screenshot and checks the banner's and the native ad's
# call to action's colours are on screen where the host says they are,
# clicks the call to action with xdotool, and checks the click reached the
# host's delegate and the ad server's logging endpoint.
# Usage: scripts/sdl-host-check.sh [PREFIX]
# PREFIX holds the installed shared library (as scripts/consumer-check.sh
# leaves it with CONSUMER_PREFIX); without one the library is built and
# installed into a temporary prefix first.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
jobs=${JOBS:-$(nproc)}
title="Plexora SDL host"
# The fixtures' colours: the banner's blue and the call to action's.
click_event="logged open_link ct-native-1"

fail() {
  echo "sdl-host-check: $*" >&2
  for log in "$work"/*.log; do
    [ -f "$log" ] && { echo "--- $(basename "$log")" >&2; tail -n 20 "$log" >&2; }
  done
  exit 1
}

# Waits up to $2 seconds for a line matching $3 in file $1.
wait_for_line() {
  for _ in $(seq $(($2 * 10))); do
    grep -q -- "$3" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

prefix=${1:-}
if [ -z "$prefix" ]; then
  prefix=$work/prefix
  cmake -S . -B build/sdl-host-library -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLEXORA_SHARED=ON \
    -DPLEXORA_TESTS=OFF -DPLEXORA_BENCH=OFF -DPLEXORA_FUZZ=OFF "${launcher[@]}" >/dev/null
  cmake --build build/sdl-host-library -j "$jobs"
  cmake --install build/sdl-host-library --prefix "$prefix" >/dev/null
fi
prefix=$(cd "$prefix" && pwd)

cmake -S examples/sdl-host -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" \
  "${launcher[@]}" >/dev/null
cmake --build "$work/build" -j "$jobs" >/dev/null

"$prefix/bin/plexora-adserver" >"$work/adserver.log" &
pids+=($!)
wait_for_line "$work/adserver.log" 10 '^http' || fail "the ad server did not start"
ad_server_url=$(head -n 1 "$work/adserver.log")

Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -n 1 "$work/display")

export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
unset LD_LIBRARY_PATH
"$work/build/sdl-host" "$ad_server_url" --seconds 90 >"$work/host.log" 2>"$work/host-errors.log" &
host=$!
pids+=("$host")
wait_for_line "$work/host.log" 90 '^ready' || fail "the host did not show both ads"
# ready banner X Y W H cta X Y W H, in the window's coordinates.
read -r _ _ bx by bw bh _ cx cy cw ch < <(grep -m 1 '^ready' "$work/host.log")
window=$(xdotool search --sync --name "$title" | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"
origin_x=$X
origin_y=$Y

import -window root "$work/screen.png"
# The mean colour of a rectangle of the screenshot, as "R G B" from 0 to 255.
mean_colour() {
  convert "$work/screen.png" -crop "$3x$4+$(($1 + origin_x))+$(($2 + origin_y))" +repage -scale '1x1!' \
    -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info:
}
# Blue dominates: the banner's #1f6feb under its white text, and the call
# to action's blue under its title.
is_blue() {
  local r g b
  read -r r g b <<<"$1"
  [ "$b" -gt 170 ] && [ "$r" -lt 120 ] && [ "$b" -gt $((g + 40)) ]
}
banner_colour=$(mean_colour "$bx" "$by" "$bw" "$bh")
is_blue "$banner_colour" || fail "the banner is not on screen (mean colour $banner_colour)"
cta_colour=$(mean_colour "$cx" "$cy" "$cw" "$ch")
is_blue "$cta_colour" || fail "the call to action is not on screen (mean colour $cta_colour)"
echo "sdl-host-check: on screen: banner ($banner_colour), call to action ($cta_colour)"

# A click in the middle of the call to action, as a user's. The ad counts
# clicks only once it has been seen a moment, so a click too early is
# tried again.
for _ in 1 2 3 4 5; do
  sleep 1
  xdotool mousemove --sync $((origin_x + cx + cw / 2)) $((origin_y + cy + ch / 2)) click 1
  wait_for_line "$work/host.log" 2 '^clicked' && break
done
grep -q '^clicked' "$work/host.log" || fail "the click did not reach the ad"
wait_for_line "$work/adserver.log" 30 "$click_event" || fail "the click did not reach the logging endpoint"
echo "sdl-host-check: the click reached the ad and the logging endpoint ($click_event)"
