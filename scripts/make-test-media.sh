#!/usr/bin/env bash
# Makes the small MP4 clips that the MP4 parser's tests read and compare with
# ffprobe. Usage: scripts/make-test-media.sh OUTPUT_DIR
# Every clip lasts about one second at 160x90 (a height that is not a multiple
# of 16, so the SPS carries cropping) to keep the build fast. The directory is
# made afresh, so clips never outlive a change of this script.
set -euo pipefail
out=${1:?output directory}
rm -rf "$out"
mkdir -p "$out"
# shellcheck source=scripts/media-encoding.sh
source "$(dirname "$0")/media-encoding.sh"

# The conformance clips are checked in, made once by
# scripts/make-conformance-clips.sh; the other clips build on some of them.
cp "$(dirname "$0")/../tests/util/qnv/conformance/"*.mp4 "$(dirname "$0")/../tests/util/qnv/conformance/"*.mov "$out/"

make fps60.mp4 -f lavfi -i "testsrc=size=160x90:rate=60:duration=1" "${baseline[@]}" -g 30
make fps59_94.mp4 -f lavfi -i "testsrc=size=160x90:rate=60000/1001:duration=1" "${baseline[@]}" -g 30
make video_only.mp4 "${video[@]}" "${baseline[@]}"
# The rotation goes into the track header's matrix only when the stream is
# copied, not while it is encoded.
make rotated.mp4 -i "$out/video_only.mp4" -c copy -metadata:s:v:0 rotate=90
make opus.mp4 "${video[@]}" -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=1" "${baseline[@]}" -c:a libopus -b:a 32k -ac 2
# Audio that is not AAC in a movie file.
make mp3.mp4 "${video[@]}" "${audio[@]}" "${baseline[@]}" -c:a libmp3lame -b:a 64k -ac 2
# The picture grows mid-stream: two raw streams joined, so the second's
# parameter sets travel in its samples while the sample entry keeps the
# first's.
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "testsrc=size=160x90:rate=30:duration=0.5" \
  "${baseline[@]}" -f h264 "$out/small.h264"
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "testsrc=size=320x180:rate=30:duration=0.5" \
  "${baseline[@]}" -f h264 "$out/large.h264"
cat "$out/small.h264" "$out/large.h264" >"$out/joined.h264"
make resolution_change.mp4 -framerate 30 -i "$out/joined.h264" -c copy
rm "$out/small.h264" "$out/large.h264" "$out/joined.h264"
# Twelve seconds at 10 frames a second, for playback that runs past several
# 5-second marks (the media view's video events).
make twelve_seconds.mp4 -f lavfi -i "testsrc=size=160x90:rate=10:duration=12" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=12" "${baseline[@]}" "${aac[@]}" -movflags +faststart

# Remote playback: four seconds whose noise keeps the bitrate up, so a
# download takes several ranges; header first and header last.
remote=(-f lavfi -i "testsrc=size=160x90:rate=30:duration=4,noise=alls=30:allf=t" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=4" "${baseline[@]}" -b:v 400k "${aac[@]}")
make remote_moov_first.mp4 "${remote[@]}" -movflags +faststart
make remote_moov_last.mp4 "${remote[@]}"
make audio_only.mp4 "${audio[@]}" "${aac[@]}"

# A picture four times the size it is drawn at, as in a small ad slot: a
# moving zone plate, whose rings grow finer up to the pixel outwards, alias
# wherever a drawing skips texels.
make large_640x360.mp4 -f lavfi -i "nullsrc=size=640x360:rate=30:duration=0.5,format=yuv420p,geq=lum='128+96*sin((X*X+Y*Y)/400+10*T)':cb='128+48*sin(X/9)':cr='128+48*cos(Y/7)'" \
  "${baseline[@]}" -b:v 2M

# ---- DASH presentations ----
# Each presentation is written by ffmpeg's dash muxer, then reshaped into
# what the engine's manifest reader reads, in one of two shapes:
# SegmentTemplate with $Time$ (dash_template, in media-encoding.sh) or one
# fragmented file per representation addressed by SegmentBase (dash_base).
# Both take the folder and ffmpeg's input and encoding arguments.

# The byte offset and size of each top-level box, one "type offset size" a line.
boxes() {
  local file=$1 offset=0 total
  total=$(stat -c %s "$file")
  while [ "$offset" -lt "$total" ]; do
    read -r s1 s2 s3 s4 t1 t2 t3 t4 < <(od -An -tu1 -j "$offset" -N 8 "$file")
    local size=$(((s1 << 24) | (s2 << 16) | (s3 << 8) | s4))
    printf '%b %d %d\n' "\\$(printf %03o "$t1")\\$(printf %03o "$t2")\\$(printf %03o "$t3")\\$(printf %03o "$t4")" \
      "$offset" "$size"
    [ "$size" -gt 0 ] || break
    offset=$((offset + size))
  done
}
segment_base() {
  local file=$1 moov_end sidx_start sidx_end
  moov_end=$(boxes "$file" | awk '$1 == "moov" { print $2 + $3 - 1 }')
  read -r sidx_start sidx_end < <(boxes "$file" | awk '$1 == "sidx" { print $2, $2 + $3 - 1 }')
  printf '<SegmentBase indexRange="%d-%d"><Initialization range="0-%d" /></SegmentBase>' \
    "$sidx_start" "$sidx_end" "$moov_end"
}

# SegmentBase: one fragmented file per representation with a segment index
# ('sidx') after the movie box. ffmpeg lists the fragments as a SegmentList
# of byte ranges; the reader takes the file's BaseURL with the index range
# and the initialization range (ftyp and moov) instead.
dash_base() {
  local base=$1 file id
  shift
  mkdir -p "$base"
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" -single_file 1 \
    -single_file_name 'rep-$RepresentationID$.mp4' -global_sidx 1 -f dash "$base/ffmpeg.mpd"
  for file in "$base"/rep-*.mp4; do
    id=${file##*/rep-}
    id=${id%.mp4}
    segment_base "$file" >"$base/segment_base_$id"
  done
  awk -v dir="$base" '
    /<Representation / { match($0, /id="[^"]*"/); id = substr($0, RSTART + 4, RLENGTH - 5) }
    /<SegmentList / {
      skipping = 1
      getline line < (dir "/segment_base_" id)
      print "\t\t\t\t" line
      next
    }
    skipping && /<\/SegmentList>/ { skipping = 0; next }
    skipping { next }
    { print }' "$base/ffmpeg.mpd" >"$base/manifest.mpd"
  rm "$base/ffmpeg.mpd" "$base"/segment_base_*
}

dash_sections="id=0,streams=v id=1,streams=a"

# Two seconds in 1-second segments: video at 320x180 and 160x90, and AAC
# audio.
dash_inputs=(-f lavfi -i "testsrc=size=320x180:rate=30:duration=2" -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=2"
  -map 0:v -map 0:v -map 1:a "${baseline[@]}" -g 30 -keyint_min 30 -b:v:0 300k -s:v:0 320x180
  -b:v:1 120k -s:v:1 160x90 "${aac[@]}" -seg_duration 1 -adaptation_sets "$dash_sections")
dash_template "$out/dash/template" "${dash_inputs[@]}"
dash_base "$out/dash/base" "${dash_inputs[@]}"

# Quality switches: four seconds of one picture at two bitrates far apart
# (noise keeps the high one high), key frames on every second in both, so
# a switch may land on any segment boundary.
switch_inputs=(-f lavfi -i "testsrc=size=160x90:rate=30:duration=4,noise=alls=20:allf=t"
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=4" -map 0:v -map 0:v -map 1:a "${baseline[@]}"
  -g 30 -keyint_min 30 -force_key_frames "expr:gte(t,n_forced*1)" -b:v:0 400k -b:v:1 60k "${aac[@]}"
  -seg_duration 1 -adaptation_sets "$dash_sections")
dash_template "$out/dash/switch_template" "${switch_inputs[@]}"
dash_base "$out/dash/switch_base" "${switch_inputs[@]}"

# B-frames (main profile), whose reordering delay the init segment's edit
# list takes off, as it takes off the audio's priming; video segments of a
# 1.5-second group of pictures beside 1-second audio segments.
bframes_inputs=(-f lavfi -i "testsrc=size=160x90:rate=30:duration=3"
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=3" -map 0:v -map 1:a
  -c:v libx264 -pix_fmt yuv420p -profile:v main -bf 2 -g 45 -keyint_min 45 -sc_threshold 0 "${aac[@]}"
  -seg_duration 1 -adaptation_sets "$dash_sections")
dash_template "$out/dash/bframes_template" "${bframes_inputs[@]}"
dash_base "$out/dash/bframes_base" "${bframes_inputs[@]}"
