#!/usr/bin/env python3
"""Compares Delvorin's build and apply with the field's delta tools on the same corpora.

Run through bench/run.sh, which installs the tools and builds the project first.
For every corpus (an old and a new folder) it measures, side by side: patch bytes,
build seconds, apply seconds and peak resident memory (from /usr/bin/time -v), as the
median of several runs after a warm-up, for delvorin-cli, xdelta3, zstd --patch-from,
bsdiff, rsync batches and the floor (reading both trees and gzip -6 of the patch image
for the build; copying the new tree for the apply), then prints one table per corpus
and the targets Delvorin is held to.
"""
import argparse
import json
import os
import platform
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MIB = 1 << 20
# bsdiff needs about 17 times the old file in memory and its suffix sort slows down
# badly with size (about 3 minutes for a 64 MiB tar on the benchmark machine), and
# zstd -19 takes about 1.5 s per MiB: above these tar sizes they would take well over
# 10 minutes per run and are skipped.
BSDIFF_LIMIT = 100 * MIB
ZSTD_LIMIT = 100 * MIB
# A tool whose warm-up run takes longer than this is measured once (the warm-up run).
SLOW_RUN = 20.0


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def tree_bytes(folder):
    total = 0
    files = 0
    for root, _, names in os.walk(folder):
        for n in names:
            p = os.path.join(root, n)
            if os.path.isfile(p) and not os.path.islink(p):
                total += os.path.getsize(p)
                files += 1
    return total, files


def largest_file(folder):
    best = 0
    for root, _, names in os.walk(folder):
        for n in names:
            p = os.path.join(root, n)
            if os.path.isfile(p):
                best = max(best, os.path.getsize(p))
    return best


def largest_pair(old, new):
    """The largest old-plus-new size of two files at the same relative path (or of a
    new file alone)."""
    best = 0
    for root, _, names in os.walk(new):
        rel = os.path.relpath(root, new)
        for n in names:
            size = os.path.getsize(os.path.join(root, n))
            o = os.path.join(old, rel, n)
            if os.path.isfile(o):
                size += os.path.getsize(o)
            best = max(best, size)
    return best


def only_in_old(old, new):
    """Relative names of the files of old that new does not have."""
    names = []
    for root, _, files in os.walk(old):
        rel = os.path.relpath(root, old)
        for n in files:
            r = os.path.normpath(os.path.join(rel, n))
            if not os.path.lexists(os.path.join(new, r)):
                names.append(r)
    return sorted(names)


class Corpus:
    def __init__(self, name, make, note):
        self.name = name
        self.make = make  # function(folder) that creates folder/old and folder/new
        self.note = note


def npm_corpus(package, old_version, new_version):
    def make(folder):
        with tempfile.TemporaryDirectory() as scratch:
            for side, version in (("old", old_version), ("new", new_version)):
                out = subprocess.run(["npm", "pack", "--silent", f"{package}@{version}"], cwd=scratch,
                                     check=True, capture_output=True, text=True).stdout.strip().splitlines()[-1]
                dest = os.path.join(folder, side)
                os.makedirs(dest)
                run(["tar", "-xzf", os.path.join(scratch, out), "-C", dest, "--strip-components=1"])
        # npm packages carry a fixed write time; the access time is set to one fixed
        # value too, as a publisher's copy would keep it, so that unchanged files are
        # the same in both trees.
        pin_access_times(folder)
    return make


def repeated_binary(package, old_version, new_version, times):
    # A native binary of release size: the package's one, four times over in both
    # versions, so that the pair is rebuilt a window at a time (past 8 MiB) with the
    # many small new-data objects a thorough patch of machine code holds.
    def make(folder):
        npm_corpus(package, old_version, new_version)(folder)
        for side in ("old", "new"):
            dest = os.path.join(folder, side)
            name = max(os.listdir(dest), key=lambda n: os.path.getsize(os.path.join(dest, n)))
            path = os.path.join(dest, name)
            with open(path, "rb") as f:
                data = f.read()
            with open(path, "wb") as f:
                f.write(data * times)
        pin_access_times(folder)
    return make


def pin_access_times(folder):
    when = 4102444800  # 2100: reading a file never moves an access time ahead of now
    for root, _, names in os.walk(folder):
        for n in names:
            p = os.path.join(root, n)
            st = os.lstat(p)
            os.utime(p, ns=(when * 10**9, st.st_mtime_ns), follow_symlinks=False)


def generated(bin_dir, kind, a, b):
    def make(folder):
        run([os.path.join(bin_dir, "make_corpus"), kind, str(a), str(b), folder])
    return make


def corpora(bin_dir, quick):
    npm = [
        Corpus("prettier", npm_corpus("prettier", "3.2.4", "3.2.5"), "npm prettier 3.2.4 -> 3.2.5"),
        Corpus("three", npm_corpus("three", "0.160.0", "0.161.0"), "npm three 0.160.0 -> 0.161.0"),
        Corpus("rollup-linux", npm_corpus("@rollup/rollup-linux-x64-gnu", "4.9.0", "4.9.6"),
               "npm @rollup/rollup-linux-x64-gnu 4.9.0 -> 4.9.6"),
        Corpus("rollup-x4", repeated_binary("@rollup/rollup-linux-x64-gnu", "4.9.0", "4.9.6", 4),
               "the rollup pair's 2.6 MB native binary four times over (10.5 MB)"),
    ]
    if quick:
        gen = [
            Corpus("scattered-16m", generated(bin_dir, "scattered", 16, 64), "16 MiB file pair, 64 scattered edits"),
            Corpus("scattered-64m", generated(bin_dir, "scattered", 64, 256), "64 MiB file pair, 256 scattered edits"),
            Corpus("equalsums-64m", generated(bin_dir, "equalsums", 64, 256),
                   "64 MiB file of equal-byte-sum blocks, 256 scattered edits"),
            Corpus("small-5k", generated(bin_dir, "smallfiles", 5000, 1), "5,000 small files, 1 % changed"),
            Corpus("allnew-2k", generated(bin_dir, "allnew", 2000, 0), "2,000 files, every one new"),
        ]
    else:
        gen = [
            Corpus("scattered-64m", generated(bin_dir, "scattered", 64, 256), "64 MiB file pair, 256 scattered edits"),
            Corpus("scattered-256m", generated(bin_dir, "scattered", 256, 1024),
                   "256 MiB file pair, 1,024 scattered edits"),
            Corpus("equalsums-256m", generated(bin_dir, "equalsums", 256, 1024),
                   "256 MiB file of equal-byte-sum blocks, 1,024 scattered edits"),
            Corpus("scattered-1g", generated(bin_dir, "scattered", 1024, 4096),
                   "1 GiB file pair, 4,096 scattered edits"),
            Corpus("small-100k", generated(bin_dir, "smallfiles", 100000, 1), "100,000 small files, 1 % changed"),
            Corpus("allnew-20k", generated(bin_dir, "allnew", 20000, 0), "20,000 files, every one new"),
        ]
    return npm + gen


class Bench:
    def __init__(self, args):
        self.args = args
        self.bin = os.path.abspath(args.bin)
        self.out = os.path.abspath(args.out)
        self.cli = os.path.join(self.bin, "delvorin-cli")
        self.trash = os.path.join(self.out, "trash")
        self.home = os.path.join(self.out, "home")
        os.makedirs(self.home, exist_ok=True)
        self.env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"))

    # Takes away the result of an earlier run. A tree of many files is moved into the
    # trash, which is emptied when the whole benchmark is over: on ext4 without a journal
    # a freed inode is not reused for one to five minutes, and every file creation
    # meanwhile first searches past the freed ones, which would time the file system's
    # clean-up of earlier runs instead of the tool (deleting the 965 files of three
    # before each run made every tool that creates files slower, cp -r of that tree
    # several times). A few large files are deleted instead: the next run then writes
    # into the blocks they freed, and with gigabytes kept in the trash, writing a
    # 256 MiB file took 0.7 s here against 0.09 s after the trash was emptied.
    def discard(self, path):
        if not os.path.lexists(path):
            return
        if os.path.isdir(path) and not os.path.islink(path) and tree_bytes(path)[1] >= 100:
            os.makedirs(self.trash, exist_ok=True)
            os.rename(path, os.path.join(self.trash, str(len(os.listdir(self.trash)))))
        elif os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path)
        else:
            os.remove(path)

    # One timed command: wall seconds (measured here, to the microsecond) and the peak
    # resident memory in bytes from /usr/bin/time -v.
    def timed(self, cmd, cwd=None, shell=False):
        # Every run starts with nothing waiting to be written: a tool that makes its
        # output durable must not pay for the copy that prepared its target.
        os.sync()
        with tempfile.NamedTemporaryFile("r", suffix=".time") as tf:
            full = ["/usr/bin/time", "-v", "-o", tf.name]
            full += ["sh", "-c", cmd] if shell else cmd
            start = time.perf_counter()
            p = subprocess.run(full, cwd=cwd, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            wall = time.perf_counter() - start
            rss = 0
            for line in tf.read().splitlines():
                if "Maximum resident set size" in line:
                    rss = int(line.split(":")[1]) * 1024
        if p.returncode != 0:
            raise RuntimeError(f"{' '.join(cmd) if not shell else cmd} failed ({p.returncode}): "
                               f"{p.stderr.decode(errors='replace')[-500:]}")
        return wall, rss

    # Warm-up, then the median of the runs; prepare() runs untimed before each one.
    def measure(self, cmd, prepare=None, cwd=None, shell=False):
        if prepare:
            prepare()
        first = self.timed(cmd, cwd, shell)
        if first[0] > SLOW_RUN:
            return first[0], first[1], 1
        walls, rsss = [], []
        for _ in range(self.args.runs):
            if prepare:
                prepare()
            w, r = self.timed(cmd, cwd, shell)
            walls.append(w)
            rsss.append(r)
        return statistics.median(walls), max(rsss), len(walls)

    def corpus(self, c):
        folder = os.path.join(self.out, "corpora", c.name)
        old, new = os.path.join(folder, "old"), os.path.join(folder, "new")
        ready = os.path.join(folder, ".ready")
        if not os.path.exists(ready):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            c.make(folder)
            for side in ("old", "new"):
                run(["tar", "--sort=name", "-cf", os.path.join(folder, side + ".tar"), "-C", os.path.join(folder, side),
                     "."])
            open(ready, "w").close()
        return folder, old, new

    def results_for(self, c):
        folder, old, new = self.corpus(c)
        work = os.path.join(self.out, "work", c.name)
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        old_tar, new_tar = os.path.join(folder, "old.tar"), os.path.join(folder, "new.tar")
        target = os.path.join(work, "target")
        out_tar = os.path.join(work, "out.tar")
        new_bytes, new_files = tree_bytes(new)
        old_bytes, old_files = tree_bytes(old)
        info = {"name": c.name, "note": c.note, "new_bytes": new_bytes, "new_files": new_files,
                "old_bytes": old_bytes, "old_files": old_files,
                "largest_pair": largest_pair(old, new), "largest_new": largest_file(new), "tools": {}}
        print(f"== {c.name}: {c.note} ({old_files} -> {new_files} files, "
              f"{old_bytes / MIB:.1f} -> {new_bytes / MIB:.1f} MiB)", flush=True)

        def fresh_target():
            self.discard(target)
            run(["cp", "-a", old, target])

        def no_output():
            self.discard(out_tar)

        def record(name, patch, build, apply, check=None, note=""):
            entry = {"bytes": os.path.getsize(patch) if patch else None, "build": build[0], "build_rss": build[1],
                     "build_runs": build[2], "apply": apply[0] if apply else None,
                     "apply_rss": apply[1] if apply else None, "apply_runs": apply[2] if apply else None,
                     "note": note}
            if check:
                entry["correct"] = check()
            info["tools"][name] = entry
            print(f"   {name:10s} {entry['bytes'] or 0:>12,d} B  build {build[0]:8.3f} s  "
                  f"apply {apply[0] if apply else 0:8.3f} s  {note}", flush=True)

        def same_tar():
            return subprocess.run(["cmp", "-s", out_tar, new_tar]).returncode == 0

        def same_tree():
            return subprocess.run(["diff", "-rq", target, new], stdout=subprocess.DEVNULL).returncode == 0

        only = self.args.tools.split(",") if self.args.tools else None

        def wanted(name):
            return only is None or name in only

        # Delvorin. Files that the new release no longer has are named in the remove
        # list, as a publisher does, so that the applied tree equals the new one.
        removes = []
        for rel in only_in_old(old, new):
            removes += ["--remove", rel]
        dvp = os.path.join(work, "update.dvp")
        if wanted("delvorin"):
            build = self.measure([self.cli, "build", old, new, dvp, "--no-self-extract"] + removes)
            apply = self.measure([self.cli, "apply", dvp, target], prepare=fresh_target)
            record("delvorin", dvp, build, apply, same_tree)

        # The thorough build of the same pair, applied by the same program.
        thorough = os.path.join(work, "thorough.dvp")
        if wanted("thorough"):
            build = self.measure([self.cli, "build", old, new, thorough, "--no-self-extract", "--thorough"] + removes)
            apply = self.measure([self.cli, "apply", thorough, target], prepare=fresh_target)
            record("thorough", thorough, build, apply, same_tree)

        # The compact format of the same pair, applied by the same program.
        compact = os.path.join(work, "compact.dvp")
        if wanted("compact"):
            build = self.measure([self.cli, "build", old, new, compact, "--no-self-extract", "--format", "compact"]
                                 + removes)
            apply = self.measure([self.cli, "apply", compact, target], prepare=fresh_target)
            record("compact", compact, build, apply, same_tree)

        # The floor: reading both trees and compressing the uncompressed patch image;
        # copying the new tree.
        if wanted("floor"):
            image = os.path.join(work, "image.bin")
            if not os.path.exists(dvp):
                run([self.cli, "build", old, new, dvp, "--no-self-extract"] + removes, env=self.env,
                    stdout=subprocess.DEVNULL)
            run(["sh", "-c", f"tail -c +9 '{dvp}' | gzip -dc > '{image}'"])
            floor_gz = os.path.join(work, "floor.gz")
            build = self.measure(f"find '{old}' '{new}' -type f -print0 | xargs -0 cat > /dev/null && "
                                 f"gzip -6 -c '{image}' > '{floor_gz}'", shell=True)
            copy_dest = os.path.join(work, "copy")
            apply = self.measure(["cp", "-r", new, copy_dest],
                                 prepare=lambda: self.discard(copy_dest))
            record("floor", floor_gz, build, apply, note="cat + gzip -6 of the image / cp -r")
            os.remove(image)
            self.discard(copy_dest)

        if wanted("xdelta3"):
            patch = os.path.join(work, "patch.vcdiff")
            build = self.measure(["xdelta3", "-e", "-9", "-f", "-s", old_tar, new_tar, patch])
            apply = self.measure(["xdelta3", "-d", "-f", "-s", old_tar, patch, out_tar], prepare=no_output)
            record("xdelta3", patch, build, apply, same_tar)

        # xdelta3 -9 file by file: every changed file delta-compressed against its old
        # version, every new file gzipped, the outputs summed; what a per-file patch
        # made with the field's delta tool would weigh. The plain variant turns off
        # xdelta3's secondary compression (LZMA where it has it), leaving the delta
        # encoding itself beside one deflate stream.
        for key, extra in (("xdelta3-files", ""), ("xdelta3-files-plain", "-S none ")):
            if not wanted(key):
                continue
            pieces = os.path.join(work, "pieces")
            script = (f"cd '{new}' && find . -type f -print0 | while IFS= read -r -d '' f; do "
                      f"o='{old}'/\"$f\"; p='{pieces}'/$(printf %s \"$f\" | md5sum | cut -c1-32); "
                      f"if [ -f \"$o\" ]; then cmp -s \"$o\" \"$f\" || xdelta3 -e -9 {extra}-f -s \"$o\" \"$f\" \"$p\"; "
                      "else gzip -9 -c \"$f\" > \"$p\"; fi; done")
            script = "exec bash -c " + shlex.quote(script)  # read -d is bash's
            build = self.measure(script, prepare=lambda: (shutil.rmtree(pieces, ignore_errors=True),
                                                          os.makedirs(pieces)), shell=True)
            summed = sum(os.path.getsize(os.path.join(pieces, n)) for n in os.listdir(pieces))
            info["tools"][key] = {"bytes": summed, "build": build[0], "build_rss": build[1],
                                  "build_runs": build[2], "apply": None, "apply_rss": None,
                                  "apply_runs": None, "note": "per file"}
            print(f"   {key:10s} {summed:>12,d} B  build {build[0]:8.3f} s", flush=True)
            shutil.rmtree(pieces, ignore_errors=True)

        # zstd --patch-from with the window of the classic comparison (--long=27) and with
        # its longest one (--long=31), the peer the compact format is held to.
        for key, long in (("zstd", 27), ("zstd31", 31)):
            if not wanted(key):
                continue
            if os.path.getsize(new_tar) > ZSTD_LIMIT:
                info["tools"][key] = {
                    "skipped": f"skipped: -19 on a {os.path.getsize(new_tar) / MIB:.0f} MiB tar would take about "
                               f"{1.5 * os.path.getsize(new_tar) / MIB / 60:.0f} minutes per run"}
                print(f"   {key} skipped", flush=True)
                continue
            patch = os.path.join(work, f"patch-{long}.zst")
            try:
                build = self.measure(["zstd", "-q", "-f", "-19", f"--long={long}", f"--patch-from={old_tar}", new_tar,
                                      "-o", patch])
                apply = self.measure(["zstd", "-q", "-f", "-d", f"--long={long}", f"--patch-from={old_tar}", patch,
                                      "-o", out_tar], prepare=no_output)
                record(key, patch, build, apply, same_tar)
            except RuntimeError as e:
                print(f"   {key} failed:", e, flush=True)
                info["tools"][key] = {"skipped": "failed: " + str(e)[:200]}

        if wanted("bsdiff"):
            if os.path.getsize(old_tar) > BSDIFF_LIMIT:
                info["tools"]["bsdiff"] = {
                    "skipped": f"skipped: a {os.path.getsize(old_tar) / MIB:.0f} MiB old tar needs about "
                               f"{17 * os.path.getsize(old_tar) / (1 << 30):.1f} GiB and far more than 10 minutes"}
                print("   bsdiff skipped", flush=True)
            else:
                patch = os.path.join(work, "patch.bsdiff")
                build = self.measure(["bsdiff", old_tar, new_tar, patch])
                apply = self.measure(["bspatch", old_tar, out_tar, patch], prepare=no_output)
                record("bsdiff", patch, build, apply, same_tar)

        if wanted("rsync"):
            batch = os.path.join(work, "rsync.batch")

            def no_batch():
                for f in (batch, batch + ".sh"):
                    if os.path.exists(f):
                        os.remove(f)
            build = self.measure(["rsync", "-a", "--no-whole-file", f"--only-write-batch={batch}", new + "/",
                                  old + "/"], prepare=no_batch)
            apply = self.measure(["rsync", "-a", f"--read-batch={batch}", target + "/"], prepare=fresh_target)
            record("rsync", batch, build, apply, same_tree)

        self.discard(target)
        shutil.rmtree(work, ignore_errors=True)
        return info


def fmt_s(v):
    return "–" if v is None else (f"{v:.3f}" if v < 10 else f"{v:.1f}")


def fmt_mib(v):
    return "–" if v is None else f"{v / MIB:.0f}"


def ratio(a, b):
    if a is None or b is None or b == 0:
        return "–"
    return f"{a / b:.2f}"


def table(info):
    lines = [f"### {info['name']}: {info['note']}", "",
             f"{info['old_files']:,} → {info['new_files']:,} files, {info['old_bytes'] / MIB:.1f} → "
             f"{info['new_bytes'] / MIB:.1f} MiB; largest old+new pair {info['largest_pair'] / MIB:.1f} MiB", "",
             "| tool | patch bytes | build s | apply s | build peak MiB | apply peak MiB | "
             "Delvorin ÷ tool: bytes | build | apply |",
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|"]
    d = info["tools"].get("delvorin")
    names = {"delvorin": "delvorin-cli build / apply", "thorough": "delvorin-cli build --thorough / apply",
             "compact": "delvorin-cli build --format compact / apply",
             "xdelta3-files": "xdelta3 -9 file by file (new files gzip -9)",
             "xdelta3-files-plain": "xdelta3 -9 -S none file by file (no secondary compression)",
             "xdelta3": "xdelta3 -9 / -d (tar)",
             "zstd": "zstd -19 --long=27 --patch-from (tar)", "zstd31": "zstd -19 --long=31 --patch-from (tar)",
             "bsdiff": "bsdiff / bspatch (tar)",
             "rsync": "rsync batch (--no-whole-file)", "floor": "floor: cat + gzip -6 / cp -r"}
    for key in ("delvorin", "thorough", "compact", "xdelta3-files", "xdelta3-files-plain", "xdelta3", "zstd",
                "zstd31", "bsdiff", "rsync", "floor"):
        t = info["tools"].get(key)
        if t is None:
            continue
        if "skipped" in t:
            lines.append(f"| {names[key]} | {t['skipped']} | | | | | | | |")
            continue
        single = " †" if t.get("build_runs") == 1 or t.get("apply_runs") == 1 else ""
        wrong = "" if t.get("correct", True) else " (output differs!)"
        lines.append(
            f"| {names[key]}{single}{wrong} | {t['bytes']:,} | {fmt_s(t['build'])} | {fmt_s(t['apply'])} | "
            f"{fmt_mib(t['build_rss'])} | {fmt_mib(t['apply_rss'])} | "
            + (" | | |" if key == "delvorin" or d is None else
               f"{ratio(d['bytes'], t['bytes'])} | {ratio(d['build'], t['build'])} | {ratio(d['apply'], t['apply'])} |"))
    lines.append("")
    return "\n".join(lines)


def targets(results):
    """The targets Delvorin is held to, each with its figure and met or not."""
    out = ["### Targets", "", "| target | corpus | figure | met |", "|---|---|---|---|"]

    def add(what, corpus, figure, ok):
        out.append(f"| {what} | {corpus} | {figure} | {'met' if ok else '**not met**'} |")

    by_name = {r["name"]: r for r in results}
    for r in results:
        t = r["tools"]
        d = t.get("delvorin")
        if not d:
            continue
        for other in ("xdelta3", "bsdiff", "zstd", "rsync"):
            o = t.get(other)
            if o and "skipped" not in o:
                add(f"build faster than {other}", r["name"], f"{d['build']:.3f} s vs {o['build']:.3f} s",
                    d["build"] < o["build"])
        f = t.get("floor")
        if f:
            add("build within 1.5× of the floor", r["name"], f"{d['build'] / f['build']:.2f}×",
                d["build"] <= 1.5 * f["build"])
        for other in ("xdelta3", "bsdiff"):
            o = t.get(other)
            if o and "skipped" not in o:
                add(f"apply faster than {other}", r["name"], f"{d['apply']:.3f} s vs {o['apply']:.3f} s",
                    d["apply"] < o["apply"])
        if f:
            add("apply within 2× of copying the new tree", r["name"], f"{d['apply'] / f['apply']:.2f}×",
                d["apply"] <= 2 * f["apply"])
        limit = r["largest_pair"] + 64 * MIB
        add("build peak ≤ largest pair + 64 MiB", r["name"],
            f"{d['build_rss'] / MIB:.0f} MiB ≤ {limit / MIB:.0f} MiB", d["build_rss"] <= limit)
        limit = r["largest_new"] + 64 * MIB
        add("apply peak ≤ 64 MiB + largest object", r["name"],
            f"{d['apply_rss'] / MIB:.0f} MiB ≤ {limit / MIB:.0f} MiB", d["apply_rss"] <= limit)

    # The thorough build, beside the default one and the field's delta tool.
    for r in results:
        t = r["tools"]
        d, th = t.get("delvorin"), t.get("thorough")
        if not th:
            continue
        npm = r["note"].startswith("npm ")
        xf = t.get("xdelta3-files")
        if npm and xf:
            add("thorough bytes ≤ xdelta3 -9 file by file", r["name"], f"{th['bytes']:,} vs {xf['bytes']:,} "
                f"({th['bytes'] / xf['bytes']:.2f}×)", th["bytes"] <= xf["bytes"])
        xp = t.get("xdelta3-files-plain")
        if npm and xp:
            add("thorough bytes ≤ xdelta3 -9 -S none file by file", r["name"],
                f"{th['bytes']:,} vs {xp['bytes']:,} ({th['bytes'] / xp['bytes']:.2f}×)", th["bytes"] <= xp["bytes"])
        if npm and d:
            add("thorough bytes ≤ 0.6 × default", r["name"], f"{th['bytes'] / d['bytes']:.2f}×",
                th["bytes"] <= 0.6 * d["bytes"])
        xt = t.get("xdelta3")
        if xt and "skipped" not in xt:
            add("thorough build faster than xdelta3 -9 (tar)", r["name"],
                f"{th['build']:.3f} s vs {xt['build']:.3f} s", th["build"] < xt["build"])
        if d:
            add("thorough build within 4× the default build", r["name"], f"{th['build'] / d['build']:.2f}×",
                th["build"] <= 4 * d["build"])
        limit = 3 * r["largest_pair"] + 64 * MIB
        add("thorough build peak ≤ 3 × largest pair + 64 MiB", r["name"],
            f"{th['build_rss'] / MIB:.0f} MiB ≤ {limit / MIB:.0f} MiB", th["build_rss"] <= limit)

    # The compact format against the smallest patch of the field's tools.
    for r in results:
        t = r["tools"]
        c = t.get("compact")
        if not c:
            continue
        peers = {k: t[k] for k in ("bsdiff", "zstd", "zstd31", "xdelta3", "xdelta3-files")
                 if k in t and "skipped" not in t[k]}
        npm = r["note"].startswith("npm ")
        if peers:
            best = min(peers, key=lambda k: peers[k]["bytes"])
            allowed = 1.0 if npm else 1.1
            add(f"compact bytes ≤ {'' if npm else '1.1 × '}smallest peer", r["name"],
                f"{c['bytes']:,} vs {best} {peers[best]['bytes']:,} ({c['bytes'] / peers[best]['bytes']:.2f}×)",
                c["bytes"] <= allowed * peers[best]["bytes"])
        for other in ("zstd", "zstd31", "bsdiff"):
            o = t.get(other)
            if o and "skipped" not in o:
                add(f"compact build ≤ {other}", r["name"], f"{c['build']:.3f} s vs {o['build']:.3f} s",
                    c["build"] <= o["build"])
        applies = {k: peers[k]["apply"] for k in peers if peers[k].get("apply")}
        if applies:
            fastest = min(applies, key=applies.get)
            add("compact apply ≤ 1.2 × fastest peer", r["name"],
                f"{c['apply']:.3f} s vs {fastest} {applies[fastest]:.3f} s", c["apply"] <= 1.2 * applies[fastest])
        add("compact apply peak ≤ 64 MiB + mapped old file", r["name"], f"{c['apply_rss'] / MIB:.0f} MiB",
            c["apply_rss"] <= 64 * MIB + r["largest_pair"])

    def rate(name):
        r = by_name.get(name)
        if not r or "delvorin" not in r["tools"]:
            return None
        return r["new_bytes"] / MIB / r["tools"]["delvorin"]["build"]

    for big, small in (("scattered-1g", "scattered-64m"), ("scattered-64m", "scattered-16m")):
        b, s = rate(big), rate(small)
        if b and s:
            add("build throughput at the large size ≥ 80 % of the small one", f"{big} vs {small}",
                f"{b:.0f} MB/s vs {s:.0f} MB/s ({100 * b / s:.0f} %)", b >= 0.8 * s)
            break
    for name in ("small-100k", "small-5k"):
        r = by_name.get(name)
        if r and "delvorin" in r["tools"]:
            fps = r["new_files"] / r["tools"]["delvorin"]["build"]
            add("small files build ≥ 10,000 files/s", name, f"{fps:,.0f} files/s", fps >= 10000)
            break
    for eq, sc in (("equalsums-256m", "scattered-256m"), ("equalsums-64m", "scattered-64m")):
        e, s = by_name.get(eq), by_name.get(sc)
        if e and s and "delvorin" in e["tools"] and "delvorin" in s["tools"]:
            a, b = e["tools"]["delvorin"]["build"], s["tools"]["delvorin"]["build"]
            add("equal-byte-sum file ≤ 2× the scattered-edits file", f"{eq} vs {sc}",
                f"{a:.3f} s vs {b:.3f} s ({a / b:.2f}×)", a <= 2 * b)
            break
    out.append("")
    return "\n".join(out)


def machine():
    cpu = platform.processor() or ""
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / (1 << 30)
    load = os.getloadavg()[0]
    return (f"{cpu}, {os.cpu_count()} cores, {mem:.0f} GiB memory, {platform.system()} {platform.release()}; "
            f"load average {load:.1f} at the end of the run")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin", required=True, help="folder of delvorin-cli and make_corpus")
    ap.add_argument("--out", required=True, help="work folder for corpora, patches and results")
    ap.add_argument("--runs", type=int, default=5, help="timed runs after the warm-up (median reported)")
    ap.add_argument("--quick", action="store_true", help="small generated corpora, for development")
    ap.add_argument("--corpus", default="", help="comma-separated corpus names (default: all)")
    ap.add_argument("--tools", default="", help="comma-separated tools (default: all)")
    ap.add_argument("--keep", action="store_true", help="keep the corpora afterwards")
    args = ap.parse_args()

    b = Bench(args)
    chosen = corpora(b.bin, args.quick)
    if args.corpus:
        names = args.corpus.split(",")
        chosen = [c for c in chosen if c.name in names]
    results = []
    for c in chosen:
        results.append(b.results_for(c))
        if not args.keep and c.name.startswith(("scattered-1g", "scattered-256m", "equalsums-256m", "small-100k")):
            b.discard(os.path.join(b.out, "corpora", c.name))
    shutil.rmtree(b.trash, ignore_errors=True)
    report = [f"Machine: {machine()}", "",
              f"Median of {args.runs} runs after a warm-up († one run: the tool took over {SLOW_RUN:.0f} s). "
              "Ratios are Delvorin's figure divided by the tool's (below 1: Delvorin is smaller or faster).", ""]
    report += [table(r) for r in results]
    report.append(targets(results))
    text = "\n".join(report)
    print()
    print(text)
    with open(os.path.join(b.out, "results.md"), "w") as f:
        f.write(text + "\n")
    with open(os.path.join(b.out, "results.json"), "w") as f:
        json.dump(results, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
