#!/usr/bin/env bash
# The building-box screen and the loading screen on a virtual display, driven as a user
# would with xdotool: "&Construir" shows the sample boxes and plays the first step of the
# first box with its sound; the close button goes back to the start menu; "&Jugar" shows
# the loading screen, then the editor, whose close button goes back to the start menu.
# Screenshots go to build/xvfb-boxes-*.png; the sound goes to build/xvfb-boxes-sound.raw
# through SDL's disk driver. Run from the source tree after ./run (or a build of the
# program and of build/content).
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "${1:-}" != "--inner" ]; then
  # The program takes every path from its own directory; the copy goes again afterwards,
  # since the content tests compare build/content with what the generator writes.
  cp build/Zarandulvortequimbaplastelo build/content/
  status=0
  xvfb-run -a -s "-screen 0 800x600x24" "$0" --inner || status=$?
  rm -f build/content/Zarandulvortequimbaplastelo
  exit $status
fi

unset SDL_VIDEODRIVER
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$PWD/build/xvfb-boxes-sound.raw"
rm -f "$SDL_DISKAUDIOFILE"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
(cd build/content && SL_DEBUG=1 exec ./Zarandulvortequimbaplastelo) >"$log" 2>&1 &
pid=$!

source tests/app/program_xvfb.sh  # the working folder is the source tree

reach_start_menu

# "&Construir": its picture is 330 x 330 at (417, 107).
click_at 582 272
wait_for "Pantalla: cajas de construcci" 60 || fail "\"&Construir\" did not open the building-box screen."
sleep 1
import -window root build/xvfb-boxes-list.png
# The first video of the first box: the first row of the list, centred on the first box.
click_at 300 147
# The pointer goes off the list, so the chosen row shows in its own colours.
xdotool mousemove 560 560
sleep 3
import -window root build/xvfb-boxes-playing.png
# The common close button at (768, 10) goes back to the start menu.
click_at 780 22
wait_for "Pantalla: menu de inicio" 60 2 || fail "The close button did not go back to the start menu."
sleep 1

# "&Jugar": the loading screen, then the start menu again.
click_at 215 272
wait_for "Pantalla: carga" 60 || fail "\"&Jugar\" did not open the loading screen."
sleep 0.3
import -window root build/xvfb-boxes-loading.png
# Once the catalogue is loaded the editor opens; its close button asks to go back to the
# start menu, and "s" answers "&Si".
wait_for "Pantalla: editor" 120 || fail "The loading screen did not open the editor."
sleep 1
click_at 780 22
sleep 1
press_key s
wait_for "Pantalla: menu de inicio" 60 3 || fail "The editor did not go back to the start menu."

quit_program

# The sound of the video reached the device: the disk driver's file holds samples that are
# not all silence.
python3 - "$SDL_DISKAUDIOFILE" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
loud = sum(1 for i in range(0, len(data) - 1, 2) if abs(int.from_bytes(data[i:i + 2], 'little', signed=True)) > 1000)
print(f"sound: {len(data)} bytes, {loud} loud samples")
sys.exit(0 if loud > 1000 else 1)
PY
echo "Screenshots: build/xvfb-boxes-list.png, build/xvfb-boxes-playing.png, build/xvfb-boxes-loading.png"
