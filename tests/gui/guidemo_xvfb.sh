# Interaction of the widget demo (run by tests/support/xvfb_demo.sh): brings the pointer
# in, clicks "&Aceptar", clicks the "&Repetir" check box on its text and types a space on
# it, drags the slider's thumb, then closes the window like a close button would. Each
# click holds the button for a few ticks, as a hand does.
xdotool mousemove --window "$id" 40 30
sleep 0.4
xdotool mousemove --window "$id" 80 440
sleep 0.3
xdotool mousedown 1
sleep 0.15
xdotool mouseup 1
sleep 0.3
xdotool mousemove --window "$id" 70 92
sleep 0.3
xdotool mousedown 1
sleep 0.15
xdotool mouseup 1
sleep 0.3
xdotool keydown space
sleep 0.15
xdotool keyup space
sleep 0.3
xdotool mousemove --window "$id" 28 315
sleep 0.3
xdotool mousedown 1
sleep 0.3
xdotool mousemove --window "$id" 120 315
sleep 0.3
xdotool mousemove --window "$id" 220 315
sleep 0.3
xdotool mouseup 1
sleep 0.3
python3 "$here/../platform/x11_close.py" "$id"
