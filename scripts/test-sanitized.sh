#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# ./build-asan (or $KELVAR_ASAN_BUILD_DIR) and runs the whole test suite there.
# Any memory error, leak of ours or undefined behaviour fails the test that
# met it. Leaks inside Qt's and the system's own libraries are suppressed by
# scripts/sanitizer-leaks.supp (one reason per entry). Arguments go to ctest
# (e.g. -R test_schedtab).
#
# With clang the same tree also carries the fuzz targets (libFuzzer), so that
# scripts/fuzz.sh needs no second sanitized build.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dir="${KELVAR_ASAN_BUILD_DIR:-build-asan}"
config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVAR_SANITIZE=address,undefined -DKELVAR_BENCH=OFF)
if command -v ninja >/dev/null 2>&1; then config+=(-G Ninja); fi
if [ ! -f "$dir/CMakeCache.txt" ] && command -v clang++ >/dev/null 2>&1; then
  config+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKELVAR_FUZZ=ON)
fi
start=$(date +%s)
cmake -S . -B "$dir" "${config[@]}" >/dev/null
cmake --build "$dir" --parallel "${KELVAR_JOBS:-$(nproc)}"
built=$(date +%s)
# shellcheck source=scripts/sanitizer-env.sh
. "$root/scripts/sanitizer-env.sh"
cd "$dir"
status=0
ctest --output-on-failure --timeout 1800 "$@" || status=$?
end=$(date +%s)
echo "sanitized build: $((built - start)) s; sanitized suite: $((end - built)) s"
exit $status
