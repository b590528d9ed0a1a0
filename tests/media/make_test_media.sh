#!/usr/bin/env bash
# Generates the small media files the tests read, with the ffmpeg command-line tool.
# Usage: make_test_media.sh OUTPUT_DIR
set -euo pipefail
out="$1"
stamp="$out/.complete"
script_hash=$(sha256sum "$0" | cut -c1-16)
if [[ -f "$stamp" && "$(cat "$stamp")" == "$script_hash" ]]; then
  exit 0
fi
rm -rf "$out"
mkdir -p "$out"
cd "$out"

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
video="testsrc2=size=640x360:rate=25"

# H.264 with B-frames and AAC, 3 s.
ff -f lavfi -i "$video:duration=3" -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=3" \
   -c:v libx264 -preset veryfast -bf 3 -g 50 -pix_fmt yuv420p -c:a aac -b:a 96k -ac 2 h264_aac.mkv

# One video, two audio tracks and a subtitle track.
cat > subtitles.srt <<'SRT'
1
00:00:00,000 --> 00:00:01,500
First line

2
00:00:01,500 --> 00:00:02,900
Second line
SRT
ff -f lavfi -i "$video:duration=3" \
   -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=3" \
   -f lavfi -i "sine=frequency=880:sample_rate=48000:duration=3" -i subtitles.srt \
   -map 0:v -map 1:a -map 2:a -map 3:s -c:v libx264 -preset veryfast -pix_fmt yuv420p \
   -c:a:0 aac -ac:a:0 2 -c:a:1 libopus -ac:a:1 2 -c:s srt \
   -metadata:s:a:0 language=eng -metadata:s:a:1 language=deu two_audio_subs.mkv

# Audio only.
ff -f lavfi -i "sine=frequency=330:sample_rate=48000:duration=3" -c:a libvorbis -ac 2 audio_only.mka

# MP3 with an embedded cover picture.
ff -f lavfi -i "testsrc2=size=160x160:rate=1:duration=1" -frames:v 1 cover.png
ff -f lavfi -i "sine=frequency=500:sample_rate=44100:duration=3" -i cover.png \
   -map 0:a -map 1:v -c:a libmp3lame -b:a 128k -c:v png -disposition:v attached_pic \
   -id3v2_version 3 with_cover.mp3

# 10-bit 4:2:2 video.
ff -f lavfi -i "$video:duration=2" -c:v prores_ks -profile:v 2 -pix_fmt yuv422p10le yuv422p10.mkv

# Audio that outlasts its video: 1 s of pictures, 3 s of sound.
ff -f lavfi -i "$video:duration=1" -f lavfi -i "sine=frequency=600:sample_rate=48000:duration=3" \
   -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -ac 2 audio_longer.mkv

# Matroska lists attachments as streams: a cover picture as a video stream without a frame
# rate, a text file as an attachment stream that no decoder reads.
printf 'notes\n' > notes.txt
ff -f lavfi -i "testsrc2=size=320x180:rate=25:duration=1" \
   -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=1" \
   -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -ac 2 \
   -attach cover.png -metadata:s:t:0 mimetype=image/png \
   -attach notes.txt -metadata:s:t:1 mimetype=text/plain attached_cover.mkv

# Subtitles and nothing else.
ff -i subtitles.srt -c:s srt -f matroska subtitles_only.mks

# Uncompressed 4x4 pictures whose bytes begin like a decoded-frame holder of an engine frame.
for i in 1 2 3; do
  printf '\xa0\x4a\x23\x01\xd5\x0f\x00\x00\xef\xbe\xad\xde\xef\xbe\xad\xde'
done > holder_lookalike.gray
ff -f rawvideo -pix_fmt gray -s 4x4 -r 25 -i holder_lookalike.gray -c:v rawvideo holder_lookalike.mkv

# A name with non-ASCII characters.
cp h264_aac.mkv "Überraschung – видео 映画.mkv"

# A film as people keep them: H.264 with B-frames, English AAC (default), Japanese AC3 5.1, an
# English SRT and a Japanese ASS track, two chapters, a title and an attached font.
cat > film_chapters.txt <<'META'
;FFMETADATA1
title=A Film
[CHAPTER]
TIMEBASE=1/1000
START=0
END=1500
title=Opening
[CHAPTER]
TIMEBASE=1/1000
START=1500
END=3000
title=Ending
META
cat > film_jpn.ass <<'ASS'
[Script Info]
ScriptType: v4.00+
PlayResX: 640
PlayResY: 360

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding
Style: Default,DejaVu Sans,28,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,0,2,10,10,10,1

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Dialogue: 0,0:00:00.50,0:00:01.40,Default,,0,0,0,,Ichi
Dialogue: 0,0:00:01.60,0:00:02.80,Default,,0,0,0,,Ni
ASS
font=$(fc-match -f '%{file}' sans 2>/dev/null || true)
[[ -f "$font" ]] || font=$(find /usr/share/fonts -name '*.ttf' 2>/dev/null | head -n 1)
attach=()
[[ -f "$font" ]] && attach=(-attach "$font" -metadata:s:t:0 mimetype=application/x-truetype-font)
ff -f lavfi -i "$video:duration=3" \
   -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=3" \
   -f lavfi -i "sine=frequency=660:sample_rate=48000:duration=3" \
   -i subtitles.srt -i film_jpn.ass -i film_chapters.txt \
   -map 0:v -map 1:a -map 2:a -map 3:s -map 4:s -map_metadata 5 -map_chapters 5 \
   -c:v libx264 -preset veryfast -bf 2 -g 50 -pix_fmt yuv420p \
   -c:a:0 aac -b:a:0 128k -ac:a:0 2 -c:a:1 ac3 -b:a:1 384k -ac:a:1 6 -c:s:0 srt -c:s:1 ass \
   -metadata:s:a:0 language=eng -metadata:s:a:1 language=jpn -metadata:s:a:1 title=Japanese \
   -metadata:s:s:0 language=eng -metadata:s:s:1 language=jpn \
   -disposition:v:0 default -disposition:a:0 default -disposition:a:1 0 -disposition:s:0 0 -disposition:s:1 0 \
   "${attach[@]}" film.mkv

echo "$script_hash" > "$stamp"
