#!/usr/bin/env bash
# Two windows of the test program's child ClickActivationChild on a virtual display: the
# first ("Primera") at the bottom right, the second ("Segunda") opened after it at the top
# left, where it takes the keyboard focus. Then the first is clicked twice: a press held
# for a second with a move meanwhile, then a quick click a second later; Escape then ends
# it. $2 chooses the desktop:
#   none     no window manager
#   gone     openbox, killed once both windows are open: the root window still names its
#            window, which no longer exists
#   openbox  the openbox window manager
# Prints "FOCUS AFTER <window name>" (after the first click), then what the first window's
# child told.
# Usage: click_activation_xvfb.sh TEST-PROGRAM none|gone|openbox
set -euo pipefail
program=$1
desktop=$2
if [ "${3:-}" != "--inner" ]; then
  exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$program" "$desktop" --inner
fi
unset SDL_VIDEODRIVER
first_log=$(mktemp)
second_log=$(mktemp)
manager=""
first=""
second=""
trap '{ kill -9 $first $second; kill $manager; wait; } 2>/dev/null; rm -f "$first_log" "$second_log"' EXIT
if [ "$desktop" != none ]; then
  openbox >/dev/null 2>&1 &
  manager=$!
  sleep 1
fi

# Starts a child titled $1 with its output in $2, waits until it is ready and moves its
# window to $3 $4; sets $child and $id.
open_window() {
  SL_CHILD_TEST=1 SL_CLICK_TITLE=$1 "$program" --gtest_filter=ClickActivationChild.* >"$2" 2>&1 &
  child=$!
  id=""
  for _ in $(seq 300); do
    grep -q READY "$2" && id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && break
    kill -0 $child 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "no window $1"; cat "$2"; exit 1; }
  xdotool windowmove "$id" "$3" "$4"
  sleep 1
}
open_window Primera "$first_log" 440 320
first=$child
open_window Segunda "$second_log" 0 0
second=$child
if [ "$desktop" = gone ]; then
  kill -9 $manager
  wait $manager 2>/dev/null || true
  sleep 1
fi

# Inside the first window's client area (320 x 240), wherever the window manager framed it.
read -r left top < <(xwininfo -name Primera | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
                                                      END {print x, y}')
xdotool mousemove $((left + 100)) $((top + 100))
sleep 0.3
xdotool mousedown 1
sleep 0.5
xdotool mousemove $((left + 140)) $((top + 120))
sleep 0.5
xdotool mouseup 1
sleep 1
echo "FOCUS AFTER $(xdotool getwindowfocus getwindowname 2>/dev/null || echo none)"
xdotool mousedown 1
sleep 0.15
xdotool mouseup 1
sleep 0.5
xdotool key Escape
for _ in $(seq 50); do kill -0 $first 2>/dev/null || break; sleep 0.1; done
cat "$first_log"
