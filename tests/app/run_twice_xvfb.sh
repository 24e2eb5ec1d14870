#!/usr/bin/env bash
# ./run a second time while the program is open for the family, as a parent or a second
# child does, on a virtual display. The first ./run sees the display and opens the
# program there (SL_DEBUG=1, so its screens can be followed), which is taken to the start
# menu. A second ./run, without a display, runs a copy of its own on a display of its
# own; then a pack of the content in the family's folder is cut short, and a third ./run
# refreshes the folder under the open program. Then the first copy is used in the
# refreshed folder: "&Jugar" loads the items from the pack just written again, a new
# movie with one scene is saved, and the program is closed as a user closes it.
# For the second and the third ./run it prints "NAME STATUS n", "NAME STILL RUNNING"
# (the first copy after it) and "NAME START MENU DIFFERS n" (the pixels of its picture of
# the start menu unlike the first copy's), then "SAVED" and "FIRST STATUS n" (the first
# ./run's, the program's own status). The logs and screenshots go to WORK.
# Usage: run_twice_xvfb.sh FAMILY-FOLDER DAMAGED-FILE MOVIE-NAME WORK
set -euo pipefail
family=$1
damaged=$2
movie=$3
work=$4
cd "$(dirname "$0")/../.."
source tests/app/program_xvfb.sh  # the working folder is the source tree
require_tools xvfb-run xdotool import compare flock
rerun_on_virtual_display "$@"

export SL_FAMILY_DIR=$family SDL_AUDIODRIVER=dummy
unset SDL_VIDEODRIVER
log=$work/first.log
# The program is the one process of that name below the first ./run.
program_below() {
  local child
  for child in $(pgrep -P "$1" || true); do
    [ "$(cat "/proc/$child/comm" 2>/dev/null)" = Zarandulvortequ ] && { echo "$child"; return 0; }
    program_below "$child" && return 0
  done
  return 1
}
SL_DEBUG=1 ./run >"$log" 2>&1 &
runner=$!
pid=$runner
trap 'stop_program' EXIT
wait_for "Pantalla: bienvenida" 300 || fail "The first ./run did not open the program."
pid=$(program_below $runner) || fail "The first ./run's program was not found."
reach_start_menu
sleep 1
import -window root "$work/first-start-menu.png"

# A ./run without a display while the first copy is open: it drives a copy of its own to
# the start menu on a display of its own, takes its picture and closes it.
run_again() {
  local name=$1 status=0
  rm -f build/run-start-menu.png
  env -u DISPLAY ./run >"$work/$name.log" 2>&1 || status=$?
  echo "$name STATUS $status"
  kill -0 $pid 2>/dev/null && kill -0 $runner 2>/dev/null && echo "$name STILL RUNNING"
  echo "$name START MENU DIFFERS $(compare -metric AE -fuzz 2% "$work/first-start-menu.png" build/run-start-menu.png \
    null: 2>&1 || true)"
}
run_again SECOND
# The content refresh swaps the family's folder under the open copy.
truncate -s 1000 "$family/$damaged"
run_again THIRD

open_new_movie
click_at 65 188   # "InsEscena"
sleep 1
click_at 270 279  # the first background
sleep 1
import -window root "$work/first-editor.png"
# "MenuGuardar", the name, "&Aceptar", and the message's "&Aceptar".
click_at 198 134
sleep 1.2
xdotool type --delay 60 "$movie"
sleep 0.4
click_at 420 345
sleep 1.5
[ -f "$family/Aventuras Guardadas/$movie.ZQTR" ] && echo "SAVED"
click_at 400 333
sleep 1
# The close button asks whether to go back to the start menu: "s" answers "&Si".
click_at 780 22
sleep 1
press_key s
wait_for "Pantalla: menu de inicio" 60 2 || fail "The close button did not go back to the start menu."
quit_program
status=0
wait $runner || status=$?
echo "FIRST STATUS $status"
cat "$log"
