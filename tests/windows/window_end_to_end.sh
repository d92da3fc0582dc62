#!/usr/bin/env bash
# talvrin.exe under Wine, in a fresh 64-bit prefix, on the virtual display: "Start" clicked with
# the mouse (window_driver.exe), the twelve lines and the closing box, then what the run did to
# the system (repair_checks.sh): every command line started, both repository folders emptied,
# the firewall keys' access lists reset, step 4's value imported.
# Usage: window_end_to_end.sh BIN_DIR TEST_DIR (the folders of talvrin.exe and files/, and of the
# test programs). Needs a display (DISPLAY).
set -euo pipefail
bin=$1 tests=$2

fail() {
    echo "window end to end: $*" >&2
    [ -f "${out:-}" ] && { echo "--- the driver's output:" >&2; cat "$out" >&2; }
    exit 1
}
[ -n "${DISPLAY:-}" ] || fail "no display (DISPLAY is not set)"
source "$(dirname "$0")/repair_checks.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/talvrin window XXXXXX")
fresh_prefix "$work/prefix"
dir="$work/Program Files (x86)/Talvrin"
mkdir -p "$dir"
cp "$bin/talvrin.exe" "$dir/"
cp -r "$bin/files" "$bin/doc" "$dir/"
out="$work/driver.txt"
seed_system "$tests"

winDir="Z:${dir//\//\\}"
status=0
WINEDEBUG=-all,+process timeout 240 wine "$tests/window_driver.exe" "$winDir\\talvrin.exe" \
    </dev/null 2>"$work/trace.txt" | tr -d '\r' >"$out" || status=$?
[ "$status" -eq 0 ] || fail "the driver's exit status $status (124: stopped at the 240 s limit)"

expected="list: Starting Repair, Please Wait...
list: Step 01/10 - Stopping Firewall...
list: Step 02/10 - Settings Firewall Service To Automatic...
list: Step 03/10 - Setting Reg Permissions For Firewall Service...
list: Step 04/10 - Setting Firewall Reg Settings...
list: Step 05/10 - Stopping WMI...
list: Step 06/10 - Deleting WMI Repository...
list: Step 07/10 - Starting WMI...
list: Step 08/10 - Rebuilding WMI Repository...
list: Step 09/10 - Reregistering WMI DLL's...
list: Step 10/10 - Reregistering WMI EXE's...
list: DONE! PLEASE REBOOT!
selected: 11
box: Talvrin|All done!, You must restart your computer for the changes to take effect!
exit: 0"
[ "$(cat "$out")" = "$expected" ] || fail "the window showed something else"

check_started "$work/trace.txt" "$winDir"
check_system "$tests"
echo "window end to end: Start clicked, 12 lines and the box, 14 commands started," \
     "both repositories emptied, the firewall keys' access lists reset, the registry value imported"
