# What the scripts that drive the program on a virtual display share. Sourced from the
# source tree with $build naming the build tree; the functions that drive the program
# need it started by start_program (or in the background with $pid, its debug output
# going to $log).

# Exits with 77 ("skipped") when one of the named tools is not installed.
require_tools() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
  done
}
# Runs the calling script again with --inner on an 800 x 600 virtual display and exits
# with its status; it needs xvfb-run and the named tools. The program takes every path
# from its own directory, so a copy of it goes into the content folder for the run and
# goes again afterwards, since the content tests compare build/content with what the
# generator writes.
run_on_virtual_display() {
  require_tools xvfb-run "$@"
  cp "$build"/Zarandulvortequimbaplastelo "$build"/content/
  local status=0
  xvfb-run -a -s "-screen 0 800x600x24" "$0" --inner || status=$?
  rm -f "$build"/content/Zarandulvortequimbaplastelo
  exit $status
}
# For a script given the program's folder: unless this is already the run on the display
# (its last argument is --inner), runs the calling script again with its arguments and
# --inner on an 800 x 600 virtual display and exits with its status.
rerun_on_virtual_display() {
  [ "${*: -1}" = "--inner" ] && return 0
  exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$@" --inner
}
# Starts the program of the folder $1 in the background on the display, with silent sound
# and its debug output going to $log; the rest of the arguments (NAME=value) go to its
# environment. Sets $pid.
start_program() {
  local folder=$1
  shift
  unset SDL_VIDEODRIVER
  export SDL_AUDIODRIVER=dummy
  (cd "$folder" && SL_DEBUG=1 exec env "$@" ./Zarandulvortequimbaplastelo) >"$log" 2>&1 &
  pid=$!
}

# Waits until the debug output holds the text at least $3 times (default once).
wait_for() {
  for _ in $(seq $(($2 * 10))); do
    [ "$(grep -ac "$1" "$log" || true)" -ge "${3:-1}" ] && return 0
    kill -0 $pid 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
# Waits up to five seconds for a shown window whose whole name is $1 and sets $id to it
# (empty when none came).
find_window() {
  id=""
  for _ in $(seq 50); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && return 0
    sleep 0.1
  done
  return 1
}
press_key() { xdotool keydown "$1"; sleep 0.15; xdotool keyup "$1"; }
# The program's pointer starts at the top-left corner and follows the mouse's movements.
click_at() {
  xdotool mousemove 0 0; sleep 0.2; xdotool mousemove "$1" "$2"; sleep 0.2
  xdotool mousedown 1; sleep 0.15; xdotool mouseup 1
}
# A termination request asks before leaving; a second one within three seconds ends the
# program by its normal shutdown. One that has not ended two seconds later is killed.
stop_program() {
  kill $pid 2>/dev/null || return 0
  sleep 0.3
  kill $pid 2>/dev/null || return 0
  for _ in $(seq 20); do kill -0 $pid 2>/dev/null || return 0; sleep 0.1; done
  kill -9 $pid 2>/dev/null || true
}
fail() {
  echo "$1"
  cat "$log"
  stop_program
  exit 1
}
# Passes the welcome screen ("Seguir") and the intro (Escape) as a user would.
reach_start_menu() {
  wait_for "Pantalla: bienvenida" 120 || fail "The welcome screen did not appear."
  sleep 1
  click_at 738 569  # "Seguir"
  wait_for "Pantalla: video de entrada" 60 || fail "The welcome screen did not answer \"Seguir\"."
  sleep 1
  press_key Escape
  wait_for "Pantalla: menu de inicio" 60 || fail "The start menu did not appear."
  sleep 1
}
# From the start menu: "&Jugar" loads the catalogue and opens the editor, whose start-up
# dialog is answered with "&Empieza un nuevo proyecto".
open_new_movie() {
  click_at 215 272  # "&Jugar"
  wait_for "Pantalla: editor" 180 || fail "\"&Jugar\" did not open the editor."
  sleep 2
  click_at 295 215  # "&Empieza un nuevo proyecto"
  sleep 1
}
# Closes the program from the start menu as a user would: Ctrl+Q asks, "s" answers "&Si",
# two advances pass the closing pages; then waits for it to end.
quit_program() {
  xdotool keydown ctrl keydown q; sleep 0.15; xdotool keyup q keyup ctrl
  sleep 1
  answer_quit
}
# Answers the open exit prompt with "s" ("&Si"), passes the closing pages and waits for
# the program to end.
answer_quit() {
  press_key s
  wait_for "Pantalla: despedida" 30 || true
  sleep 1
  press_key Escape
  sleep 0.5
  press_key Escape
  for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  stop_program
}
# Waits up to $1 seconds for the program to end after an answer given at $start (from
# `date +%s%N`) and kills it when it has not ("NOT ENDED"); then prints its debug output,
# "STATUS n" and "ENDED IN n MS".
report_end() {
  for _ in $(seq $(($1 * 100))); do kill -0 $pid 2>/dev/null || break; sleep 0.01; done
  local ended=$((($(date +%s%N) - start) / 1000000)) status=0
  if kill -0 $pid 2>/dev/null; then
    echo "NOT ENDED"
    kill -9 $pid
  fi
  wait $pid || status=$?
  cat "$log"
  echo "STATUS $status"
  echo "ENDED IN $ended MS"
}
