#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz (clang, ASan and UBSan), writes
# their seed corpora and runs each target for SECONDS (60), one after the
# other; fails when any target crashed or broke an invariant.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# Each target starts from its seeds and from what earlier runs added to
# build-fuzz/fuzz/corpus/<target>; crashing inputs go to
# build-fuzz/fuzz/artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
scripts/setup.sh

dir=build-fuzz
scripts/build.sh "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMAVIST_FUZZ=ON \
  -DLUMAVIST_GUI=OFF -DLUMAVIST_TESTS=OFF
tests/fuzz/make_corpus.py "$dir"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" _fuzz.cpp)"); done
fi

export UBSAN_OPTIONS=print_stacktrace=1
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/leaks.supp"
failed=()
for t in "${targets[@]}"; do
  corpus="$dir/fuzz/corpus/$t" artifacts="$dir/fuzz/artifacts/$t" log="$dir/fuzz/$t.log"
  mkdir -p "$corpus" "$artifacts"
  # The FITS readers take the header words; their inputs stay below 140 kB,
  # room for a frame of just over one decoding chunk (65536 values).
  extra=()
  case "$t" in
    fits_reader | calibration_reader) extra=(-dict=tests/fuzz/fits.dict -max_len=140000) ;;
    header_dates) extra=(-dict=tests/fuzz/fits.dict) ;;
  esac
  # cfitsio asks malloc for what a damaged header says (a table of 10^14
  # columns) and copes with a null answer; the sanitizer would stop there.
  # Our own allocations throw instead, which still ends the run.
  asan="${ASAN_OPTIONS:-}"
  [ "$t" = fits_reader ] && asan="allocator_may_return_null=1${asan:+:$asan}"
  status=0
  ASAN_OPTIONS="$asan" "$dir/tests/fuzz/fuzz_$t" "$corpus" "$dir/fuzz/seeds/$t" "${extra[@]}" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=3000 -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1 || status=$?
  last=$(grep -a -E '^#[0-9]+' "$log" | tail -1 || true)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  printf '%-20s %10s executions %7s/s  cov %5s  ft %6s\n' "$t" "${runs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}"
  if [ "$status" -ne 0 ]; then
    failed+=("$t")
    grep -a -E 'invariant broken|ERROR|SUMMARY|Test unit written' "$log" | head -8 | sed 's/^/    /'
  fi
done

# Every input that once found a fault must pass now.
for d in tests/fuzz/regressions/*/; do
  t=$(basename "$d")
  [ -x "$dir/tests/fuzz/fuzz_$t" ] || continue
  for f in "$d"*; do
    if ! "$dir/tests/fuzz/fuzz_$t" "$f" >/dev/null 2>&1; then
      echo "fault found again: $f"
      failed+=("$t")
    fi
  done
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (logs in $dir/fuzz/, inputs in $dir/fuzz/artifacts/)"
  exit 1
fi
