#!/usr/bin/env bash
# Runs every fuzz target (fuzz/*.cmake) for MINUTES minutes, or until it has
# made MAX_RUNS executions when that comes first, KELVAR_FUZZ_JOBS targets at a
# time (default 2), at low priority. Prints, per target: executions,
# executions per second of the run and per second of the processor time it
# got (the fair figure on a shared machine), coverage (edges and features
# reached), corpus size, findings. Exit status 1 when any target found
# something.
#
#   scripts/fuzz.sh MINUTES [MAX_RUNS]
#
# KELVAR_FUZZ_TARGETS="fuzz_a fuzz_b" runs only those; KELVAR_FUZZ_BUILD=0
# runs the targets as they are built (while another build uses the tree);
# KELVAR_FUZZ_JOBS and KELVAR_FUZZ_NICE set how many run at once and at what
# priority. An input that runs longer than KELVAR_FUZZ_TIMEOUT seconds of wall
# time (default 10) counts as a finding: raise it on a machine so busy that a
# low-priority target waits that long for a core.
#
# The targets are built in the sanitized tree of scripts/test-sanitized.sh
# (clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer), or in
# $KELVAR_ASAN_BUILD_DIR. Each target starts from its seeds in fuzz/corpus/
# and keeps what it learns in <build>/fuzz-runs/corpus/, so a second run goes
# on where the first stopped. A finding (the input that crashed, leaked or
# hung) is saved as <build>/fuzz-runs/findings/<target>-*; replay it with
# <build>/fuzz/<target> FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
minutes="${1:?usage: scripts/fuzz.sh MINUTES [MAX_RUNS]}"
max_runs="${2:--1}"
dir="${KELVAR_ASAN_BUILD_DIR:-build-asan}"
jobs="${KELVAR_FUZZ_JOBS:-2}"

if [ ! -f "$dir/CMakeCache.txt" ]; then
  generator=()
  if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
  cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DKELVAR_SANITIZE=address,undefined -DKELVAR_FUZZ=ON -DKELVAR_BENCH=OFF >/dev/null
fi
if [ -n "${KELVAR_FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<<"$KELVAR_FUZZ_TARGETS"
else
  mapfile -t targets < <(grep -ho 'kelvar_add_fuzzer(fuzz_[a-z0-9_]*' fuzz/*.cmake | sed 's/.*(//' | sort)
fi
if [ "${KELVAR_FUZZ_BUILD:-1}" != 0 ]; then
  cmake --build "$dir" --parallel "${KELVAR_JOBS:-$(nproc)}" --target "${targets[@]}"
fi

# shellcheck source=scripts/sanitizer-env.sh
. "$root/scripts/sanitizer-env.sh"
# A quarantine of freed memory smaller than the 256 MB default: one input frees
# far less than that, so a use after free within it is still caught, and the
# fuzzer no longer spends a third of its time faulting in fresh pages.
export ASAN_OPTIONS="$ASAN_OPTIONS:quarantine_size_mb=16"
runs="$dir/fuzz-runs"
mkdir -p "$runs/findings"

fuzz_one() {
  local t="$1" corpus="$runs/corpus/$1"
  mkdir -p "$corpus"
  local seeds=()
  [ -d "fuzz/corpus/$t" ] && seeds=("fuzz/corpus/$t")
  local TIMEFORMAT='%U %S'
  { time nice -n "${KELVAR_FUZZ_NICE:-15}" "$dir/fuzz/$t" -max_total_time=$((minutes * 60)) -runs="$max_runs" \
    -print_final_stats=1 -timeout="${KELVAR_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -artifact_prefix="$runs/findings/$t-" \
    "$corpus" "${seeds[@]}" >"$runs/$t.log" 2>&1; } 2>"$runs/$t.cpu" || true
}

started=$(date +%s)
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz_one "$t" &
done
wait

found=0
printf '%-24s %11s %7s %10s %9s %9s %7s %9s\n' target executions exec/s exec/cpu-s coverage features corpus findings
for t in "${targets[@]}"; do
  log="$runs/$t.log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  corp=$(grep -o 'corp: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  per_cpu=$(awk -v n="${execs:-0}" '{ s = $1 + $2; if (s > 0) printf "%d", n / s }' "$runs/$t.cpu" 2>/dev/null)
  n=$(find "$runs/findings" -name "$t-*" | wc -l)
  [ "$n" -gt 0 ] && found=1
  printf '%-24s %11s %7s %10s %9s %9s %7s %9s\n' "$t" "${execs:-?}" "${rate:-?}" "${per_cpu:-?}" "${cov:-?}" "${ft:-?}" \
    "${corp:-?}" "$n"
done
echo "fuzzed ${#targets[@]} targets, $jobs at a time, in $(( $(date +%s) - started )) s on $(nproc) cores ($(date -u '+%Y-%m-%d %H:%M UTC'))"
exit $found
