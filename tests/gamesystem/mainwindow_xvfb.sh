#!/usr/bin/env bash
# Runs the main-window demo on a virtual display, shows the window's name and icon
# properties, presses Ctrl+Q in it and prints the demo's log.
# Usage: mainwindow_xvfb.sh path/to/gswindemo
set -euo pipefail
demo=$1
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if [ "${2:-}" != "--inner" ]; then
  exec xvfb-run -a "$0" "$demo" --inner
fi
unset SDL_VIDEODRIVER
"$demo" >"$log" 2>&1 &
pid=$!
for _ in $(seq 100); do grep -q READY "$log" && break; sleep 0.1; done
id=""
for _ in $(seq 50); do
  id=$(xdotool search --name "Demostraci" 2>/dev/null | head -n1 || true)
  [ -n "$id" ] && break
  sleep 0.1
done
[ -n "$id" ] || { kill $pid; echo "no window"; cat "$log"; exit 1; }
xprop -id "$id" WM_NAME _NET_WM_NAME
xprop -id "$id" _NET_WM_ICON | head -c 120
echo
xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
xdotool key --window "$id" ctrl+q
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then kill $pid; echo "demo did not end"; fi
cat "$log"
