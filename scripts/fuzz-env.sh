# Sourced by the fuzzing scripts: the sanitizers' settings for a fuzzing run.
#
# An allocation that cannot be met returns null, as it does outside the sanitizer (where the
# kernel refuses it): Qt gives up reading a QSettings value whose stored size asks for tens of
# gigabytes, and code that does not cope still fails the run (Qt throws std::bad_alloc).
# The sanitizer keeps the call stack of every allocation, each distinct stack once. Qt is built
# without frame pointers, so the quick unwinder reads noise past the first Qt frame and nearly
# every allocation made inside Qt looks new: over millions of inputs that store grows by about
# 2 KB an input and ends a long run at the fuzzer's memory limit. So only the place of the
# allocation is kept; for whole allocation and release stacks in a report, run the kept input
# again with ASAN_OPTIONS=malloc_context_size=30. Freed memory waits in a quarantine of 32 MB
# rather than 256 MB before it is used again: inputs free all they allocate within microseconds,
# and a smaller quarantine still catches their use after free while fresh pages (page faults)
# no longer cost a quarter of each input's time.
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=2048:malloc_context_size=1:quarantine_size_mb=32"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# Configures and builds the "fuzz" preset (build-fuzz/) for the targets named; prints the build's
# output and fails when it fails.
fuzz_build() {
  if [ ! -f build-fuzz/build.ninja ]; then
    cmake --preset fuzz >/dev/null
  fi
  local targets=()
  for t in "$@"; do targets+=(--target "fuzz_${t}"); done
  local out
  if ! out=$(cmake --build --preset fuzz "${targets[@]}" 2>&1); then
    echo "$out" >&2
    return 1
  fi
}
