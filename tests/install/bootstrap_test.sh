#!/usr/bin/env bash
# scripts/bootstrap against stand-ins for dpkg-query, id, sudo and apt-get
# in a temporary folder: which layer asks for which packages, apt-get run
# directly as root and through sudo otherwise, and a clear stop when a user
# has no sudo. Nothing is installed; the stand-ins only record their calls.
#   bootstrap_test.sh SOURCE_DIR
set -euo pipefail
bootstrap=$1/scripts/bootstrap
work=$(mktemp -d "${TMPDIR:-/tmp}/takt-m-bootstrap.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "bootstrap_test: $*" >&2
  exit 1
}

# Layers: each includes the one before; the run layer has no test library
# and no fuzzing compiler.
run=$("$bootstrap" --list run)
test=$("$bootstrap" --list test)
fuzz=$("$bootstrap" --list fuzz)
has() { grep -qx "$2" <<<"$1"; }
for p in qt6-base-dev qt6-serialport-dev cmake xdg-utils qt6-translations-l10n fonts-dejavu-core fonts-liberation; do
  has "$run" "$p" || fail "run layer lacks $p"
done
for p in libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev xvfb; do
  has "$run" "$p" && fail "run layer has $p"
done
while read -r p; do has "$test" "$p" || fail "test layer lacks $p"; done <<<"$run"
while read -r p; do has "$fuzz" "$p" || fail "fuzz layer lacks $p"; done <<<"$test"
has "$test" libgtest-dev || fail "test layer lacks libgtest-dev"
# The layout tests run the formatter over the sources.
has "$test" clang-format || fail "test layer lacks clang-format"
has "$test" clang && fail "test layer has clang"
has "$fuzz" clang || fail "fuzz layer lacks clang"

# Stand-ins. Everything counts as installed except $MISSING.
stubs=$work/bin
mkdir "$stubs"
for tool in grep env; do ln -s "$(command -v "$tool")" "$stubs/$tool"; done
cat >"$stubs/dpkg-query" <<'STUB'
#!/bin/bash
for p in $MISSING; do [ "$p" = "${!#}" ] && exit 1; done
printf 'install ok installed'
STUB
cat >"$stubs/id" <<'STUB'
#!/bin/bash
echo "$FAKE_UID"
STUB
cat >"$stubs/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get $*" >>"$CALLS"
STUB
cat >"$stubs/sudo" <<'STUB'
#!/bin/bash
echo "sudo $1" >>"$CALLS"
exec "$@"
STUB
chmod +x "$stubs"/*
export CALLS=$work/calls

bootstrap_as() {  # UID, MISSING, LAYER [with-sudo]
  : >"$CALLS"
  local path=$stubs
  if [ "${4:-}" != with-sudo ]; then
    path=$work/nosudo
    mkdir -p "$path"
    for f in "$stubs"/*; do [ "${f##*/}" = sudo ] || ln -sf "$f" "$path/"; done
  fi
  FAKE_UID=$1 MISSING=$2 PATH=$path /bin/bash "$bootstrap" "$3"
}

# Nothing missing for the layer: no apt-get at all.
bootstrap_as 0 libgtest-dev run >"$work/out" || fail "run layer failed"
[ ! -s "$CALLS" ] || fail "run layer called: $(cat "$CALLS")"

# Root without sudo: apt-get directly.
bootstrap_as 0 "libgtest-dev clang" test >"$work/out" || fail "root install failed"
grep -q '^apt-get update' "$CALLS" || fail "no apt-get update"
grep -q '^apt-get install .*--no-install-recommends libgtest-dev$' "$CALLS" ||
  fail "root: $(cat "$CALLS")"
grep -q sudo "$CALLS" && fail "root used sudo"

# A user with sudo: both apt-get calls through it.
bootstrap_as 1000 libgtest-dev test with-sudo >"$work/out" || fail "sudo install failed"
[ "$(grep -c '^sudo ' "$CALLS")" = 2 ] || fail "user: $(cat "$CALLS")"
grep -q '^apt-get install .* libgtest-dev$' "$CALLS" || fail "user: $(cat "$CALLS")"

# A user without sudo: says what to install, installs nothing, fails.
if bootstrap_as 1000 clang fuzz 2>"$work/err"; then fail "no sudo: succeeded"; fi
[ ! -s "$CALLS" ] || fail "no sudo: called $(cat "$CALLS")"
grep -q 'apt-get install --no-install-recommends clang' "$work/err" ||
  fail "no sudo: $(cat "$work/err")"
echo "bootstrap_test: all checks passed"
