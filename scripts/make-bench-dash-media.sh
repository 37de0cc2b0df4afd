#!/usr/bin/env bash
# Makes the DASH benchmark's media. Usage: scripts/make-bench-dash-media.sh OUTPUT_DIR
#   clip_720p_60s.mp4  sixty seconds of 1280x720 at 30 frames a second, a key
#                      frame every two seconds, video only, about 2.5 Mbit/s
#                      (the grain keeps the bit rate that of real footage)
#   vod/               the same stream, copied, as an on-demand presentation
#                      of two-second segments (manifest.mpd, init-0.m4s,
#                      seg-0-<time>.m4s): the same frames in the same bytes
#   live/              four seconds of 320x180 in one-second segments, the
#                      source a live server plays round and round
# The directory is made afresh, so media never outlive a change of this script.
set -euo pipefail
out=${1:?output directory}
rm -rf "$out"
mkdir -p "$out"
# shellcheck source=scripts/media-encoding.sh
source "$(dirname "$0")/media-encoding.sh"

video_only=(-adaptation_sets "id=0,streams=v")

make clip_720p_60s.mp4 -f lavfi -i "testsrc2=size=1280x720:rate=30:duration=60" -vf noise=alls=12:allf=t \
  -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 60 -keyint_min 60 -sc_threshold 0 \
  -b:v 2500k -maxrate 3000k -bufsize 5000k -movflags +faststart
dash_template "$out/vod" -i "$out/clip_720p_60s.mp4" -map 0:v -c copy -seg_duration 2 "${video_only[@]}"

dash_template "$out/live" -f lavfi -i "testsrc2=size=320x180:rate=30:duration=4" "${baseline[@]}" -g 30 \
  -keyint_min 30 -seg_duration 1 "${video_only[@]}"
