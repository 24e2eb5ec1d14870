# Interaction of the input demo (run by tests/support/xvfb_demo.sh): keys, typed
# characters outside ASCII, the pointer moved into the window and to a point in it,
# a click, then the window closed like a close button would.
xdotool mousemove --window "$id" 40 30
sleep 0.4
xdotool key --delay 100 a Return F4 Left
sleep 0.3
xdotool type --delay 150 'ñá€'
sleep 0.3
xdotool mousemove --window "$id" 200 150
sleep 0.3
xdotool click 1
sleep 0.3
python3 "$here/../platform/x11_close.py" "$id"
