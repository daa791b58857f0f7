#!/usr/bin/env bash
# scripts/qrv3-wine in a prefix of its own: in a Japanese locale when the system has one; without
# one, a Japanese font linked to the caption font, once however often it runs.
# Usage: qrv3_wine_test.sh SCRIPT PREFIX
set -euo pipefail
script=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 LC_ALL=C.UTF-8
export HOME="${HOME:-$(dirname "$WINEPREFIX")}"
shims=$(mktemp -d)
trap 'rm -rf "$shims"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# With the locale: the program runs in it.
mkdir "$shims/ja" "$shims/none"
printf '#!/bin/sh\nprintf "C\\nC.utf8\\nja_JP.utf8\\n"\n' >"$shims/ja/locale"
printf '#!/bin/sh\nprintf "C\\nC.utf8\\nPOSIX\\n"\n' >"$shims/none/locale"
printf '#!/bin/sh\necho "$LANG $LC_ALL $*"\n' >"$shims/fake-wine"
chmod +x "$shims/ja/locale" "$shims/none/locale" "$shims/fake-wine"
got=$(PATH="$shims/ja:$PATH" WINE="$shims/fake-wine" "$script" app.exe arg)
[ "$got" = "ja_JP.UTF-8 ja_JP.UTF-8 app.exe arg" ] || fail "with the locale: $got"

# Without it: the caption font gets a Japanese font linked, in the real Wine.
wine=/usr/lib/wine/wine64
font_file=$(fc-match -f '%{file}' 'sans-serif:lang=ja')
fc-list ':lang=ja' file | grep -qxF "$font_file: " || fail "this machine has no Japanese font"
entry="$(basename "$font_file"),"
# A new prefix is finished in the background of its first program: made whole first, so that the
# second run does not meet it half made.
"$wine" wineboot -i >/dev/null 2>&1 && /usr/lib/wine/wineserver -w
for run in 1 2; do
  PATH="$shims/none:$PATH" WINE=$wine "$script" cmd /c exit 0 || fail "run $run"
done
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
face=$($wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
  /v 'MS Shell Dlg' | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p')
links=$($wine reg query "$key" /v "$face" | tr -d '\r' | sed -n 's/.*REG_MULTI_SZ[[:space:]]*//p')
# Ours first, once, and Wine's own links for the face kept after it.
[[ $links == "$entry"*'\0'* ]] || fail "$face is linked to: $links"
[ "$(grep -o "$entry" <<<"$links" | wc -l)" -eq 1 ] || fail "linked more than once: $links"
echo "qrv3-wine: $face linked to ${entry%,}"
