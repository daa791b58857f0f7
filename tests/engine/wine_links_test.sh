#!/usr/bin/env bash
# Wine shows a Unix symbolic link as the file or folder it points to. The real console updater
# and the real window, under Wine, on installations with links planted where the updater cleans
# up or in its Database folder's place (each call's refusal of a link is env_tests'), with an
# owner-only database, and more than 260 characters deep: nothing outside the installation
# changes, a refusal is a failure, and success means the new database, whole and flushed with
# its folder.
#
# wine_links_test.sh BUILD_DIR (a Windows build, with its wine-run and gui-run)
set -uo pipefail
build=$1
source "$(dirname "$0")/wine_script.sh" links
# Every file and link outside the installation, with its bytes and permission bits.
outside_state() { (cd "$1" && find . \( -type f -o -type l \) -printf '%p %m %l\n' -exec sha256sum {} \; | sort); }

# plant CASE INSTALL OUTSIDE: what an attacker or a clumsy user left.
plant() {
  local db="$2/Database" out=$3
  echo "not to be touched" > "$out/victim.txt"
  case $1 in
    leftover) ln -s "$out/victim.txt" "$db/P03.pac.0123456789abcdef.tmp"
              ln -s "$out/made-by-updater" "$db/P03.pac.1111111111111111.tmp"
              ln -s "$out/victim.txt" "$db/P03.pac.qrv3-new" ;;
    folder) mv "$db" "$out/Database" && ln -s "$out/Database" "$db" ;;
    private) chmod 600 "$db/p03.PAC" ;;
  esac
}

# The console updater: exit status 0 and the new database (its --check then says 3), or the
# rebuild failure 2 with a reason on stderr and the old database; either way its permission bits.
check_cli() {
  local case=$1 want=$2 dir="$work/cli-$1"
  # Past where Wine's GetFinalPathNameByHandleW gives up (error 234).
  [ "$case" = long ] && dir+=$(printf '/%0100d' 1 2 3)
  mkdir -p "$dir/outside" "$dir/updater"
  "$build/wine-run" "$build/tools/qrv3-make-demo.exe" "$(dos "$dir/install")" "$(dos "$dir/updater")" ||
    { fail "$case: no demo installation"; return; }
  cp "$build/cli/qrv3-updater-cli.exe" "$dir/updater/"
  local db="$dir/install/Database/p03.PAC" old_db old_mode before after status
  plant "$case" "$dir/install" "$dir/outside"
  old_db=$(sha256sum < "$db") old_mode=$(stat -c %a "$db") before=$(outside_state "$dir/outside")
  strace -f -qq -y --seccomp-bpf -e trace=fsync -o "$dir/fsyncs" \
    "$build/wine-run" "$dir/updater/qrv3-updater-cli.exe" "$(dos "$dir/install")\\" >"$dir/out" 2>"$dir/err"
  status=$?
  after=$(outside_state "$dir/outside")
  [ "$before" = "$after" ] || fail "$case: outside the installation changed: $(diff <(echo "$before") <(echo "$after"))"
  [ "$status" = "$want" ] || fail "$case: exit status $status, expected $want: $(cat "$dir/err")"
  [ "$(stat -c %a "$db")" = "$old_mode" ] || fail "$case: the database's mode became $(stat -c %a "$db")"
  if [ "$want" = 0 ]; then
    "$build/wine-run" "$dir/updater/qrv3-updater-cli.exe" --check "$(dos "$dir/install")\\" >/dev/null 2>&1
    [ $? = 3 ] || fail "$case: the database is not the new one, whole"
    grep -q "fsync([0-9]*<$dir/install/Database>)" "$dir/fsyncs" || fail "$case: the Database folder was not flushed"
  else
    grep -q . "$dir/err" || fail "$case: a refusal without a reason"
    [ "$(sha256sum < "$db")" = "$old_db" ] || fail "$case: the database changed"
  fi
  echo "console updater, $case: exit status $status"
}

for case in leftover:0 folder:2 private:0 long:0; do check_cli "${case%:*}" "${case#*:}"; done

# The window: the driver presses 「更新開始」 on the default install folder of a prefix of its own,
# or, long, types one as deep as the updater's own folder. Success is the new database, whole.
app='c:\Program Files\Brackwell\Morvanth「Quelline」アーカイヴ'
check_window() {
  local case=$1 want=$2 dir="$work/win" target=$app typed=()
  local install="$QRV3_WINEPREFIX/drive_c/Program Files/Brackwell/Morvanth「Quelline」アーカイヴ"
  rm -rf "$install" "$dir"
  if [ "$case" = long ]; then
    dir+=$(printf '/%0100d' 1 2 3) && install=$dir/install && target=$(dos "$install")
    typed=("$target\\")
  fi
  mkdir -p "$dir/outside" "$dir/updater"
  "$build/wine-run" "$build/tools/qrv3-make-demo.exe" "$target" "$(dos "$dir/updater")" ||
    { fail "window, $case: no demo installation"; return; }
  cp "$build/app/qrv3-updater.exe" "$build/cli/qrv3-updater-cli.exe" "$dir/updater/"
  plant "$case" "$install" "$dir/outside"
  local before after
  before=$(outside_state "$dir/outside")
  strace -f -qq -y --seccomp-bpf -e trace=fsync -o "$work/win/fsyncs" \
    "$build/gui-run" "$build/tools/qrv3-demo-driver.exe" "$(dos "$dir/updater/qrv3-updater.exe")" \
    "$(dos "$work/win/before.bmp")" "$(dos "$work/win/after.bmp")" "${typed[@]}" |
    tr -d '\r' > "$work/win/shown"
  after=$(outside_state "$dir/outside")
  [ "$before" = "$after" ] || fail "window, $case: outside the installation changed"
  grep -q "^after: $want" "$work/win/shown" || fail "window, $case: $(grep '^after' "$work/win/shown")"
  if [ "$want" = 更新が終了しました。 ]; then
    "$build/wine-run" "$dir/updater/qrv3-updater-cli.exe" --check "$target\\" >/dev/null 2>&1
    [ $? = 3 ] || fail "window, $case: the database is not the new one, whole"
    # strace escapes the bytes of the default folder's Japanese name; the long one has none.
    [ "$case" != long ] || grep -q "fsync([0-9]*<$install/Database>)" "$work/win/fsyncs" ||
      fail "window, $case: the Database folder was not flushed"
  fi
  echo "window, $case: $(grep '^button' "$work/win/shown")"
}
check_window folder '「Morvanthアーカイヴ Vol.3」が正しくインストールされていないか、'
check_window leftover '更新が終了しました。'
check_window long '更新が終了しました。'

# Nothing of the prefix's Wine outlives the programs the wrappers ran: it would hold the output
# pipes of whoever ran them, and the next program would join it.
left=$(for p in $(pgrep -f 'wineserver|\.exe'); do
         tr '\0' '\n' 2>/dev/null < "/proc/$p/environ" | grep -qx "WINEPREFIX=$QRV3_WINEPREFIX" &&
           ps -o args= -p "$p"
       done)
[ -z "$left" ] || fail "Wine outlived the programs: $left"

[ $failures = 0 ] && echo passed || { echo "failed: $failures"; exit 1; }
