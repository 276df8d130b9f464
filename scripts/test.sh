#!/usr/bin/env bash
# Builds and runs every test three ways: the normal build (with the
# benchmarks, so that they keep compiling), AddressSanitizer +
# UndefinedBehaviorSanitizer, and ThreadSanitizer; the sanitizer builds
# build the tests and what they run, no benchmarks. Then, when clang is
# there, a bounded run of the fuzzer (FUZZ_SECONDS, default 60; 0 skips it).
#
# Usage: scripts/test.sh [normal] [asan] [tsan] [fuzz]   (default: all four)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
runs=("$@")
((${#runs[@]})) || runs=(normal asan tsan fuzz)

step() { printf '\n=== %s (%s)\n' "$1" "$(date +%T)"; }
# The figures the stress test and the soak print, from the log of the last
# ctest run in build folder $1.
figures() {
  local log="$1/Testing/Temporary/LastTest.log"
  [[ -f $log ]] || return 0
  grep -E '^stress: ' "$log" || true
  sed -n '/^Soak figures/,/^  VmHWM at end/p' "$log"
}
# Sanitizer builds: -O1 and line tables only (-g1) compile much faster than
# -O2 -g and still give every report its file and line.
sanitizer_flags=(-DKESTRO_BENCH=OFF "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
                 "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")

for run in "${runs[@]}"; do
  case "$run" in
    normal)
      step "normal build"
      scripts/setup.sh build
      ctest --test-dir build --output-on-failure -j "$jobs"
      figures build
      ;;
    asan)
      step "AddressSanitizer + UndefinedBehaviorSanitizer"
      scripts/setup.sh build-asan -DKESTRO_SANITIZE=ON "${sanitizer_flags[@]}"
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build-asan --output-on-failure -j "$jobs"
      figures build-asan
      ;;
    tsan)
      # A report makes the test's process exit with 66, so ctest fails it.
      step "ThreadSanitizer"
      scripts/setup.sh build-tsan -DKESTRO_TSAN=ON "${sanitizer_flags[@]}"
      # The soak plays 12 minutes of audio here instead of an hour: under
      # ThreadSanitizer it runs at about ten times real time, so an hour
      # would take some six minutes.
      TSAN_OPTIONS=second_deadlock_stack=1:history_size=4 KESTRO_SOAK_MINUTES=12 \
        ctest --test-dir build-tsan --output-on-failure -j "$jobs"
      figures build-tsan
      ;;
    fuzz)
      seconds=${FUZZ_SECONDS:-60}
      if ((seconds == 0)); then
        continue
      fi
      if ! command -v clang++ >/dev/null; then
        echo "fuzz: clang++ not found, skipped"
        continue
      fi
      step "fuzzing for ${seconds} s"
      cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DKESTRO_FUZZ=ON -DKESTRO_TESTS=OFF -DKESTRO_BENCH=OFF >/dev/null
      cmake --build build-fuzz -j "$jobs" --target kestro_fuzz_interface
      bash fuzz/run.sh build-fuzz "$seconds"
      ;;
    *)
      echo "test.sh: unknown run '$run' (normal, asan, tsan, fuzz)" >&2
      exit 2
      ;;
  esac
done
step "all passed"
