#!/usr/bin/env bash
# Builds collector-cli (the default preset) and runs it, installing what is missing first. Without
# arguments it watches this machine's processes for ten seconds; any arguments are passed to the
# program instead, e.g. scripts/run-cli.sh show hosts.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh native
[ -f build/default/CMakeCache.txt ] || cmake --preset default
cmake --build --preset default --target collector-cli

[ $# -gt 0 ] || set -- watch --seconds 10
exec build/default/bin/collector-cli "$@"
