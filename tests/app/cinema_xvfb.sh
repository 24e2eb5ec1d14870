#!/usr/bin/env bash
# The cinema and the export on a virtual display, driven as a user would with xdotool:
# "&Jugar" opens the editor with its start-up dialog; "&Visualizar un proyecto" plays the
# sample movie "Paseo en el parque" in the cinema to its end (the applause and "FIN"), the
# close button goes back to the dialog; "&Exportar un proyecto" writes the same movie into
# the video folder of a private HOME, and the file is checked with ffprobe (ASF holding
# WMV2 pictures and WMA 2 sound) and decoded whole by ffmpeg without a single complaint.
# Screenshots go to build/xvfb-cinema-*.png. Run from the source tree after ./run (or a
# build of the program and of build/content); SL_BUILD_DIR names another build tree.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${SL_BUILD_DIR:-build}
source tests/app/program_xvfb.sh  # the working folder is the source tree
[ "${1:-}" = "--inner" ] || run_on_virtual_display xdotool import ffprobe ffmpeg

log=$(mktemp)
home=$(mktemp -d)
trap 'rm -rf "$log" "$home"' EXIT
# A private HOME whose video folder is a temporary one: the export lands there.
mkdir -p "$home/.config" "$home/videos"
printf 'XDG_VIDEOS_DIR="%s/videos"\n' "$home" >"$home/.config/user-dirs.dirs"
movie="$home/videos/Paseo en el parque.WMV"
start_program "$build"/content HOME="$home"

shot() { import -window root "$build/xvfb-cinema-$1.png"; }
# Picks the first movie of the project chooser (the sample's only one) and accepts it.
choose_sample() {
  sleep 1.5
  shot "$1"
  click_at 427 267  # "Paseo en el parque"
  sleep 0.5
  click_at 564 421  # "&Aceptar"
}

reach_start_menu
click_at 215 272  # "&Jugar"
wait_for "Pantalla: editor" 180 || fail "\"&Jugar\" did not open the editor."
sleep 2
shot startup

click_at 295 365  # "&Visualizar un proyecto"
choose_sample chooser
wait_for "Pantalla: cine" 60 || fail "The chosen movie did not open the cinema."
# The sample runs about ten seconds between the opening curtain and "FIN".
sleep 1
shot opening
sleep 5
shot movie
sleep 9
shot end
sleep 8
shot after
click_at 780 22   # the close button: back to the start-up dialog
sleep 1.5
shot back

click_at 505 365  # "&Exportar un proyecto"
choose_sample export-chooser
sleep 3
shot exporting
# The export renders one picture per event while the editor keeps drawing; the file's
# header gets the movie's duration only when the writer ends, after the last picture.
duration=0
for _ in $(seq 600); do
  kill -0 $pid 2>/dev/null || fail "The program ended during the export."
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$movie" 2>/dev/null || true)
  awk -v d="${duration:-0}" 'BEGIN { exit !(d + 0 >= 1) }' && break
  sleep 1
done
awk -v d="${duration:-0}" 'BEGIN { exit !(d + 0 >= 1) }' || fail "The export did not finish."
sleep 1.5
shot exported
click_at 570 342  # "&Cerrar"
sleep 1.5
shot closed

# The exported file: ASF with WMV2 pictures and WMA 2 sound, decoded without errors.
format=$(ffprobe -v error -show_entries format=format_name -of csv=p=0 "$movie") || fail "ffprobe cannot read the export."
codecs=$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$movie" | sort | tr '\n' ' ')
[ "$format" = "asf" ] || fail "The export is \"$format\", not asf."
[ "$codecs" = "wmav2 wmv2 " ] || fail "The export holds \"$codecs\", not wmav2 and wmv2."
errors=$(ffmpeg -nostdin -v error -i "$movie" -f null - 2>&1)
[ -z "$errors" ] || fail "ffmpeg reports: $errors"
echo "Exported: $format, $codecs, $duration s"

quit_program
echo "Screenshots: $build/xvfb-cinema-*.png"
