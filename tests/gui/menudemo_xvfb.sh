# Interaction of the menu demo (run by tests/support/xvfb_demo.sh): a right click in the
# dialog opens the context menu at the pointer, a left click on its first item chooses
# it, then the window is closed like a close button would. The buttons stay down a
# while: the demo samples the mouse once per tick.
xdotool mousemove --window "$id" 300 250
sleep 0.5
xdotool mousedown 3
sleep 0.3
xdotool mouseup 3
sleep 0.5
xdotool mousemove --window "$id" 330 263
sleep 0.5
xdotool mousedown 1
sleep 0.3
xdotool mouseup 1
sleep 0.5
python3 "$here/../platform/x11_close.py" "$id"
