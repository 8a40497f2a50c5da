#!/usr/bin/env bash
# Drives the gallery's widgets page in a real window on a private Xvfb
# display, as a person would with mouse and keyboard (xdotool), and through
# the automation endpoint, and checks what the page reports on stdout:
# typing, copy and paste between the two inputs, selecting with the mouse, a
# context menu chosen with the keys, the floating card detached onto the
# desktop and dragged back, and controls run by name.
# Skips (exit 77) when Xvfb, xdotool or python3 is missing.
set -euo pipefail
gallery=$(realpath "$1")
for tool in Xvfb xdotool python3; do command -v $tool >/dev/null || exit 77; done
source "$(dirname "$0")/xvfb_display.sh"
start_xvfb 1600x1000
# Typed text stays ASCII: xdotool types other characters by remapping a
# spare key and restoring the map at once, and a busy window may read the
# key after the map changed back (the editor's Unicode handling has its own
# tests).
sock="$work/automation.sock"
# No leak report (see window_smoke.sh: SDL's input-method support leaks from
# a library it unloads); memory errors are still caught.
VESK_AUTOMATION_SOCKET="$sock" VESK_GALLERY_MEMORY=1 LSAN_OPTIONS=detect_leaks=0 \
  VESK_UI_FRAME_DUMP="$work/frame.png" "$gallery" >"$work/log" 2>"$work/err" &
app=$!
for _ in $(seq 100); do [[ -S "$sock" && -s "$work/frame.png" ]] && break; sleep 0.1; done
[[ -S "$sock" ]] || { echo "no automation endpoint"; cat "$work/err"; exit 1; }
wid=$(xdotool search --sync --name dev.vesk.gallery | head -1)

# One request to the endpoint; prints the reply's result, fails on an error.
ask() {
  python3 - "$sock" "$1" <<'PY'
import json, socket, sys
s = socket.socket(socket.AF_UNIX)
s.settimeout(10)
s.connect(sys.argv[1])
s.sendall(sys.argv[2].encode() + b"\n")
buf = b""
while not buf.endswith(b"\n"):
    chunk = s.recv(65536)
    if not chunk:
        break
    buf += chunk
reply = json.loads(buf)
if not reply.get("ok"):
    print(json.dumps(reply["error"]))
    sys.exit(1)
print(json.dumps(reply["result"]))
PY
}
# The centre of a control of the last frame, from the accessibility export;
# waits for a frame that shows it.
center() {
  for _ in $(seq 50); do
    ask '{"id":1,"method":"accessibility.tree"}' | python3 -c '
import json, sys
tree = json.load(sys.stdin)
for n in tree["synthetic"]:
    if n.get("name") == sys.argv[1]:
        x0, y0, x1, y1 = n["rect"]
        print(int((x0 + x1) / 2), int((y0 + y1) / 2))
        sys.exit(0)
sys.exit(1)' "$1" && return 0
    sleep 0.1
  done
  echo "no control $1 on screen" >&2
  return 1
}
# Waits until the page has reported exactly this line.
expect() {
  for _ in $(seq 100); do grep -qxF -- "$1" "$work/log" && { echo "ok: $1"; return 0; }; sleep 0.1; done
  echo "MISSING: $1"; echo "--- log"; cat "$work/log"; exit 1
}
x() { xdotool "$@"; }
click_on() { local cx cy; read -r cx cy < <(center "$1"); x mousemove --window "$wid" "$cx" "$cy" click "${2:-1}"; }

click_on gallery.page
click_on gallery.name
x type --delay 40 "Hello world"
expect "name: Hello world"
x key ctrl+a ctrl+c
click_on gallery.composer
x key ctrl+v
expect "composer: Hello world"
x key End shift+Left shift+Left shift+Left ctrl+x
expect "composer: Hello wo"
x key Home ctrl+v
expect "composer: rldHello wo"
# A double click on the first word selects it.
read -r cx cy < <(center gallery.composer)
x mousemove --window "$wid" $((cx - 170)) $((cy - 36)) click --repeat 2 --delay 80 1
x key ctrl+c
click_on gallery.name
x key End space ctrl+v
expect "name: Hello world rldHello"
x key Return
expect "submit: Hello world rldHello"
# The context menu, opened with the pointer, chosen with the keys.
x mousemove --window "$wid" 600 560 click 3
expect "menu: open"
x key Down Down Down Return
expect "menu: Rename"
# The card: out of the window onto the desktop, then back.
read -r gx gy < <(center gallery.card-grip)
x mousemove --window "$wid" "$gx" "$gy" mousedown 1
x mousemove 1350 600 sleep 0.2
x mousemove 1500 700 sleep 0.2 mouseup 1
expect "card: detached"
card=
for _ in $(seq 50); do card=$(xdotool search --name "Gallery card" | head -1 || true); [[ -n "$card" ]] && break; sleep 0.1; done
[[ -n "$card" ]] || { echo "MISSING: the detached card window"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$card")"
x mousemove $((X + WIDTH / 2)) $((Y + 10)) sleep 0.2 mousedown 1
x mousemove 1100 500 sleep 0.2
x mousemove 800 400 sleep 0.2 mouseup 1
expect "card: reattached"
for _ in $(seq 50); do [[ -z "$(xdotool search --name "Gallery card" || true)" ]] && break; sleep 0.1; done
[[ -z "$(xdotool search --name "Gallery card" || true)" ]] || { echo "the card window stayed"; exit 1; }
# The same controls by name.
ask '{"id":2,"method":"controls.run","params":{"name":"gallery.button:mute"}}' >/dev/null
expect "button: Mute"
ask '{"id":3,"method":"controls.run","params":{"name":"gallery.name","text":"typed by a script"}}' >/dev/null
expect "name: typed by a script"
if ask '{"id":4,"method":"controls.run","params":{"name":"context-menu:item:1"}}' >/dev/null; then
  echo "a closed menu ran an item"; exit 1
fi
x mousemove --window "$wid" 600 560 click 3
for _ in $(seq 50); do [[ $(grep -cxF "menu: open" "$work/log") == 2 ]] && break; sleep 0.1; done
ask '{"id":5,"method":"controls.run","params":{"name":"context-menu:item:Archive / unarchive"}}' >/dev/null
expect "menu: Archive / unarchive"
tree=$(ask '{"id":6,"method":"accessibility.tree"}')
for want in '"name": "gallery.composer"' '"role": "text-input"' '"label": "Send message"'; do
  [[ "$tree" == *"$want"* ]] && echo "ok: tree has $want" || { echo "MISSING in tree: $want"; exit 1; }
done
kill -TERM $app
code=0
wait $app || code=$?
((code == 0)) || { echo "exit code $code"; tail -30 "$work/err"; exit 1; }
echo "widgets: every step reported"
