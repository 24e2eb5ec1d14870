#!/usr/bin/env bash
# Runs a window demo on a virtual display, finds its window (titled "Demostraci..."),
# runs the interaction script with $id (the X window), $pid and $log set, waits for the
# demo to end and prints its log.
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
for _ in $(seq 100); do grep -q READY "$log" && break; sleep 0.1; done
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
for _ in $(seq 200); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done  # slow under a loaded machine
if kill -0 $pid 2>/dev/null; then kill $pid; echo "demo did not end"; cat "$log"; exit 1; fi
cat "$log"
