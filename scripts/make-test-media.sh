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
# The first fragment's samples in the movie box, the rest in fragments.
make fragmented_moov_samples.mp4 "${video[@]}" "${audio[@]}" "${baseline[@]}" "${aac[@]}" -movflags +frag_keyframe
# Audio and video interleaved inside each fragment: several runs per track
# fragment, each at its own data offset.
make fragmented_interleaved.mp4 "${video[@]}" "${audio[@]}" "${baseline[@]}" "${aac[@]}" \
  -movflags +frag_keyframe+empty_moov+default_base_moof -frag_interleave 4
# QuickTime-style: each track's minf carries a data handler ('url ') beside
# the media handler.
make quicktime.mov "${video[@]}" "${audio[@]}" "${baseline[@]}" "${aac[@]}" -f mov
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

# Clips the playback conformance test plays against ffmpeg's decode.
# Edit lists: one that starts inside a group of pictures (the frames before
# it are decoded, never shown) and one that delays the media (an empty edit).
make edit_cut.mp4 -ss 0.3 -i "$out/baseline_aac_moov_first.mp4" -c copy
make edit_delay.mp4 -itsoffset 0.2 -i "$out/baseline_aac_moov_first.mp4" -c copy
# Colour: full range (JPEG levels) and the BT.709 matrix, alone and together.
make full_range.mp4 "${video[@]}" -c:v libx264 -pix_fmt yuvj420p -g 15 -profile:v baseline -color_range pc
make bt709.mp4 "${video[@]}" "${baseline[@]}" -colorspace bt709 -color_primaries bt709 -color_trc bt709
make full_range_bt709.mp4 "${video[@]}" -c:v libx264 -pix_fmt yuvj420p -g 15 -profile:v baseline -color_range pc \
  -colorspace bt709 -color_primaries bt709 -color_trc bt709
# One frame of a stream that may reorder: the decoder holds it until drained.
make one_frame.mp4 "${video[@]}" -frames:v 1 -c:v libx264 -pix_fmt yuv420p
# Audio that outlasts the video, and audio that stops before it.
make audio_longer.mp4 -f lavfi -i "testsrc=size=160x90:rate=30:duration=0.5" "${audio[@]}" "${baseline[@]}" "${aac[@]}"
make audio_shorter.mp4 "${video[@]}" -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=0.5" \
  "${baseline[@]}" "${aac[@]}"
# A picture four times the size it is drawn at, as in a small ad slot: a
# moving zone plate, whose rings grow finer up to the pixel outwards, alias
# wherever a drawing skips texels.
make large_640x360.mp4 -f lavfi -i "nullsrc=size=640x360:rate=30:duration=0.5,format=yuv420p,geq=lum='128+96*sin((X*X+Y*Y)/400+10*T)':cb='128+48*sin(X/9)':cr='128+48*cos(Y/7)'" \
  "${baseline[@]}" -b:v 2M
