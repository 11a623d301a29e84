#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under the prefix /usr, as the
# Debian package lays it out, and uses what was installed:
# - the desktop entry's Exec, Path and Icon name installed files, and Path
#   holds help/ruka.htm, which the about box's "Помощь" opens relative to
#   the folder the window was started in;
# - the installed window, started there, finds the installed virtual
#   programmer;
# - the installed takt-m-cli writes and verifies a chip of it;
# - the manual pages, the copyright file and the changelog are there and
#   read; the AppStream metainfo validates and names the desktop entry;
# - the udev rule that gives the seat's user the USB serial ports lands
#   where udev reads it and parses.
# Everything is written inside one temporary folder, removed at the end.
#   install_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1
source=$2
version=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/takt-m-install.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "install_test: $*" >&2
  exit 1
}

# The script `cmake --install` runs, with its list of installed files
# written into the temporary folder instead of the build folder.
script=$(<"$build/cmake_install.cmake")
[[ $script == *"file(WRITE \"$build/"* ]] || fail "no manifest line in $build/cmake_install.cmake"
printf '%s\n' "${script//"file(WRITE \"$build/"/"file(WRITE \"$work/"}" \
  >"$work/cmake_install.cmake"
dest=$work/root
DESTDIR=$dest cmake -DCMAKE_INSTALL_PREFIX=/usr -P "$work/cmake_install.cmake" \
  >"$work/install.log" || { cat "$work/install.log" >&2; fail "install failed"; }
[ -s "$work/install_manifest.txt" ] || fail "no manifest"

for program in takt-m takt-m-cli takt-m-devsim; do
  [ -x "$dest/usr/bin/$program" ] || fail "usr/bin/$program not installed"
done

# The desktop entry.
entry=$dest/usr/share/applications/takt-m.desktop
[ -f "$entry" ] || fail "no desktop entry"
value() { sed -n "s/^$1=//p" "$entry" | head -n 1; }
exec_line=$(value Exec)
path=$(value Path)
icon=$(value Icon)
[ "$(head -n 1 "$entry")" = "[Desktop Entry]" ] || fail "not a desktop entry"
[ "$(value Type)" = Application ] || fail "Type=$(value Type)"
[ "${exec_line%% *}" = /usr/bin/takt-m ] || fail "Exec=$exec_line"
[ -x "$dest${exec_line%% *}" ] || fail "Exec names no installed program"
[ -n "$path" ] && [ -f "$dest$path/help/ruka.htm" ] ||
  fail "Path=$path holds no help/ruka.htm"
cmp -s "$dest$path/help/ruka.htm" "$source/help/ruka.htm" ||
  fail "the installed manual differs from help/ruka.htm"
[ -n "$icon" ] || fail "no Icon"
for size in 16 32 48 256; do
  png=$dest/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png
  [ -f "$png" ] || fail "Icon=$icon: no ${size}x${size} PNG"
  [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "$png is no PNG"
done
[ -f "$dest/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no SVG icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "desktop-file-validate"
fi

# The manual pages, the copyright file and the changelog.
for program in takt-m takt-m-cli takt-m-devsim; do
  page=$dest/usr/share/man/man1/$program.1.gz
  [ -f "$page" ] || fail "no manual page for $program"
  title=$(echo "$program" | tr '[:lower:]' '[:upper:]')
  gzip -dc "$page" | grep -q "^\.TH $title 1" ||
    fail "the manual page of $program does not read"
done
doc=$dest/usr/share/doc/takt-m
grep -q '^License: MIT' "$doc/copyright" || fail "no MIT licence in the copyright file"
gzip -dc "$doc/changelog.gz" | head -n 1 | grep -q "^takt-m ($version) " ||
  fail "the changelog does not start with version $version"

# What software centres read: the metainfo names the installed entry.
metainfo=$(find "$dest/usr/share/metainfo" -name '*.metainfo.xml' | head -n 1)
[ -n "$metainfo" ] || fail "no AppStream metainfo"
grep -q '<launchable type="desktop-id">takt-m.desktop</launchable>' "$metainfo" ||
  fail "the metainfo does not name takt-m.desktop"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --pedantic --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$work/appstream.log")"
fi

# The udev rule: where udev reads rules, tagging the USB serial ttys for
# the seat's user. `udevadm verify` (systemd 253 and later) parses it;
# without it every line is checked to be KEY[{attr}]OP"value" pairs of keys
# udev knows, matches with == or !=, assignments with =, += or :=.
rule=
for dir in usr/lib/udev/rules.d lib/udev/rules.d; do
  [ -f "$dest/$dir/70-takt-m.rules" ] && rule=$dest/$dir/70-takt-m.rules && break
done
[ -n "$rule" ] || fail "no udev rule under usr/lib/udev/rules.d or lib/udev/rules.d"
if udevadm verify --help >/dev/null 2>&1; then
  udevadm verify --no-style "$rule" >"$work/udev.log" 2>&1 ||
    fail "udevadm verify: $(cat "$work/udev.log")"
fi
match_keys='ACTION|DEVPATH|KERNEL|KERNELS|SUBSYSTEM|SUBSYSTEMS|DRIVER|DRIVERS|ATTR|ATTRS|ENV|TAG|TAGS|TEST|PROGRAM|RESULT|NAME|SYMLINK'
set_keys='TAG|ENV|GROUP|MODE|OWNER|SYMLINK|NAME|RUN|OPTIONS|IMPORT|ATTR'
rules=0
while IFS= read -r line; do
  [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
  rules=$((rules + 1))
  rest=$line
  while [ -n "$rest" ]; do
    [[ $rest =~ ^[[:space:]]*([A-Z_]+)(\{[^}]+\})?[[:space:]]*(==|!=|\+=|:=|=)[[:space:]]*\"[^\"]*\"[[:space:]]*(,|$)(.*)$ ]] ||
      fail "udev rule, line does not parse: $line"
    key=${BASH_REMATCH[1]}
    op=${BASH_REMATCH[3]}
    rest=${BASH_REMATCH[5]}
    if [[ $op == "==" || $op == "!=" ]]; then
      [[ $key =~ ^($match_keys)$ ]] || fail "udev rule: $key cannot be matched: $line"
    else
      [[ $key =~ ^($set_keys)$ ]] || fail "udev rule: $key cannot be set: $line"
    fi
  done
done <"$rule"
[ "$rules" -ge 2 ] || fail "the udev rule holds $rules rules"
grep -q 'SUBSYSTEMS=="usb-serial".*TAG+="uaccess"' "$rule" ||
  fail "usb-serial ttys are not tagged uaccess"
grep -q 'DRIVERS=="cdc_acm".*TAG+="uaccess"' "$rule" ||
  fail "cdc_acm ttys are not tagged uaccess"

cli=$dest/usr/bin/takt-m-cli
[ "$("$cli" --version)" = "takt-m-cli $version" ] || fail "--version: $("$cli" --version)"

# The installed virtual programmer.
link=$work/port
"$dest/usr/bin/takt-m-devsim" --link "$link" --memory-dir "$work/mem" \
  --log "$work/frames.log" --ack-ms 20 >"$work/devsim.out" 2>&1 &
pids+=($!)
for _ in $(seq 200); do
  [ -e "$link" ] && break
  sleep 0.05
done
[ -e "$link" ] || fail "takt-m-devsim did not start: $(cat "$work/devsim.out")"

# The window as the desktop starts it: in Path, with a settings store of
# this test's own naming the virtual programmer's port. Its name request
# reaching the device shows it runs from the installed files.
mkdir -p "$work/cfg/ZARVENTIK" "$work/mem"
printf '[General]\nComPort=%s\n' "$link" >"$work/cfg/ZARVENTIK/TAKT-M.conf"
(cd "$dest$path" && XDG_CONFIG_HOME=$work/cfg QT_QPA_PLATFORM=offscreen \
  exec "$dest${exec_line%% *}") >"$work/window.out" 2>&1 &
window=$!
pids+=("$window")
for _ in $(seq 200); do
  grep -q '^RX FE' "$work/frames.log" 2>/dev/null && break
  sleep 0.05
done
grep -q '^RX FE' "$work/frames.log" ||
  fail "the installed window did not reach the device: $(cat "$work/window.out")"
kill "$window"
wait "$window" 2>/dev/null || true

# A write with its verify, then a verify alone, by the installed command line.
head -c 3000 /dev/urandom >"$work/image.bin"
run_cli() { XDG_CONFIG_HOME=$work/cfg "$cli" --port "$link" --chip DEMO-8K "$@"; }
out=$(run_cli write-flash "$work/image.bin" 2>"$work/cli.err") ||
  fail "write-flash: $(cat "$work/cli.err")"
[ "$out" = "Все верно." ] || fail "write-flash said: $out"
run_cli --quiet verify-flash "$work/image.bin" || fail "verify-flash"
cmp -s -n 3000 "$work/mem/DEMO-8K.flash" "$work/image.bin" ||
  fail "the chip does not hold the image"
echo "install_test: installed $(grep -c "" "$work/install_manifest.txt") files; all checks passed"
