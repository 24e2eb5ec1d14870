#!/usr/bin/env bash
# A fatal report that comes while the main window stands, on a virtual display without a
# window manager: the program of $1 (whose item packs the caller has damaged) is taken to
# "&Jugar", where the loader fails; its report must come up, draw and take the answer $2:
#   return   the Return key, the box given no focus by hand
#   sigterm  a termination request (SIGTERM)
#   sigint   an interrupt (Ctrl-C's SIGINT)
# $3 gets the report window's picture a second after it appeared. Prints the program's
# debug output, "REPORT SHOWN", "STATUS n" and "ENDED IN n MS".
# Usage: fatal_report_xvfb.sh PROGRAM-FOLDER return|sigterm|sigint SCREENSHOT.png
set -euo pipefail
folder=$1
answer=$2
shot=$3
source "$(dirname "$0")/program_xvfb.sh"
rerun_on_virtual_display "$@"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
start_program "$folder"

reach_start_menu
click_at 215 272  # "&Jugar"
wait_for "Error: Error" 120 || fail "No fatal report came."
find_window Error || fail "The report has no window."
echo "REPORT SHOWN"
sleep 1
kill -0 $pid 2>/dev/null || fail "The program ended before its report was answered."
import -window "$id" "$shot"
start=$(date +%s%N)
case $answer in
  return) xdotool key Return ;;
  sigterm) kill -TERM $pid ;;
  sigint) kill -INT $pid ;;
esac
report_end 5
