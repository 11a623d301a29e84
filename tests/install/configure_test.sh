#!/usr/bin/env bash
# The dev preset on a machine with only what scripts/bootstrap run installs:
# GoogleTest and Google Benchmark hidden from CMake, the configuration must
# still succeed and generate the three programs, and leave the tests and the
# benchmarks out. Configures in a temporary folder, builds nothing.
#   configure_test.sh SOURCE_DIR
set -euo pipefail
source=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/takt-m-configure.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "configure_test: $*" >&2
  exit 1
}

cd "$source"
cmake --preset dev -B "$work/build" \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; fail "the dev preset does not configure"; }
grep -q 'GoogleTest not found' "$work/configure.log" ||
  fail "GoogleTest was found although hidden"
for target in src/app/takt-m src/cli/takt-m-cli devsim/takt-m-devsim; do
  grep -q "^build $target:" "$work/build/build.ninja" || fail "no target $target"
done
[ ! -e "$work/build/tests" ] || fail "tests configured without GoogleTest"
[ ! -e "$work/build/bench" ] || fail "benchmarks configured without Google Benchmark"
echo "configure_test: the dev preset configures without the test libraries"
