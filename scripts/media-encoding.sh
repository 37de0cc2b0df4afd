# Encoder settings the scripts that make test media share, `make NAME
# FFMPEG_ARGS...`, which writes "$out/NAME" bit-exactly and only once whole,
# and `dash_template DIR FFMPEG_ARGS...`, a DASH presentation in DIR.
# Sourced, never run.
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

# SegmentTemplate with a SegmentTimeline: ffmpeg writes repeat counts (@r),
# start times only where they jump and $RepresentationID$ in the names; the
# reader takes one S with its t per segment and $Time$ alone. The segment
# files are renamed to the times the timeline gives them (the audio's first
# starts before 0 in ffmpeg's own naming).
dash_template() {
  local template=$1
  shift
  mkdir -p "$template"
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" -use_template 1 -use_timeline 1 \
    -init_seg_name 'init-$RepresentationID$.m4s' -media_seg_name 'seg-$RepresentationID$-$Time$.m4s' \
    -f dash "$template/ffmpeg.mpd"
  awk -v times="$template/times" '
    /<Representation / { match($0, /id="[^"]*"/); id = substr($0, RSTART + 4, RLENGTH - 5); time = 0 }
    /<SegmentTemplate / { gsub(/\$RepresentationID\$/, id) }
    /<S / {
      t = ""; d = 0; r = 0
      if (match($0, / t="[0-9-]+"/)) t = substr($0, RSTART + 4, RLENGTH - 5)
      if (match($0, / d="[0-9]+"/)) d = substr($0, RSTART + 4, RLENGTH - 5)
      # A number: as text, a repeat count of 29 would stop the loop at 3.
      if (match($0, / r="[0-9]+"/)) r = substr($0, RSTART + 4, RLENGTH - 5) + 0
      if (t != "") time = t
      for (i = 0; i <= r; i++) {
        printf "\t\t\t\t\t\t<S t=\"%d\" d=\"%d\" />\n", time, d
        print id, time >> times
        time += d
      }
      next
    }
    { print }' "$template/ffmpeg.mpd" >"$template/manifest.mpd"
  rm "$template/ffmpeg.mpd"
  local id files times i moved
  for id in $(cut -d' ' -f1 "$template/times" | sort -u); do
    mapfile -t files < <(ls "$template" | grep "^seg-$id-" | sed "s/^seg-$id-//; s/\.m4s$//" | sort -n)
    mapfile -t times < <(grep "^$id " "$template/times" | cut -d' ' -f2)
    for i in "${!files[@]}"; do
      [ "${files[$i]}" = "${times[$i]}" ] || mv "$template/seg-$id-${files[$i]}.m4s" "$template/seg-$id-${times[$i]}.m4s.new"
    done
    for moved in "$template"/seg-"$id"-*.m4s.new; do [ -e "$moved" ] && mv "$moved" "${moved%.new}"; done
  done
  rm "$template/times"
}
