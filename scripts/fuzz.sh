#!/usr/bin/env bash
# Runs one libFuzzer target of fuzz/ on a copy of its seed corpus.
#
#   scripts/fuzz.sh TARGET SECONDS [RUNS [WORKERS]]
#       fuzzes for SECONDS (or until RUNS inputs ran) and prints "fuzz_TARGET_execs: N"; with
#       WORKERS, that many processes share the corpus and the RUNS, and N is their sum
#   scripts/fuzz.sh --list
#       names every target
#
# The CAPI targets spend most of an input waiting for the component's threads to meet (their
# processor time is a tenth of their wall time), so a long run of theirs wants about 8 workers
# for each processor.
#
# Configures and builds the "fuzz" preset (build-fuzz/) as needed. A crash, a failed check, a
# sanitizer report, a leak or a hang fails the run (exit status 1); the input and the log are kept
# in build-fuzz/findings/TARGET/. Leaks are looked for when the run ends (every target keeps caches
# that outlive single inputs, so looking after each input would find those and cost most of the
# time); the report still names where the leaked memory came from.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--list" ]; then
  ls fuzz/corpus
  exit 0
fi
if [ $# -lt 2 ] || [ ! -d "fuzz/corpus/${1}" ] || ! [[ "$2" =~ ^[0-9]+$ ]] || ! [[ "${3:-0}" =~ ^[0-9]+$ ]] ||
  ! [[ "${4:-1}" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS [RUNS [WORKERS]]   (targets: scripts/fuzz.sh --list)" >&2
  exit 2
fi
target=$1
seconds=$2
runs=${3:-0}
workers=${4:-1}

bash scripts/install-deps.sh
# shellcheck source=scripts/fuzz-env.sh
source scripts/fuzz-env.sh
fuzz_build "$target"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "fuzz/corpus/${target}" "$work/corpus"
findings="$PWD/build-fuzz/findings/${target}"
mkdir -p "$findings"
options=(-max_total_time="$seconds" -timeout=25 -detect_leaks=0 -print_final_stats=1
         -artifact_prefix="$findings/")
[ "$runs" -gt 0 ] && options+=(-runs="$(((runs + workers - 1) / workers))")
[ "$workers" -gt 1 ] && options+=(-jobs="$workers" -workers="$workers")
[ -f "fuzz/dict/${target}.dict" ] && options+=(-dict="$PWD/fuzz/dict/${target}.dict")

status=0
binary="$PWD/build-fuzz/bin/fuzz_${target}"
# Workers write their logs (fuzz-N.log) into the folder they start in.
(cd "$work" && "$binary" "${options[@]}" corpus >log 2>&1) || status=$?
logs=("$work/log")
[ "$workers" -gt 1 ] && logs=("$work"/fuzz-*.log)
execs=0
for log in "${logs[@]}"; do
  n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  execs=$((execs + ${n:-0}))
done
echo "fuzz_${target}_execs: ${execs}"
if [ "$status" -ne 0 ]; then
  cat "${logs[@]}" >"$findings/log"
  # What went wrong and where: the report's first lines and its innermost frames.
  grep -E -m 1 -A 12 "ERROR|runtime error|check failed|Timeout|out-of-memory" "$findings/log" >&2 ||
    tail -n 20 "$findings/log" >&2
  echo "fuzz_${target}: finding kept in $findings/" >&2
  exit 1
fi
