# Sourced by the window tests: starts a private Xvfb display of the given
# size, exports DISPLAY, and leaves a scratch directory in $work. Both go
# away on exit, with the process in $app when one was started.
start_xvfb() {
  work=$(mktemp -d)
  app=
  trap 'kill $app $xvfb_pid 2>/dev/null || true; rm -rf "$work"' EXIT
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [[ -s "$work/display" ]] && break; sleep 0.1; done
  export DISPLAY=":$(head -1 "$work/display")"
}
