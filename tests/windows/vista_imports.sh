#!/usr/bin/env bash
# Every function the shipped programs import from a system library must be one Windows Vista's
# library exports, or the program does not load there. The list (vista_imports.txt: "library
# function", one a line) holds exactly the imports that were checked against Vista; an import
# missing from it fails this test until it has been checked and added (functions newer than Vista
# are found at run time instead, by name). Usage: vista_imports.sh OBJDUMP LIST PROGRAM...
set -euo pipefail
objdump=$1 list=$2
shift 2

imports=$(for program in "$@"; do
    [ -f "$program" ] || { echo "vista imports: no $program" >&2; exit 1; }
    "$objdump" -p "$program" | awk -v program="$(basename "$program")" '
        /^\tDLL Name: / { library = tolower($3); next }
        /^\t[0-9a-f]+\t +[0-9]+  [A-Za-z_]/ && library != "" { print library, $3, program }
        /^$/ { library = "" }'
done | sort -u)
[ -n "$imports" ] || { echo "vista imports: no imports read (objdump's format changed?)" >&2; exit 1; }

unknown=$(awk 'NR == FNR { if ($0 !~ /^#/ && NF == 2) known[tolower($1) " " $2] = 1; next }
               !(($1 " " $2) in known) { print "  " $1 " " $2 " (" $3 ")" }' "$list" - <<<"$imports")
if [ -n "$unknown" ]; then
    echo "vista imports: not in $(basename "$list"), so not known to be on Windows Vista:" >&2
    echo "$unknown" >&2
    exit 1
fi
echo "vista imports: $(cut -d' ' -f1,2 <<<"$imports" | sort -u | wc -l) imported functions of" \
     "$(cut -d' ' -f1 <<<"$imports" | sort -u | wc -l) libraries, each one Windows Vista exports"
