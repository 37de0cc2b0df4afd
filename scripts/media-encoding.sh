# Encoder settings the scripts that make test media share, and `make NAME
# FFMPEG_ARGS...`, which writes "$out/NAME" bit-exactly and only once whole.
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

