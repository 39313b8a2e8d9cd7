#!/usr/bin/env bash
# Takes screenshots of the desktop program as a user sees it, on a private Xvfb display with a
# window manager (openbox) and a notification area (trayer): the tray icon and its menu, the frame
# with each of its tabs (also on a two-processor board), the alarm dialog, the two settings
# dialogs, the integer message, the About box with an OEM file, the start without a
# notification area, and the History tab of the history extension. Writes PNG files to build/screenshots (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshots}")
build=build/release
cmake --build "$build" -j2 --target velmond velmond-gui >/dev/null

work=$(mktemp -d /tmp/velmo-shots-XXXXXX)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out" "$work/bin" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"

# The program in a folder of its own, with an OEM information file beside it.
cp "$build/monitor/app/velmond" "$build/monitor/app/velmond-gui" "$work/bin/"
cat >"$work/bin/velmond.ini" <<'EOF'
[OEM]
WEB=www.korvath.example
Tel=+49 30 555 0142
EMAIL=support@korvath.example
Name=Korvath Mainboards GmbH
EOF
# A board whose CPU overheats after ten seconds, and a two-processor board.
cat >"$work/hot.json" <<'EOF'
{"bios_id": "7K4XZQB1", "chip": "w83782d",
 "registers": {"0x22": 206, "0x23": 187, "0x24": 198, "0x25": 20, "0x26": 20, "0x27": 36,
               "0x28": 140, "0x29": 135, "0x2A": 150, "1:0x50": 44, "2:0x50": 38,
               "5:0x50": 186, "5:0x51": 188},
 "script": [{"at": 10, "registers": {"1:0x50": 97}}]}
EOF
sed -e 's/7K4XZQB1/7K4XHQBC/' -e 's/"script".*/"script": []}/' "$work/hot.json" >"$work/dual.json"
# A CPU that warms up over half a minute and passes its limit, the system temperature along.
sed -e 's/"script".*/"script": [{"at": 8, "registers": {"1:0x50": 60, "2:0x50": 40}},\
 {"at": 16, "registers": {"1:0x50": 78, "2:0x50": 43}}, {"at": 24, "registers": {"1:0x50": 97}},\
 {"at": 34, "registers": {"1:0x50": 88, "2:0x50": 41}}]}/' "$work/hot.json" >"$work/warming.json"

display=":$((200 + $$ % 700))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done
export DISPLAY=$display XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime HOME=$work
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
read -r DBUS_SESSION_BUS_ADDRESS bus_pid <<<"$(echo $bus)"
export DBUS_SESSION_BUS_ADDRESS
pids+=("$bus_pid")
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

shot() { import -window root "$out/$1.png"; echo "$out/$1.png"; }
# The region of a window with its decoration, a margin around it.
shot_window() {
  local id=$1 name=$2
  eval "$(xdotool getwindowgeometry --shell "$id")"
  import -window root -crop "$((WIDTH + 24))x$((HEIGHT + 48))+$((X > 12 ? X - 12 : 0))+$((Y > 36 ? Y - 36 : 0))" \
    "$out/$name.png"
  echo "$out/$name.png"
}
wait_window() {  # a visible window whose title matches
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1) && [ -n "$id" ] && {
      echo "$id"
      return
    }
    sleep 0.1
  done
  echo "no window named $1" >&2
  return 1
}
# A point inside the frame's client area (menu bar at the top).
click_client() {
  local x y
  x=$(xwininfo -id "$frame" | awk '/Absolute upper-left X/ {print $4}')
  y=$(xwininfo -id "$frame" | awk '/Absolute upper-left Y/ {print $4}')
  xdotool mousemove $((x + $1)) $((y + $2)) click "${3:-1}"
  sleep 0.6
}
start_velmond() {
  "$work/bin/velmond" --board "$1" --registry "$work/registry-$2.reg" --dry-run-power \
    >"$work/velmond-$2.log" 2>&1 &
  pids+=($!)
  velmond_pid=$!
}

find_tray_icon() {  # sets ix iy iw ih: velmond's icon in the notification area
  local icon
  icon=$(xdotool search --classname velmond | while read -r w; do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -le 32 ] && [ "$HEIGHT" -le 32 ] && echo "$X $Y $WIDTH $HEIGHT" && break
  done)
  read -r ix iy iw ih <<<"$icon"
}
open_from_tray() {  # a double click on the icon; sets frame
  xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click --repeat 2 --delay 80 1
  frame=$(wait_window 'Velmo\(v3\.10\)')
}

# ---- without a notification area ---------------------------------------------------------------
start_velmond "$work/dual.json" notray
frame=$(wait_window 'Velmo\(v3\.10\)')
sleep 1
shot_window "$frame" frame-without-tray
kill "$velmond_pid"
wait "$velmond_pid" 2>/dev/null || true

# ---- the two-processor board's four tabs ---------------------------------------------------
trayer --edge top --align right --widthtype request --height 24 --transparent false \
  --tint 0x303030 >/dev/null 2>&1 &
pids+=($!)
sleep 1
start_velmond "$work/dual.json" dual
sleep 1.5
find_tray_icon
open_from_tray
sleep 0.8
shot_window "$frame" frame-dual-cpu2-tab
kill "$velmond_pid"
wait "$velmond_pid" 2>/dev/null || true
sleep 0.5

# ---- the tray, the frame's tabs, the alarm and the dialogs -------------------------------------
start_velmond "$work/hot.json" main
sleep 1.5
find_tray_icon
import -window root -crop 240x40+784+0 "$out/tray-icon-normal.png"
echo "$out/tray-icon-normal.png"
xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 3
sleep 0.6
import -window root -crop 360x200+664+0 "$out/tray-menu.png"
echo "$out/tray-menu.png"
xdotool key Escape
sleep 0.3
open_from_tray
sleep 0.8
shot_window "$frame" frame-cpu-tab
xdotool key ctrl+Tab
sleep 0.6
shot_window "$frame" frame-system-tab
xdotool key ctrl+Tab
sleep 0.6
shot_window "$frame" frame-misc-tab

# The alarm comes with the first tick after ten seconds.
alarm=""
for _ in $(seq 200); do
  alarm=$(xdotool search --onlyvisible --classname velmond 2>/dev/null | while read -r w; do
    [ "$(xdotool getwindowname "$w")" = " " ] && echo "$w" && break
  done) && [ -n "$alarm" ] && break
  sleep 0.1
done
sleep 0.5
shot alarm-dialog-desktop
shot_window "$alarm" alarm-dialog
import -window root -crop 240x40+784+0 "$out/tray-icon-alarm.png"
echo "$out/tray-icon-alarm.png"
xprop -id "$alarm" _MOTIF_WM_HINTS _NET_WM_ALLOWED_ACTIONS >"$out/alarm-dialog-wm-hints.txt"
xdotool windowactivate --sync "$alarm" 2>/dev/null || true
xdotool key Escape
sleep 0.4

xdotool windowactivate --sync "$frame" 2>/dev/null || true
click_client 66 8
shot_window "$frame" frame-setting-menu
xdotool key Down Return
range=$(wait_window 'Alarm Range Setting')
sleep 0.4
shot_window "$range" alarm-range-dialog
xdotool key Escape
sleep 0.4

click_client 66 8
xdotool key Down Down Return
params=$(wait_window 'Set Application Parameters')
sleep 0.4
shot_window "$params" app-parameters-dialog
xdotool mousemove --window "$params" 178 142 click 1
xdotool key ctrl+a
xdotool type abc
xdotool key Return
sleep 0.6
shot app-parameters-not-an-integer
xdotool key Return
sleep 0.3
xdotool key Escape
sleep 0.4

click_client 115 8
xdotool key Down Return
about=$(wait_window 'About Velmo')
sleep 0.4
shot_window "$about" about-dialog
xdotool key Return
sleep 0.3
kill "$velmond_pid"
wait "$velmond_pid" 2>/dev/null || true
sleep 0.5

# ---- the History tab: one-second updates, alarms off so that no dialog covers the frame -------
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
  '[HKEY_LOCAL_MACHINE\Software\Korvath\Velmo\Ver 3.10]' \
  '"AutoUpdateInterval"=hex:01,00,00,00' '"bAlarm"=hex:00,00,00,00' '' \
  '[HKEY_LOCAL_MACHINE\Software\Korvath\Velmo\Ver 3.10\Extensions]' \
  '"ShowHistory"=dword:00000001' >"$work/registry-history.reg"
start_velmond "$work/warming.json" history
sleep 1.5
find_tray_icon
open_from_tray
sleep 0.8
xdotool key ctrl+Tab ctrl+Tab ctrl+Tab
sleep 40
shot_window "$frame" frame-history-tab
