#!/usr/bin/env bash
# Shows the platform's own message window on a virtual display: runs the test program's
# child that opens it (the desktop's box hidden), saves a screenshot to $2, then answers
# once with a key and once with a click on "Aceptar", then opens it from a worker thread and
# answers with a key, and prints the child's log of each.
# Usage: message_window_xvfb.sh TEST-PROGRAM SCREENSHOT.png
set -euo pipefail
program=$1
shot=$2
if [ "${3:-}" != "--inner" ]; then
  exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$program" "$shot" --inner
fi
unset SDL_VIDEODRIVER
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Starts the child ($1, the first by default), waits for the window titled "Error" and
# leaves its id in $id.
open_box() {
  : >"$log"
  SL_CHILD_TEST=1 "$program" --gtest_filter=MessageWindowChild.${1:-ShowsTheReportAndWaits} >"$log" 2>&1 &
  pid=$!
  id=""
  for _ in $(seq 600); do
    id=$(xdotool search --onlyvisible --name '^Error$' 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "no message window"; cat "$log"; kill $pid 2>/dev/null || true; exit 1; }
  sleep 1
  # Still waiting for its answer a second later.
  kill -0 $pid 2>/dev/null && echo "WAITING"
}
finish() {
  for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then kill $pid; echo "the window did not take its answer"; fi
  wait $pid || true
  cat "$log"
}

open_box
import -window root "$shot"
xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
xdotool key Return
finish

open_box
eval "$(xdotool getwindowgeometry --shell "$id")"
# "Aceptar" is centred at the bottom: 28 pixels high, 20 above the window's lower edge.
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 20 - 14))
sleep 0.3
xdotool click 1
finish

# Asked for by a worker thread while the window's thread pumps; the key goes to whatever
# has the focus, which the box must have taken itself.
open_box ShowsTheReportFromAWorkerWhileTheWindowPumps
xdotool key Return
finish
