#!/usr/bin/env bash
# Drives the widgets gallery in a real window under Xvfb with xdotool and
# checks what it reports: typing, copy and paste between the two inputs,
# selecting with the mouse, a context menu chosen with the keys, and the
# floating card detached onto the desktop and dragged back.
# Usage: widgets_gallery_xdotool.sh PATH/TO/vesk_ui_widgets_gallery
set -euo pipefail
gallery=$(realpath "$1")
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "needs Xvfb and xdotool"; exit 77; }
dir=$(mktemp -d)
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1600x1000x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $gallery_pid $xvfb 2>/dev/null || true; rm -rf "$dir"' EXIT
export DISPLAY=$display
sleep 1
(cd "$dir" && exec "$gallery" >"$dir/log" 2>&1) &
gallery_pid=$!
for _ in $(seq 50); do xdotool search --name "vesk_ui widgets" >/dev/null 2>&1 && break; sleep 0.1; done
sleep 0.5
x() { xdotool "$@"; sleep 0.25; }
x mousemove 200 80 click 1
x type --delay 30 "Hello wörld"
x key ctrl+a ctrl+c
x mousemove 200 200 click 1
x key ctrl+v
x key End shift+Left shift+Left shift+Left ctrl+x
x key Home ctrl+v
x mousemove 50 148 click --repeat 2 --delay 80 1
x key ctrl+c
x mousemove 200 80 click 1
x key End space ctrl+v
x key shift+Return Return
x mousemove 600 450 click 3
x key Down Down Down Return
x mousemove 700 100 mousedown 1 sleep 0.2 mousemove 800 150 sleep 0.2 mousemove 1300 400 sleep 0.2 mouseup 1
sleep 0.5
card=$(xdotool search --name "Gallery card" || true)
[[ -n "$card" ]] || { echo "MISSING: the detached card window"; cat "$dir/log"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$card")"
x mousemove $((X + 100)) $((Y + 90)) mousedown 1 sleep 0.2 mousemove 900 400 sleep 0.2 mousemove 400 300 sleep 0.2 mouseup 1
sleep 0.5
x key F12
kill $gallery_pid
status=0
for want in "name: Hello wörld" "composer: Hello wörld" "composer: rldHello wö" \
            "name: Hello wörld rldHello" "submit: Hello wörld rldHello" "menu: Rename" \
            "card: detached" "card: reattached" '"name":"gallery.composer"'; do
  if grep -qF -- "$want" "$dir/log"; then echo "ok: $want"; else echo "MISSING: $want"; status=1; fi
done
exit $status
