#!/usr/bin/env bash
# The help's box over the start menu on a virtual display, with no viewer that can show the
# help: every viewer the help control tries is a script that fails. "&Ayuda" shows the box,
# and once it is answered the program's window must come back as it was: shown, active, with
# the keyboard focus, drawing the start menu and answering a click on "&Jugar". $2 chooses
# the desktop:
#   none     no window manager, the box given no focus by hand; Return answers it
#   openbox  the openbox window manager (skipped when it is not installed): "&Jugar" is
#            clicked beside the box while the program's window has the focus, the box is
#            minimised and brought back with Alt+Tab, and one click on its "Aceptar"
#            answers it, the program's window holding the focus again
# $3 is the prefix of the screenshots: -menu.png before the box, -box.png with it, -after.png
# once it is answered; with openbox also -back.png once it is back and -beside.png after the
# click beside it. Prints the program's debug output, "BOX SHOWN", "FOCUS <window name>",
# "STATE <_NET_WM_STATE>" (with a window manager), "CPU MENU <ms>" and "CPU AFTER <ms>" (the
# program's processor time over two seconds before and after the box), "PLAY REACHED",
# "PAGES SHOWN <n>" (viewers given a help page that was there) and "PAGES LEFT <n>" (help
# folders left once the program has ended). With a window manager also "MINIMISED <box>
# <program>" and "BACK <box> <program>" (each "HIDDEN" or "SHOWN"), "STACKED ABOVE" or
# "STACKED BELOW" (the box against the program's window after the click beside it) and
# "BESIDE <the name of the window with the focus>" after that click, "EDITOR REACHED", and
# "STATE ON LOSS <_NET_WM_STATE>" and "CPU ON LOSS <ms>" once another program's window has
# taken the focus.
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
pages=$(mktemp -d)
manager=""
trap 'rm -rf "$log" "$viewers" "$pages"; [ -n "$manager" ] && kill $manager 2>/dev/null || true' EXIT
if [ "$desktop" = openbox ]; then
  openbox >/dev/null 2>&1 &
  manager=$!
  sleep 1
fi
# A desktop whose opener finds no browser: each candidate says so and exits 1, after saying
# whether the page it was given is there.
for name in failing-viewer xdg-open x-www-browser sensible-browser firefox chromium; do
  printf '#!/bin/sh\n[ -f "$1" ] && echo "%s: page $1" >&2\necho "%s: no browser" >&2\nexit 1\n' "$name" "$name" \
    >"$viewers/$name"
  chmod +x "$viewers/$name"
done
# The help's pages go into a temporary folder of the test's own.
start_program "$folder" PATH="$viewers:$PATH" SL_HELP_VIEWER=failing-viewer XDG_RUNTIME_DIR= TMPDIR="$pages"

reach_start_menu
title=$(xdotool getwindowfocus getwindowname 2>/dev/null || true)
main=$(xdotool search --name "^$title\$" 2>/dev/null | head -n1 || true)
import -window root "$shots-menu.png"
ticks() { awk '{print $14 + $15}' /proc/$pid/stat; }
# The program's processor time over two seconds, in ms.
cpu_ms() {
  local before
  before=$(ticks)
  sleep 2
  echo $((($(ticks) - before) * 1000 / $(getconf CLK_TCK)))
}
# "HIDDEN" when window $1 is iconified, else "SHOWN".
shown() { xprop -id "$1" WM_STATE 2>/dev/null | grep -q Iconic && echo HIDDEN || echo SHOWN; }
# "ABOVE" when the window manager stacks window $1 above window $2, else "BELOW".
stacked() {
  local at=0 first=-1 second=-1
  for window in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g'); do
    [ $((window)) -eq "$1" ] && first=$at
    [ $((window)) -eq "$2" ] && second=$at
    at=$((at + 1))
  done
  [ $first -gt $second ] && [ $second -ge 0 ] && echo ABOVE || echo BELOW
}
echo "CPU MENU $(cpu_ms)"
click_at 776 570  # "&Ayuda"
wait_for "Ayuda: No se encontr" 30 || fail "The help did not say that nothing can show it."
find_window Ayuda || fail "The help's box has no window."
box=$id
echo "BOX SHOWN"
sleep 1
import -window root "$shots-box.png"
if [ -n "$manager" ]; then
  # The program's window takes the focus (as the window manager gave it before the box
  # belonged to it), then "&Jugar" is clicked beside the box.
  xdotool windowfocus "$main" 2>/dev/null || true
  sleep 0.5
  click_at 215 272
  sleep 1
  echo "STACKED $(stacked "$box" "$main")"
  echo "BESIDE $(xdotool getwindowfocus getwindowname 2>/dev/null || echo none)"
  import -window root "$shots-beside.png"
  xdotool windowminimize "$box"
  sleep 1
  echo "MINIMISED $(shown "$box") $(shown "$main")"
  # Alt+Tab brings them back, and once more (the box holding the focus) changes nothing.
  for _ in 1 2; do
    xdotool keydown alt key Tab
    sleep 0.3
    xdotool keyup alt
    sleep 1.5
  done
  echo "BACK $(shown "$box") $(shown "$main")"
  import -window root "$shots-back.png"
  # Once more the program's window holds the focus, so the click on "Aceptar" has to give
  # it to the box. The button is centred at the bottom: 28 pixels high, 20 above the
  # window's lower edge (placed with xwininfo, since xdotool counts the frame twice).
  xdotool windowfocus "$main" 2>/dev/null || true
  sleep 0.5
  read -r left top width height < <(xwininfo -id "$box" |
    awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF} /Width/ {w = $NF} /Height/ {h = $NF}
         END {print x, y, w, h}')
  xdotool mousemove $((left + width / 2)) $((top + height - 20 - 14))
  sleep 0.3
  xdotool click 1
else
  xdotool key Return
fi
sleep 1.5
kill -0 $pid 2>/dev/null || fail "The program ended with the box."
xdotool search --onlyvisible --name '^Ayuda$' >/dev/null 2>&1 && fail "The box stayed after its answer."
echo "FOCUS $(xdotool getwindowfocus getwindowname 2>/dev/null || echo none)"
echo "TITLE $title"
[ -n "$manager" ] && echo "STATE $(xprop -id "$main" _NET_WM_STATE 2>/dev/null || echo unknown)"
echo "CPU AFTER $(cpu_ms)"
import -window root "$shots-after.png"
# Nothing of the click beside the box reached the program.
grep -aq "Pantalla: carga" "$log" && fail "The click beside the box reached the program."
click_at 215 272  # "&Jugar"
wait_for "Pantalla: carga" 60 && echo "PLAY REACHED"
if [ -n "$manager" ]; then
  wait_for "Pantalla: editor" 180 && echo "EDITOR REACHED"
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
echo "PAGES SHOWN $(grep -ac "failing-viewer: page $pages/" "$log" || true)"
echo "PAGES LEFT $(find "$pages" -mindepth 1 -maxdepth 1 | wc -l)"
