#!/usr/bin/env bash
# Makes the seed corpus of the patch-reader fuzzer: real patch images (decompressed,
# without the part prefix) built by delvorin-cli from the fuzzer's fixed old files.
# usage: tests/fuzz/make_corpus.sh [BIN_FOLDER]   (default build/bin)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="${1:-$here/../../build/bin}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

old_files() {
  mkdir -p "$1/sub"
  for i in $(seq 1 20); do printf 'hello world\n'; done > "$1/a.txt"
  python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)))' > "$1/sub/b.bin"
  printf 'remove me\n' > "$1/c.txt"
}

image() { # name old new [build options...]
  local name="$1" old="$2" new="$3"
  shift 3
  "$bin/delvorin-cli" build "$old" "$new" "$work/$name.dvp" --publisher fuzz "$@" >/dev/null
  tail -c +9 "$work/$name.dvp" | gunzip > "$here/corpus/$name"
}

# The compact fuzzer's seed: a compact patch's unpacked description, controls,
# differences and literals, each behind its 32-bit length, then its frames
# (fuzz_patch_reader.cpp).
compact_seed() { # name old new [build options...]
  local name="$1" old="$2" new="$3"
  shift 3
  "$bin/delvorin-cli" build "$old" "$new" "$work/$name-compact.dvp" --publisher fuzz --format compact "$@" >/dev/null
  python3 - "$work/$name-compact.dvp" "$here/corpus-compact/$name" "$old" "$work/lead" <<'PY'
import os, struct, subprocess, sys
d = open(sys.argv[1], 'rb').read()[8:]
raw, packed = struct.unpack('<II', d[12:20])
lengths = [packed] + [struct.unpack('<QQ', d[20 + 16 * i:36 + 16 * i])[1] for i in range(3)]
at, parts = 108, []
for i, n in enumerate(lengths):
    frame = d[at:at + n]
    at += n
    # The literals are unpacked after the contents of the lead files the description names.
    lead = []
    if i == 3:
        desc, p = parts[0], 4
        for _ in range(4):
            p += 2 + struct.unpack('<H', desc[p:p + 2])[0]
        removes = struct.unpack('<H', desc[p:p + 2])[0]
        p += 2
        for _ in range(removes):
            p += 2 + struct.unpack('<H', desc[p:p + 2])[0]
        p += 2
        count = struct.unpack('<H', desc[p:p + 2])[0]
        p += 2
        for _ in range(count):
            k = struct.unpack('<H', desc[p:p + 2])[0]
            name = desc[p + 2:p + 2 + k].decode().replace('\\', '/')
            p += 2 + k + 4
            lead.append(open(os.path.join(sys.argv[3], name), 'rb').read())
    args = ['zstd', '-dcq']
    if lead:
        open(sys.argv[4], 'wb').write(b''.join(lead))
        args.append('--patch-from=' + sys.argv[4])
    parts.append(subprocess.run(args, input=frame, capture_output=True, check=True).stdout if n else b'')
parts.append(d[at:])
open(sys.argv[2], 'wb').write(b''.join(struct.pack('<I', len(p)) + p for p in parts[:4]) + parts[4])
PY
}

mkdir -p "$here/corpus" "$here/corpus-compact"
old_files "$work/old"

# Changed, removed and new files.
old_files "$work/new1"
sed -i 's/^hello world$/hello there/;5a\a line more' "$work/new1/a.txt"
rm "$work/new1/c.txt"
mkdir -p "$work/new1/d/e" && printf 'new\n' > "$work/new1/d/e/f.txt"
image changed "$work/old" "$work/new1" --remove c.txt
compact_seed changed "$work/old" "$work/new1" --remove c.txt

# Part of a binary file rewritten: old-copy and new-data objects.
old_files "$work/new2"
python3 -c 'import sys; b=bytearray(range(256)); b[100:110]=b"0123456789"; sys.stdout.buffer.write(b)' \
  > "$work/new2/sub/b.bin"
image binary "$work/old" "$work/new2"
compact_seed binary "$work/old" "$work/new2"

# Only new files, one of them empty.
mkdir -p "$work/empty" "$work/new3/x"
printf 'only new\n' > "$work/new3/x/n.txt"
: > "$work/new3/empty.txt"
image newfiles "$work/empty" "$work/new3"
compact_seed newfiles "$work/empty" "$work/new3"

# Two new files nearly alike: the second one's packed delta has the first as its twin.
mkdir -p "$work/new5/x"
python3 -c 'import random; random.seed(5); print(" ".join(random.choice(["let","var","fn","x","y","return"]) for _ in range(5000)))' \
  > "$work/new5/x/p.js"
{ printf 'export\n'; cat "$work/new5/x/p.js"; } > "$work/new5/x/p.mjs"
compact_seed twins "$work/empty" "$work/new5"

# A new file much like a file left alone beside it: that file leads the literals.
old_files "$work/new6"
{ cat "$work/new6/a.txt"; printf 'and one more line\n'; } > "$work/new6/n.txt"
compact_seed lead "$work/old" "$work/new6"

# The same content with other times: records without objects.
old_files "$work/new4"
touch -d '2001-02-03 04:05:06' "$work/new4/a.txt" "$work/new4/sub/b.bin" "$work/new4/c.txt"
image times "$work/old" "$work/new4"
compact_seed times "$work/old" "$work/new4"
ls -l "$here/corpus" "$here/corpus-compact"
