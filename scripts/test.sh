#!/usr/bin/env bash
# Builds and runs every test preset (or the presets named on the command line), installing what is
# missing first. Exits non-zero when any preset fails to build or to pass.
#
# The windows preset cross-builds with mingw-w64 and runs the tests under Wine; whatever happens, the
# script ends by stopping the wineserver of that build's prefix, so that no Wine process outlives it.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(default asan tsan windows)

package_sets=(native)
for preset in "${presets[@]}"; do
  # Not among the default presets: its clang build of the whole tree is a run of its own.
  if [ "$preset" = fuzz ]; then
    package_sets+=(fuzz)
  fi
  if [ "$preset" = windows ]; then
    package_sets+=(windows)
    # Same folder as the preset's binaryDir and the toolchain's COLLECTOR_WINEPREFIX.
    trap 'WINEPREFIX="$PWD/build/windows/wineprefix" cmake/wine-session.sh stop' EXIT
    trap 'exit 130' INT TERM
  fi
done
scripts/install-deps.sh "${package_sets[@]}"

failed=()
for preset in "${presets[@]}"; do
  echo "=== preset ${preset}"
  started=$SECONDS
  if cmake --preset "$preset" >/dev/null \
     && cmake --build --preset "$preset" \
     && ctest --preset "$preset"; then
    outcome=passed
  else
    outcome=FAILED
    failed+=("$preset")
  fi
  echo "=== preset ${preset}: ${outcome} in $((SECONDS - started)) s"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "failed presets: ${failed[*]}"
  exit 1
fi
echo "all presets passed: ${presets[*]}"
