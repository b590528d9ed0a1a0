#!/usr/bin/env bash
# Compares corvane-cli with the ffmpeg command-line tool on the same conversions, all to MP4
# with H.264 baseline 640x360 (640x480 at most, the shape kept) 1500 kbit/s + AAC 128 kbit/s 44.1 kHz stereo:
#   A      a 720p 20-second H.264 + AAC source
#   noisy  the same at about 60 Mbit/s of noise, where decoding costs the most
#   clip   a 1-second source, where start-up and shutdown count
#   four   four copies of A: corvane-cli with its automatic task count against ffmpeg one by one
#   1080p  a 60-second 1080p source: CPU of the busiest single thread (the critical path), on
#          this machine and with both programs seeing 16 processors (bench/many_processors.c),
#          which shows what bounds the wall time on a machine that size
#   remux  a 10-minute 1080p H.264 + AAC film to MP4 with profile 1007 (every stream copied)
#          against ffmpeg -map 0 -c copy
# Each pair runs three times, interleaved, and the best run of each counts. Prints wall and
# CPU time ratios, peak memory, and the busiest threads.
# Usage: run_bench.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-build}" && pwd)"
cli="$build/bin/corvane-cli"
work="$build/bench"
rm -rf "$work"
mkdir -p "$work/appdata/config/corvane" "$work/out-cli" "$work/out-ffmpeg"

make_source() {  # NAME SIZE SECONDS [extra video filter] [x264 options...]
  local name="$1" size="$2" seconds="$3" filter="${4:-}"; shift 4 || shift $#
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=$size:rate=25:duration=$seconds$filter" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" \
    -c:v libx264 -preset veryfast "$@" -c:a aac -b:a 160k -ac 2 "$work/$name.mkv"
}
echo "Making the sources..."
make_source source 1280x720 20 ""
make_source noisy 1280x720 20 ",noise=alls=60:allf=t" -b:v 60M -maxrate 60M -bufsize 60M
make_source clip 1280x720 1 ""
make_source big 1920x1080 60 ""
for i in 1 2 3 4; do cp "$work/source.mkv" "$work/movie$i.mkv"; done
# The 10-minute film is kept between runs: 20 seconds encoded once, repeated by copying.
cache="$build/bench-cache"
remux="$cache/film-10min.mkv"
if [[ ! -f "$remux" ]]; then
  mkdir -p "$cache"
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=20" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=20" \
    -c:v libx264 -preset ultrafast -g 250 -c:a aac -b:a 128k -ac 2 "$cache/film-20s.mkv"
  ffmpeg -nostdin -v error -y -stream_loop 29 -i "$cache/film-20s.mkv" -map 0 -c copy "$remux"
fi
export remux

# corvane-cli converts with the stored output setting: profile 1003 adjusted to the values above.
cat > "$work/appdata/config/corvane/app_config.xml" <<'INI'
[General]
CheckForUpdate=false

[OutputSet]
profile_id=1003
format=MP4
VideoFourCC=H264
VideoBitrate=1500
VideoFrameRate=25
VideoResolution=640*480
AudioFourCC="AAC "
AudioBitrate=128
AudioSampleRate=44100
AudioChannels=2
INI

# measure LABEL COMMAND... -> "wall cpu peak_kb" in $work/LABEL.time, keeping the run with the
# shortest wall time of all calls with the same label.
measure() {
  local label="$1"; shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/$label.run" "$@" >/dev/null 2>"$work/$label.log"
  read -r wall user sys peak < "$work/$label.run"
  local line="$wall $(echo "$user + $sys" | bc) $peak"
  if [[ -f "$work/$label.time" ]]; then
    read -r best _ < "$work/$label.time"
    (( $(echo "$wall < $best" | bc) )) || return 0
  fi
  echo "$line" > "$work/$label.time"
}
cc -O2 -shared -fPIC -o "$work/many_processors.so" "$here/many_processors.c" -ldl
export many="$work/many_processors.so"
# busiest LABEL COMMAND... -> the smallest busiest-thread CPU seconds of all calls, in LABEL.thread
busiest() {
  local label="$1"; shift
  local seconds
  seconds=$(bash "$here/busiest_thread.sh" "$@")
  if [[ -f "$work/$label.thread" ]]; then
    (( $(echo "$seconds < $(cat "$work/$label.thread")" | bc) )) || return 0
  fi
  echo "$seconds" > "$work/$label.thread"
}
ffmpeg_one() {
  ffmpeg -nostdin -v error -y -i "$1" -c:v libx264 -profile:v baseline -level 3.1 -s 640x360 -r 25 \
    -b:v 1500k -c:a aac -b:a 128k -ar 44100 -ac 2 "$2"
}
export -f ffmpeg_one
cli_run() {  # OUTPUT_DIR PARALLEL|auto FILE...
  local out="$1" parallel="$2"; shift 2
  rm -rf "$out"; mkdir -p "$out"
  local limit=(--parallel "$parallel")
  [[ "$parallel" == auto ]] && limit=()  # the program's own choice for this machine
  appdata="$work/appdata" "$cli" "${limit[@]}" --output "$out" "$@"
}
export -f cli_run
export work cli

for round in 1 2 3; do
  echo "Round $round..."
  for job in source noisy clip; do
    measure "cli-$job" bash -c 'cli_run "$work/out-cli/$0" 1 "$work/$0.mkv"' "$job"
    measure "ffmpeg-$job" bash -c 'ffmpeg_one "$work/$0.mkv" "$work/out-ffmpeg/$0.mp4"' "$job"
  done
  measure cli-four bash -c 'cli_run "$work/out-cli/four" auto "$work"/movie{1,2,3,4}.mkv'
  measure ffmpeg-four bash -c 'for i in 1 2 3 4; do ffmpeg_one "$work/movie$i.mkv" "$work/out-ffmpeg/four$i.mp4"; done'
  measure cli-remux bash -c 'cli_run "$work/out-cli/remux" 1 --profile 1007 "$remux"'
  measure ffmpeg-remux bash -c 'ffmpeg -nostdin -v error -y -i "$remux" -map 0 -c copy "$work/out-ffmpeg/remux.mp4"'
  for cores in here 16; do
    preload=""; [[ "$cores" == 16 ]] && preload="$many"
    busiest "cli-big-$cores" bash -c 'exec env LD_PRELOAD="$1" appdata="$work/appdata" "$cli" --parallel 1 --output "$work/out-cli/big$0" "$work/big.mkv"' "$round" "$preload"
    busiest "ffmpeg-big-$cores" bash -c 'exec env LD_PRELOAD="$0" ffmpeg -nostdin -v error -y -i "$work/big.mkv" -c:v libx264 -profile:v baseline -level 3.1 -s 640x360 -r 25 -b:v 1500k -c:a aac -b:a 128k -ar 44100 -ac 2 "$work/out-ffmpeg/big.mp4"' "$preload"
  done
done

report() {
  read -r cw cc cm < "$work/cli-$1.time"
  read -r fw fc fm < "$work/ffmpeg-$1.time"
  printf "%-22s %8s %8s %10s\n" "$2" "wall s" "cpu s" "peak MB"
  printf "%-22s %8.2f %8.2f %10.1f\n" "corvane-cli" "$cw" "$cc" "$(echo "$cm / 1024" | bc -l)"
  printf "%-22s %8.2f %8.2f %10.1f\n" "ffmpeg" "$fw" "$fc" "$(echo "$fm / 1024" | bc -l)"
  printf "%-22s %8.2f %8.2f %10.2f\n\n" "ratio (cli / ffmpeg)" "$(echo "$cw / $fw" | bc -l)" \
    "$(echo "$cc / $fc" | bc -l)" "$(echo "$cm / $fm" | bc -l)"
}
echo "Best of three runs each:"
report source "A: 720p 20 s"
report noisy "60 Mbit/s 720p 20 s"
report clip "1-second clip"
report four "four files (automatic)"
report remux "remux 10 min to MP4"
read -r rw _ rm < "$work/cli-remux.time"
printf "remux speed: %.0fx real time, peak memory %.1f MB\n\n" "$(echo "600 / $rw" | bc -l)" \
  "$(echo "$rm / 1024" | bc -l)"
printf "%-22s %14s %14s\n" "1080p 60 s" "busiest thread" "on 16 CPUs"
cb=$(cat "$work/cli-big-here.thread"); cb16=$(cat "$work/cli-big-16.thread")
fb=$(cat "$work/ffmpeg-big-here.thread"); fb16=$(cat "$work/ffmpeg-big-16.thread")
printf "%-22s %14.2f %14.2f\n%-22s %14.2f %14.2f\n%-22s %14.2f %14.2f\n\n" \
  "corvane-cli cpu s" "$cb" "$cb16" "ffmpeg cpu s" "$fb" "$fb16" \
  "ratio (cli / ffmpeg)" "$(echo "$cb / $fb" | bc -l)" "$(echo "$cb16 / $fb16" | bc -l)"
ffprobe -v error -show_entries stream=codec_name,width,height,sample_rate,channels \
  -of compact "$work/out-cli/source/source.mp4"

# Decoding and scaling are deterministic: the same source converted alone and among four
# parallel tasks (another thread budget) must give the same video packets.
video_md5() { ffmpeg -nostdin -v error -i "$1" -map 0:v -c copy -f md5 - ; }
alone=$(video_md5 "$work/out-cli/source/source.mp4")
parallel=$(video_md5 "$work/out-cli/four/movie1.mp4")
if [[ "$alone" == "$parallel" ]]; then echo "video alone and among four tasks: identical ($alone)"
else echo "video alone and among four tasks: DIFFERENT ($alone, $parallel)"; fi
# Quality against the source, scaled the same way for both outputs.
psnr() {
  ffmpeg -nostdin -i "$1" -i "$work/source.mkv" \
    -lavfi "[1:v]scale=640:360:flags=bicubic[ref];[0:v][ref]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR.*average:\([0-9.]*\).*/\1/p'
}
cp=$(psnr "$work/out-cli/source/source.mp4"); fp=$(psnr "$work/out-ffmpeg/source.mp4")
printf "PSNR against the source, dB: corvane-cli %s, ffmpeg %s, difference %.3f\n" "$cp" "$fp" \
  "$(echo "$cp - $fp" | bc -l)"

# The new codec profiles: encode speed and quality per bit against the ffmpeg tool.
bash "$here/codec_bench.sh" "$build" "$work" "$work/source.mkv"
