#!/usr/bin/env bash
# What a Windows program cannot make, planted from outside for the contract suite of the file
# services (env_test.cpp): Unix links, a FIFO, two names differing only in case, a folder that
# may be entered but not listed. `--plant DIR` plants them in DIR (the native suite asks so
# itself); `PROGRAM [RUNNER]` in a new folder, then runs PROGRAM's suite (through wine-run: Z:\).
set -euo pipefail
plant() {
  cd "$1"
  echo target > target.txt
  mkdir folder && echo inside > folder/inside.txt
  for name in link lock-link remove-link; do ln -s target.txt $name; done
  ln -s nowhere dangling && ln -s nowhere remove-dangling && ln -s folder folder-link
  mkfifo fifo
  echo upper > Two && echo lower > two
  mkdir unreadable && echo x > unreadable/entry && chmod 311 unreadable
}
if [ "$1" = --plant ]; then plant "$2"; exit; fi
program=$1
shift
dir=$(mktemp -d "${TMPDIR:-/tmp}/qrv3-env.XXXXXX")
trap 'chmod -R u+rwx "$dir"; rm -rf "$dir"' EXIT
(plant "$dir")
planted=$dir
[ $# = 0 ] || planted="Z:${dir//\//\\}"
QRV3_PLANTED=$planted GTEST_FILTER='Env/ContractTest.*' "$@" "$program"
