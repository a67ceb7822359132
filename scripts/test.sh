#!/usr/bin/env bash
# Builds and runs every test preset (or the presets named on the command line), installing what is
# missing first. Exits non-zero when any preset fails to build or to pass.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(default asan tsan)

scripts/install-deps.sh native

failed=()
for preset in "${presets[@]}"; do
  echo "=== preset ${preset}"
  if cmake --preset "$preset" >/dev/null \
     && cmake --build --preset "$preset" \
     && ctest --preset "$preset"; then
    echo "=== preset ${preset}: passed"
  else
    echo "=== preset ${preset}: FAILED"
    failed+=("$preset")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "failed presets: ${failed[*]}"
  exit 1
fi
echo "all presets passed: ${presets[*]}"
