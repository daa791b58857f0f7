#!/usr/bin/env bash
# make dist as a maker runs it, in two clones of this working tree at different paths, one a year
# and more later in another time zone and umask: the same bytes; sums, read-me, zip and signatures
# that hold up; signed and with the digest of the database, the shipped 32-bit console updater
# updating an installation under Wine. (How it refuses damaged pieces, cli_tests shows.)
# Minutes of compiling that learn nothing new from the same inputs (every file a clone takes, the
# commit, the installed packages): where they passed for this very tree, reported skipped.
# dist_test.sh SOURCE_DIR MAKE_DEMO (the native demo-installation generator) PASSED (the last pass)
set -euo pipefail
src=$1 make_demo=$2 passed=$3
inputs=$( (cd "$src" && git log -1 --format='%H %ct' && git ls-files -z -co --exclude-standard |
           LC_ALL=C sort -z | xargs -0 sha256sum 2>&1; dpkg-query -W) | sha256sum) || inputs=unknown
if [ "$inputs" != unknown ] && [ "$(sed -n 1p "$passed" 2>/dev/null)" = "$inputs" ]; then
  echo "skipped: the release checks passed for this very tree $(sed -n 2p "$passed")" && exit 0
fi
rm -f "$passed"
work=$(mktemp -d "${TMPDIR:-/tmp}/qrv3-dist.XXXXXX")
cleanup() {
  # Wine's server outlives the programs it ran and writes to its prefix until it ends.
  for prefix in "$work"/a/qrv3-updater/build/release-windows{,32}/wineprefix; do
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
name=qrv3-updater-1.0
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A clone with the working tree's changes on top: the code as it stands, committed or not.
clone() {
  git clone -q --no-hardlinks "$src" "$1"
  git -C "$1" checkout -q --detach "$(git -C "$src" rev-parse HEAD)"
  (cd "$src" && git ls-files -z -co --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -xf - -C "$1"
}

a="$work/a/qrv3-updater"
b="$work/b/別の 場所/qrv3-updater"
clone "$a"
clone "$b"

# Two builds side by side: each waits on its own linking and configuring as much as it computes.
echo "== make dist in $a and, side by side, in $b, 400 days on, another time zone and umask"
make -C "$a" dist JOBS=2 >"$work/a.log" 2>&1 &
pid_a=$!
status_b=0
(umask 077; TZ=America/Los_Angeles faketime -f +400d make -C "$b" dist JOBS=2) >"$work/b.log" 2>&1 ||
  status_b=$?
wait $pid_a || { cat "$work/a.log"; fail "make dist in $a"; exit 1; }
[ $status_b = 0 ] || { cat "$work/b.log"; fail "make dist in $b"; exit 1; }
out_a=$(cat "$work/a.log")
echo "$out_a" | grep '^dist:\|bytes'

# --- Reproducible: every file of the folder and the zip, byte for byte.
diff -r "$a/build/dist/$name" "$b/build/dist/$name" || fail "the two folders differ"
cmp "$a/build/dist/$name.zip" "$b/build/dist/$name.zip" || fail "the two zips differ"

# --- The folder holds what the maker hands out, and the sums cover every file.
dist="$a/build/dist/$name"
expected="SHA256SUMS
x64/qrv3-updater-cli.exe
x64/qrv3-updater.exe
x86/qrv3-updater-cli.exe
x86/qrv3-updater.exe
お読みください.txt"
listed=$(cd "$dist" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$listed" = "$expected" ] || fail "the folder holds: $listed"
summed=$(sed 's/^[0-9a-f]\{64\}  //' "$dist/SHA256SUMS")
[ "$summed" = "$(echo "$expected" | grep -vx SHA256SUMS)" ] || fail "SHA256SUMS names: $summed"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "the sums do not match the files"
echo "$out_a" | grep -q 'unsigned' || fail "make dist without a certificate did not say so"
! echo "$out_a" | grep -q 'SHA-256' || fail "make dist without a digest named one"

# Each exe for its processor; what Windows reads before running it, as the build's tests read it.
for arch in x64:pei-x86-64 x86:pei-i386; do
  for exe in "$dist/${arch%%:*}"/*.exe; do
    x86_64-w64-mingw32-objdump -f "$exe" | grep -q "file format ${arch#*:}" || fail "$exe is not ${arch#*:}"
  done
  bash "$src/tests/engine/imports_test.sh" x86_64-w64-mingw32-objdump x86_64-w64-mingw32-windres \
    "$dist/${arch%%:*}/qrv3-updater.exe" "$dist/${arch%%:*}/qrv3-updater-cli.exe" >"$work/imports.log" ||
    { cat "$work/imports.log"; fail "the ${arch%%:*} exes as Windows reads them"; }
done

# --- The read-me, as Notepad on Windows 7 needs it: a byte-order mark, UTF-8, CRLF only.
readme="$dist/お読みください.txt"
[ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "the read-me has no BOM"
iconv -f UTF-8 -t UTF-16LE "$readme" >/dev/null || fail "the read-me is not UTF-8"
[ "$(tr -d '\r' <"$readme" | wc -c)" -eq "$(($(wc -c <"$readme") - $(wc -l <"$readme")))" ] ||
  fail "the read-me has line ends other than CRLF"

# --- The zip: the folder under its own name, dated by the last commit, the read-me's name in
# Shift_JIS for the zip folders of Japanese Windows and in UTF-8 for everyone else.
mkdir "$work/unzipped"
unzip -q "$a/build/dist/$name.zip" -d "$work/unzipped"
diff -r "$dist" "$work/unzipped/$name" || fail "the zip does not unpack to the folder"
epoch=$(git -C "$a" log -1 --format=%ct)
python3 - "$a/build/dist/$name.zip" "$name" "$(date -u -d "@$epoch" '+%Y %-m %-d %-H %-M %-S')" \
  <<'PY' || fail "the zip's names or dates"
import sys, zipfile
path, name, when = sys.argv[1], sys.argv[2], [int(x) for x in sys.argv[3].split()]
when[5] -= when[5] % 2  # DOS times count two-second steps
with zipfile.ZipFile(path, metadata_encoding="cp932") as z:
    names = [i.filename for i in z.infolist()]
    assert names == sorted(names), names
    assert name + "/お読みください.txt" in names, names
    for i in z.infolist():
        assert list(i.date_time) == when, (i.filename, i.date_time, when)
        assert not i.flag_bits & 0x800, i.filename
PY

# --- Signed, and with the digest of the database the generated pieces make (sha256sum of it,
# computed once outside): a throwaway certificate; each exe verifies against it, the sums follow
# the signed exes, and a signed exe that was changed afterwards fails.
digest=26EA75327C5AF9BA92877D2FADDA9D2B7664442EC1320EA701A9EC03D9F881B8
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=qrv3 test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
pids=()
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:"te st" \
  -out "$work/cert.pfx"
for clone in a b; do
  make -C "${!clone}" dist JOBS=2 QRV3_SIGN_PFX="$work/cert.pfx" QRV3_SIGN_PASSWORD="te st" \
    DATABASE_SHA256=$digest >"$work/signed-$clone.log" 2>&1 &
  pids+=($!)
done
for clone in a b; do
  wait "${pids[0]}" || { cat "$work/signed-$clone.log"; fail "make dist signed in $clone"; }
  pids=("${pids[@]:1}")
  [ "$(grep -c '^dist: signed' "$work/signed-$clone.log")" -eq 4 ] || fail "not every exe was signed in $clone"
done
grep -q "^dist: .*SHA-256 ${digest,,}$" "$work/signed-a.log" || fail "make dist did not name the digest"
for exe in "$dist"/x*/*.exe; do
  grep -qa "${digest,,}" "$exe" || fail "$exe does not carry the digest"
done
# Built in folders of the release's own: no digest in the cache where the tests and the demo run.
[ ! -e "$a/build/windows" ] && [ ! -e "$a/build/windows32" ] || fail "make dist used build/windows*"
for exe in "$dist"/x*/*.exe; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$exe" >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log"; fail "$exe: the signature does not verify"; }
done
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "the sums do not match the signed files"
cmp "$a/build/dist/$name.zip" "$b/build/dist/$name.zip" || fail "the signed zips differ"
cp "$dist/x86/qrv3-updater.exe" "$work/changed.exe"
printf 'X' | dd of="$work/changed.exe" bs=1 seek=4096 conv=notrunc 2>/dev/null
! osslsigncode verify -CAfile "$work/cert.pem" -in "$work/changed.exe" >/dev/null 2>&1 ||
  fail "a changed exe still verifies"

# --- The shipped console updater, signed, updates a generated installation under Wine: the
# 32-bit one, or where this machine cannot start 32-bit programs (wine32-gate finds out), the
# 64-bit one, the 32-bit exes having been read above.
cmake --build "$a/build/release-windows32" --target wine32_probe >/dev/null
build=windows32 arch=x86 gate_status=0
gate=$("$a/build/release-windows32/wine32-gate" true 2>&1) || gate_status=$?
if [ "$gate_status" -eq 77 ]; then
  echo "dist: $gate"
  echo "skipped in part: the shipped 32-bit console updater does not run here; the 64-bit one runs instead"
  build=windows arch=x64
elif [ "$gate_status" -ne 0 ]; then
  echo "$gate"
  fail "32-bit programs do not start under Wine"
fi
mkdir -p "$work/install" "$work/updater"
"$make_demo" "$work/install" "$work/updater"
cp "$dist/$arch/qrv3-updater-cli.exe" "$work/updater/"
install_path="Z:$(echo "$work/install" | tr / '\\')\\"
cli_status=0
cli_out=$("$a/build/release-$build/wine-run" "$work/updater/qrv3-updater-cli.exe" "$install_path" |
  tr -d '\r') || cli_status=$?
[ "$cli_status" -eq 0 ] || fail "the $arch console updater exited with $cli_status: $cli_out"
[ "$cli_out" = "更新中
更新が終了しました。この更新ソフトをパソコンから削除して下さい。" ] || fail "it printed: $cli_out"
[ "$(stat -c %s "$work/install/Database/P03.pac" 2>/dev/null ||
     stat -c %s "$work/install/Database/p03.PAC")" -eq 12121535 ] || fail "the database was not rebuilt"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
printf '%s\non %s\n' "$inputs" "$(date -u '+%F %T UTC')" >"$passed"
echo "dist: all checks passed"
