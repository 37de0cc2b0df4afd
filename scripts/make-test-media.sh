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

video=(-f lavfi -i "testsrc=size=160x90:rate=30:duration=1")
audio=(-f lavfi -i "sine=frequency=440:sample_rate=44100:duration=1")
x264=(-c:v libx264 -pix_fmt yuv420p -g 15 -keyint_min 15 -sc_threshold 0)
baseline=("${x264[@]}" -profile:v baseline)
aac=(-c:a aac -b:a 48k -ac 2)

make() {
  local name=$1
  shift
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" -fflags +bitexact "$out/$name.tmp.mp4"
  mv "$out/$name.tmp.mp4" "$out/$name"
}

make baseline_aac_moov_first.mp4 "${video[@]}" "${audio[@]}" "${baseline[@]}" "${aac[@]}" -movflags +faststart
make baseline_aac_moov_last.mp4 "${video[@]}" "${audio[@]}" "${baseline[@]}" "${aac[@]}"
make main_bframes.mp4 "${video[@]}" "${audio[@]}" "${x264[@]}" -profile:v main -bf 2 "${aac[@]}"
make fps60.mp4 -f lavfi -i "testsrc=size=160x90:rate=60:duration=1" "${baseline[@]}" -g 30
make fps59_94.mp4 -f lavfi -i "testsrc=size=160x90:rate=60000/1001:duration=1" "${baseline[@]}" -g 30
make video_only.mp4 "${video[@]}" "${baseline[@]}"
# The rotation goes into the track header's matrix only when the stream is
# copied, not while it is encoded.
make rotated.mp4 -i "$out/video_only.mp4" -c copy -metadata:s:v:0 rotate=90
make opus.mp4 "${video[@]}" -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=1" "${baseline[@]}" -c:a libopus -b:a 32k -ac 2
make fragmented.mp4 "${video[@]}" "${audio[@]}" "${baseline[@]}" "${aac[@]}" \
  -movflags +frag_keyframe+empty_moov+default_base_moof
make fragmented_sidx.mp4 "${video[@]}" "${audio[@]}" "${baseline[@]}" "${aac[@]}" \
  -movflags +frag_keyframe+empty_moov+default_base_moof+global_sidx
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
