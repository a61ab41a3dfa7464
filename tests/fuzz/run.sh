#!/usr/bin/env bash
# Builds the patch-reader fuzzer with clang and runs it for SECONDS seconds (default 60)
# on a copy of the seed corpus; with "compact" as second argument the compact reader's
# fuzzer on its own seeds (corpus-compact); with "zstd" the Windows programs' zstd decoder
# against the zstd library (corpus-zstd). Exits non-zero on any finding; the input that caused it
# is kept in build-fuzz/artifacts/.
set -euo pipefail
seconds="${1:-60}"
target=fuzz_patch_reader
seeds=corpus
if [ "${2:-}" = compact ]; then
  target=fuzz_compact_reader
  seeds=corpus-compact
elif [ "${2:-}" = zstd ]; then
  target=fuzz_zstd_decoder
  seeds=corpus-zstd
fi
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
build="$source_dir/build-fuzz"

CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDELVORIN_FUZZ=ON -DDELVORIN_GUI=OFF >/dev/null
cmake --build "$build" --target "$target"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$here/$seeds" "$work/corpus"
mkdir -p "$build/artifacts"
"$build/fuzz/$target" -max_total_time="$seconds" -max_len=8192 -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$work/corpus"
