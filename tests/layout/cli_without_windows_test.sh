#!/usr/bin/env bash
# takt-m-cli links the core and the port and settings layer only: no Qt
# Widgets or Gui among the libraries it needs, and no window class in it.
# Skipped (77) where binutils' objdump or nm is missing.
set -euo pipefail
cli=$1
command -v objdump > /dev/null && command -v nm > /dev/null || {
  echo "objdump or nm missing: skipped"; exit 77; }

needed=$(objdump -p "$cli" | awk '$1 == "NEEDED" { print $2 }')
if grep -E 'Qt6(Widgets|Gui)' <<< "$needed"; then
  echo "takt-m-cli needs the libraries above"; exit 1
fi
windows=$(nm -C "$cli" | grep -c 'TForm' || true)
if [ "$windows" -ne 0 ]; then
  echo "takt-m-cli carries $windows symbols of the windows (TForm…)"; exit 1
fi
echo "takt-m-cli needs no Widgets or Gui and carries no window"
