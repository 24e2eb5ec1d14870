#!/usr/bin/env bash
# A two-scene movie made, saved and opened again on a virtual display, driven as a user
# would with xdotool: "&Jugar", "&Empieza un nuevo proyecto"; the park with Sofía and the
# lamp (dragged onto the path); Sofía walks (right click, "Caminar", a point on the
# grass), says a written line (her menu, "Agregar diálogo escrito") and switches the lamp
# on ("Abrir o encender", the lamp); the beach with Tomás as the second scene; the movie
# is saved as "Sofia y la lampara", a new movie is started and the first is opened again
# from the chooser. Checks: the saved file holds two scenes with the walk, the line and
# the lamp's change; the new movie's stage is empty; the reopened movie shows the same
# second scene, scene counter and thumbnails as before saving, and its first scene plays.
# The program runs from a private folder (the content linked in, an empty "Aventuras
# Guardadas"), so build/content keeps no save. Screenshots go to build/xvfb-movie-*.png.
# Run from the source tree after ./run (or a build of the program and of build/content);
# SL_BUILD_DIR names another build tree.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${SL_BUILD_DIR:-build}
source tests/app/program_xvfb.sh  # the working folder is the source tree
if [ "${1:-}" != "--inner" ]; then
  require_tools xvfb-run xdotool import convert python3
  # The program takes every path from its own directory (/proc/self/exe), so a copy of it
  # in a folder of links to the content reads the content and saves into the folder.
  folder=$(mktemp -d)
  trap 'rm -rf "$folder"' EXIT
  for entry in "$build"/content/*; do
    name=$(basename "$entry")
    case "$name" in
      "Aventuras Guardadas" | *.ini | contentgen.stamp) ;;
      *) ln -s "$(realpath "$entry")" "$folder/$name" ;;
    esac
  done
  mkdir "$folder/Aventuras Guardadas"
  cp "$build"/Zarandulvortequimbaplastelo "$folder/"
  status=0
  xvfb-run -a -s "-screen 0 800x600x24" "$0" --inner "$folder" || status=$?
  exit $status
fi

folder=$2
log=$(mktemp)
work=$(mktemp -d)
# A run that stops half way (a failed step under set -e) leaves no program behind.
trap 'stop_program; rm -rf "$log" "$work"' EXIT
start_program "$folder"

shot() { import -window root "$build/xvfb-movie-$1.png"; }
# The program draws its own pointer: off the stage, the stage shows only the movie.
pointer_away() { xdotool mousemove 0 0; sleep 0.2; xdotool mousemove 790 300; sleep 1; }
right_click_at() {
  xdotool mousemove 0 0; sleep 0.2; xdotool mousemove "$1" "$2"; sleep 0.3
  xdotool mousedown 3; sleep 0.15; xdotool mouseup 3
}
# Whether a rectangle (WxH+X+Y) is the same in two screenshots.
same_area() {
  convert "$build/xvfb-movie-$1.png" -crop "$3" +repage "rgb:$work/a.rgb"
  convert "$build/xvfb-movie-$2.png" -crop "$3" +repage "rgb:$work/b.rgb"
  cmp -s "$work/a.rgb" "$work/b.rgb"
}
colours() { convert "$build/xvfb-movie-$1.png" -crop "$2" +repage -format %k info:; }
stage=664x372+108+148 inside=640x340+120+160 counters=300x45+470+478 thumbnails=240x50+470+525
project="$folder/Aventuras Guardadas/Sofia y la lampara.ZQTR"

reach_start_menu
open_new_movie

# Scene 1: the park, Sofía, and the lamp, which lands behind her and is dragged to the path.
click_at 65 188   # "InsEscena"
sleep 1.2
click_at 270 279  # "Parque"
sleep 1.2
click_at 65 250   # "InsPersonaje"
sleep 1.2
click_at 365 274  # "Sofía"
sleep 1.2
click_at 65 312   # "InsObjeto"
sleep 1.2
click_at 362 330  # "Lámpara"
sleep 1.2
xdotool mousemove 0 0; sleep 0.2; xdotool mousemove 641 338; sleep 0.3
xdotool mousedown 1; sleep 0.3
for point in "620 350" "560 370" "480 390" "400 400" "330 410" "300 420"; do
  xdotool mousemove $point
  sleep 0.1
done
sleep 0.3
xdotool mouseup 1
sleep 0.5
shot placed

# The walk: a right click on Sofía asks for an action; "Caminar" then a point on the grass.
right_click_at 676 340
sleep 1.5
shot actions
click_at 240 274  # "Caminar"
sleep 1
shot reference
click_at 470 470
sleep 1.2
shot walking
sleep 2

# The written line: a click selects Sofía where she stopped, a second opens her menu.
click_at 472 400
sleep 0.7
click_at 472 400
sleep 1
shot menu
click_at 360 332  # "Agregar diálogo escrito" (the menu ends at the pointer, up and to its left)
sleep 1.2
xdotool type --delay 120 'Voy a encender la lampara'
sleep 0.5
shot text
click_at 520 437  # "&Aceptar"
sleep 1
shot speaking
sleep 3.5

# The state change: "Abrir o encender" aimed at the lamp; she walks to it and it lights.
right_click_at 472 400
sleep 1.5
click_at 240 380  # "Abrir o encender"
sleep 1
click_at 325 405  # the lamp
sleep 2
shot switching
sleep 3
pointer_away
shot switched

# Scene 2: the beach with Tomás.
click_at 65 188   # "InsEscena"
sleep 1.2
click_at 425 279  # "Playa"
sleep 1.2
click_at 65 250   # "InsPersonaje"
sleep 1.2
click_at 490 274  # "Tomás"
sleep 1.2
pointer_away
shot second-scene

# Saved under a name: "MenuGuardar", the name, "&Aceptar", and the message's "&Aceptar".
click_at 198 134
sleep 1.2
xdotool type --delay 120 'Sofia y la lampara'
sleep 0.4
shot name
click_at 420 345
sleep 1.5
shot saved
[ -f "$project" ] || fail "The movie was not saved as \"$project\"."
click_at 400 333
sleep 1

# The saved file: two scenes; the first holds the walk (action 1), the talk (2), the walk
# to the lamp and "Abrir o encender" (5), the lamp's change to "Encendida" (state 1) and
# the line attached to Sofía (kind 1).
python3 - "$project" <<'PY' || fail "The saved project does not hold the movie."
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
magic = 'Película de Zarandulvortequimbaplastelo'.encode('cp1252') + b'\x1a'
assert data.startswith(magic), 'no project magic'
assert zlib.crc32(data[:-4]) == struct.unpack('<I', data[-4:])[0], 'bad CRC'
at = len(magic)
def u32(count=1):
    global at
    values = struct.unpack_from(f'<{count}I', data, at)
    at += 4 * count
    return values[-1]
def wide():
    global at
    end = at
    while data[end:end + 2] != b'\0\0':
        end += 2
    text = data[at:end].decode('utf-16-le')
    at = end + 2
    return text
def skip_keys():
    global at
    count = u32()
    at += 12 * count
version, count, current = u32(), u32(), u32()
scenes = []
for _ in range(count):
    at += 20  # the background's identity
    u32(2)  # current frame, length
    scene = {'characters': 0, 'actions': [], 'objects': 0, 'changes': [], 'texts': []}
    for _ in range(u32()):
        at += 20
        u32(4)  # first frame, x, y, end frame
        scene['characters'] += 1
        for _ in range(u32()):
            u32(2); skip_keys(); u32(4)
            scene['actions'].append(u32())
    for _ in range(u32()):
        at += 20
        u32(2)
        if u32():
            u32()
        scene['objects'] += 1
        for _ in range(u32()):
            u32(2); skip_keys(); u32(2)
            scene['changes'].append(u32())
    for _ in range(u32()):
        u32(2)
        body = wide()
        u32(5)
        kind = u32()
        if kind in (1, 2):
            u32()
        scene['texts'].append((kind, body))
    for _ in range(u32()):
        u32(2); at += 8; wide()
        if u32() in (1, 2):
            u32()
    scenes.append(scene)
assert at == len(data) - 4, 'bytes after the last scene'
print(f'saved: version {version}, {count} scenes, current {current}: {scenes}')
first, second = scenes if count == 2 else (None, None)
assert count == 2 and current == 1, 'not two scenes with the second current'
assert first['characters'] == 1 and first['objects'] == 1 and second['characters'] == 1
assert first['actions'] == [1, 2, 1, 5], 'walk, talk, walk, switch'
assert first['changes'] == [1], 'the lamp switched on'
assert first['texts'] == [(1, 'Voy a encender la lampara')], 'the line attached to Sofia'
PY

# A new movie: the stage is empty and no scene counter is drawn.
click_at 137 134  # "MenuNuevo"
sleep 1
pointer_away
sleep 1
shot new
[ "$(colours new "$inside")" -eq 1 ] || fail "The new movie's stage is not empty."
same_area new second-scene "$counters" && fail "The new movie still shows the scene counter."

# Opened again from the chooser: its only row, "&Aceptar".
click_at 167 134  # "MenuAbrir"
sleep 1.5
shot chooser
click_at 427 267  # "Sofia y la lampara"
sleep 0.5
click_at 564 421  # "&Aceptar"
sleep 2
pointer_away
shot reopened
same_area reopened second-scene "$counters" || fail "The reopened movie's counters differ (\"2 / 2\" expected)."
same_area reopened second-scene "$thumbnails" || fail "The reopened movie's scene thumbnails differ."
same_area reopened second-scene "$stage" || fail "The reopened movie's second scene differs."
[ "$(colours reopened "$stage")" -gt 100 ] || fail "The reopened movie's stage is blank."

# Its first scene plays: the line in its balloon, then the lit lamp.
click_at 488 552  # "ManEscIrAnt"
sleep 1
click_at 140 552  # "RepPlay"
sleep 3.5
shot replay-line
sleep 7
pointer_away
shot replay-end
[ "$(colours replay-end "$stage")" -gt 100 ] || fail "The reopened first scene is blank."

# The reopened movie is not modified: the close button asks only to go back to the start
# menu ("&Si").
click_at 780 22
sleep 1
shot question
press_key s
wait_for "Pantalla: menu de inicio" 60 2 || fail "The close button did not go back to the start menu."

quit_program
echo "Screenshots: $build/xvfb-movie-*.png"
