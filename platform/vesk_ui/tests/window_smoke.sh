#!/usr/bin/env bash
# Opens the gallery in a real window on a private Xvfb display, waits for its
# first frame, feeds it input with xdotool, and checks that it closes cleanly
# on SIGTERM. Skips (exit 77) when Xvfb or xdotool is missing.
set -euo pipefail
gallery=$1
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || exit 77
source "$(dirname "$0")/xvfb_display.sh"
start_xvfb 1280x900
# Under AddressSanitizer the leak report at exit is off for this process only:
# SDL's input-method support leaks a D-Bus connection from a library it
# dlopens and unloads again, so the report cannot name it to suppress it.
# Memory errors are still caught.
XDG_DATA_HOME="$work/xdg" LSAN_OPTIONS=detect_leaks=0 VESK_UI_FRAME_DUMP="$work/frame.png" VESK_LOG=debug \
  "$gallery" 2>"$work/log" &
app=$!
for _ in $(seq 100); do [[ -s "$work/frame.png" ]] && break; sleep 0.1; done
[[ -s "$work/frame.png" ]] || { echo "no frame drawn"; cat "$work/log"; exit 1; }
wid=$(xdotool search --sync --name dev.vesk.gallery | head -1)
geom=$(xdotool getwindowgeometry "$wid" | awk '/Geometry/ {print $2}')
[[ "$geom" == "960x640" ]] || { echo "window is $geom, expected 960x640"; exit 1; }
# The first window events (shown, exposed, focus) each draw once; wait until
# they are over, then the window must stay idle.
count() { grep -c "drawn at" "$work/log" || true; }
prev=-1
for _ in $(seq 20); do
  now=$(count)
  [[ "$now" == "$prev" ]] && break
  prev=$now
  sleep 0.5
done
frames_before=$(count)
sleep 2
frames_idle=$(count)
[[ "$frames_idle" == "$frames_before" ]] || { echo "idle window kept drawing"; exit 1; }
# The toggle button at the top right is counted in the lent document, which
# was opened before the first frame.
doc="$work/xdg/vesk_ui/dev.vesk.gallery/document.vdoc"
[[ -f "$doc" ]] || { echo "no document opened at $doc"; exit 1; }
size_before=$(stat -c %s "$doc")
xdotool mousemove --window "$wid" 880 32 click 1
xdotool type --window "$wid" "ok"
sleep 0.5
frames_after=$(count)
((frames_after > frames_idle)) || { echo "input did not redraw"; exit 1; }
kill -TERM $app
code=0
wait $app || code=$?
((code == 0)) || { echo "exit code $code"; tail -30 "$work/log"; exit 1; }
size_after=$(stat -c %s "$doc")
((size_after > size_before)) || { echo "the toggle was not written to the document"; exit 1; }
echo "window smoke: ${frames_after} frames, idle frames 0, clean exit"
