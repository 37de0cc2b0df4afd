#!/usr/bin/env bash
# Makes the conformance clips the engine's tests play and parse: muxers
# (mp4, mov, fragmented with and without sidx, samples both in the movie box
# and in fragments, interleaved runs), B-frames, edit lists, colour range
# and matrix, one frame, audio longer and shorter than the video.
# Usage: scripts/make-conformance-clips.sh OUTPUT_DIR
#
# The clips are checked in (tests/util/qnv/conformance) with a dump of what
# the parser reads from each, so that a newer ffmpeg moves neither the
# input nor the oracle without a review. Run this only to change the set;
# then rewrite the dumps with PLEXORA_WRITE_GOLDEN_DUMPS=1 and read the
# difference.
set -euo pipefail
out=${1:?output directory}
mkdir -p "$out"
# shellcheck source=scripts/media-encoding.sh
source "$(dirname "$0")/media-encoding.sh"

make baseline_aac_moov_first.mp4 "${video[@]}" "${audio[@]}" "${baseline[@]}" "${aac[@]}" -movflags +faststart
make baseline_aac_moov_last.mp4 "${video[@]}" "${audio[@]}" "${baseline[@]}" "${aac[@]}"
make main_bframes.mp4 "${video[@]}" "${audio[@]}" "${x264[@]}" -profile:v main -bf 2 "${aac[@]}"
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
# Cropping the picture at every edge: the stream's parameter sets rewritten,
# the samples untouched. Left and top move the picture's first sample off the
# decoded picture's first; right and bottom only narrow and shorten it.
make crop_left_top.mp4 -i "$out/baseline_aac_moov_first.mp4" -c copy -bsf:v h264_metadata=crop_left=4:crop_top=2
make crop_right_bottom.mp4 -i "$out/baseline_aac_moov_first.mp4" -c copy \
  -bsf:v h264_metadata=crop_right=6:crop_bottom=10
