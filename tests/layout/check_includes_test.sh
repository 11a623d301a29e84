#!/usr/bin/env bash
# The include check passes on this tree and fails on a copy with one include
# running upward (config taking a header from ui) or bench taking a test's.
set -euo pipefail
source_dir=$1
check=$source_dir/scripts/check-includes

"$check" "$source_dir"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/config" "$work/src/ui" "$work/devsim" "$work/bench/x" \
  "$work/tests/e2e" "$work/tests/harness"
echo '#include "config/options.h"' > "$work/src/ui/window.cpp"
echo '#include "link/frame.h"' > "$work/src/config/store.cpp"
echo '#include "harness/host.h"' > "$work/bench/x/b.cpp"
touch "$work/tests/harness/host.h" "$work/tests/e2e/fixture.h"
"$check" "$work" > /dev/null || { echo "a sound tree was refused"; exit 1; }

echo '#include "ui/window.h"' >> "$work/src/config/store.cpp"
if "$check" "$work" > /dev/null; then
  echo "an include from config up to ui was not caught"; exit 1
fi
sed -i '$d' "$work/src/config/store.cpp"
echo '#include "e2e/fixture.h"' >> "$work/bench/x/b.cpp"
if "$check" "$work" > /dev/null; then
  echo "bench including a test's header was not caught"; exit 1
fi
echo "the check catches both"
