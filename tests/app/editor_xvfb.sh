#!/usr/bin/env bash
# The editor on a virtual display, driven as a user would with xdotool: "&Jugar" loads
# the catalogue and opens the editor with its start-up dialog, answered with "&Empieza un
# nuevo proyecto"; a scene, a character and an object are added with the pickers (the
# first item of each); the selection steps through the elements; the scene is previewed
# and stepped key frame by key frame; the close button asks whether to save the modified
# movie, and "&No" goes back to the start menu. Screenshots go to build/xvfb-editor-*.png.
# Run from the source tree after ./run (or a build of the program and of build/content);
# SL_BUILD_DIR names another build tree.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${SL_BUILD_DIR:-build}
source tests/app/program_xvfb.sh  # the working folder is the source tree
[ "${1:-}" = "--inner" ] || run_on_virtual_display xdotool import

log=$(mktemp)
# A run that stops half way (a failed step under set -e) leaves no program behind.
trap 'stop_program; rm -f "$log"' EXIT
start_program "$build"/content

reach_start_menu

click_at 215 272  # "&Jugar"
wait_for "Pantalla: editor" 180 || fail "\"&Jugar\" did not open the editor."
sleep 2
import -window root "$build"/xvfb-editor-startup.png
click_at 295 215  # "&Empieza un nuevo proyecto"
sleep 1
import -window root "$build"/xvfb-editor-empty.png
# The pickers open centred on the stage; their first item button sits at the top left.
click_at 65 188   # "InsEscena"
sleep 1
import -window root "$build"/xvfb-editor-backgrounds.png
click_at 270 279  # the first background
sleep 1
click_at 65 250   # "InsPersonaje"
sleep 1
import -window root "$build"/xvfb-editor-characters.png
click_at 240 274  # the first character
sleep 1
click_at 65 312   # "InsObjeto"
sleep 1
click_at 237 221  # the first object
sleep 1
click_at 80 550   # "SelItemSig": the first character
sleep 0.5
import -window root "$build"/xvfb-editor-selected.png
click_at 140 552  # "RepPlay"
sleep 1
import -window root "$build"/xvfb-editor-playing.png
click_at 140 552  # "RepPause"
sleep 0.5
click_at 425 552  # "RepNext"
sleep 0.5
import -window root "$build"/xvfb-editor-stepped.png

# The movie is modified: the close button asks whether to save it first, and "n" answers
# "&No", which goes back to the start menu without saving.
click_at 780 22
sleep 1
import -window root "$build"/xvfb-editor-question.png
press_key n
wait_for "Pantalla: menu de inicio" 60 2 || fail "The close button did not go back to the start menu."

quit_program
echo "Screenshots: $build/xvfb-editor-*.png"
