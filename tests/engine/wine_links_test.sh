#!/usr/bin/env bash
# Wine shows a Unix link as the file or folder it points to. The real console updater and window
# under Wine, on installations with links planted where the updater cleans up, in the Database
# folder's or the database's place (also to a sibling differing only in letter case), with an
# owner-only database, and over 260 characters deep: nothing outside the installation changes, a
# refusal changes nothing, and success is the new database, whole and flushed with its folder.
#
# wine_links_test.sh BUILD_DIR (a Windows build, with its wine-run and gui-run)
set -uo pipefail
build=$1
source "$(dirname "$0")/wine_script.sh" links
# Every file and link under a folder, with its bytes (a link's, where it leads to a file) and
# permission bits.
outside_state() {
  (cd "$1" && find . \( -type f -o -type l \) -printf '%p %m %l\n' \( -xtype f -exec sha256sum {} \; -o -true \) |
    sort)
}

# plant CASE INSTALL OUTSIDE: what an attacker or a clumsy user left.
plant() {
  local db="$2/Database" out=$3
  echo "not to be touched" > "$out/victim.txt"
  case $1 in
    leftover) ln -s "$out/victim.txt" "$db/P03.pac.0123456789abcdef.tmp"
              ln -s "$out/made-by-updater" "$db/P03.pac.1111111111111111.tmp"
              ln -s "$out/victim.txt" "$db/P03.pac.qrv3-new" ;;
    folder) mv "$db" "$out/Database" && ln -s "$out/Database" "$db" ;;
    # On a case-sensitive disk, a link to a name that differs only in letter case.
    folder-case) mv "$db" "$2/DATABASE" && ln -s DATABASE "$db" ;;
    file-case) mkdir "$2/DATABASE" && mv "$db/p03.PAC" "$2/DATABASE/" &&
               ln -s ../DATABASE/p03.PAC "$db/p03.PAC" ;;
    private) chmod 600 "$db/p03.PAC" ;;
    # Run under umask 002: a folder the group may write, whose default access list lets the group
    # into every new file.
    group) chmod 600 "$db/p03.PAC" && chmod 775 "$db" && setfacl -d -m g::rw- "$db" ;;
  esac
}

# The console updater: exit status 0 and the new database (its --check then says 3), or the
# rebuild failure 2 with a reason on stderr and the old database; either way its permission bits.
# A temporary file is open to its owner alone from the moment it is made (Wine's server makes it
# with open(), traced with its mode): no one else can open it and write it after it was hashed,
# or keep it open past the replace to write the database.
check_cli() {
  local case=$1 want=$2 dir="$work/cli-$1"
  # Past where Wine's GetFinalPathNameByHandleW gives up (error 234).
  [ "$case" = long ] && dir+=$(printf '/%0100d' 1 2 3)
  mkdir -p "$dir/outside" "$dir/updater"
  make_demo "$(dos "$dir/install")" "$(dos "$dir/updater")" ||
    { fail "$case: no demo installation"; return; }
  cp "$build/cli/qrv3-updater-cli.exe" "$dir/updater/"
  local db="$dir/install/Database/p03.PAC" old_db old_mode before after status
  plant "$case" "$dir/install" "$dir/outside"
  old_db=$(sha256sum < "$db") old_mode=$(stat -c %a "$db") before=$(outside_state "$dir/outside")
  local installed
  installed=$(outside_state "$dir/install")
  local mask=022
  [ "$case" = group ] && mask=002
  (umask $mask && strace -f -qq -y --seccomp-bpf -e trace=fsync,openat -o "$dir/syscalls" \
    "$build/wine-run" "$dir/updater/qrv3-updater-cli.exe" "$(dos "$dir/install")\\" >"$dir/out" 2>"$dir/err")
  status=$?
  local made
  made=$(grep -E 'P03\.pac\.[0-9a-f]{16}\.tmp", [A-Z_|]*O_CREAT' "$dir/syscalls")
  # strace shows a call unfinished where another thread's comes meanwhile.
  grep -vE ', 0600(\) = | <unfinished)' <<<"$made" | grep . && fail "$case: a temporary file was made open to others"
  [ "$want" != 0 ] || grep -q . <<<"$made" || fail "$case: no temporary file made seen"
  after=$(outside_state "$dir/outside")
  [ "$before" = "$after" ] || fail "$case: outside the installation changed: $(diff <(echo "$before") <(echo "$after"))"
  [ "$status" = "$want" ] || fail "$case: exit status $status, expected $want: $(cat "$dir/out" "$dir/err")"
  [ "$(stat -c %a "$db")" = "$old_mode" ] || fail "$case: the database's mode became $(stat -c %a "$db")"
  if [ "$want" = 0 ]; then
    "$build/wine-run" "$dir/updater/qrv3-updater-cli.exe" --check "$(dos "$dir/install")\\" >/dev/null 2>&1
    [ $? = 3 ] || fail "$case: the database is not the new one, whole"
    grep -q "fsync([0-9]*<$dir/install/Database>[) ]" "$dir/syscalls" || fail "$case: the Database folder was not flushed"
  else
    grep -q . "$dir/err" || fail "$case: a refusal without a reason"
    [ "$(sha256sum < "$db")" = "$old_db" ] || fail "$case: the database changed"
    [ "$(outside_state "$dir/install")" = "$installed" ] || fail "$case: the installation changed"
  fi
  echo "console updater, $case: exit status $status"
}


# The window: the driver presses 「更新開始」 on the default install folder of a prefix of its own,
# or, long, types one as deep as the updater's own folder. Success is the new database, whole.
app='c:\Program Files\Brackwell\Morvanth「Quelline」アーカイヴ'
check_window() {
  local case=$1 want=$2 dir="$work/win-$1" target=$app typed=() out="$work/win-$1"
  local install="$QRV3_WINEPREFIX/drive_c/Program Files/Brackwell/Morvanth「Quelline」アーカイヴ"
  if [ "$case" = long ]; then
    dir+=$(printf '/%0100d' 1 2 3) && install=$dir/install && target=$(dos "$install")
    typed=("$target\\")
  fi
  mkdir -p "$dir/outside" "$dir/updater"
  make_demo "$target" "$(dos "$dir/updater")" ||
    { fail "window, $case: no demo installation"; return; }
  cp "$build/app/win32/qrv3-updater.exe" "$build/cli/qrv3-updater-cli.exe" "$dir/updater/"
  plant "$case" "$install" "$dir/outside"
  local before after
  before=$(outside_state "$dir/outside")
  # Traced only where the flush is checked: under ptrace, Wine's windows take several times the
  # processor time.
  local trace=()
  [ "$case" != long ] || trace=(strace -f -qq -y --seccomp-bpf -e trace=fsync -o "$out.fsyncs")
  "${trace[@]}" "$build/gui-run" "$build/tools/qrv3-demo-driver.exe" "$(dos "$dir/updater/qrv3-updater.exe")" \
    "$(dos "$out-before.bmp")" "$(dos "$out-after.bmp")" "${typed[@]}" |
    tr -d '\r' > "$out.shown"
  after=$(outside_state "$dir/outside")
  [ "$before" = "$after" ] || fail "window, $case: outside the installation changed"
  grep -q "^after: $want" "$out.shown" || fail "window, $case: $(grep '^after' "$out.shown")"
  if [ "$want" = 更新が終了しました。 ]; then
    "$build/wine-run" "$dir/updater/qrv3-updater-cli.exe" --check "$target\\" >/dev/null 2>&1
    [ $? = 3 ] || fail "window, $case: the database is not the new one, whole"
    # strace escapes the bytes of the default folder's Japanese name; the long one has none.
    [ "$case" != long ] || grep -q "fsync([0-9]*<$install/Database>[) ]" "$out.fsyncs" ||
      fail "window, $case: the Database folder was not flushed"
  fi
  echo "window, $case: $(grep '^button' "$out.shown")"
}

# Every case side by side, each in a prefix of its own: a case's trace must hold the calls of the
# Wine server its own programs started (the server creates the files), and one case's waiting for
# Wine is another's working time. Their reports in order, then.
cases=(cli:leftover:0 cli:folder:2 cli:folder-case:2 cli:file-case:2 cli:private:0 cli:group:0 cli:long:0
       "window:folder:「Morvanthアーカイヴ Vol.3」が正しくインストールされていないか、"
       window:leftover:更新が終了しました。 window:long:更新が終了しました。)
for case in "${cases[@]}"; do
  IFS=: read -r how name want <<<"$case"
  # Four at a time: more would only make each wait for the processor.
  while [ "$(jobs -rp | wc -l)" -ge 4 ]; do wait -n; done
  (QRV3_WINEPREFIX="$work/prefix-$how-$name" "check_$how" "$name" "$want") >"$work/$how-$name.log" 2>&1 &
done
wait
cat "$work"/cli-*.log "$work"/window-*.log
failures=$(cat "$work"/cli-*.log "$work"/window-*.log | grep -c '^FAIL: ')

# Nothing of the prefix's Wine outlives the programs the wrappers ran: it would hold the output
# pipes of whoever ran them, and the next program would join it.
left=$(for p in $(pgrep -f 'wineserver|\.exe'); do
         tr '\0' '\n' 2>/dev/null < "/proc/$p/environ" | grep -q "^WINEPREFIX=$work/prefix" &&
           ps -o args= -p "$p"
       done)
[ -z "$left" ] || fail "Wine outlived the programs: $left"

[ $failures = 0 ] && echo passed || { echo "failed: $failures"; exit 1; }
