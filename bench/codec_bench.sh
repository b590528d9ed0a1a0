#!/usr/bin/env bash
# The new codec profiles against the ffmpeg tool with the same encoder settings, on job A's
# source (720p, 20 s, H.264 + AAC):
#   speed    each general quality profile, interleaved with ffmpeg, best of three
#            (CODEC_ROUNDS=1 for a quick look)
#   quality  SSIM and size of the HEVC and AV1 outputs against ffmpeg's (same settings), and the
#            size H.264 needs for the same SSIM (found by searching x264's CRF)
# Video is always encoded (--no-copy), as the speed of the encoders is what is measured.
# Usage: codec_bench.sh BUILD_DIR WORK_DIR SOURCE
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
work="$2/codecs"
source="$3"
cli="$build/bin/corvane-cli"
rm -rf "$work"
mkdir -p "$work/appdata/config/corvane" "$work/cli" "$work/ffmpeg"
printf '[General]\nCheckForUpdate=false\n' > "$work/appdata/config/corvane/app_config.xml"

# profile id, label, output extension, the ffmpeg tool's arguments for the same encode
# ("balanced" speed is x264/x265 medium, SVT-AV1 8, libvpx
# good/cpu-used 2).
profiles=(
  "1009|MP4 H.264 quality 21|mp4|-c:v libx264 -profile:v high -crf 21 -preset medium -c:a aac -b:a 160k"
  "1010|MP4 HEVC quality 24|mp4|-c:v libx265 -profile:v main -crf 24 -preset medium -tag:v hvc1 -c:a aac -b:a 160k"
  "1011|MKV HEVC 10-bit quality 24|mkv|-c:v libx265 -profile:v main10 -pix_fmt yuv420p10le -crf 24 -preset medium -c:a aac -b:a 192k"
  "1012|WebM VP9 + Opus|webm|-c:v libvpx-vp9 -crf 32 -b:v 0 -deadline good -cpu-used 2 -c:a libopus -b:a 128k"
  "1013|MKV AV1 + Opus|mkv|-c:v libsvtav1 -crf 32 -preset 8 -c:a libopus -b:a 128k"
  "1014|MOV ProRes 422|mov|-c:v prores_ks -profile:v 2 -pix_fmt yuv422p10le -c:a pcm_s24be"
)

best() {  # LABEL COMMAND... : keeps the shortest wall time of all calls in LABEL.time
  local label="$1"; shift
  /usr/bin/time -f "%e" -o "$work/$label.run" "$@" >/dev/null 2>"$work/$label.log" ||
    { echo "FAILED: $label (see $work/$label.log)"; return 0; }
  local wall; wall=$(cat "$work/$label.run")
  if [[ -f "$work/$label.time" ]] && (( $(echo "$wall >= $(cat "$work/$label.time")" | bc) )); then
    return 0
  fi
  echo "$wall" > "$work/$label.time"
}

for round in $(seq "${CODEC_ROUNDS:-3}"); do
  echo "Codec round $round..."
  for row in "${profiles[@]}"; do
    IFS='|' read -r id _ ext args <<< "$row"
    best "cli-$id" env appdata="$work/appdata" "$cli" --parallel 1 --no-copy --profile "$id" \
      --output "$work/cli/$id" "$source"
    # shellcheck disable=SC2086  # args is a word list on purpose
    best "ffmpeg-$id" ffmpeg -nostdin -v error -y -i "$source" $args "$work/ffmpeg/$id.$ext"
  done
done

ssim() {  # OUTPUT: SSIM (All) against the source
  ffmpeg -nostdin -i "$1" -i "$source" -lavfi "[0:v]format=yuv420p[a];[1:v]format=yuv420p[b];[a][b]ssim" \
    -f null - 2>&1 | sed -n 's/.*SSIM.* All:\([0-9.]*\).*/\1/p'
}
video_kb() {  # OUTPUT: the video stream's size in KB
  ffmpeg -nostdin -v error -i "$1" -map 0:v -c copy -f matroska - | wc -c | awk '{printf "%.0f", $1 / 1024}'
}

printf "\n%-28s %9s %9s %7s\n" "encode speed (best of 3)" "cli s" "ffmpeg s" "ratio"
for row in "${profiles[@]}"; do
  IFS='|' read -r id label _ _ <<< "$row"
  c=$(cat "$work/cli-$id.time" 2>/dev/null || echo 0); f=$(cat "$work/ffmpeg-$id.time" 2>/dev/null || echo 0)
  ratio=$( (( $(echo "$f > 0" | bc) )) && echo "$c / $f" | bc -l || echo 0)
  printf "%-28s %9.2f %9.2f %7.2f\n" "$label" "$c" "$f" "$ratio"
done

printf "\n%-28s %8s %8s %9s %9s %7s\n" "quality per bit" "SSIM cli" "ffmpeg" "cli KB" "ffmpeg KB" "size"
for id in 1010 1013; do
  for row in "${profiles[@]}"; do [[ "$row" == "$id|"* ]] && IFS='|' read -r _ label ext _ <<< "$row"; done
  out=$(ls "$work/cli/$id"/* | head -1)
  sc=$(ssim "$out"); sf=$(ssim "$work/ffmpeg/$id.$ext")
  kc=$(video_kb "$out"); kf=$(video_kb "$work/ffmpeg/$id.$ext")
  printf "%-28s %8s %8s %9s %9s %7.3f\n" "$label" "$sc" "$sf" "$kc" "$kf" "$(echo "$kc / $kf" | bc -l)"
  # The smallest x264 encode (CRF searched downwards from 30) that reaches the same SSIM.
  for crf in 30 28 26 24 22 20 18 16 14 12; do
    ffmpeg -nostdin -v error -y -i "$source" -an -c:v libx264 -profile:v high -crf "$crf" \
      -preset medium "$work/ffmpeg/h264-$id.mp4"
    s=$(ssim "$work/ffmpeg/h264-$id.mp4")
    (( $(echo "$s >= $sc" | bc) )) && break
  done
  kh=$(video_kb "$work/ffmpeg/h264-$id.mp4")
  printf "%-28s %8s %8s %9s %9s %7.3f\n" "  H.264 at that SSIM (crf $crf)" "$s" "" "$kh" "" \
    "$(echo "$kc / $kh" | bc -l)"
done
