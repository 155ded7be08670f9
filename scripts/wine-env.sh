# Sourced by the scripts that run Windows programs: a Wine prefix of the build tree's own, one
# wineserver kept up for the whole run, and an X display of our own. wine_down stops only what
# wine_up started, by process id.
# shellcheck shell=bash

export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE64=/usr/lib/wine/wine64
_xvfb_pid=""

wine_up() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "[wine] creating the prefix $WINEPREFIX" >&2
    mkdir -p "$WINEPREFIX"
    wineboot -u >/dev/null 2>&1 || true
    wineserver -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "[wine] prefix creation failed" >&2; return 1; }
  fi
  if [ -z "${DISPLAY:-}" ]; then
    # A display of our own: another run that starts at the same moment may take the number we
    # chose, and then our server ends at once; the next free number is tried.
    local n=90
    while :; do
      while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      _xvfb_pid=$!
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      sleep 0.2
      kill -0 "$_xvfb_pid" 2>/dev/null && break
      n=$((n + 1))
    done
    export DISPLAY=":$n"
  fi
  wineserver -p
  # Without a window manager on the test display, Wine draws the windows' frames and captions
  # itself, so that screenshots show them as a person would see them.
  if [ ! -f "$WINEPREFIX/.tarvolk-display" ]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 &&
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 &&
      touch "$WINEPREFIX/.tarvolk-display"
  fi
  # The first program of a session starts the prefix's own processes (services, the desktop),
  # which inherit its output: start them here, with output going nowhere, so that no test's
  # pipe stays open after the test has ended.
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}

wine_down() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [ -n "$_xvfb_pid" ]; then
    kill "$_xvfb_pid" 2>/dev/null || true
    wait "$_xvfb_pid" 2>/dev/null || true
    _xvfb_pid=""
  fi
}
