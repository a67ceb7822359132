#!/usr/bin/env bash
# Installs, with apt, the Debian packages that the build and the tests need and that are missing.
# Usage: scripts/install-deps.sh [native] [windows] [fuzz]   (default: native)
set -euo pipefail

native=(cmake ninja-build g++ pkg-config libfmt-dev libboost-dev libspdlog-dev
        libgtest-dev libgmock-dev googletest libbenchmark-dev libcli11-dev nlohmann-json3-dev)
windows=(g++-mingw-w64-x86-64 mingw-w64 wine64)
# The fuzz preset: clang with libFuzzer and the sanitizer runtimes.
fuzz=(clang libclang-rt-14-dev)

wanted=()
for set in "${@:-native}"; do
  case "$set" in
    native) wanted+=("${native[@]}") ;;
    windows) wanted+=("${windows[@]}") ;;
    fuzz) wanted+=("${fuzz[@]}") ;;
    *) echo "install-deps: unknown package set '$set'" >&2; exit 2 ;;
  esac
done

missing=()
for pkg in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
