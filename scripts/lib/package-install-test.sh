#!/usr/bin/env bash
# Installs the Debian package $1 on this machine (as root) with what it depends on, uses both
# programs as a new user would, and removes the package again unless it was installed before:
# tavrin-cli lists the virtual box and calibrates on it, the window starts under Xvfb, and both
# keep their files in $XDG_CONFIG_HOME/tavrin/, never beside the programs in /usr/bin.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/setup.sh
deb=$(realpath "$1")

tavrin_install_packages xvfb xauth xdotool python3-xlib
was_installed=0
dpkg-query -W -f='${Status}' tavrin 2>/dev/null | grep -q "install ok installed" && was_installed=1

scratch=$(mktemp -d)
xvfb_pid=
finish() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    [ "$was_installed" -eq 0 ] && dpkg -r tavrin >/dev/null 2>&1
    rm -rf "$scratch"
}
trap finish EXIT

export DEBIAN_FRONTEND=noninteractive
dpkg -i "$deb" || apt-get -f install -y -q
dpkg-query -W -f='${Status}' tavrin | grep -q "install ok installed"

# A new user: an empty home, the configuration folder not there yet.
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config"
mkdir -p "$HOME"
cd "$HOME"
files="$XDG_CONFIG_HOME/tavrin"
fail() { echo "package install test: $*" >&2; exit 1; }

tavrin --version | grep -q '^tavrin [0-9]' || fail "tavrin --version"
tavrin-cli --version | grep -q '^tavrin-cli [0-9]' || fail "tavrin-cli --version"
tavrin --help | grep -q -- '--version' || fail "tavrin --help"
tavrin-cli --help | grep -q 'devices' || fail "tavrin-cli --help"
man -w tavrin-cli >/dev/null 2>&1 || [ -f /usr/share/man/man1/tavrin-cli.1.gz ] || fail "no man page"

devices=$(tavrin-cli devices)
echo "$devices"
grep -q "Virtual box" <<<"$devices" || fail "tavrin-cli devices lists no virtual box"
# The box alone and fast, so that a calibration takes seconds.
TAVRIN_VIRTUAL_BOX=only,speed=16,lockstep tavrin-cli calibrate --input 0 --output 0 --time 1
[ -s "$files/tavrin.cal" ] || fail "the calibration is not in $files"

# The window: started, closed as a user closes it, its settings written where they belong.
Xvfb -displayfd 3 -screen 0 1280x800x24 3>"$scratch/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$scratch/display")"
rm -f "$files/tavrin.ini"
tavrin >"$scratch/tavrin.log" 2>&1 &
tavrin_pid=$!
window=
for _ in $(seq 600); do
    window=$(xdotool search --onlyvisible --name Tavrin 2>/dev/null | head -1) && [ -n "$window" ] && break
    kill -0 "$tavrin_pid" 2>/dev/null || { cat "$scratch/tavrin.log" >&2; fail "tavrin ended"; }
    sleep 0.1
done
[ -n "$window" ] || fail "no window within a minute"
# What a window manager sends when the user clicks the close button.
python3 - "$window" <<'PYTHON'
import sys
from Xlib import X, display, protocol
d = display.Display()
window = d.create_resource_object("window", int(sys.argv[1]))
close = protocol.event.ClientMessage(
    window=window, client_type=d.intern_atom("WM_PROTOCOLS"),
    data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
window.send_event(close)
d.flush()
PYTHON
for _ in $(seq 300); do kill -0 "$tavrin_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$tavrin_pid" 2>/dev/null && { kill "$tavrin_pid"; fail "the window did not close"; }
wait "$tavrin_pid" || { cat "$scratch/tavrin.log" >&2; fail "tavrin ended with an error"; }
[ -s "$files/tavrin.ini" ] || fail "no settings in $files after the close"
grep -q '^\[WaveSetup\]' "$files/tavrin.ini" || fail "the settings file lacks its sections"
for stray in /usr/bin/tavrin.ini /usr/bin/tavrin.cal /usr/bin/tavrin.window; do
    [ ! -e "$stray" ] || fail "$stray written beside the installed program"
done
echo "Installed package: both programs work; their files are in $files:"
ls -l "$files"
