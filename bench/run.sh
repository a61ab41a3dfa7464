#!/usr/bin/env bash
# Benchmark of Delvorin against the field's delta tools (xdelta3, zstd --patch-from,
# bsdiff, rsync batches) and the floor (reading the trees and gzip, copying a tree).
# Not part of ./test.sh: it installs the tools, builds the project in Release into
# build-bench, fetches the npm release pairs and generates the large corpora.
#
#   bench/run.sh [--runs N] [--quick] [--corpus NAME,...] [--tools NAME,...] [--keep]
#
# --quick uses small generated corpora and a single run, for development. Results go
# to bench/out/results.md (and .json); BENCH_OUT chooses another work folder (it needs
# about 6 GiB free for the full run).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
out="${BENCH_OUT:-$here/out}"

source "$root/scripts/deps.sh"
delvorin_install_packages xdelta3 zstd bsdiff rsync time
# npm fetches the release pairs; a machine with node from elsewhere already has it.
command -v npm >/dev/null || delvorin_install_packages npm

args=("$@")
quick=0
runs_given=0
for a in "$@"; do
  [ "$a" = "--quick" ] && quick=1
  [ "$a" = "--runs" ] && runs_given=1
done
if [ "$quick" = 1 ] && [ "$runs_given" = 0 ]; then
  args+=(--runs 1)
fi

cmake -S "$root" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDELVORIN_GUI=OFF >/dev/null
cmake --build "$root/build-bench" --target delvorin-cli make_corpus >/dev/null

mkdir -p "$out"
exec python3 "$here/bench.py" --bin "$root/build-bench/bin" --out "$out" "${args[@]}"
