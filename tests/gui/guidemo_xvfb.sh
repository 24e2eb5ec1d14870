# Interaction of the widget demo (run by tests/support/xvfb_demo.sh): brings the pointer
# in, clicks "&Aceptar", clicks the "&Repetir" check box on its text and types a space on
# it, drags the slider's thumb, then closes the window like a close button would. Each
# step waits until the demo reported the one before: a button or key is let go only once
# the demo saw it down, as a hand holds it.
move_to 40 30
move_to 80 440
click 1
wait_line "COMMAND 1"
move_to 70 92
click 1
wait_line "COMMAND 10"
tap space 32
wait_line "COMMAND 10" 2
move_to 28 315
await "BUTTON 1 1" xdotool mousedown 1
move_to 120 315
move_to 220 315
await "BUTTON 1 0" xdotool mouseup 1
python3 "$here/../platform/x11_close.py" "$id"
