#!/usr/bin/env bash
# talvrin-repair.exe --verbose under Wine, run from a folder whose name has spaces: the twelve
# progress lines and the closing message, the real repair commands started (their output beneath
# their step), and the registry import of step 4 read back with `reg query`.
# Usage: repair_end_to_end.sh BIN_DIR (the folder holding talvrin-repair.exe and files/).
set -euo pipefail
bin=$1

fail() {
    echo "repair end to end: $*" >&2
    [ -f "${out:-}" ] && { echo "--- its output:" >&2; cat "$out" >&2; }
    exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/talvrin repair XXXXXX")
trap 'rm -rf "$work"' EXIT
dir="$work/Program Files (x86)/Talvrin Repair"
mkdir -p "$dir"
cp "$bin/talvrin-repair.exe" "$dir/"
cp -r "$bin/files" "$dir/"
out="$work/output.txt"

# The value step 4 imports, removed first so that only this run can have put it there.
key='HKLM\SYSTEM\CurrentControlSet\Services\SharedAccess\Parameters\FirewallPolicy\PublicProfile'
timeout 60 wine reg delete "$key" /f </dev/null >/dev/null 2>&1 || true
if timeout 60 wine reg query "$key" /v EnableFirewall </dev/null 2>/dev/null | grep -q 0x1; then
    fail "could not clear $key before the run"
fi

status=0
(cd "$dir" && timeout 180 wine ./talvrin-repair.exe --verbose </dev/null 2>&1 | tr -d '\r' >"$out") ||
    status=$?
[ "$status" -eq 0 ] || fail "exit status $status (124: stopped at the 180 s limit)"

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

# The program's folder, as Windows names it, quoted and joined with backslashes.
winDir="Z:${dir//\//\\}"
for line in \
    "    \$ \"$winDir\\files\\regini.exe\" \"$winDir\\files\\firewall_reg_permissions.txt\"" \
    "    \$ REGEDIT /S \"$winDir\\files\\firewall_settings.reg\"" \
    "    \$ \"$winDir\\files\\reg_wmi_exes.bat\""; do
    grep -qxF -- "$line" "$out" || fail "missing command line: $line"
done

# Commands that started print beneath their step: Wine's net answers with its usage text.
after=$(grep -A1 -xF '    $ net stop MpsSvc /y' "$out" | tail -n 1)
[[ "$after" == "      "?* && "$after" != "      (could not start: "* ]] ||
    fail "no output beneath 'net stop MpsSvc /y' (was it started?)"

query=$(timeout 60 wine reg query "$key" /v EnableFirewall </dev/null 2>&1 | tr -d '\r') ||
    fail "reg query failed: $query"
grep -Eq 'EnableFirewall +REG_DWORD +0x1$' <<<"$query" ||
    fail "REGEDIT /S did not import firewall_settings.reg: $query"
echo "repair end to end: 12 progress lines, the commands' output, the registry value imported"
