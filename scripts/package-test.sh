#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it, checks where its
# files went, validates the desktop files, looks up the manual pages, verifies the user
# unit, runs the installed program and service against the installed simulator, and
# removes the package again, checking nothing is left.
#
#   scripts/package-test.sh [BUILD]      (default BUILD: build-package, make package's tree)
#
# Needs root or sudo: it installs and removes the package on this machine.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-package}
case $build in /*) ;; *) build=$src/$build ;; esac
app_id=de.winvarno.WinVarno
SUDO=$([ "$(id -u)" = 0 ] || echo sudo)

fail() { echo "FAIL: $*" >&2; exit 1; }
ok() { echo "ok: $*"; }

"$src/scripts/install-missing.sh" lintian desktop-file-utils appstream man-db xvfb xdotool strace \
    systemd

make -C "$src" package PACKAGE_BUILD="$build"
deb=$(ls -t "$build"/winvarno_*.deb | head -1)
[ -f "$deb" ] || fail "no package in $build"
ok "built $(basename "$deb")"
dpkg-deb -f "$deb" Package Version Depends

depends=$(dpkg-deb -f "$deb" Depends)
for need in libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libqt6printsupport6 \
    libqt6charts6 libqt6svg6 qt6-qpa-plugins fonts-liberation; do
    grep -q "\b$need\b" <<<"$depends" || fail "Depends lacks $need: $depends"
done
grep -q 'dbus-user-session | default-dbus-session-bus' <<<"$depends" ||
    fail "Depends lacks the user bus: $depends"
grep -q '\bman-db\b' <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "Recommends lacks man-db"
ok "dependencies declared"

# Errors and warnings fail; infos are shown, and the deliberate ones are overridden
# in the package itself.
lintian_out=$(lintian --info --pedantic "$deb") || fail "lintian: $lintian_out"
[ -z "$lintian_out" ] || echo "$lintian_out"
! grep -qE '^[EW]: ' <<<"$lintian_out" || fail "lintian reports errors or warnings"
ok "lintian: no errors or warnings"

if dpkg-query -W -f='${Status}' winvarno 2>/dev/null | grep -q 'ok installed'; then
    $SUDO dpkg -r winvarno >/dev/null
fi
# After sudo, so that sudo does not drop it.
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb"
files=$(dpkg -L winvarno)

for f in /usr/lib/winvarno/WinVarno /usr/lib/winvarno/varno-sim /usr/lib/winvarno/winvarno-report \
    /usr/lib/winvarno/winvarno-report-plot /usr/lib/winvarno/winvarno-diff \
    /usr/lib/winvarno/winvarnod; do
    [ -x "$f" ] && [ ! -L "$f" ] || fail "$f is not an executable file"
done
[ -f /usr/lib/winvarno/WinVarno.hlp ] || fail "help file missing"
[ "$(readlink -f /usr/bin/winvarno)" = /usr/lib/winvarno/WinVarno ] || fail "/usr/bin/winvarno"
[ "$(readlink -f /usr/bin/varno-sim)" = /usr/lib/winvarno/varno-sim ] || fail "/usr/bin/varno-sim"
[ "$(readlink -f /usr/bin/winvarno-report)" = /usr/lib/winvarno/winvarno-report ] ||
    fail "/usr/bin/winvarno-report"
[ "$(readlink -f /usr/bin/winvarno-diff)" = /usr/lib/winvarno/winvarno-diff ] ||
    fail "/usr/bin/winvarno-diff"
[ "$(readlink -f /usr/bin/winvarnod)" = /usr/lib/winvarno/winvarnod ] || fail "/usr/bin/winvarnod"
unit=/usr/lib/systemd/user/winvarnod.service
[ -f "$unit" ] || fail "$unit missing"
[ -f /usr/share/dbus-1/interfaces/$app_id.Sitzung1.xml ] || fail "D-Bus interface missing"
desktop=/usr/share/applications/$app_id.desktop
metainfo=/usr/share/metainfo/$app_id.metainfo.xml
[ -f "$desktop" ] && [ -f "$metainfo" ] || fail "desktop entry or metainfo missing"
for f in /usr/share/doc/winvarno/copyright /usr/share/doc/winvarno/changelog.gz; do
    [ -f "$f" ] || fail "$f missing"
done
for page in winvarno varno-sim winvarno-report winvarno-diff winvarnod; do
    [ -f "/usr/share/man/man1/$page.1.gz" ] || fail "manual page $page missing"
done
for size in 16 32 48 64 128 256; do
    icon=/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    [ -f "$icon" ] || fail "$icon missing"
    # PNG header: width and height as big-endian words at bytes 16 and 20.
    hw=$(printf ' 0 0 %d %d' $((size / 256)) $((size % 256)))
    [ "$(od -An -tu1 -j16 -N8 "$icon" | tr -s ' ')" = "$hw$hw" ] || fail "$icon is not ${size}x${size}"
done
ok "files in place"

# Both validators pass files with warnings and hints: any word from the first fails,
# and --strict makes the second fail on everything but pedantic hints.
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
ok "desktop-file-validate $desktop"
appstreamcli validate --pedantic --strict --no-net "$metainfo" || fail "appstreamcli validate"
ok "appstreamcli validate --pedantic --strict $metainfo"

# lintian has rendered the pages with warnings on; here man must find them by name.
grep -q AUTOENDE <<<"$(MANWIDTH=80 man winvarno)" || fail "man winvarno shows no AUTOENDE"
grep -q charge-interval <<<"$(MANWIDTH=80 man varno-sim)" || fail "man varno-sim shows no options"
grep -q -- --period <<<"$(MANWIDTH=80 man winvarno-report)" || fail "man winvarno-report"
grep -q -- --history <<<"$(MANWIDTH=80 man winvarno-diff)" || fail "man winvarno-diff"
grep -q enable-linger <<<"$(MANWIDTH=80 man winvarnod)" || fail "man winvarnod"
ok "man winvarno, man varno-sim, man winvarno-report, man winvarno-diff, man winvarnod"

# A user who cannot write the program's directory: as root that is nobody.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/winvarno-pkg.XXXXXX")
chmod 755 "$scratch"
as_user=()
if [ "$(id -u)" = 0 ]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

# The unit as installed, its program and manual page included: nothing to say. The
# user manager wants a runtime directory, which root outside a login session lacks.
mkdir -m 700 "$scratch/verify"
out=$(XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$scratch/verify} systemd-analyze --user verify "$unit" 2>&1) ||
    fail "systemd-analyze verify: $out"
[ -z "$out" ] || fail "systemd-analyze verify: $out"
ok "systemd-analyze --user verify $unit"

user_dirs() {
    local d=$scratch/$1
    mkdir -p "$d/home" "$d/config" "$d/data" "$d/runtime"
    chmod 700 "$d/runtime"
    cat >"$d/config/WinVarno.INI" <<INI
[Allgemein]
Anschluß=COM1
Kosten=0,12

[Schnittstellen]
COM1=$scratch/$1/com1
INI
    [ ${#as_user[@]} = 0 ] || chown -R nobody:nogroup "$d"
}

start_sim() {
    "${as_user[@]}" varno-sim --link "$scratch/$1/com1" --charge-interval 1 >/dev/null &
    pids+=($!)
    for _ in $(seq 100); do [ -e "$scratch/$1/com1" ] && return; sleep 0.05; done
    fail "varno-sim made no device"
}

run_env() {
    local d=$scratch/$1
    shift
    env HOME="$d/home" XDG_CONFIG_HOME="$d/config" XDG_DATA_HOME="$d/data" \
        XDG_RUNTIME_DIR="$d/runtime" DBUS_SESSION_BUS_ADDRESS= "$@"
}

# Offscreen: one full read, then the charge log must be under XDG_DATA_HOME.
user_dirs offscreen
start_sim offscreen
status=0
run_env offscreen QT_QPA_PLATFORM=offscreen timeout -s TERM 6 "${as_user[@]}" winvarno \
    >"$scratch/offscreen.log" 2>&1 || status=$?
[ "$status" = 124 ] || { cat "$scratch/offscreen.log"; fail "winvarno ended early ($status)"; }
log=$scratch/offscreen/data/WinVarno/WinVarno.dat
[ -s "$log" ] || { cat "$scratch/offscreen.log"; fail "no charge log at $log"; }
[ ! -e /usr/lib/winvarno/WinVarno.dat ] || fail "charge log written into /usr/lib/winvarno"
ok "charge log at \$XDG_DATA_HOME/WinVarno/WinVarno.dat ($(wc -l <"$log") lines)"

# The report finds that log by itself, as CSV and as a chart.
run_env offscreen "${as_user[@]}" winvarno-report --csv >"$scratch/report.csv" ||
    fail "winvarno-report did not read the installed program's log"
head -n 1 "$scratch/report.csv" | grep -q '^Zeitraum;Anschluß;Bezeichnung;Einheiten;Kosten' ||
    fail "winvarno-report --csv wrote no header"
run_env offscreen "${as_user[@]}" winvarno-report --plot "$scratch/offscreen/chart.png" >/dev/null ||
    fail "winvarno-report --plot failed"
[ -s "$scratch/offscreen/chart.png" ] || fail "no chart"
ok "winvarno-report: $(($(wc -l <"$scratch/report.csv") - 1)) CSV rows and a chart"

# Two parameter files that differ in the protocol byte: one line, exit status 1.
head -c 588 /dev/zero >"$scratch/a.vrn"
{ head -c 3 /dev/zero; printf '\001'; head -c 584 /dev/zero; } >"$scratch/b.vrn"
status=0
out=$(winvarno-diff --no-names "$scratch/a.vrn" "$scratch/b.vrn") || status=$?
[ "$status" = 1 ] && [ "$out" = 'Protokoll: "1TR6" → "DSS1"' ] ||
    fail "winvarno-diff: status $status, output '$out'"
ok "winvarno-diff: $out"

# The service as its unit starts it, on a session bus of its own and without a display:
# ready, one full read with its row in the charge log, then ended by SIGTERM (timeout's
# status 124; 137 had it still run 3 s later).
user_dirs service
start_sim service
status=0
run_env service "${as_user[@]}" dbus-run-session -- timeout -s TERM -k 3 6 winvarnod \
    >/dev/null 2>"$scratch/service.log" || status=$?
[ "$status" = 124 ] || { cat "$scratch/service.log"; fail "winvarnod ended with $status"; }
[ -s "$scratch/service/data/WinVarno/WinVarno.dat" ] ||
    { cat "$scratch/service.log"; fail "winvarnod wrote no charge log"; }
grep -qx '<6>winvarnod bereit' "$scratch/service.log" || fail "winvarnod was never ready"
# The bus daemon may have a word of its own on the same stderr.
bare=$(grep -v -e '^<[0-7]>' -e '^dbus-daemon\[' "$scratch/service.log" || true)
[ -z "$bare" ] || fail "journal lines without a priority: $bare"
ok "winvarnod read and logged, ended by SIGTERM"

# On an X display: press "Hilfe" and watch the help file being opened.
user_dirs x11
start_sim x11
# Xvfb picks a free display itself and writes its number to the pipe.
exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
pids+=($!)
read -r -t 10 n <&3 || fail "Xvfb did not start"
display=:$n
run_env x11 DISPLAY="$display" strace -ff -qq -e trace=openat -o "$scratch/strace" \
    "${as_user[@]}" winvarno >"$scratch/x11.log" 2>&1 &
traced=$!
pids+=("$traced")
win=
for _ in $(seq 100); do
    win=$(DISPLAY=$display xdotool search --name '^Varno KM20/KM50 - Konfiguration$' 2>/dev/null |
        head -1) && [ -n "$win" ] && break
    sleep 0.1
done
[ -n "$win" ] || fail "no main window on $display"
# The buttons stay disabled until the first read has ended with its charge log row.
for _ in $(seq 100); do [ -s "$scratch/x11/data/WinVarno/WinVarno.dat" ] && break; sleep 0.1; done
[ -s "$scratch/x11/data/WinVarno/WinVarno.dat" ] || fail "no charge log in the X run"
DISPLAY=$display xdotool mousemove --window "$win" 379 258 click 1
help=
for _ in $(seq 50); do
    help=$(DISPLAY=$display xdotool search --name '^WinVarno-Hilfe$' 2>/dev/null | head -1) &&
        [ -n "$help" ] && break
    sleep 0.1
done
[ -n "$help" ] || fail "no help window after pressing Hilfe"
# One trace file per thread, so no call is split across lines.
grep -hE 'openat\(.*"/usr/lib/winvarno/WinVarno\.hlp".* = [0-9]+$' "$scratch"/strace.* >/dev/null ||
    fail "help file not opened: $(grep -hF .hlp "$scratch"/strace.* || echo none)"
ok "help window shows /usr/lib/winvarno/WinVarno.hlp"
# strace's child is winvarno; a tracer that ends would leave it running.
kill "$(ps -o pid= --ppid "$traced")" 2>/dev/null || true
for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
wait 2>/dev/null || true
pids=()

$SUDO dpkg -r winvarno
state=$(dpkg-query -W -f='${Status}' winvarno 2>/dev/null || true)
case $state in "" | *not-installed*) ;; *) fail "package state after removal: $state" ;; esac
left=$(while read -r f; do [ -f "$f" ] || [ -L "$f" ] && echo "$f"; done <<<"$files" || true)
[ -z "$left" ] || fail "left after removal: $left"
[ ! -e /usr/lib/winvarno ] || fail "/usr/lib/winvarno left after removal"
ok "removed, nothing left"
echo "PASS: package test"
