# Typing into the widget demo's multi-line edit (run by tests/support/xvfb_demo.sh), which
# has the keyboard focus from the start: brings the pointer in, types a Spanish title with
# accents and an "ñ" as a keyboard would, moves the grid's current cell with a click and an
# arrow key, then closes the window like a close button would. Each step waits until the
# demo reported the one before: the demo places its pointer from the first motion it sees
# and follows relative motion after that, and it takes one typed character a tick, so the
# click that takes the focus to the grid waits until the edit holds the whole text.
move_to 40 30
move_to 44 34
# The accented letters get keys of their own first.
own_keys iacute ntilde uacute
xdotool type --delay 100 "Película ñandú"
wait_line $'TEXT Pel\xedcula \xf1and\xfa'
move_to 540 320
click 1
wait_start "GRID "
grids=$(starts "GRID ")
tap Down 275
wait_start "GRID " $((grids + 1))
python3 "$here/../platform/x11_close.py" "$id"
