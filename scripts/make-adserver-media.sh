#!/usr/bin/env bash
# Makes the videos the sandbox ad server's fixtures name
# ("{{BASE_URL}}media/<name>.mp4"), so an installed plexora-adserver plays
# its video ads to a host with no server of its own. Each lasts the seconds
# a "-<N>s" in its name says (ten without one): a test picture with a tone,
# small (320x180, 15 frames a second) so the install stays light. Beside
# them, a DASH presentation of the same kind for a host that creates the
# engine's DASH asset itself (the demo does): four seconds in one-second
# segments, video only, its files named "dash-*" ("dash-manifest.mpd").
# Usage: scripts/make-adserver-media.sh FIXTURE_DIR OUTPUT_DIR
set -euo pipefail
fixtures=${1:?fixture directory}
out=${2:?output directory}
default_seconds=10
rm -rf "$out"
mkdir -p "$out"
# shellcheck source=scripts/media-encoding.sh
source "$(dirname "$0")/media-encoding.sh"

names=$(grep -ohE '\{\{BASE_URL\}\}media/[A-Za-z0-9_.-]+\.mp4' "$fixtures"/*.json | sed 's|.*media/||' | sort -u)
for name in $names; do
  seconds=$(sed -nE 's/.*-([0-9]+)s(-[a-z]+)?\.mp4$/\1/p' <<<"$name")
  seconds=${seconds:-$default_seconds}
  make "$name" -f lavfi -i "testsrc=size=320x180:rate=15:duration=$seconds" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$seconds" "${baseline[@]}" "${aac[@]}" \
    -movflags +faststart
done

dash_seconds=4
dash_template "$out/dash" -f lavfi -i "testsrc=size=320x180:rate=15:duration=$dash_seconds" "${baseline[@]}" \
  -seg_duration 1 -adaptation_sets "id=0,streams=v"
# One flat folder of plain names, as the server serves them.
for file in "$out/dash"/*; do mv "$file" "$out/dash-${file##*/}"; done
rmdir "$out/dash"
sed -i 's/"init-/"dash-init-/; s/"seg-/"dash-seg-/' "$out/dash-manifest.mpd"
