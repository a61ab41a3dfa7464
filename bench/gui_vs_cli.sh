#!/usr/bin/env bash
# Times a build and an apply started from the windows (the Expert mode pages, progress
# dialog and all, under a virtual display) against the command-line program on the same
# tree: COUNT files of SIZE_KIB each (default 600 files of 1 MiB), every new file the
# old one with a few small edits. Prints each run and the ratios of the medians.
#   bench/gui_vs_cli.sh [BUILD_DIR] [RUNS]        (COUNT, SIZE_KIB and BENCH_OUT in the environment)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-3}
count=${COUNT:-600}
sizeKib=${SIZE_KIB:-1024}
cmake --build "$build" --target delvorin-cli gui_timing >/dev/null
work=$(mktemp -d "${BENCH_OUT:-/tmp}/gui-vs-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$count" "$sizeKib" <<'PY'
import os, random, sys
work, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) * 1024
rnd = random.Random(7)
for i in range(count):
    sub = "d%02d" % (i // 100)
    for side in ("old", "new"):
        os.makedirs(os.path.join(work, side, sub), exist_ok=True)
    data = bytearray(rnd.randbytes(size))
    open(os.path.join(work, "old", sub, "f%04d.bin" % i), "wb").write(data)
    for _ in range(3):  # a few small edits: bytes replaced and bytes inserted
        at = rnd.randrange(size)
        data[at:at + 16] = rnd.randbytes(16 + rnd.randrange(64))
    open(os.path.join(work, "new", sub, "f%04d.bin" % i), "wb").write(data)
PY

now() { date +%s.%N; }
gui() { xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/gui_timing" "$@" 2>/dev/null | tail -n 1; }
results=()
for run in $(seq "$runs"); do
    rm -rf "$work"/*.dvp "$work"/target-*
    t0=$(now); "$build/bin/delvorin-cli" build "$work/old" "$work/new" "$work/cli.dvp" >/dev/null 2>&1; t1=$(now)
    cliBuild=$(awk "BEGIN { print $t1 - $t0 }")
    guiBuild=$(gui build "$work/old" "$work/new" "$work/gui.dvp")
    cp -a "$work/old" "$work/target-cli"
    cp -a "$work/old" "$work/target-gui"
    sync
    t0=$(now); "$build/bin/delvorin-cli" apply "$work/cli.dvp" "$work/target-cli" >/dev/null 2>&1; t1=$(now)
    cliApply=$(awk "BEGIN { print $t1 - $t0 }")
    guiApply=$(gui apply "$work/gui.dvp" "$work/target-gui")
    diff -rq "$work/new" "$work/target-gui" >/dev/null || echo "warning: the apply from the windows did not give the new tree" >&2
    printf 'run %d: build cli %.2f s, windows %.2f s; apply cli %.2f s, windows %.2f s\n' \
        "$run" "$cliBuild" "$guiBuild" "$cliApply" "$guiApply"
    results+=("$cliBuild $guiBuild $cliApply $guiApply")
done
printf '%s\n' "${results[@]}" | python3 -c '
import statistics, sys
rows = [list(map(float, line.split())) for line in sys.stdin if line.strip()]
med = [statistics.median(col) for col in zip(*rows)]
print("median: build cli %.2f s, windows %.2f s (ratio %.2f); apply cli %.2f s, windows %.2f s (ratio %.2f)"
      % (med[0], med[1], med[1] / med[0], med[2], med[3], med[3] / med[2]))'
