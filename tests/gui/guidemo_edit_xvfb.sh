# Typing into the widget demo's multi-line edit (run by tests/support/xvfb_demo.sh): brings
# the pointer in, clicks into the edit, types a Spanish title with accents and an "ñ" as a
# keyboard would, moves the grid's current cell with a click and an arrow key, then closes
# the window like a close button would.
xdotool mousemove --window "$id" 40 30
sleep 0.4
xdotool mousemove --window "$id" 450 200
sleep 0.3
xdotool mousedown 1
sleep 0.15
xdotool mouseup 1
sleep 0.3
xdotool type --delay 120 "Película ñandú"
sleep 0.5
xdotool mousemove --window "$id" 540 320
sleep 0.3
xdotool mousedown 1
sleep 0.15
xdotool mouseup 1
sleep 0.3
xdotool keydown Down
sleep 0.15
xdotool keyup Down
sleep 0.3
python3 "$here/../platform/x11_close.py" "$id"
