#!/usr/bin/env bash
# A DLL planted beside the updater is never loaded, under any name either program loads. Both
# programs update a demo installation under Wine once to learn those names (+loaddll: every
# process of the prefix, so more than the two programs load), then once more with a DLL that
# leaves a mark when loaded copied beside them under each of those names and the names of the
# table below; no mark may appear, and both must still update. The console updater is the build
# with the demo's digest, so that it loads bcrypt. Each library the programs load at run time
# (Wine's relay of their own LoadLibraryExW calls) is named by its System32 path and loaded with
# LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800), so that what it imports in turn is looked for in System32
# only, never in the current folder or along PATH.
#
# planted_dlls_test.sh BUILD_DIR MARK_DLL (a Windows build, with its wine-run and gui-run)
set -uo pipefail
build=$1 mark=$2
# Loaded only on some systems or paths that these runs do not take: shcore for the DPI of a
# monitor on Windows 8.1, mpr for the name of a network drive.
also_loaded="shcore mpr"
source "$(dirname "$0")/wine_script.sh" planted
updater="$work/updater"
mkdir -p "$updater"
cli=qrv3-updater-cli-demo-digest.exe
cp "$build/app/win32/qrv3-updater.exe" "$build/cli/$cli" "$updater/"
# Only the two programs' own calls of LoadLibraryExW are relayed (Wine's default list of callers
# left out would take precedence over the list of those let in).
relay() { "$build/wine-run" reg "$@" >/dev/null 2>&1 || fail "reg $*"; }
debug='HKCU\Software\Wine\Debug'
relay add "$debug" /v RelayInclude /d kernel32.LoadLibraryExW /f
relay add "$debug" /v RelayFromInclude /d "$cli;qrv3-updater.exe" /f
relay delete "$debug" /v RelayFromExclude /f
# With the default install folder missing, the window opens the product's folder under the
# 32-bit program-files folder (through shell32) and updates the installation found there.
window_install='c:\Program Files (x86)\Brackwell\Morvanth「Quelline」アーカイヴ'

# run NAME WINEDEBUG: both programs on fresh installations; their traces in $work/NAME.log.
run() {
  local log="$work/$1.log"
  rm -rf "$work/install" "$QRV3_WINEPREFIX/drive_c/Program Files (x86)/Brackwell"
  make_demo "$(dos "$work/install")" "$(dos "$updater")" &&
    make_demo "$window_install" ||
    { fail "$1: no demo installation"; return; }
  WINEDEBUG=$2 "$build/wine-run" "$updater/$cli" "$(dos "$work/install")\\" \
    >/dev/null 2>"$log"
  local status=$?
  [ "$status" = 0 ] || fail "$1: the console updater exited with $status"
  WINEPREFIX="$QRV3_WINEPREFIX" /usr/lib/wine/wineserver -w
  WINEDEBUG=$2 "$build/gui-run" "$build/tools/qrv3-demo-driver.exe" "$(dos "$updater/qrv3-updater.exe")" \
    "$(dos "$work/before.bmp")" "$(dos "$work/after.bmp")" 2>>"$log" | tr -d '\r' >"$work/shown"
  grep -q '^after: 更新が終了しました。' "$work/shown" || fail "$1: the window says $(grep '^after' "$work/shown")"
}

run listed +loaddll,+relay
loads=$(grep -a 'Call KERNEL32.LoadLibraryExW(' "$work/listed.log")
for dll in bcrypt shell32; do
  grep -qi "system32\\\\\\\\$dll\.dll\"" <<<"$loads" || fail "$dll.dll was not loaded at run time: $loads"
done
grep -aviE '^[0-9a-f]+:Call KERNEL32\.LoadLibraryExW\([0-9a-f]+ L"C:\\\\windows\\\\system32\\\\[a-z0-9]+\.dll",0+,0+800\) ' <<<"$loads" >&2 &&
  fail "a library was loaded otherwise than from System32 with LOAD_LIBRARY_SEARCH_SYSTEM32"
names=$( (sed -n 's/.*:loaddll:.*Loaded L".*\\\([^\\]*\)\.dll" at .*/\1/ip' "$work/listed.log"
          tr ' ' '\n' <<<"$also_loaded") | tr '[:upper:]' '[:lower:]' | sort -u)
[ "$(wc -w <<<"$names")" -ge 10 ] || fail "too few DLL names learnt: $names"
for name in $names; do cp "$mark" "$updater/$name.dll"; done
echo "planted beside the updater: $(echo $names)"

run planted +loaddll
for found in "$updater"/*.mark; do
  [ -e "$found" ] && fail "$(basename "$found" .mark) was loaded from beside the updater"
done
# Wine names a DLL found beside the exe by that path even when it runs its own builtin code
# instead: a native one is what ran the planted code.
grep -i ':loaddll:.*Loaded L"Z:.*\\updater\\\\[^\\]*\.dll" at .*: native' "$work/planted.log" >&2 &&
  fail "a DLL was loaded from beside the updater"

[ $failures = 0 ] && echo passed || { echo "failed: $failures"; exit 1; }
