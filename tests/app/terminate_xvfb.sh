#!/usr/bin/env bash
# Ends the program with termination requests on a virtual display, as a terminal's Ctrl-C
# or a session's end would: the first request shows the exit prompt; a second one ends the
# program by its normal shutdown (closing pages skipped). $2 chooses when the second comes:
#   prompt  3.5 seconds later, the prompt still open
#   quick   0.3 seconds after the first
#   editor  in the editor with a new scene: the first request asks whether to save the
#           movie, "c" answers "Cancelar"; 4 seconds later the next request asks again
#           ("ASKED AGAIN" when the program still runs a second later), and one more
#           while that question is open ends the program
# Prints the program's debug output, "STATUS n" and "ENDED IN n MS"; $3 gets a screenshot
# of the prompt. Usage: terminate_xvfb.sh PROGRAM-FOLDER prompt|quick|editor SCREENSHOT.png
set -euo pipefail
folder=$1
mode=$2
shot=$3
source "$(dirname "$0")/program_xvfb.sh"
rerun_on_virtual_display "$@"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
start_program "$folder"

if [ "$mode" = editor ]; then
  reach_start_menu
  open_new_movie
  click_at 65 188   # "InsEscena"
  sleep 1
  click_at 270 279  # the first background: the movie is modified
  sleep 1
  kill -TERM $pid
  wait_for "Pregunta: guardar antes de salir" 30 || fail "The first termination request did not ask to save."
  sleep 1
  press_key c       # "&Cancelar"
  sleep 4
  kill -TERM $pid
  wait_for "Pregunta: guardar antes de salir" 30 2 || fail "The request after \"Cancelar\" did not ask again."
  sleep 1
  import -window root "$shot"
  kill -0 $pid 2>/dev/null && echo "ASKED AGAIN"
  sleep 0.3
  start=$(date +%s%N)
  kill -TERM $pid
  report_end 6
  exit 0
fi
wait_for "Pantalla: bienvenida" 120 || fail "The welcome screen did not appear."
sleep 1
kill -TERM $pid
if [ "$mode" = prompt ]; then
  wait_for "Pregunta: salir" 30 || fail "The first termination request did not ask."
  sleep 1
  import -window root "$shot"
  sleep 2.5
  kill -0 $pid 2>/dev/null && echo "STILL ASKING"
else
  sleep 0.3
fi
start=$(date +%s%N)
kill -TERM $pid
report_end 6
