#!/bin/bash
# Kills an apply at random moments (kill -9) and checks after every kill that each file
# of the target is entirely old or entirely new (a new file absent or complete), then
# runs the same apply again, which must finish the job: the target equals the new tree
# and the removal is done. Then kills it while it stages the files (nothing in the
# target may have changed) and while it puts them in place, each time running it again
# from there: the run again finishes the job, removes the staged files the kill left
# and the private temporary folder of the killed run.
#
# The tree: a 40 MB file that changes, a 40 MB file that is new, 30 small files that
# change or are new, and one file to remove.
set -u
bin=${DELVORIN_BIN:?DELVORIN_BIN names the folder of delvorin-cli}/delvorin-cli
kills=${KILLS:-8}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
old=$work/old new=$work/new target=$work/target
mkdir -p "$old/sub" "$new/sub" "$new/added"

head -c 40000000 /dev/urandom >"$old/big.bin"
cp "$old/big.bin" "$new/big.bin"
for at in 1000 5000000 17000000 39000000; do
    head -c 3000 /dev/urandom | dd of="$new/big.bin" bs=1 seek=$at conv=notrunc status=none
done
head -c 40000000 /dev/urandom >"$new/fresh.bin"
for i in $(seq 1 30); do
    if ((i % 3)); then
        echo "small file $i, old version" >"$old/sub/f$i.txt"
        echo "small file $i, the new version, somewhat longer" >"$new/sub/f$i.txt"
    else
        echo "small file $i, new" >"$new/added/f$i.txt"
    fi
done
echo "obsolete" >"$old/gone.txt"
"$bin" build "$old" "$new" "$work/update.dvp" --remove gone.txt >/dev/null || { echo "build failed"; exit 1; }

fail() { echo "FAIL: $*"; exit 1; }

# Every file of the target is its old version or its new one (a new file may be absent),
# and nothing else is there but rebuild files a kill left behind.
check_whole() {
    local f rel
    while IFS= read -r f; do
        rel=${f#"$target"/}
        case $(basename "$rel") in .~dvp-rebuild-??????) continue ;; esac
        if [ -f "$new/$rel" ] && cmp -s "$f" "$new/$rel"; then continue; fi
        if [ -f "$old/$rel" ] && cmp -s "$f" "$old/$rel"; then continue; fi
        fail "after kill $1: $rel is neither its old nor its new version"
    done < <(find "$target" -type f)
}

# How long one whole apply takes on this machine: the kills fall within that time.
cp -r "$old" "$target"
start=$(date +%s%N)
"$bin" apply "$work/update.dvp" "$target" >/dev/null 2>&1 || fail "the apply of the whole patch failed"
span_ms=$((($(date +%s%N) - start) / 1000000))
((span_ms > 0)) || span_ms=1
rm -rf "$target" && cp -r "$old" "$target"
killed=0
attempts=0
while ((killed < kills && attempts < 5 * kills)); do
    attempts=$((attempts + 1))
    "$bin" apply "$work/update.dvp" "$target" >/dev/null 2>&1 &
    pid=$!
    # A moment within the apply.
    delay_ms=$((RANDOM % span_ms))
    sleep "$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))"
    if kill -9 "$pid" 2>/dev/null; then
        killed=$((killed + 1))
        wait "$pid" 2>/dev/null
        check_whole "$attempts"
    else
        # It finished first: start again from the old tree for the next kill.
        wait "$pid" 2>/dev/null
        check_whole "$attempts"
        rm -rf "$target" && cp -r "$old" "$target"
    fi
done
((killed >= kills)) || fail "only $killed of $attempts applies could be killed midway"

# Every file of the target is its old version; a new file is absent.
check_old() {
    local f rel
    while IFS= read -r f; do
        rel=${f#"$target"/}
        case $(basename "$rel") in .~dvp-rebuild-??????) continue ;; esac
        [ -f "$old/$rel" ] && cmp -s "$f" "$old/$rel" && continue
        fail "killed while staging: $rel changed before the commit"
    done < <(find "$target" -type f)
}

# Whether a frozen apply had begun its commit: some file of the target is no longer its
# old version, every staged file left is a whole new version, and the staged files left
# and the files put in place are every file the patch changes or adds. (A staging that
# changed a target file would leave the sum short, or a staged file unfinished.)
staged_total=0
while IFS= read -r f; do
    rel=${f#"$new"/}
    [ -f "$old/$rel" ] && cmp -s "$f" "$old/$rel" || staged_total=$((staged_total + 1))
done < <(find "$new" -type f)
commit_begun() {
    local f n rel size whole changed=0 staged=0
    while IFS= read -r f; do
        rel=${f#"$target"/}
        case $(basename "$rel") in
        .~dvp-rebuild-??????)
            size=$(stat -c %s "$f")
            whole=0
            while IFS= read -r n; do cmp -s "$f" "$n" && whole=1 && break; done < <(find "$new" -type f -size "${size}c")
            ((whole)) || return 1
            staged=$((staged + 1))
            continue ;;
        esac
        [ -f "$old/$rel" ] && cmp -s "$f" "$old/$rel" && continue
        [ -f "$new/$rel" ] && cmp -s "$f" "$new/$rel" || return 1
        changed=$((changed + 1))
    done < <(find "$target" -type f)
    ((changed > 0 && staged + changed == staged_total))
}

# Kills an apply from the old tree in a phase, checks, and runs it again to the end. An
# apply that ends before the kill reaches it (the commit takes milliseconds, and this
# shell may wait longer for the processor) must have finished the job; the phase is
# then tried again, up to five times.
phase_kill() {
    local phase=$1 pid delay_ms status tries=0
    while :; do
        tries=$((tries + 1))
        rm -rf "$target" && cp -r "$old" "$target"
        TMPDIR=$work/tmp "$bin" apply "$work/update.dvp" "$target" >/dev/null 2>&1 &
        pid=$!
        if [ "$phase" = staging ]; then
            # The first staged file is there; the kill falls early in the staging, which
            # takes most of an apply's time here.
            until compgen -G "$target/.~dvp-rebuild-*" >/dev/null || compgen -G "$target/*/.~dvp-rebuild-*" >/dev/null ||
                ! kill -0 "$pid" 2>/dev/null; do :; done
            delay_ms=$((RANDOM % (span_ms / 4 + 1)))
            sleep "$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))"
            # Under load the delay may outlast the staging: the apply is frozen and looked
            # at, and a kill that would fall in the commit is tried again.
            if kill -STOP "$pid" 2>/dev/null && commit_begun; then
                kill -9 "$pid" 2>/dev/null
                wait "$pid" 2>/dev/null
                ((tries < 5)) || fail "the staging was over before the kill, five times"
                continue
            fi
        else
            # A new file appears only in the commit.
            until [ -e "$target/fresh.bin" ] || [ -e "$target/added/f3.txt" ] || ! kill -0 "$pid" 2>/dev/null; do :; done
        fi
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        status=$?
        # 137: ended by the kill. (A kill that reaches an apply already ended but not yet
        # waited for succeeds too, so only the status tells.)
        ((status == 137)) && break
        ((status == 0)) || fail "the apply that ended before the kill while $phase failed"
        diff -r "$target" "$new" >/dev/null || fail "the apply that ended before the kill while $phase left another tree"
        ((tries < 5)) || fail "the apply ended before it could be killed while $phase, five times"
    done
    check_whole "$phase"
    [ "$phase" = staging ] && check_old
    TMPDIR=$work/tmp "$bin" apply "$work/update.dvp" "$target" >/dev/null 2>"$work/err" ||
        fail "the apply after a kill while $phase failed: $(cat "$work/err")"
    diff -r "$target" "$new" >/dev/null ||
        fail "after a kill while $phase, the target differs from the new tree: $(diff -rq "$target" "$new" | head -5)"
    [ -z "$(ls -A "$work/tmp")" ] || fail "the temporary folder of the apply killed while $phase is left: $(ls -A "$work/tmp")"
}
mkdir -p "$work/tmp"
for i in $(seq 1 "${PHASE_KILLS:-3}"); do
    phase_kill staging
    phase_kill commit
done

"$bin" apply "$work/update.dvp" "$target" >/dev/null 2>"$work/err" || fail "the apply after the kills failed: $(cat "$work/err")"
[ -e "$target/gone.txt" ] && fail "gone.txt was not removed"
diff -r "$target" "$new" >/dev/null || fail "the target differs from the new tree: $(diff -rq "$target" "$new" | head -5)"
echo "$killed applies killed midway, and ${PHASE_KILLS:-3} each while staging and in the commit; every file whole after each; the apply run again finished the job"
echo "1 passed, 0 failed"
