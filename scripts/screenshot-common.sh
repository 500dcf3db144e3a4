# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the screenshot scripts (sourced): a French-locale Xvfb display with openbox, and the
# helpers that wait for the program's windows and answer its start-up notices.

# Runs the calling script again inside the display unless it already is; returns only inside it.
run_in_display() { # script, its arguments
  if [ "${SCREENSHOT_INNER:-}" = 1 ]; then return 0; fi
  if ! locale -a | grep -qi '^fr_FR.utf-\?8$'; then
    sed -i 's/^# *fr_FR.UTF-8 UTF-8/fr_FR.UTF-8 UTF-8/' /etc/locale.gen && locale-gen >/dev/null
  fi
  # The web view refuses its sandbox to root.
  SCREENSHOT_INNER=1 LC_ALL=fr_FR.UTF-8 LANG=fr_FR.UTF-8 QTWEBENGINE_DISABLE_SANDBOX=1 \
    xvfb-run -a -s "-screen 0 1280x800x24" "$@"
  echo "${@: -1}"
  exit 0
}
wait_for() { # seconds, then a command that must succeed
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $end ] || { echo "timed out: $*" >&2; exit 1; }; sleep 0.1; done
}
dismiss_notices() { # answers the start-up notices (no network, no known browser); $app is the program
  local w
  for w in $(xdotool search --onlyvisible --pid "$app" --name '^Vantorel$' 2>/dev/null); do
    xdotool windowactivate --sync "$w" key Return 2>/dev/null || true
  done
}
main_window() { # the main window (its title is the selected photo's path)
  local w
  dismiss_notices
  for w in $(xdotool search --onlyvisible --pid "$app" --name '^/' 2>/dev/null); do echo "$w"; return 0; done
  return 1
}
shoot_window() { # window id, output file: the window with its frame, as the window manager drew it
  local left right top bottom geometry x y w h
  read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  geometry=$(xwininfo -id "$1")
  x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$geometry")
  y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$geometry")
  w=$(awk '/Width/ {print $2}' <<<"$geometry")
  h=$(awk '/Height/ {print $2}' <<<"$geometry")
  import -window root -crop "$((w + left + right))x$((h + top + bottom))+$((x - left))+$((y - top))" +repage "$2"
}
start_openbox() {
  openbox --sm-disable >/dev/null 2>&1 &
  wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
}
