#!/usr/bin/env bash
# The installer and the zip under Wine: a silent install (/S) into a folder whose name has spaces
# puts the program folder there (the three programs, files/, doc/talvrin.html, the
# uninstaller), a Start-menu shortcut and an uninstall entry; the installed talvrin-repair.exe
# names the installed support files; the zip holds the same program folder; the silent uninstaller removes everything the
# installer put there. Usage: installer_test.sh BUILD_DIR VERSION (the folder where
# `cpack -G NSIS` and `cpack -G ZIP` wrote talvrin-VERSION-win32-setup.exe and its zip).
set -euo pipefail
build=$(cd "$1" && pwd) version=$2
setup="$build/talvrin-$version-win32-setup.exe"
zip="$build/talvrin-$version-win32.zip"

fail() {
    echo "installer: $*" >&2
    exit 1
}
for package in "$setup" "$zip"; do
    [ -f "$package" ] || fail "no $package: make it with cpack -G NSIS and cpack -G ZIP in $build"
done

drive_c=${WINEPREFIX:-$HOME/.wine}/drive_c
[ -d "$drive_c" ] || fail "no drive C: in the Wine prefix ${WINEPREFIX:-}"
folder_win='C:\Program Files\Talvrin Test Install'
folder="$drive_c/Program Files/Talvrin Test Install"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Talvrin'
rm -rf "$folder"
work=$(mktemp -d "${TMPDIR:-/tmp}/talvrin-installer.XXXXXX")
# However the test ends, nothing of this install stays in the prefix.
cleanup() {
    rm -rf "$work" "$folder"
    find "$drive_c" -path '*Start Menu/Programs/Talvrin' -prune -exec rm -rf {} + 2>/dev/null || true
    timeout 60 wine reg delete "$uninstall_key" /f </dev/null >/dev/null 2>&1 || true
}
trap cleanup EXIT

# What the program folder holds, relative to it, one path a line.
listing() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort); }

# ---- install ----
# The folder goes last and unquoted, spaces and all: passed as separate words, Wine joins them
# with single spaces and no quotes.
read -r -a folder_words <<<"/D=$folder_win"
timeout 120 wine "$setup" /S "${folder_words[@]}" </dev/null >/dev/null 2>&1 ||
    fail "the silent install failed (status $?)"
expected="doc/talvrin.html
files/firewall_reg_permissions.txt
files/firewall_settings.reg
files/reg_wmi_dlls.bat
files/reg_wmi_exes.bat
files/regini.exe
talvrin-image.exe
talvrin-repair.exe
talvrin.exe"
installed=$(listing "$folder")
[ "$installed" = "Uninstall.exe
$expected" ] || fail "the installed folder holds:
$installed"
shortcut=$(find "$drive_c" -path '*Start Menu/Programs/Talvrin/Talvrin.lnk' | head -n 1)
[ -n "$shortcut" ] || fail "no Start-menu shortcut Talvrin/Talvrin.lnk"
timeout 60 wine reg query "$uninstall_key" </dev/null >/dev/null 2>&1 ||
    fail "no uninstall entry $uninstall_key"

# ---- the installed programs name the installed support files ----
out="$work/repair.txt"
(cd "$work" && timeout 180 wine "$folder_win\\talvrin-repair.exe" --verbose </dev/null 2>&1 |
    tr -d '\r' >"$out") || fail "the installed talvrin-repair.exe failed; its output: $(cat "$out")"
for line in \
    "    \$ REGEDIT /S \"$folder_win\\files\\firewall_settings.reg\"" \
    "    \$ \"$folder_win\\files\\reg_wmi_dlls.bat\""; do
    grep -qxF -- "$line" "$out" || fail "missing command line: $line"
done

# ---- the zip holds the same program folder ----
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip") || fail "could not unpack $zip"
[ "$(listing "$work/zip")" = "$expected" ] || fail "the zip holds: $(listing "$work/zip")"
# Each packaging strips the programs afresh, which stamps the time into their headers: the
# programs compare by size, the support files byte for byte.
for file in $expected; do
    if [[ "$file" == *.exe ]]; then
        [ "$(stat -c %s "$work/zip/$file")" = "$(stat -c %s "$folder/$file")" ]
    else
        cmp -s "$work/zip/$file" "$folder/$file"
    fi || fail "the zip's $file differs from the installed one"
done

# ---- uninstall (in place, so that the run is over when wine returns) ----
read -r -a in_place_words <<<"_?=$folder_win"
timeout 120 wine "$folder_win\\Uninstall.exe" /S "${in_place_words[@]}" </dev/null >/dev/null 2>&1 ||
    fail "the silent uninstall failed (status $?)"
# Run in place, the uninstaller cannot remove itself; everything else must be gone.
left=$(listing "$folder")
[ "$left" = "Uninstall.exe" ] || fail "the uninstaller left: $left"
[ -z "$(find "$drive_c" -path '*Start Menu/Programs/Talvrin*' | head -n 1)" ] ||
    fail "the Start-menu entry is still there"
if timeout 60 wine reg query "$uninstall_key" </dev/null >/dev/null 2>&1; then
    fail "the uninstall entry $uninstall_key is still there"
fi
echo "installer: silent install into '$folder_win', its repair names its files, the zip matches," \
     "the uninstaller removed everything"
