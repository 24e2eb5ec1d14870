# Typing into the widget demo's multi-line edit (run by tests/support/xvfb_demo.sh), which
# has the keyboard focus from the start: brings the pointer in, types a Spanish title with accents and an "ñ" as a
# keyboard would, moves the grid's current cell with a click and an arrow key, then closes
# the window like a close button would. The demo places its pointer from the first motion it
# sees and follows relative motion after that: the pauses let a slow (sanitizer) build take
# each motion before the next one.
xdotool mousemove --window "$id" 40 30
sleep 1.0
xdotool mousemove --window "$id" 44 34
sleep 0.6
# The accented letters get keys of their own first: a letter outside the keyboard map would
# be typed through a key that xdotool maps only for the moment, and a slow demo could read
# that key after the map changed back.
keymap=$(mktemp)
xkbcomp -xkb "$DISPLAY" "$keymap" 2>/dev/null
python3 - "$keymap" <<'PY'
import re
import sys
path = sys.argv[1]
text = open(path).read()
at = text.index('xkb_symbols')
symbols = text[at:]
# Key names the keycodes define but no symbols use.
free = [name for name in re.findall(r'<(I2\d\d)>\s*=', text) if f'<{name}>' not in symbols][:3]
extra = ''.join(f'    key <{name}> {{ [ {low}, {high} ] }};\n'
                for name, (low, high) in zip(free, (('iacute', 'Iacute'), ('ntilde', 'Ntilde'), ('uacute', 'Uacute'))))
at = text.index('{', at) + 1
open(path, 'w').write(text[:at] + '\n' + extra + text[at:])
PY
xkbcomp "$keymap" "$DISPLAY" 2>/dev/null
rm -f "$keymap"
sleep 2
xdotool type --delay 200 "Película ñandú"
sleep 2
xdotool mousemove --window "$id" 540 320
sleep 0.5
xdotool mousedown 1
sleep 0.3
xdotool mouseup 1
sleep 0.5
xdotool keydown Down
sleep 0.5
xdotool keyup Down
sleep 1
python3 "$here/../platform/x11_close.py" "$id"
