# What the Wine test scripts share, sourced with a word for their folder's name: a temporary
# folder with a Wine prefix of its own (or several, prefix-*), removed at the end with whatever of Wine still runs in
# it; a failure counter; and the Windows name of a Linux path.
work=$(mktemp -d "${TMPDIR:-/tmp}/qrv3-$1.XXXXXX")
export QRV3_WINEPREFIX="$work/prefix"
cleanup() {
  for prefix in "$work"/prefix*; do
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
dos() { echo "Z:${1//\//\\}"; }
# The demo installation a case starts from (qrv3-make-demo's arguments); where it is not made,
# the maker's exit status and what it or Wine said, so that a failure names its cause.
make_demo() {
  local said status=0
  said=$("$build/wine-run" "$build/tools/qrv3-make-demo.exe" "$@" 2>&1) || status=$?
  [ $status = 0 ] || echo "qrv3-make-demo: exit status $status: $said" >&2
  return $status
}
