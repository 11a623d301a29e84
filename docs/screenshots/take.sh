#!/usr/bin/env bash
# Takes the pictures in this folder: the program against the virtual
# programmer on a virtual 1280 x 1024 screen with a window manager, the main
# window maximised and at its design size (client 792 x 573) with a file
# loaded and the chip lists filled, the fuse dialog, the settings dialog's
# three tabs, a context menu, the about box and the save dialog.
#   docs/screenshots/take.sh [OUTDIR]     (default: this folder)
# Needs, beyond scripts/bootstrap: openbox xdotool imagemagick x11-utils.
# Build first (cmake --build --preset dev).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
out=$(realpath -m "${1:-docs/screenshots}")
mkdir -p "$out"

work=$(mktemp -d "${TMPDIR:-/tmp}/takt-m-shots.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

display=:$(( 90 + RANDOM % 400 ))
while [ -e "/tmp/.X${display#:}-lock" ]; do display=:$(( ${display#:} + 1 )); done
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
openbox >"$work/wm.log" 2>&1 &
pids+=($!)
sleep 1

"$root/build/dev/devsim/takt-m-devsim" --link "$work/port" \
  --memory-dir "$work/chips" >"$work/devsim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "$work/port" ] && break; sleep 0.05; done

# Files to pick: a raw image with a Cyrillic name (sorted first), raw and HEX.
mkdir -p "$work/files"
head -c 49152 /dev/urandom >"$work/files/прошивка-контроллера-v2.bin"
head -c 3000 /dev/urandom >"$work/files/demo.bin"
objcopy -I binary -O ihex "$work/files/demo.bin" "$work/files/demo.hex"
mkdir -p "$work/config/ZARVENTIK"
cat >"$work/config/ZARVENTIK/TAKT-M.conf" <<CONF
[General]
ComPort=$work/port
Bitrate=56000
Parity=-1
Path=$work/files
CONF
XDG_CONFIG_HOME="$work/config" "$root/build/dev/src/app/takt-m" \
  >"$work/app.log" 2>&1 &
pids+=($!)
sleep 4

geom() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4}
    /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2}
    END{print x, y, w, h}'
}
click() { xdotool mousemove "$1" "$2" click "${3:-1}"; sleep "${4:-0.7}"; }
win() { xdotool search --name "$1" | tail -1; }
shot() { import -frame -window "$1" "$out/$2"; }

take() {  # take MODE: max | design
  local mode=$1 main
  main=$(win "ТАКТ|Программатор")
  if [ "$mode" = design ]; then
    xdotool mousemove 600 8 click --repeat 2 --delay 80 1  # unmaximise
    sleep 1
    xdotool windowsize "$main" 792 573
    sleep 0.5
    xdotool windowmove "$main" 219 122
    sleep 1
  fi
  local X Y W H
  read -r X Y W H < <(geom "$main")
  # Where the areas lie, from the window's layout rules.
  local gh=$(( H - 19 - 29 - 10 )) g1w=$(( W / 3 - 5 ))
  local tree_h=$(( ((gh - 42) / 5) * 2 - 10 ))
  local list_top=$(( 42 + tree_h + 5 )) g2l=$(( 10 + g1w ))
  local g3t=$(( 34 + ((H - 19 - 29) / 3) * 2 - 10 + 5 ))
  local row_x=$(( X + g2l + 30 ))

  click $(( X + 35 )) $(( Y + 34 + list_top + 24 )) 1 1.5  # first file
  click "$row_x" $(( Y + 34 + 23 + 26 )) 1 2.5              # DEMO-8K
  [ "$mode" = max ] && shot "$main" main.png
  [ "$mode" = design ] && shot "$main" main-800x600.png
  [ "$mode" = design ] && return

  click "$row_x" $(( Y + g3t + 23 + 26 )) 1 2  # "Записать FUSE биты"
  local fuse
  fuse=$(win "Fuse биты")
  shot "$fuse" fuse.png
  xdotool windowunmap "$fuse"

  click $(( X + 140 )) $(( Y + 14 )) 1 1.5  # "Настройки"
  local set sx sy sw sh
  set=$(win "Настройки")
  read -r sx sy sw sh < <(geom "$set")
  click $(( sx + 22 )) $(( sy + 12 ));  shot "$set" settings-link.png
  click $(( sx + 100 )) $(( sy + 12 )); shot "$set" settings-programming.png
  click $(( sx + 200 )) $(( sy + 12 )); shot "$set" settings-files.png
  click $(( sx + 22 )) $(( sy + 12 ))
  click $(( sx + 240 )) $(( sy + 88 )) 3 1  # the speed field's menu
  import -window root -crop "$(( sw + 120 ))x$(( sh + 30 ))+$(( sx - 5 ))+$(( sy - 25 ))" \
    "$out/context-menu.png"
  xdotool key Escape; sleep 0.3; xdotool key Escape; sleep 0.7

  click $(( X + 247 )) $(( Y + 14 )) 1 1.5  # "О программаторе"
  shot "$(win "О программаторе")" about.png
  xdotool key Escape; sleep 0.7

  click $(( X + 40 )) $(( Y + 14 )) 1 2  # "Сохранить буфер в файл"
  shot "$(win "Сохранить как|Save As")" save.png
  xdotool key Escape; sleep 0.7
}

take max
take design
echo "pictures in $out"
