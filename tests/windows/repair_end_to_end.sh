#!/usr/bin/env bash
# talvrin-repair.exe --verbose under Wine, in a fresh 64-bit prefix, run from a folder whose name
# has spaces, on a system that has a WMI repository in both system folders and firewall keys with
# a wrong access list: the twelve progress lines and the closing message; every command line
# started (none "could not start"), each with its exit code; and what the run did to the system
# (repair_checks.sh): both repository folders emptied, the keys' access lists reset by our
# regini.exe, step 4's value imported.
# Usage: repair_end_to_end.sh BIN_DIR TEST_DIR (the folders of talvrin-repair.exe and files/, and
# of the test programs).
set -euo pipefail
bin=$1 tests=$2

fail() {
    echo "repair end to end: $*" >&2
    [ -f "${out:-}" ] && { echo "--- its output:" >&2; cat "$out" >&2; }
    exit 1
}
source "$(dirname "$0")/repair_checks.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/talvrin repair XXXXXX")
fresh_prefix "$work/prefix"
dir="$work/Program Files (x86)/Talvrin Repair"
mkdir -p "$dir"
cp "$bin/talvrin-repair.exe" "$dir/"
cp -r "$bin/files" "$dir/"
out="$work/output.txt"
seed_system "$tests"

status=0
(cd "$dir" && WINEDEBUG=-all,+process timeout 240 wine ./talvrin-repair.exe --verbose \
    </dev/null 2>"$work/trace.txt" | tr -d '\r' >"$out") || status=$?
[ "$status" -eq 0 ] || fail "exit status $status (124: stopped at the 240 s limit)"

# The lines that are not indented: the twelve progress lines and the closing message.
expected="Starting Repair, Please Wait...
Step 01/10 - Stopping Firewall...
Step 02/10 - Settings Firewall Service To Automatic...
Step 03/10 - Setting Reg Permissions For Firewall Service...
Step 04/10 - Setting Firewall Reg Settings...
Step 05/10 - Stopping WMI...
Step 06/10 - Deleting WMI Repository...
Step 07/10 - Starting WMI...
Step 08/10 - Rebuilding WMI Repository...
Step 09/10 - Reregistering WMI DLL's...
Step 10/10 - Reregistering WMI EXE's...
DONE! PLEASE REBOOT!
Talvrin: All done!, You must restart your computer for the changes to take effect!"
[ "$(grep -v '^ ' "$out")" = "$expected" ] || fail "the progress lines differ from the twelve steps"

# Fourteen commands, each listed as the sequence built it, none that could not start, and each
# with its exit code beneath its output; regini.exe set every key (it printed nothing).
winDir="Z:${dir//\//\\}"
[ "$(grep -c '^    \$ ' "$out")" -eq 14 ] || fail "not fourteen command lines"
[ "$(grep -c '^      (exit code ' "$out")" -eq 14 ] || fail "not fourteen exit codes"
! grep -q '(could not start: ' "$out" || fail "a command line could not start"
for line in \
    "    \$ \"$winDir\\files\\regini.exe\" \"$winDir\\files\\firewall_reg_permissions.txt\"" \
    "    \$ del %windir%\\System32\\Wbem\\Repository\\*.* /f /s /q" \
    "    \$ IF EXIST %windir%\\system32\\wbem\\wbemupgd.dll rundll32 wbemupgd, UpgradeRepository" \
    "    \$ \"$winDir\\files\\reg_wmi_exes.bat\""; do
    grep -qxF -- "$line" "$out" || fail "missing command line: $line"
done
regini=$(grep -A1 -F "    \$ \"$winDir\\files\\regini.exe\"" "$out" | tail -n 1)
[ "$regini" = "      (exit code 0)" ] || fail "regini.exe did not set every key: $regini"

check_started "$work/trace.txt" "$winDir"
check_system "$tests"
echo "repair end to end: 12 progress lines, 14 commands started with their exit codes," \
     "both repositories emptied, the firewall keys' access lists reset, the registry value imported"
