# Sourced by the GUI drivers; they set title, variant and scene (or work and log) first: the work
# folder is build/gui/SCENE-VARIANT and the log SCENE.log in it, empty. Pictures go to screens
# (build/screens unless set).
# shellcheck shell=bash disable=SC2086

. "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
work=${work:-$root/build/gui/$scene-$variant}
log=${log:-$work/$scene.log}
screens=${screens:-$root/build/screens}
mkdir -p "$work" "$screens"
: >"$log"
ctlexe="$root/build/amd64-unicode/tests/wine/tvctl.exe"
ctl() { /usr/lib/wine/wine64 "$ctlexe" "$title" "$@" | tr -d '\r'; }
note() { echo "$*" >>"$log"; }
note_file() { tr -d '\r' <"$1" | sed 's/^/  /' >>"$log"; }
# xwd -root and xdotool search fail (BadWindow) when another test closes a window: tried again.
screen_xwd() {
  local raw rc=0
  raw=$(mktemp)
  retry 5 0.2 xwd -root -display "$DISPLAY" -out "$raw" 2>/dev/null && cat "$raw" || rc=1
  rm -f "$raw"
  return "$rc"
}
shown_window() { retry 5 0.2 first_shown || true; }
first_shown() { xdotool search --onlyvisible --name "^$title" 2>/dev/null | head -n1 | grep .; }
# Says what went wrong, keeps a picture of the screen (build/screens/failed-...) and ends.
fail() {
  echo "$*" >&2
  screen_xwd | /usr/bin/convert xwd:- "$screens/failed-${title// /-}.png" 2>/dev/null || true
  exit 1
}
# A look from outside can come back empty while the machine is busy: look again.
look() { retry 5 0.5 look_once "$@" || true; }
look_once() { { ctl "$@" || true; } | grep .; }
wait_for() { ctl wait "$1" || fail "control $1 did not appear"; }
# Builds tests/extra/NAME.nsi into the work folder with the defines given; no results yet.
gui_build() {  # name, makensis options...
  local name=$1
  shift
  rm -f "$work/results.txt"
  makensis -V2 -DVARIANT="$variant" -DPLUGINS="$root/dist/Plugins" -DRESULTS="$(winpath "$work/results.txt")" \
    -DOUTFILE="$work/$name.exe" "$@" "$root/tests/extra/$name.nsi"
}
start_installer() {  # program, arguments...
  "$root/scripts/wine-run" "$@" >/dev/null 2>&1 &
  installer=$!
}
stop_installer() { kill "$installer" 2>/dev/null || true; wait "$installer" 2>/dev/null || true; }
installer_ends() { retry "$1" 0.1 installer_gone; }  # within tenths of a second
installer_gone() { ! kill -0 "$installer" 2>/dev/null; }
heading() { ctl text 1211 "$1" || fail "no page with the heading \"$1\""; }
click() {
  local pos
  pos=$(look pos "$1")
  [ -n "$pos" ] || fail "no control $1 to click"
  xdotool mousemove $pos click 1
  sleep 0.4
}
# Clicks lost on a busy machine: the control is clicked again until the check given holds.
click_until() { retry "$2" 0 click_then "$1" "${@:3}"; }  # control, tries, check...
click_then() {  # control, check...
  click "$1"
  "${@:2}"
}
box() {
  boxtext=$(ctl box) || fail "no message box"
  note "  box: $boxtext"
}
# Clicks the box's button (6 Yes, 7 No, 1 OK) until the box goes: a busy machine loses clicks.
answer() {
  retry 3 0 click_box "$1" || fail "the message box stayed"
  sleep 0.3
}
click_box() {
  local pos
  sleep 0.3
  pos=$(ctl boxbtn "$1") || fail "no button $1 on the message box"
  xdotool mousemove $pos click 1
  ctl boxgone "${boxtext#\[*\] }" || { echo "the message box stayed after a click" >&2; return 1; }
}
# Waits (at most about 10 s, or the tenths given) for a line that starts with the text in the file.
wait_line() { retry "${3:-100}" 0.1 grep -q "^$2" "$1" 2>/dev/null; }
pixel() { screen_xwd | /usr/bin/convert xwd:- -format "%[pixel:p{$1,$2}]" info:; }
wait_file() { retry "$2" 0.1 test -e "$1"; }  # file, tenths of a second at most
# The clipboard's text into the file given in UTF-8 (the ANSI variant's from CP1252).
clipboard() {
  local format=clip code=UTF-16LE
  [ "$variant" != x86-ansi ] || format=clipa code=CP1252
  sleep 0.5
  ctl "$format" "$work/clipboard.bin"
  iconv -f "$code" -t UTF-8 "$work/clipboard.bin" >"$1"
}
# A picture of the wizard, cropped to it: build/screens/NAME-VARIANT.png.
shot() {
  sleep 0.8  # let it paint
  local out="$screens/$1-$variant.png" w geometry
  screen_xwd | /usr/bin/convert xwd:- "$out" || fail "no picture of the screen for $1"
  # Message boxes come out black in a whole-screen picture under Xvfb: each window laid on it. A
  # window that another test closes meanwhile makes xwininfo and xwd fail: it is left out.
  for w in $(xdotool search --onlyvisible --name "^$title" 2>/dev/null); do
    geometry=$(xwininfo -id "$w" -display "$DISPLAY" 2>/dev/null | sed -n 's/.*-geometry \([0-9]*\)x\([0-9]*\)[+-]\([0-9]*\)[+-]\([0-9]*\).*/\1 \2 \3 \4/p') || continue
    [ -n "$geometry" ] || continue
    echo "$(( ${geometry%% *} * $(echo "$geometry" | cut -d' ' -f2) )) $w $geometry"
  done | sort -rn | while read -r _ w width height x y; do
    xwd -id "$w" -display "$DISPLAY" 2>/dev/null | /usr/bin/convert "$out" xwd:- -geometry "+$x+$y" -composite "$out" || true
  done
  w=$(shown_window)
  geometry=$(xwininfo -id "$w" -display "$DISPLAY" | sed -n 's/.*-geometry \([0-9]*x[0-9]*\)[+-]\([0-9]*\)[+-]\([0-9]*\).*/\1+\2+\3/p') || true
  [ -n "$geometry" ] || fail "no window \"$title\" to picture for $1"
  /usr/bin/convert "$out" -crop "$geometry" +repage "$out"
}
