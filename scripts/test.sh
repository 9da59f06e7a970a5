#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: unit, network, lab (as
# root), GUI under Xvfb, the decoder corpus, the core tests again under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the network tests under
# ThreadSanitizer. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

"$root/scripts/deps.sh"
. "$root/scripts/compiler_cache.sh"

echo "== build (warnings are errors)"
"$root/scripts/build.sh" build -DKESTRELON_WERROR=ON

echo "== tests"
(cd build && ctest --output-on-failure -j"$jobs")

echo "== core tests under ASan + UBSan"
"$root/scripts/build.sh" build-asan -DKESTRELON_WERROR=ON -DKESTRELON_SANITIZE=ON -DKESTRELON_GUI=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -L 'unit|net|fuzz')

echo "== network tests under ThreadSanitizer"
# Only what the network tests need: no windows, no other test programs.
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRELON_WERROR=ON \
  -DKESTRELON_TSAN=ON -DKESTRELON_GUI=OFF >/dev/null
ninja -C "$root/build-tsan" net_tests
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --output-on-failure -j"$jobs" -L net)

if command -v clang++ >/dev/null; then
  echo "== decoder fuzzing (libFuzzer, 20 s)"
  cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DKESTRELON_FUZZ=ON -DKESTRELON_GUI=OFF >/dev/null
  ninja -C "$root/build-fuzz" decoder_fuzz
  work=$(mktemp -d)
  cp "$root"/tests/fuzz/corpus/* "$work"/
  "$root/build-fuzz/tests/fuzz/decoder_fuzz" -max_total_time=20 -max_len=4096 "$work" 2>&1 | tail -n 3
  rm -rf "$work"
fi

echo "== all tests passed"
