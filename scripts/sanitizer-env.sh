# The sanitizers' run-time options of the sanitized suite and the fuzz runs
# (sourced by scripts/test-sanitized.sh and scripts/fuzz.sh).
kelvar_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$kelvar_root/scripts/sanitizer-ub.supp"
export LSAN_OPTIONS="suppressions=$kelvar_root/scripts/sanitizer-leaks.supp:print_suppressions=0"
