#!/usr/bin/env bash
# The program's own pointer against the system pointer on a virtual display, in a window:
# after the welcome screen and the intro (a 640 x 480 picture scaled to the window) the
# start menu is shown at 800 x 600, and the system pointer is put at the four corners and
# the middle of the screen. At each the screenshot must show the drawn pointer's tip
# within a pixel of it: the pixels that the pointer changes (against a screenshot with the
# pointer elsewhere) begin there. Last, the close button at the top right must answer a
# click there without the pointer being pushed into a corner first. Screenshots go to
# build/xvfb-pointer-*.png. Run from the source tree after ./run (or a build of the
# program and of build/content); SL_BUILD_DIR names another build tree.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${SL_BUILD_DIR:-build}
source tests/app/program_xvfb.sh  # the working folder is the source tree
[ "${1:-}" = "--inner" ] || run_on_virtual_display xdotool import convert python3

log=$(mktemp)
work=$(mktemp -d)
trap 'stop_program; rm -rf "$log" "$work"' EXIT
start_program "$build"/content

# The welcome screen's "Seguir" and the intro's Escape, the pointer taken straight there.
wait_for "Pantalla: bienvenida" 120 || fail "The welcome screen did not appear."
sleep 1
xdotool mousemove 738 569; sleep 0.3; xdotool mousedown 1; sleep 0.15; xdotool mouseup 1
wait_for "Pantalla: video de entrada" 60 || fail "The welcome screen did not answer \"Seguir\"."
sleep 1
xdotool mousemove 300 200; sleep 0.3; xdotool mousemove 330 230  # moves under the 640 x 480 intro
sleep 0.5
press_key Escape
wait_for "Pantalla: menu de inicio" 60 || fail "The start menu did not appear."
sleep 1.5

shot() {
  xdotool mousemove "$1" "$2"
  sleep 0.6
  import -window root "$build/xvfb-pointer-$3.png"
}
shot 0 0 top-left
shot 799 0 top-right
shot 400 300 middle
shot 799 599 bottom-right
shot 200 450 elsewhere

# The tip: the first column and row of the pixels the pointer changes in the 40 x 40
# square from one pixel above and left of the target, against the shot taken elsewhere.
tip() {
  local x0=$(($1 > 0 ? $1 - 1 : 0)) y0=$(($2 > 0 ? $2 - 1 : 0))
  local w=$((800 - x0 < 40 ? 800 - x0 : 40)) h=$((600 - y0 < 40 ? 600 - y0 : 40))
  convert "$build/xvfb-pointer-$3.png" -crop "${w}x${h}+${x0}+${y0}" +repage "rgb:$work/a.rgb"
  convert "$build/xvfb-pointer-$4.png" -crop "${w}x${h}+${x0}+${y0}" +repage "rgb:$work/b.rgb"
  python3 - "$work/a.rgb" "$work/b.rgb" "$w" "$h" "$x0" "$y0" "$1" "$2" <<'PY'
import sys
a, b = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
w, h, x0, y0, tx, ty = map(int, sys.argv[3:])
changed = [(i % w, i // w) for i in range(w * h) if a[3 * i:3 * i + 3] != b[3 * i:3 * i + 3]]
if not changed:
    print(f"no pointer drawn near ({tx}, {ty})")
    sys.exit(1)
x = x0 + min(c[0] for c in changed)
y = y0 + min(c[1] for c in changed)
print(f"system pointer ({tx}, {ty}): drawn pointer's tip at ({x}, {y})")
sys.exit(0 if abs(x - tx) <= 1 and abs(y - ty) <= 1 else 1)
PY
}
status=0
tip 0 0 top-left elsewhere || status=1
tip 799 0 top-right elsewhere || status=1
tip 400 300 middle elsewhere || status=1
tip 799 599 bottom-right elsewhere || status=1
[ $status -eq 0 ] || fail "The drawn pointer does not stand under the system pointer (build/xvfb-pointer-*.png)."

# The close button at (768, 10), reached straight from the middle of the screen: it asks
# whether to quit, and "s" answers "&Si".
xdotool mousemove 400 300; sleep 0.3; xdotool mousemove 780 22; sleep 0.3
xdotool mousedown 1; sleep 0.15; xdotool mouseup 1
sleep 1
import -window root "$build/xvfb-pointer-close.png"
answer_quit
grep -aq "Pantalla: despedida" "$log" || fail "The close button at the top right did not answer."
echo "Screenshots: $build/xvfb-pointer-*.png"
