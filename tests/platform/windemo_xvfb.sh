#!/usr/bin/env bash
# Runs the window demo on a virtual display, types into it and closes it like a close
# button would; prints the demo's message log. Usage: windemo_xvfb.sh path/to/windemo
set -euo pipefail
demo=$1
here=$(cd "$(dirname "$0")" && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if [ "${2:-}" != "--inner" ]; then
  exec xvfb-run -a "$0" "$demo" --inner
fi
unset SDL_VIDEODRIVER
{
  "$demo" >"$log" 2>&1 &
  pid=$!
  for _ in $(seq 100); do grep -q READY "$log" && break; sleep 0.1; done
  id=""
  for _ in $(seq 50); do
    id=$(xdotool search --name "Demostraci" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { kill $pid; echo "no window"; exit 1; }
  xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
  xdotool type --window "$id" --delay 50 "ab"
  xdotool key --window "$id" Return
  sleep 0.3
  python3 "$here/x11_close.py" "$id"
  for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then kill $pid; echo "demo did not quit"; cat "$log"; exit 1; fi
  cat "$log"
}
