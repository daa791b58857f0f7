# What the Wine test scripts share, sourced with a word for their folder's name: a temporary
# folder with a Wine prefix of its own, removed at the end with whatever of Wine still runs in
# it; a failure counter; and the Windows name of a Linux path.
work=$(mktemp -d "${TMPDIR:-/tmp}/qrv3-$1.XXXXXX")
export QRV3_WINEPREFIX="$work/prefix"
cleanup() {
  WINEPREFIX="$QRV3_WINEPREFIX" /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
dos() { echo "Z:${1//\//\\}"; }
