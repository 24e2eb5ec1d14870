# Interaction of the menu demo (run by tests/support/xvfb_demo.sh): a right click in the
# dialog opens the context menu at the pointer, a left click on its first item chooses
# it, then the window is closed like a close button would. Each step waits until the
# demo reported the one before: the demo samples the mouse once per tick, so a button is
# let go only once the demo saw it down.
move_to 300 250
click 3
wait_line "MENU 300 250 OPEN"
move_to 330 263
click 1
wait_line "COMMAND 101"
python3 "$here/../platform/x11_close.py" "$id"
