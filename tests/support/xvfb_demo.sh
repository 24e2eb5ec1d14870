#!/usr/bin/env bash
# Runs a window demo on a virtual display, finds its window (titled "Demostraci..."),
# runs the interaction script with $id (the X window), $pid and $log set, waits for the
# demo to end and prints its log. The interaction waits for the demo to report each step
# (the functions below) rather than for a time: a loaded or slower machine only makes the
# run longer.
# Usage: xvfb_demo.sh path/to/demo path/to/interaction.sh
set -euo pipefail
demo=$1
interaction=$2
if [ "${3:-}" != "--inner" ]; then
  exec xvfb-run -a "$0" "$demo" "$interaction" --inner
fi
here=$(cd "$(dirname "$interaction")" && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
unset SDL_VIDEODRIVER
"$demo" >"$log" 2>&1 &
pid=$!

# How many lines of the demo's log are the line $1, or start with $1.
seen() { LC_ALL=C grep -acxF -- "$1" "$log" || true; }
starts() { LC_ALL=C grep -ac -- "^$1" "$log" || true; }
# Waits until the demo's log holds the line $1 at least $2 times (default once), or lines
# that start with $1 (wait_start); ends the run with the log when the demo ends first or
# after two minutes.
wait_line() { wait_count seen "$1" "${2:-1}"; }
wait_start() { wait_count starts "$1" "${2:-1}"; }
wait_count() {
  for _ in $(seq 1200); do
    [ "$("$1" "$2")" -ge "$3" ] && return 0
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
  done
  echo "the demo did not report \"$2\""
  kill $pid 2>/dev/null || true
  cat "$log"
  exit 1
}
# Runs the command after $1 and waits until the demo's log holds the line $1 once more
# than before.
await() {
  local line=$1 before
  shift
  before=$(seen "$line")
  "$@"
  wait_line "$line" $((before + 1))
}
# The pointer moved to a point of the window, once the demo saw it there.
move_to() { await "POINTER $1 $2" xdotool mousemove --window "$id" "$1" "$2"; }
# An X button pressed and let go (default 1, the left one), each once the demo saw the one
# before; the demo numbers the right button (X's 3) 2.
click() {
  local x=${1:-1} own=${1:-1}
  [ "$x" = 3 ] && own=2
  await "BUTTON $own 1" xdotool mousedown "$x"
  await "BUTTON $own 0" xdotool mouseup "$x"
}
# A key (xdotool's name) held until the demo saw it go down (its framework code $2).
tap() {
  await "KEY $2" xdotool keydown "$1"
  xdotool keyup "$1"
}
# Gives each keysym named a key of its own on the display's keyboard for the rest of the
# run. A character outside the keyboard map would otherwise be typed through a key that
# xdotool maps only for the moment, and a slow demo could read that key after the map
# changed back.
own_keys() {
  local keymap
  keymap=$(mktemp)
  xkbcomp -xkb "$DISPLAY" "$keymap" 2>/dev/null
  python3 - "$keymap" "$@" <<'PY'
import re
import sys
path, syms = sys.argv[1], sys.argv[2:]
text = open(path).read()
at = text.index('xkb_symbols')
symbols = text[at:]
# Key names the keycodes define but no symbols use.
free = [name for name in re.findall(r'<(I2\d\d)>\s*=', text) if f'<{name}>' not in symbols][:len(syms)]
extra = ''.join(f'    key <{name}> {{ [ {sym} ] }};\n' for name, sym in zip(free, syms))
at = text.index('{', at) + 1
open(path, 'w').write(text[:at] + '\n' + extra + text[at:])
PY
  xkbcomp "$keymap" "$DISPLAY" 2>/dev/null
  rm -f "$keymap"
}

for _ in $(seq 1200); do grep -q READY "$log" && break; kill -0 $pid 2>/dev/null || break; sleep 0.1; done
# The video layer may make its window again while the device starts (a slow sanitizer
# build shows it): the window is taken once the same one has been found twice, half a
# second apart.
id=""
previous=""
for _ in $(seq 40); do
  id=$(xdotool search --onlyvisible --name "Demostraci" 2>/dev/null | tail -n1 || true)
  [ -n "$id" ] && [ "$id" = "$previous" ] && break
  previous=$id
  sleep 0.5
done
[ -n "$id" ] || { kill $pid; echo "no window"; cat "$log"; exit 1; }
xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
source "$interaction"
for _ in $(seq 600); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done  # slow under a loaded machine
if kill -0 $pid 2>/dev/null; then kill $pid; echo "demo did not end"; cat "$log"; exit 1; fi
cat "$log"
