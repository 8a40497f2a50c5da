#!/usr/bin/env bash
# Reads the gallery's window from the desktop's accessibility bus as a screen
# reader would (AT-SPI, through libatspi's Python binding) on a private
# session bus and Xvfb display, and runs controls from there: a button by
# its action, a text field by setting its text.
# Skips (exit 77) when the bus, Xvfb or the binding is missing.
set -euo pipefail
gallery=$(realpath "$1")
for tool in Xvfb xdotool dbus-run-session; do command -v $tool >/dev/null || exit 77; done
# The binding is Debian's (python3-gi), for Debian's own interpreter.
py=/usr/bin/python3
[[ -x $py ]] || py=python3
$py -c "import gi; gi.require_version('Atspi', '2.0')" 2>/dev/null || exit 77
if [[ -z "${VESK_ATSPI_SESSION:-}" ]]; then
  exec env VESK_ATSPI_SESSION=1 dbus-run-session -- "$0" "$@"
fi
source "$(dirname "$0")/xvfb_display.sh"
start_xvfb 1280x900
unset NO_AT_BRIDGE
LSAN_OPTIONS=detect_leaks=0 VESK_GALLERY_MEMORY=1 VESK_AUTOMATION_SOCKET="$work/automation.sock" \
  "$gallery" >"$work/log" 2>"$work/err" &
app=$!
$py - "$work/log" "$work/focused" <<'PY'
import sys, time
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi

log = sys.argv[1]
focus_marker = sys.argv[2]

def poll(what, fn, seconds=15):
    end = time.time() + seconds
    while time.time() < end:
        got = fn()
        if got:
            return got
        time.sleep(0.1)
    sys.exit("MISSING: " + what)

def app():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        a = desktop.get_child_at_index(i)
        if a is not None and a.get_name() == "vesk-ui-gallery":
            return a

def find(node, wanted):
    if node is None:
        return None
    if node.get_accessible_id() == wanted:
        return node
    for i in range(node.get_child_count()):
        hit = find(node.get_child_at_index(i), wanted)
        if hit is not None:
            return hit

def control(wanted):
    return poll("control " + wanted, lambda: find(app(), wanted))

def reported(line):
    poll("the line " + repr(line), lambda: line in open(log).read().splitlines())
    print("ok:", line)

frame = poll("the window's frame", lambda: app() and app().get_child_at_index(0))
assert frame.get_role() == Atspi.Role.FRAME, frame.get_role_name()
print("ok: frame", repr(frame.get_name()))

page = control("gallery.page")
assert page.get_role() == Atspi.Role.PUSH_BUTTON, page.get_role_name()
assert Atspi.Action.get_n_actions(page) == 1
Atspi.Action.do_action(page, 0)
mute = control("gallery.button:mute")
assert mute.get_name() == "Mute", mute.get_name()
Atspi.Action.do_action(mute, 0)
reported("button: Mute")

name = control("gallery.name")
assert name.get_role() == Atspi.Role.ENTRY, name.get_role_name()
assert name.get_state_set().contains(Atspi.StateType.EDITABLE)
x, y, w, h = (lambda r: (r.x, r.y, r.width, r.height))(
    Atspi.Component.get_extents(name, Atspi.CoordType.WINDOW))
assert (w, h) == (400, 40), (w, h)
Atspi.EditableText.set_text_contents(name, "read aloud")
reported("name: read aloud")
# Focus moves to the composer; what is typed next lands there.
assert Atspi.Component.grab_focus(control("gallery.composer"))
open(focus_marker, "w").close()
print("atspi: the window is on the bus and its controls run")
PY
[[ -f "$work/focused" ]]
wid=$(xdotool search --name dev.vesk.gallery | head -1)
xdotool type --window "$wid" "hi"
for _ in $(seq 50); do grep -qxF "composer: hi" "$work/log" && break; sleep 0.1; done
grep -qxF "composer: hi" "$work/log" || { echo "MISSING: typing after the bus moved the focus"; cat "$work/log"; exit 1; }
echo "ok: composer: hi"
kill -TERM $app
code=0
wait $app || code=$?
((code == 0)) || { echo "exit code $code"; tail -20 "$work/err"; exit 1; }
