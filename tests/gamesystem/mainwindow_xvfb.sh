# Interaction of the main-window demo (run by tests/support/xvfb_demo.sh): shows the
# window's name and icon properties, then presses Ctrl+Q in it.
xprop -id "$id" WM_NAME _NET_WM_NAME
xprop -id "$id" _NET_WM_ICON | head -c 120
echo
xdotool key --window "$id" ctrl+q
