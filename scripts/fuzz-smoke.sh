#!/usr/bin/env bash
# Runs every fuzz target of the fuzz preset for a short while on its seed
# corpus and fails on the first finding (a crash, a sanitizer report, a leak,
# an input slower than the per-input timeout, memory beyond the limit):
#   fuzz-smoke.sh [SECONDS]   (60 by default; KV_FUZZ_JOBS targets at once, 2)
# Build the preset first (cmake --preset fuzz && cmake --build --preset fuzz).
# The corpora grow in a temporary folder: the seeds stay as the build wrote
# them. A finding is left as build/fuzz/findings/<target>/crash-... to
# reproduce with `build/fuzz/<target> FILE`.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# target, then its seed folders (dictionaries are found by name).
targets=(
  "fuzz_block_decoder $root/tests/data/blocks $build/seeds/fuzz_block_decoder"
  "fuzz_data_file $build/seeds/fuzz_data_file"
  "fuzz_record_tables $build/seeds/fuzz_record_tables"
  "fuzz_zip_reader $build/zip_reader_seeds $build/seeds/archives"
  "fuzz_unzip32 $build/zip_reader_seeds $build/seeds/archives"
  "fuzz_archive_scan $build/seeds/archives $build/zip_reader_seeds"
  "fuzz_file_masks $build/seeds/fuzz_file_masks"
  "fuzz_exclusions $build/seeds/fuzz_exclusions"
)

# One target on one core; two at a time on the two cores CI has.
run_target() {  # run_target TARGET SEED_FOLDERS...
  local target=$1 corpus=$work/$1 findings=$build/findings/$1 dictionary start
  shift
  mkdir -p "$corpus" "$findings"
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
                 -artifact_prefix="$findings/")
  dictionary=$root/fuzz/${target#fuzz_}.dict
  [[ -f $dictionary ]] && options+=(-dict="$dictionary")
  start=$(date +%s)
  if ! "$build/$target" "${options[@]}" "$corpus" "$@" >"$work/$target.log" 2>&1; then
    tail -n 60 "$work/$target.log"
    echo "fuzz smoke: $target found a fault; the input is in $findings"
    return 1
  fi
  echo "fuzz smoke: $target $(grep -o 'stat::number_of_executed_units: *[0-9]*' \
    "$work/$target.log" | grep -o '[0-9]*$') runs, cov $(grep -o 'cov: [0-9]*' \
    "$work/$target.log" | tail -n 1 | grep -o '[0-9]*'), $(($(date +%s) - start))s"
}

jobs=${KV_FUZZ_JOBS:-2}
failed=0
running=0
for entry in "${targets[@]}"; do
  if ((running >= jobs)); then
    wait -n || failed=1
    running=$((running - 1))
  fi
  # shellcheck disable=SC2086  # the seed folders are separate arguments
  run_target $entry &
  running=$((running + 1))
done
while ((running > 0)); do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
