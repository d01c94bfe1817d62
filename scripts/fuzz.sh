#!/bin/bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in build/fuzz
# and runs each for a bounded time, starting from fuzz/corpus/<target>.
#
#   scripts/fuzz.sh [TARGET ...]      default: every target
#
# Environment: FUZZ_SECONDS (per target; default 90 for the converter, 60
# for the WAV reader, 30 for the title/artist split and 30 for the AC-3
# encoder: 3.5 minutes in all) and FUZZ_SEED (default 1: a run
# from a fresh build/fuzz follows the same mutations every time, so a finding
# in CI is one that the same run finds on any machine; set another seed, or 0
# for a random one, to explore further).
# New interesting inputs go to build/fuzz/work/<target> (not the repository);
# a crash, leak, timeout or broken property leaves its input in
# build/fuzz/findings/ and fails the script. Add such an input to
# fuzz/corpus/<target>/ as a regression case once it is fixed: the native
# trees replay that folder under ctest.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(converter wav_reader title_artist ac3_encoder)
tree=build/fuzz
log="$root/build/fuzz.log"
mkdir -p "$root/build"

# The converter target reads a 5-byte header and at most 2048 bytes of PCM;
# the AC-3 encoder target a 4-byte header and up to four frames of stereo PCM.
declare -A max_len=([converter]=2053 [wav_reader]=4096 [title_artist]=1024 [ac3_encoder]=24580)
declare -A default_seconds=([converter]=90 [wav_reader]=60 [title_artist]=30 [ac3_encoder]=30)

echo "== build fuzz (clang, libFuzzer + ASan + UBSan)"
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all"
if ! { cmake -S . -B "$tree" -G "Unix Makefiles" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
         -DCMAKE_BUILD_TYPE= -DRMP_FUZZ=ON \
         -DCMAKE_CXX_FLAGS="-g -O2 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link $sanitizers" \
         -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" >"$log" 2>&1 &&
       cmake --build "$tree" -j2 --target "${targets[@]/#/fuzz_}" >>"$log" 2>&1; }; then
  tail -n 40 "$log"
  echo "fuzz.sh: FAILED (build; full log: $log)"
  exit 1
fi

failed=0
total_execs=0
start=$SECONDS
results=()
for target in "${targets[@]}"; do
  work="$tree/work/$target"
  findings="$tree/findings"
  mkdir -p "$work" "$findings"
  run_log="$tree/$target.log"
  seconds=${FUZZ_SECONDS:-${default_seconds[$target]:-60}}
  echo "== fuzz $target for ${seconds}s"
  # -timeout: one input taking longer counts as a hang; -rss_limit_mb: as a
  # memory blow-up. Leaks are findings too (ASan's leak check at each input).
  "$tree/fuzz/fuzz_$target" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len="${max_len[$target]:-4096}" -print_final_stats=1 \
    -artifact_prefix="$findings/$target-" "$work" "fuzz/corpus/$target" >"$run_log" 2>&1
  status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$run_log" | tail -n 1)
  total_execs=$((total_execs + ${execs:-0}))
  if [ $status -ne 0 ]; then
    failed=1
    grep -E 'ERROR|SUMMARY|property broken|Test unit written' "$run_log" | head -n 20
    results+=("$target: FINDING (log $run_log)")
  else
    results+=("$target: ${execs:-?} execs")
  fi
done

elapsed=$((SECONDS - start))
verdict=PASSED
[ $failed -eq 0 ] || verdict=FAILED
printf -v joined '%s; ' "${results[@]}"
echo "fuzz.sh: $verdict in ${elapsed}s, $total_execs execs - ${joined%; }"
exit $failed
