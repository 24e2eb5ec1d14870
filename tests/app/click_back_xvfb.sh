#!/usr/bin/env bash
# Two copies of the program on one virtual display without a window manager, as two
# children start them. The first is taken to the start menu (-menu.png, the pointer over
# "&Jugar"); a second copy opens over it, takes the keyboard focus, and is closed as a user
# closes it (Ctrl+Q and "s" in its start menu, then the closing pages). The first copy,
# which lost the activation, is left black with the focus nowhere (-dark.png, two seconds
# after the second ended). One click on its "&Jugar", the button held until the picture is
# no longer dark (at most ten seconds), must bring it back (-back.png, a second later)
# without opening anything; then "&Construir" opens its screen, the close button goes back
# to the start menu, and Ctrl+Q and "s" end the program.
# Prints "SECOND STATUS n", "FOCUS BEFORE <window name>" and "FOCUS AFTER <window name>"
# ("none" without one), "BACK IN <ms>" or "NOT BACK" (then it stops there), "ACTIVATING
# CLICK PRESSED" or "ACTIVATING CLICK PRESSED NOTHING", "CLICK ANSWERED", "KEY ANSWERED",
# then the first copy's debug output and "FIRST STATUS n".
# Usage: click_back_xvfb.sh PROGRAM-FOLDER SCREENSHOT-PREFIX
set -euo pipefail
folder=$1
shots=$2
source "$(dirname "$0")/program_xvfb.sh"
require_tools xdotool import convert
rerun_on_virtual_display "$@"
first_log=$(mktemp)
second_log=$(mktemp)
first=""
second=""
trap 'for pid in $second $first; do stop_program; done; rm -f "$first_log" "$second_log"' EXIT
focused() { xdotool getwindowfocus getwindowname 2>/dev/null || echo none; }
dark() { awk -v mean="$(convert "$1" -format '%[fx:mean]' info: 2>/dev/null || echo 0)" 'BEGIN {exit !(mean < 0.1)}'; }

log=$first_log
start_program "$folder"
first=$pid
reach_start_menu
xdotool mousemove 215 272
sleep 1
import -window root "$shots-menu.png"

log=$second_log
start_program "$folder"
second=$pid
reach_start_menu
quit_program
status=0
wait $second || status=$?
echo "SECOND STATUS $status"
second=""

log=$first_log
pid=$first
sleep 2
import -window root "$shots-dark.png"
echo "FOCUS BEFORE $(focused)"
start=$(date +%s%N)
# As a child who presses and waits for the picture.
xdotool mousemove 0 0; sleep 0.2; xdotool mousemove 215 272; sleep 0.2  # "&Jugar"
xdotool mousedown 1
for _ in $(seq 50); do
  import -window root "$shots-back.png"
  dark "$shots-back.png" || break
  sleep 0.2
done
sleep 0.5
xdotool mouseup 1
if dark "$shots-back.png"; then
  echo "NOT BACK"
  echo "FOCUS AFTER $(focused)"
  cat "$log"
  exit 0
fi
echo "BACK IN $((($(date +%s%N) - start) / 1000000))"
sleep 1
import -window root "$shots-back.png"
echo "FOCUS AFTER $(focused)"
grep -aq "Pantalla: carga" "$log" && echo "ACTIVATING CLICK PRESSED" || echo "ACTIVATING CLICK PRESSED NOTHING"
click_at 582 272  # "&Construir"
wait_for "Pantalla: cajas de construcci" 60 && echo "CLICK ANSWERED"
sleep 1
click_at 780 22   # the close button
wait_for "Pantalla: menu de inicio" 60 2 || true
sleep 1
quit_program
grep -aq "Pregunta: salir" "$log" && echo "KEY ANSWERED"
status=0
wait $first || status=$?
first=""
cat "$log"
echo "FIRST STATUS $status"
