#!/bin/sh
# The content generator's driver for the external encoders. contentgen runs it as
#   encode.sh COMMAND ARGUMENTS...
# and reads the files it writes. Every command is deterministic: no time stamps, fixed
# random seeds (sox -R), bit-exact muxing.
set -eu
command=$1
shift

case "$command" in
check)
  # Every tool and voice contentgen needs, named when missing.
  for tool in espeak-ng sox lame cjpeg convert ffmpeg chmcmd python3; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing tool: $tool" >&2; exit 1; }
  done
  espeak-ng --voices=es-419 | grep -q 'es-419' || { echo "missing voice: es-419 (espeak-ng)" >&2; exit 1; }
  ;;
jpeg) # IN.ppm OUT.jpg [QUALITY]: full-resolution colour (4:4:4), so letters keep clean edges
  cjpeg -quality "${3:-94}" -sample 1x1 -optimize -outfile "$2" "$1"
  ;;
gif) # IN.png OUT.gif: one colour is transparent where the picture is
  convert "$1" -strip -channel A -threshold 50% +channel "$2"
  ;;
speak) # VOICE SPEED PITCH TEXT OUT.wav: 16-bit mono 22,050 Hz, a little room, normalised
  espeak-ng -v "$1" -s "$2" -p "$3" -w "$5.voz.wav" "$4"
  sox -R "$5.voz.wav" -b 16 -c 1 "$5" rate 22050 reverb 12 40 60 norm -2 pad 0.15 0.25
  rm -f "$5.voz.wav"
  ;;
sox) # any sox conversion, repeatable
  sox -R "$@"
  ;;
mp3cbr) # IN.wav OUT.mp3 KBPS TITLE [COVER]: constant bit rate, an "Info" header, ID3v2 only
  if [ $# -ge 5 ]; then cover="--ti $5"; else cover=""; fi
  # shellcheck disable=SC2086
  lame --quiet --noreplaygain -b "$3" --cbr --id3v2-only --tt "$4" --ta "Orquesta del Taller" $cover "$1" "$2"
  ;;
mp3vbr) # IN.wav OUT.mp3 QUALITY TITLE: variable bit rate with LAME's header of frame counts
  lame --quiet --noreplaygain -V "$3" --vbr-new --id3v2-only --tt "$4" --ta "Orquesta del Taller" "$1" "$2"
  ;;
avi) # WIDTH HEIGHT FPS CODEC AUDIO.wav OUT.avi, raw BGRA frames on standard input
  case "$4" in
  mjpeg) video="-c:v mjpeg -q:v 3 -pix_fmt yuvj420p" ;;
  cinepak) video="-c:v cinepak -pix_fmt rgb24" ;;
  msvideo1) video="-c:v msvideo1 -pix_fmt rgb555le" ;;
  *) echo "unknown video codec $4" >&2; exit 2 ;;
  esac
  # shellcheck disable=SC2086
  ffmpeg -nostdin -y -loglevel error -threads 1 -f rawvideo -pix_fmt bgra -s "$1x$2" -r "$3" -i pipe:0 \
    -i "$5" -map 0:v -map 1:a $video -c:a pcm_s16le -ar 22050 -ac 2 \
    -fflags +bitexact -flags:v +bitexact -flags:a +bitexact -f avi "$6"
  ;;
project) # SCRIPT OUT.ZQTR: the sample movie's project file
  mkdir -p "$(dirname "$2")"
  python3 "$1" "$2"
  ;;
chm) # FOLDER PROJECT.hhp: compiles the help pages in FOLDER
  cd "$1"
  chmcmd --no-html-scan --verbosity 0 "$2"
  ;;
*)
  echo "encode.sh: unknown command $command" >&2
  exit 2
  ;;
esac
