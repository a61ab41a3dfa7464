#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the
# AddressSanitizer/UndefinedBehaviorSanitizer build, the tests of the code that runs in
# several threads under ThreadSanitizer, then the fuzzers of both patch readers and of
# the Windows programs' zstd decoder.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
delvorin_install_packages
jobs=$(nproc)

echo "== Build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
(cd build && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$jobs")

echo "== Sanitizer build and test"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDELVORIN_SANITIZE=ON -DDELVORIN_GUI=OFF
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$jobs")

echo "== Thread sanitizer build and test (threaded code only)"
threaded="unit.prefetch_test|unit.content_test|unit.differencing_test|integration.build_test|integration.apply_test"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDELVORIN_THREAD_SANITIZE=ON -DDELVORIN_GUI=OFF
cmake --build build-tsan -j "$jobs" --target prefetch_test content_test differencing_test build_test apply_test
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j "$jobs" -R "^($threaded)\$")

if [ -x tests/fuzz/run.sh ]; then
  echo "== Fuzzing"
  tests/fuzz/run.sh 45
  tests/fuzz/run.sh 45 compact
  tests/fuzz/run.sh 30 zstd
fi
