#!/usr/bin/env bash
# Tries the tray icon on real notification areas, as a user would, on an Xvfb
# display with the openbox window manager and WinVarno reading the simulated
# exchange:
#
#   sni     xfce4-panel, whose status tray is a StatusNotifierItem host
#   xembed  trayer, a tray of the older XEmbed kind
#   none    no notification area at all: the close box minimises
#
# In each it closes the window, right-clicks the icon on the panel, picks a page
# from the tray menu, closes again, left-clicks the icon, and ends the program with
# "Schliessen"; it checks each step and leaves a screenshot of each in OUTDIR.
#
#   scripts/desktop-check.sh [BUILD] [OUTDIR]     (defaults: build, a new temporary folder)
set -euo pipefail
. "$(dirname "$0")/sim-lib.sh"
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$src/$build ;; esac
out=${2:-$(mktemp -d "${TMPDIR:-/tmp}/winvarno-desktops.XXXXXX")}
mkdir -p "$out"
SUDO=$([ "$(id -u)" = 0 ] || echo sudo)

tools=(xvfb xdotool wmctrl openbox xfce4-panel trayer imagemagick x11-utils dbus-daemon dbus-bin)
missing=$(for p in "${tools[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'ok installed' || echo "$p"
done)
if [ -n "$missing" ]; then
    # shellcheck disable=SC2086
    $SUDO apt-get update && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y $missing
fi

# Each desktop gets its own session bus, so only its own tray host is seen.
if [ -z "${WINVARNO_DESKTOP_CHECK:-}" ]; then
    for desktop in sni xembed none; do
        WINVARNO_DESKTOP_CHECK=$desktop dbus-run-session -- "$0" "$build" "$out" 2>&1 |
            grep -v 'fd limit' || exit 1
    done
    echo "PASS: desktop check; screenshots in $out"
    exit 0
fi

desktop=$WINVARNO_DESKTOP_CHECK
fail() { echo "FAIL ($desktop): $*" >&2; exit 1; }
ok() { echo "ok ($desktop): $*"; }
scratch=$(mktemp -d "${TMPDIR:-/tmp}/winvarno-desktop.XXXXXX")
pids=()
sim_pid=
cleanup() {
    for p in "${pids[@]}" $sim_pid; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

# waitfor SECONDS COMMAND...: until the command succeeds.
waitfor() {
    local n=$(($1 * 10))
    shift
    for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}
shot() { import -display "$DISPLAY" -window root "$out/$desktop-$1.png"; }

exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
pids+=($!)
read -r -t 10 n <&3 || fail "Xvfb did not start"
export DISPLAY=:$n
openbox >/dev/null 2>&1 &
pids+=($!)
waitfor 10 xprop -root _NET_SUPPORTING_WM_CHECK || fail "openbox did not start"

case $desktop in
sni)
    xfce4-panel >"$scratch/panel.log" 2>&1 &
    pids+=($!)
    waitfor 20 gdbus introspect --session --dest org.kde.StatusNotifierWatcher \
        --object-path /StatusNotifierWatcher || fail "no StatusNotifierItem watcher"
    ;;
xembed)
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        --tint 0x404040 --transparent true --alpha 0 >/dev/null 2>&1 &
    pids+=($!)
    waitfor 10 xdotool search --classname trayer || fail "trayer did not start"
    ;;
none) ;;
esac
sleep 1 # let the panel draw itself

start_sim "$scratch" 1
mkdir -p "$scratch/runtime" "$scratch/data"
chmod 700 "$scratch/runtime"
write_sim_settings "$scratch/config/WinVarno.INI" "$scratch/com1"
XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data XDG_RUNTIME_DIR=$scratch/runtime \
    QT_QPA_PLATFORM=xcb "$build/src/WinVarno" >"$scratch/winvarno.log" 2>&1 &
winvarno=$!
pids+=("$winvarno")

title='^Varno KM20/KM50 - Konfiguration$'
visible() { xdotool search --onlyvisible --name "$title"; }
waitfor 20 visible || fail "no main window"
win=$(visible | head -1)
sleep 2 # the first read
shot 1-window
ok "window shown"

# As the title bar's close box does: the window manager asks the window to close.
close_box() { wmctrl -i -c "$win"; }

# The icon in the notification area: the red of its handset, in the right half of
# the panel's strip at the top (the task list on the left may show it too).
icon_at() {
    import -display "$DISPLAY" -window root "$scratch/now.png"
    local g
    g=$(convert "$scratch/now.png" -crop 512x32+512+0 +repage -fuzz 12% -fill black \
        +opaque 'rgb(255,0,0)' -fill white -opaque 'rgb(255,0,0)' -trim info: 2>/dev/null |
        awk '{print $3, $4}')
    # "WxH 512x32+X+Y": the middle of the red, a little below it (the cabinet).
    read -r size page <<<"$g"
    local w=${size%x*} h=${size#*x} x y
    x=${page#*+}
    x=${x%+*}
    y=${page##*+}
    [ "$w" -lt 40 ] && [ "$h" -lt 32 ] || return 1
    echo $((512 + x + w / 2)) $((y + h))
}

if [ "$desktop" = none ]; then
    close_box
    waitfor 10 sh -c "xprop -id $win WM_STATE | grep -q Iconic" ||
        { shot 2-not-minimised; xprop -id "$win" WM_STATE _NET_WM_STATE >&2; fail "close box did not minimise"; }
    shot 2-minimised
    ok "no notification area: the close box minimised the window"
    xdotool windowactivate --sync "$win" >/dev/null 2>&1 || xdotool windowmap "$win"
    waitfor 10 visible || fail "window did not come back"
    ok "the window came back from the taskbar state"
    kill "$winvarno"
    exit 0
fi

read -r ix iy < <(icon_at) || fail "no icon on the panel"
# While the window is shown, the icon offers no menu.
windows() { xdotool search --onlyvisible --class . 2>/dev/null | sort; }
before=$(windows)
xdotool mousemove "$ix" "$iy" click 3
sleep 1
shot 2-right-click-while-shown
xdotool key Escape
ok "right click while the window is shown: $(comm -13 <(echo "$before") <(windows) | wc -l) new windows"

close_box
waitfor 10 sh -c "! xdotool search --onlyvisible --name '$title'" || fail "close box left the window"
kill -0 "$winvarno" || fail "the program ended on the close box"
sleep 1
shot 2-in-tray
ok "window hidden, icon in the notification area at $ix,$iy"

# A menu is a window that was not there before: the program's own (XEmbed) or
# the host's copy of the exported one (StatusNotifierItem).
menu() { [ -n "$(comm -13 <(echo "$before") <(windows))" ]; }
before=$(windows)
xdotool mousemove "$ix" "$iy" click 3
waitfor 10 menu || fail "right click opened no menu"
sleep 0.5
shot 3-menu
ok "right click opened the tray menu"
# The fourth item is "Gebühren".
xdotool key Down Down Down Down Return
waitfor 10 visible || fail "the menu item did not bring the window back"
sleep 0.5
shot 4-gebuehren
ok "\"Gebühren\" brought the window back"

close_box
waitfor 10 sh -c "! xdotool search --onlyvisible --name '$title'" || fail "second close left the window"
sleep 0.5
xdotool mousemove "$ix" "$iy" click 1
waitfor 10 visible || fail "left click did not bring the window back"
sleep 0.5
shot 5-left-click
ok "left click brought the window back"

close_box
waitfor 10 sh -c "! xdotool search --onlyvisible --name '$title'" || fail "third close left the window"
sleep 0.5
before=$(windows)
xdotool mousemove "$ix" "$iy" click 3
waitfor 10 menu || fail "no menu for Schliessen"
# Up from no item reaches the last one, "Schliessen".
xdotool key Up Return
waitfor 10 sh -c "! kill -0 $winvarno" || fail "Schliessen did not end the program"
ok "\"Schliessen\" ended the program"
