# Interaction of the window demo (run by tests/support/xvfb_demo.sh): types into the
# window and closes it like a close button would.
echo "TITLE $(xdotool getwindowname "$id")"
xdotool type --window "$id" --delay 50 "ab"
xdotool key --window "$id" Return
sleep 0.3
python3 "$here/x11_close.py" "$id"
