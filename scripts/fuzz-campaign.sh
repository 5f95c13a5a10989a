#!/usr/bin/env bash
# A fuzzing campaign whose results outlive the machine: the targets run in turn within a budget,
# what they find is merged into the committed corpora, and every run is written to the ledger
# fuzz/campaign.tsv, whose executions add up per target across runs and machines.
#
#   scripts/fuzz-campaign.sh MINUTES [TARGET...]
#       runs the targets (default: every target short of its goal, the furthest from it first)
#       on both cores within MINUTES (at most 40: commit the ledger and corpora after each
#       chunk), merges each one's corpus and appends one ledger line per target
#   scripts/fuzz-campaign.sh --totals
#       prints "fuzz_TARGET_total_execs: N" per target: the executions of its current count
#   scripts/fuzz-campaign.sh --reset TARGET REASON
#       starts a new count for TARGET (the code it reaches changed in a way that matters)
#
# Ledger columns (tab-separated): date (UTC), commit the binaries were built from ("+" when the
# work tree differed), target, executions of the fuzzing run (merges and replays not counted),
# seconds, corpus files after the merge, coverage of the merged corpus (libFuzzer's "cov:"),
# findings (kept inputs, "-" for none), note (the binary's sha256 prefix, time-outs that did not
# repeat when replayed alone, or why a count restarts).
# A line with the note "new count: ..." ends the count before it.
set -euo pipefail
cd "$(dirname "$0")/.."

ledger=fuzz/campaign.tsv
header=$'date\tcommit\ttarget\texecs\tseconds\tcorpus_files\tcov\tfindings\tnote'
maxCorpusBytes=$((2 * 1024 * 1024))

goal() {
  case "$1" in
  capi_threads) echo 1000000 ;; # the interplay of two threads: each input costs milliseconds
  *) echo 10000000 ;;
  esac
}

ensure_ledger() {
  [ -f "$ledger" ] || printf '%s\n' "$header" >"$ledger"
}

# Executions of TARGET's current count.
total() {
  awk -F'\t' -v t="$1" 'NR > 1 && $3 == t { if ($9 ~ /^new count/) n = 0; else n += $4 } END { print n + 0 }' \
    "$ledger"
}

targets() { ls fuzz/corpus; }

if [ "${1:-}" = "--totals" ]; then
  ensure_ledger
  for t in $(targets); do
    echo "fuzz_${t}_total_execs: $(total "$t")"
  done
  exit 0
fi
if [ "${1:-}" = "--reset" ]; then
  if [ $# -ne 3 ] || [ ! -d "fuzz/corpus/$2" ] || [ -z "$3" ]; then
    echo "usage: scripts/fuzz-campaign.sh --reset TARGET REASON" >&2
    exit 2
  fi
  ensure_ledger
  printf '%s\t%s\t%s\t0\t0\t%s\t-\t-\tnew count: %s\n' "$(date -u +%FT%TZ)" "$(git rev-parse --short HEAD)" \
    "$2" "$(ls "fuzz/corpus/$2" | wc -l)" "${3//$'\t'/ }" >>"$ledger"
  exit 0
fi
if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]] || [ "$1" -lt 2 ] || [ "$1" -gt 40 ]; then
  echo "usage: scripts/fuzz-campaign.sh MINUTES [TARGET...]   (MINUTES from 2 to 40)" >&2
  exit 2
fi
end=$(($(date +%s) + $1 * 60))
shift
for t in "$@"; do
  [ -d "fuzz/corpus/$t" ] || { echo "no such target: $t (scripts/fuzz.sh --list)" >&2; exit 2; }
done

bash scripts/install-deps.sh
# shellcheck source=scripts/fuzz-env.sh
source scripts/fuzz-env.sh
ensure_ledger

# The furthest from its goal first, so that chunks on any machine even the counts out.
if [ $# -gt 0 ]; then
  chosen=("$@")
else
  mapfile -t chosen < <(for t in $(targets); do
    n=$(total "$t")
    g=$(goal "$t")
    [ "$n" -lt "$g" ] && echo "$((1000 * n / g)) $t"
  done | sort -n | cut -d' ' -f2)
fi
if [ ${#chosen[@]} -eq 0 ]; then
  echo "every target has reached its goal"
  exit 0
fi
fuzz_build "${chosen[@]}"

commit=$(git rev-parse --short HEAD)
git diff --quiet HEAD -- src sim fuzz CMakeLists.txt || commit="${commit}+"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
workers=$(nproc)
repo=$PWD

left=${#chosen[@]}
for t in "${chosen[@]}"; do
  # An even share of what is left; a tenth of it (at least 20 s) is kept for the merge.
  slot=$(((end - $(date +%s)) / left))
  left=$((left - 1))
  run=$((slot - slot / 10 - 20))
  if [ "$run" -lt 20 ]; then
    echo "fuzz_${t}: skipped, the budget is spent" >&2
    continue
  fi
  binary="$PWD/build-fuzz/bin/fuzz_${t}"
  findings="$PWD/build-fuzz/findings/${t}"
  mkdir -p "$findings"
  rm -rf "${work:?}"/*
  mkdir "$work/found" "$work/merged"
  options=(-max_total_time="$run" -timeout=25 -detect_leaks=0 -print_final_stats=1
           -artifact_prefix="$findings/" -jobs="$workers" -workers="$workers")
  [ -f "fuzz/dict/${t}.dict" ] && options+=(-dict="$PWD/fuzz/dict/${t}.dict")
  before=$(ls "$findings" | grep -Ev '^(log|slow-unit-|unconfirmed-)' | sort || true)
  started=$(date +%s)
  # The workers share found/ (new inputs) and read the committed corpus; logs go to fuzz-N.log.
  (cd "$work" && "$binary" "${options[@]}" "$work/found" "$repo/fuzz/corpus/$t" >/dev/null 2>&1) || true
  seconds=$(($(date +%s) - started))
  execs=0
  for log in "$work"/fuzz-*.log; do
    [ -f "$log" ] || continue
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [ -z "$n" ]; then # a worker that stopped at a finding: its last progress line
      n=$(grep -Eo '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')
    fi
    execs=$((execs + ${n:-0}))
  done
  after=$(ls "$findings" | grep -Ev '^(log|slow-unit-|unconfirmed-)' | sort || true)
  found=$(comm -13 <(echo "$before") <(echo "$after") | grep . | paste -sd, - || true)
  # A time-out on a busy machine (both cores fuzzing, other work beside) may be the machine's:
  # replayed alone, at normal priority, an input that ends well within the limit is noted, not
  # counted as a finding. One that times out again stays a finding.
  unconfirmed=()
  normal=()
  [ "$(nice)" -gt 0 ] && [ "$(id -u)" = 0 ] && normal=(nice -n "-$(nice)")
  if [ -n "$found" ]; then
    confirmed=()
    for f in ${found//,/ }; do
      if [[ "$f" == timeout-* ]] &&
         "${normal[@]}" "$binary" -timeout=25 -detect_leaks=0 "$findings/$f" >"$work/replay.log" 2>&1; then
        unconfirmed+=("$f")
        mv "$findings/$f" "$findings/unconfirmed-$f"
      else
        confirmed+=("$f")
      fi
    done
    found=$(IFS=,; echo "${confirmed[*]}")
  fi
  if [ -n "$found" ]; then
    cat "$work"/fuzz-*.log >"$findings/log" 2>/dev/null || true
  fi
  # The committed corpus and what was found, minimized into one.
  "$binary" -merge=1 -timeout=25 -detect_leaks=0 "$work/merged" "fuzz/corpus/$t" "$work/found" \
    >"$work/merge.log" 2>&1 || { echo "fuzz_${t}: merge failed, corpus kept (see below)" >&2; tail -n 5 "$work/merge.log" >&2; }
  note="bin=$(sha256sum "$binary" | cut -c1-12)"
  [ ${#unconfirmed[@]} -gt 0 ] && note="$note; time-outs not repeated when replayed alone: ${unconfirmed[*]}"
  if [ "$(ls "$work/merged" | wc -l)" -gt 0 ]; then
    bytes=$(du -sb "$work/merged" | cut -f1)
    if [ "$bytes" -le "$maxCorpusBytes" ]; then
      rm -f "fuzz/corpus/$t"/*
      cp "$work/merged"/* "fuzz/corpus/$t/"
    else
      note="$note; merged corpus of $bytes bytes not kept"
    fi
  fi
  cov=$("$binary" -runs=0 -detect_leaks=0 "fuzz/corpus/$t" 2>&1 | sed -n 's/.*INITED cov: \([0-9]*\).*/\1/p' | tail -n 1)
  files=$(ls "fuzz/corpus/$t" | wc -l)
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$commit" "$t" "$execs" "$seconds" \
    "$files" "${cov:--}" "${found:--}" "$note" >>"$ledger"
  echo "fuzz_${t}_execs: $execs (${seconds} s; total $(total "$t") of $(goal "$t"))"
  [ -n "$found" ] && echo "fuzz_${t}: findings $found kept in $findings/" >&2
done
exit 0
