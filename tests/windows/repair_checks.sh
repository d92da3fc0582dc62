# What a repair run must do to a Windows system, checked under Wine (sourced by
# repair_end_to_end.sh and window_end_to_end.sh). The programs are 32-bit; the prefix is 64-bit,
# so the system folder a 32-bit process sees is redirected (syswow64) unless the repair turns the
# redirection off, as it must for its commands.
#
#   fresh_prefix DIR        a new 64-bit prefix in DIR (WINEPREFIX), with a server of its own,
#                           stopped when the test ends
#   seed_system TEST_DIR    the state the repair works on: files in both repository folders, a
#                           wbemupgd.dll where step 8 looks for it, and the firewall keys with a
#                           wrong access list (Everyone, full access)
#   check_system TEST_DIR   after a run: both repository folders hold no file, the keys grant
#                           Administrators and the system account full access and nothing else,
#                           and step 4's value was imported
#   check_started TRACE P   every one of the fourteen command lines (P: the program's folder as
#                           Windows names it) and the rundll32 of step 8 started, as Wine's
#                           +process trace says
# Each check prints what is wrong and exits 1 (through fail, which the caller defines).

# The keys of step 3's script, below HKEY_LOCAL_MACHINE.
permission_keys() {
    sed -e 's/\r$//' -e 's/^\\Registry\\Machine\\//' -e 's/ *\[.*$//' \
        "$(dirname "${BASH_SOURCE[0]}")/../../files/firewall_reg_permissions.txt"
}

fresh_prefix() {
    export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    mkdir -p "$WINEPREFIX"
    trap 'timeout 30 wineserver -k >/dev/null 2>&1 || true; rm -rf "${work:-/nonexistent}"' EXIT
    timeout 120 wineserver -p </dev/null >/dev/null 2>&1 || true
    timeout 120 wineboot -i </dev/null >/dev/null 2>&1 || fail "wineboot failed in $WINEPREFIX"
    # No window manager on the virtual display: Wine waits for none.
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
        </dev/null >/dev/null 2>&1
    timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f \
        </dev/null >/dev/null 2>&1
    windows=$WINEPREFIX/drive_c/windows
    [ -d "$windows/syswow64" ] || fail "$WINEPREFIX is not a 64-bit prefix"
}

repository_folders=(system32/wbem/Repository syswow64/wbem/Repository)
step4_key='HKLM\SYSTEM\CurrentControlSet\Services\SharedAccess\Parameters\FirewallPolicy\PublicProfile'

seed_system() {
    local tests=$1 folder
    for folder in "${repository_folders[@]}"; do
        mkdir -p "$windows/$folder/FS"
        echo objects >"$windows/$folder/OBJECTS.DATA"
        echo index >"$windows/$folder/FS/INDEX.BTR"
        echo mapping >"$windows/$folder/FS/MAPPING1.MAP"
    done
    # Step 8 runs rundll32 only where the upgrade library exists (in the real system folder).
    [ -e "$windows/system32/wbem/wbemupgd.dll" ] || echo stand-in >"$windows/system32/wbem/wbemupgd.dll"
    local keys
    mapfile -t keys < <(permission_keys)
    timeout 60 wine "$tests/registry_access_probe.exe" seed "${keys[@]}" </dev/null ||
        fail "could not seed the firewall keys"
    timeout 60 wine reg delete "$step4_key" /v EnableFirewall /f </dev/null >/dev/null 2>&1 || true
}

check_system() {
    local tests=$1 folder left
    for folder in "${repository_folders[@]}"; do
        left=$(cd "$windows/$folder" && find . -type f)
        [ -z "$left" ] || fail "C:\\windows\\${folder//\//\\} still holds: $left"
    done
    local keys shown expected="" key
    mapfile -t keys < <(permission_keys)
    shown=$(timeout 60 wine "$tests/registry_access_probe.exe" show "${keys[@]}" </dev/null |
        tr -d '\r') || fail "could not read the firewall keys' access lists: $shown"
    for key in "${keys[@]}"; do
        expected+="$key: S-1-5-32-544 0x000f003f, S-1-5-18 0x000f003f"$'\n'
    done
    [ "$shown"$'\n' = "$expected" ] || fail "the firewall keys' access lists are:
$shown"
    local query
    query=$(timeout 60 wine reg query "$step4_key" /v EnableFirewall </dev/null 2>&1 | tr -d '\r')
    grep -Eq 'EnableFirewall +REG_DWORD +0x1$' <<<"$query" ||
        fail "REGEDIT /S did not import firewall_settings.reg: $query"
}

# The command lines as process creation gets them, in Wine's trace notation (backslashes and
# quotes escaped).
expected_command_lines() {
    local p=$1 cmd='"C:\windows\system32\cmd.exe" /d /s /c '
    printf '%s\n' \
        'net stop MpsSvc /y' 'net stop SharedAccess /y' \
        'sc config MpsSvc start= auto' 'sc config SharedAccess start= auto' \
        "\"$p\\files\\regini.exe\" \"$p\\files\\firewall_reg_permissions.txt\"" \
        "REGEDIT /S \"$p\\files\\firewall_settings.reg\"" \
        'net stop winmgmt /y' \
        "$cmd\"del %windir%\\System32\\Wbem\\Repository\\*.* /f /s /q\"" \
        "$cmd\"del %windir%\\sysWOW64\\Wbem\\Repository\\*.* /f /s /q\"" \
        'net start winmgmt /y' \
        "$cmd\"IF EXIST %windir%\\system32\\wbem\\wbemupgd.dll rundll32 wbemupgd, UpgradeRepository\"" \
        'winmgmt  /salvagerepository' \
        "\"$p\\files\\reg_wmi_dlls.bat\"" "\"$p\\files\\reg_wmi_exes.bat\"" \
        'rundll32 wbemupgd, UpgradeRepository' |
        sed -e 's/\\/\\\\/g' -e 's/"/\\"/g'
}

check_started() {
    local trace=$1 p=$2 started
    # Each creation's command line, when the same thread's next creation line says it started.
    started=$(tr -d '\r' <"$trace" | awk '
        /:trace:process:CreateProcessInternalW app / {
            thread = substr($0, 1, index($0, ":") - 1)
            line = $0
            sub(/.* cmdline L"/, "", line)
            if (line !~ /"\.\.\.$/) sub(/"$/, "", line)
            pending[thread] = line
            next
        }
        /:trace:process:CreateProcessInternalW started process/ {
            thread = substr($0, 1, index($0, ":") - 1)
            if (thread in pending) print pending[thread]
            delete pending[thread]
        }')
    local line missing="" seen found
    while IFS= read -r line; do
        found=0
        while IFS= read -r seen; do
            # Wine's trace cuts a long command line after 200 characters, ending it with "...
            if [ "$seen" = "$line" ] ||
                { [[ "$seen" == *'"...' ]] && [[ "$line" == "${seen%\"...}"* ]]; }; then
                found=1
                break
            fi
        done <<<"$started"
        [ "$found" -eq 1 ] || missing+="  $line"$'\n'
    done < <(expected_command_lines "$p")
    [ -z "$missing" ] || fail "these command lines did not start:
$missing(the started ones:
$started)"
}
