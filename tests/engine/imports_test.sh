#!/usr/bin/env bash
# What Windows reads from the two programs before their first line runs, read from outside. A DLL
# that is not one of the system's KnownDLLs is looked for in the exe's own folder first: one
# planted beside a downloaded updater would run as administrator. So the import tables may name
# the KnownDLLs of Windows 7 (the oldest system the programs run on) only, and comctl32, which
# the manifest binds to the system's side-by-side assembly; nothing is delay-loaded. Both run with
# ASLR and DEP, each in its subsystem, and aware of Terminal Services: a Remote Desktop server maps
# no per-user Windows folder or registry into them. Windows 10 1607 and later look for what those
# DLLs import in turn in System32 only, as each load configuration asks (DependentLoadFlags 0x800,
# LOAD_LIBRARY_SEARCH_SYSTEM32). Then the version records, and the console updater's manifest.
#
# imports_test.sh OBJDUMP WINDRES UPDATER_EXE CLI_EXE
set -uo pipefail
objdump=$1 windres=$2 updater=$3 cli=$4
known=$(echo advapi32 clbcatq comdlg32 difxapi gdi32 iertutil imagehlp imm32 kernel32 lpk msctf \
  msvcrt normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shell32 shlwapi urlmon user32 \
  usp10 wininet wldap32 ws2_32 ntdll)
# KnownDLLs whose own imports are not all KnownDLLs: Wine's shell32 and shlwapi pull shcore, which
# is then looked for beside the exe before its first instruction.
pulls_unknown="shell32 shlwapi"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# little_endian HEX OFFSET BYTES: the number at byte OFFSET of the bytes HEX, as hex digits.
little_endian() { local i out=; for ((i = $2 + $3 - 1; i >= $2; i--)); do out+=${1:2*i:2}; done; echo "$out"; }
# check_load_config EXE HEADERS: the directory entry, the structure's size and DependentLoadFlags
# (the headers' Reserved1, at byte 54 of the PE32 structure and 78 of the PE32+ one).
check_load_config() {
  local exe=$1 headers=$2 rva size base at start hex
  read -r rva size < <(sed -n 's/^Entry a \([0-9a-f]*\) \([0-9a-f]*\) Load Configuration Directory$/\1 \2/p' <<<"$headers")
  base=$(sed -n 's/^ImageBase[[:space:]]*\([0-9a-f]*\)$/\1/p' <<<"$headers")
  case $(sed -n 's/^Magic[[:space:]]*\([0-9a-f]*\).*/\1/p' <<<"$headers") in
    010b) at=54 ;; 020b) at=78 ;; *) fail "$exe: neither PE32 nor PE32+"; return ;;
  esac
  if [ -z "$rva" ] || (( 16#$rva == 0 || 16#$size < at + 2 )); then
    fail "$exe has no load configuration with DependentLoadFlags (${rva:-none} ${size:-})"
    return
  fi
  start=$((16#$base + 16#$rva))
  hex=$("$objdump" -s --start-address=$start --stop-address=$((start + 16#$size)) "$exe" |
        awk '/^ [0-9a-f]+ / { print substr($0, 3 + length($1), 35) }' | tr -d ' \n')
  [ "$((16#$(little_endian "$hex" 0 4)))" = "$((16#$size))" ] ||
    fail "$exe: the load configuration says its size is not the directory's"
  [ "$(little_endian "$hex" "$at" 2)" = 0800 ] ||
    fail "$exe: DependentLoadFlags is $(little_endian "$hex" "$at" 2), not 0800"
}

for pair in "GUI:$updater" "CUI:$cli"; do
  exe=${pair#*:}
  headers=$("$objdump" -p "$exe")
  grep -qE "^Subsystem.*\(Windows ${pair%%:*}\)$" <<<"$headers" || fail "$exe is not a ${pair%%:*} program"
  [ "$(grep -cE '^\s+(DYNAMIC_BASE|NX_COMPAT|TERMINAL_SERVICE_AWARE)$' <<<"$headers")" -eq 3 ] ||
    fail "$exe lacks ASLR, DEP or Terminal Services awareness"
  grep -qE '^Entry d 0+ 0+ Delay Import Directory$' <<<"$headers" || fail "$exe delay-loads DLLs"
  check_load_config "$exe" "$headers"
  dlls=$(sed -n 's/^\tDLL Name: \(.*\)\.dll$/\1/ip' <<<"$headers" | tr '[:upper:]' '[:lower:]')
  [ -n "$dlls" ] || fail "$exe imports nothing"
  for dll in $dlls; do
    echo "$exe imports $dll.dll"
    if [ "$dll" = comctl32 ]; then
      grep -qa 'name="Microsoft.Windows.Common-Controls"' "$exe" ||
        fail "$exe: comctl32 without the manifest's side-by-side assembly is searched for beside it"
    elif [[ " $known " != *" $dll "* ]]; then
      fail "$exe: $dll.dll is no KnownDLL"
    elif [[ " $pulls_unknown " == *" $dll "* ]]; then
      fail "$exe: $dll.dll loads a DLL that is no KnownDLL"
    fi
  done
done

# The version texts as the resource compiler prints them back: UTF-16 beyond ASCII.
wide() { python3 -c 'import sys; print("".join(c if ord(c) < 128 else "\\x%04x" % ord(c) for c in sys.argv[1]))' "$1"; }
product="L\"$(wide '『Morvanth「Quelline」アーカイヴ　Vol.3』専用更新ソフト')\""
expect() {  # EXE LINE...: each LINE is in the resources, or with "~" first, a line matches it
  local rc
  rc=$("$windres" -J coff -O rc -i "$1")
  for line in "${@:2}"; do
    if [ "${line:0:1}" = "~" ]; then grep -qE -- "${line:1}" <<<"$rc"; else grep -qF -- "$line" <<<"$rc"; fi ||
      fail "$1 lacks $line"
  done
}
expect "$updater" 'BLOCK "041104b0"' "VALUE \"ProductName\", $product" \
  "VALUE \"FileDescription\", $product" 'VALUE "FileVersion", "1.00"' 'VALUE "ProductVersion", "1.00"' \
  '~VALUE "CompanyName", "[^"]' '~VALUE "LegalCopyright", "[^"]' RT_GROUP_ICON
expect "$cli" 'BLOCK "040904b0"' "VALUE \"ProductName\", $product" \
  '~VALUE "FileDescription", .* console updater"' 'VALUE "FileVersion", "1.00"' \
  'VALUE "ProductVersion", "1.00"' 'VALUE "OriginalFilename", "qrv3-updater-cli.exe"' \
  'level=""asInvoker""' '>true</longPathAware>' 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
  4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
  8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
