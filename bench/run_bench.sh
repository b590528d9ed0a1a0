#!/usr/bin/env bash
# Compares corvane-cli with the ffmpeg command-line tool on the same conversion:
# a 720p 20-second H.264 + AAC source to MP4, H.264 baseline 640x480 1500 kbit/s + AAC
# 128 kbit/s 44.1 kHz stereo. Then four such files: corvane-cli --parallel 2 against ffmpeg
# converting them one after another. Each pair runs three times, interleaved, and the best
# run of each counts. Prints wall and CPU time ratios and peak memory.
# Usage: run_bench.sh BUILD_DIR
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
cli="$build/bin/corvane-cli"
work="$build/bench"
rm -rf "$work"
mkdir -p "$work/appdata/corvane" "$work/out-cli" "$work/out-ffmpeg"

echo "Making the 20-second 720p source..."
ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=20 \
  -f lavfi -i sine=frequency=440:sample_rate=48000:duration=20 \
  -c:v libx264 -preset veryfast -c:a aac -b:a 160k -ac 2 "$work/source.mkv"
for i in 1 2 3 4; do cp "$work/source.mkv" "$work/movie$i.mkv"; done

# corvane-cli converts with the stored output setting: profile 1003 adjusted to the values above.
cat > "$work/appdata/corvane/app_config.xml" <<'INI'
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
# The four sequential ffmpeg runs add up; peak memory is the largest single one.
ffmpeg_one() {
  ffmpeg -nostdin -v error -y -i "$1" -c:v libx264 -profile:v baseline -level 3.1 -s 640x480 -r 25 \
    -b:v 1500k -c:a aac -b:a 128k -ar 44100 -ac 2 "$2"
}
export -f ffmpeg_one

for round in 1 2 3; do
  echo "Round $round: one file, then four..."
  rm -rf "$work/out-cli" "$work/out-ffmpeg"
  mkdir -p "$work/out-cli" "$work/out-ffmpeg"
  measure cli1 env appdata="$work/appdata" "$cli" --parallel 1 --output "$work/out-cli" "$work/movie1.mkv"
  measure ffmpeg1 bash -c 'ffmpeg_one "$0" "$1"' "$work/movie1.mkv" "$work/out-ffmpeg/movie1.mp4"
  measure cli4 env appdata="$work/appdata" "$cli" --parallel 2 --output "$work/out-cli/four" \
    "$work/movie1.mkv" "$work/movie2.mkv" "$work/movie3.mkv" "$work/movie4.mkv"
  measure ffmpeg4 bash -c 'for i in 1 2 3 4; do ffmpeg_one "$0/movie$i.mkv" "$0/out-ffmpeg/four$i.mp4"; done' "$work"
done

report() {
  read -r cw cc cm < "$work/cli$1.time"
  read -r fw fc fm < "$work/ffmpeg$1.time"
  printf "%-22s %8s %8s %10s\n" "$2" "wall s" "cpu s" "peak MB"
  printf "%-22s %8.2f %8.2f %10.1f\n" "corvane-cli" "$cw" "$cc" "$(echo "$cm / 1024" | bc -l)"
  printf "%-22s %8.2f %8.2f %10.1f\n" "ffmpeg" "$fw" "$fc" "$(echo "$fm / 1024" | bc -l)"
  printf "%-22s %8.2f %8.2f %10.2f\n\n" "ratio (cli / ffmpeg)" "$(echo "$cw / $fw" | bc -l)" \
    "$(echo "$cc / $fc" | bc -l)" "$(echo "$cm / $fm" | bc -l)"
}
echo "Best of three runs each:"
report 1 "one file"
report 4 "four files (cli -p 2)"
ffprobe -v error -show_entries stream=codec_name,width,height,sample_rate,channels \
  -of compact "$work/out-cli/movie1.mp4"
