#!/usr/bin/env bash
# The help's box over the start menu on a virtual display, with no viewer that can show the
# help: every viewer the help control tries is a script that fails. "&Ayuda" shows the box,
# Return answers it, and the program's window must come back as it was: shown, active, with
# the keyboard focus, drawing the start menu and answering a click on "&Jugar". $2 chooses
# the desktop:
#   none     no window manager, the box given no focus by hand
#   openbox  the openbox window manager (skipped when it is not installed)
# $3 is the prefix of the screenshots: -menu.png before the box, -box.png with it, -after.png
# once it is answered. Prints the program's debug output, "BOX SHOWN", "FOCUS <window name>",
# "STATE <_NET_WM_STATE>" (with a window manager), "CPU MENU <ms>" and "CPU AFTER <ms>" (the
# program's processor time over two seconds before and after the box), "PLAY REACHED" and,
# with a window manager, "STATE ON LOSS <_NET_WM_STATE>" and "CPU ON LOSS <ms>" once another
# program's window has taken the focus.
# Usage: help_box_xvfb.sh PROGRAM-FOLDER none|openbox SCREENSHOT-PREFIX
set -euo pipefail
folder=$1
desktop=$2
shots=$3
source "$(dirname "$0")/program_xvfb.sh"
[ "$desktop" = openbox ] && require_tools openbox
rerun_on_virtual_display "$@"
log=$(mktemp)
viewers=$(mktemp -d)
manager=""
trap 'rm -rf "$log" "$viewers"; [ -n "$manager" ] && kill $manager 2>/dev/null || true' EXIT
if [ "$desktop" = openbox ]; then
  openbox >/dev/null 2>&1 &
  manager=$!
  sleep 1
fi
# A desktop whose opener finds no browser: each candidate says so and exits 1.
for name in failing-viewer xdg-open x-www-browser sensible-browser firefox chromium; do
  printf '#!/bin/sh\necho "%s: no browser" >&2\nexit 1\n' "$name" >"$viewers/$name"
  chmod +x "$viewers/$name"
done
start_program "$folder" PATH="$viewers:$PATH" SL_HELP_VIEWER=failing-viewer

reach_start_menu
title=$(xdotool getwindowfocus getwindowname 2>/dev/null || true)
import -window root "$shots-menu.png"
ticks() { awk '{print $14 + $15}' /proc/$pid/stat; }
# The program's processor time over two seconds, in ms.
cpu_ms() {
  local before
  before=$(ticks)
  sleep 2
  echo $((($(ticks) - before) * 1000 / $(getconf CLK_TCK)))
}
echo "CPU MENU $(cpu_ms)"
click_at 776 570  # "&Ayuda"
wait_for "Ayuda: No se encontr" 30 || fail "The help did not say that nothing can show it."
find_window Ayuda || fail "The help's box has no window."
echo "BOX SHOWN"
sleep 1
import -window root "$shots-box.png"
xdotool key Return
sleep 1.5
kill -0 $pid 2>/dev/null || fail "The program ended with the box."
xdotool search --onlyvisible --name '^Ayuda$' >/dev/null 2>&1 && fail "The box stayed after Return."
echo "FOCUS $(xdotool getwindowfocus getwindowname 2>/dev/null || echo none)"
echo "TITLE $title"
if [ -n "$manager" ]; then
  main=$(xdotool search --name "^$title\$" 2>/dev/null | head -n1 || true)
  echo "STATE $(xprop -id "$main" _NET_WM_STATE 2>/dev/null || echo unknown)"
fi
echo "CPU AFTER $(cpu_ms)"
import -window root "$shots-after.png"
click_at 215 272  # "&Jugar"
wait_for "Pantalla: carga" 60 && echo "PLAY REACHED"
if [ -n "$manager" ]; then
  # A real loss of focus still minimises the window: another program's window is activated.
  xmessage -name otro "otro programa" &
  other=$!
  sleep 1
  xdotool search --name '^otro$' windowactivate 2>/dev/null || true
  sleep 1
  echo "STATE ON LOSS $(xprop -id "$main" _NET_WM_STATE 2>/dev/null || echo unknown)"
  echo "CPU ON LOSS $(cpu_ms)"
  kill $other 2>/dev/null || true
fi
stop_program
cat "$log"
