# Interaction of the main-window demo (run by tests/support/xvfb_demo.sh): shows the
# window's name and icon properties, then presses Ctrl+Q in it. On a loaded machine the
# first press can reach the display before the window has the focus, so the press is
# repeated until the demo reports the close request (each press waits two seconds).
xprop -id "$id" WM_NAME _NET_WM_NAME
xprop -id "$id" _NET_WM_ICON | head -c 120
echo
for _ in 1 2 3 4 5; do
  xdotool windowfocus "$id" 2>/dev/null || true
  xdotool key --window "$id" ctrl+q
  for _ in $(seq 20); do grep -q "CLOSE-REQUEST TAKEN" "$log" && break 2; sleep 0.1; done
done
