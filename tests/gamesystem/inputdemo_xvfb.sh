# Interaction of the input demo (run by tests/support/xvfb_demo.sh): keys, typed
# characters outside ASCII, the pointer moved into the window and to a point in it,
# a click, then the window closed like a close button would. Each step waits until the
# demo reported the one before: a key goes up only once the demo saw it down.
move_to 40 30
tap a 65
tap Return 13
tap F4 371
tap Left 272
own_keys ntilde aacute EuroSign
await "CHAR 0xF1" xdotool key ntilde
await "CHAR 0xE1" xdotool key aacute
await "CHAR 0x80" xdotool key EuroSign
move_to 200 150
click 1
python3 "$here/../platform/x11_close.py" "$id"
