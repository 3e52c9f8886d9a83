#!/usr/bin/env bash
# Builds the Debian package of the programs (cpack -G DEB) from the build
# folder, ./build or $KELVAR_BUILD_DIR, after bringing the programs up to date.
#
#   scripts/package.sh [OUT_DIR]    the package goes to OUT_DIR (default: the build folder)
#
# Prints the package's path last; install it with
#   sudo apt install ./kelvar517_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${KELVAR_BUILD_DIR:-build}"
if [ ! -f "$BUILD_DIR/CPackConfig.cmake" ]; then
  bash scripts/build.sh
fi
out="$(mkdir -p "${1:-$BUILD_DIR}" && cd "${1:-$BUILD_DIR}" && pwd)"
# Only what the package holds; the tests and benchmarks are not needed for it.
cmake --build "$BUILD_DIR" --target kelvar517 kelvar517-cli kelvar517-meter-sim kelvar_desktop_files
rm -f "$out"/kelvar517_*.deb
cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log" >&2; exit 1; }
rm -rf "$out/_CPack_Packages"
ls "$out"/kelvar517_*.deb
