#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix and makes it read-only,
# then works with the installed programs as a user with a fresh home: a plain and a
# self-extracting patch built with the installed delvorin-cli (patch names relative to
# the current folder) and applied, and, with a display, a start of the installed
# delvorin, whose log must land in the user's state folder. Nothing may change in the
# prefix. Also checks that the desktop entry, the metainfo and the man pages are sound.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
chmod 755 "$scratch"

cmake --install "$build" --prefix "$scratch/staged" >/dev/null
# The programs find their files from their own place, so a moved prefix works too.
mv "$scratch/staged" "$scratch/prefix"
prefix=$scratch/prefix
app=com.quenmark.delvorin

expected=(bin/delvorin-cli share/man/man1/delvorin-cli.1.gz share/bash-completion/completions/delvorin-cli
          share/doc/delvorin/copyright)
stub=0
if [ -e "$build/bin/DvApply.exe" ]; then
    stub=1
    expected+=(lib/delvorin/DvApply.exe)
fi
gui=0
if [ -e "$build/bin/delvorin" ]; then
    gui=1
    expected+=(bin/delvorin share/delvorin/help/delvorin.hhp
               share/applications/$app.desktop share/metainfo/$app.metainfo.xml share/man/man1/delvorin.1.gz
               share/icons/hicolor/48x48/apps/$app.png share/icons/hicolor/128x128/apps/$app.png
               share/icons/hicolor/256x256/apps/$app.png share/icons/hicolor/scalable/apps/$app.svg)
fi
for f in "${expected[@]}"; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
done

if command -v desktop-file-validate >/dev/null && [ $gui = 1 ]; then
    out=$(desktop-file-validate "$prefix/share/applications/$app.desktop" 2>&1) || fail "desktop entry: $out"
    [ -z "$out" ] || fail "desktop entry: $out"
fi
if command -v appstreamcli >/dev/null && [ $gui = 1 ]; then
    appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$app.metainfo.xml" >/dev/null ||
        fail "metainfo: $(appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$app.metainfo.xml")"
fi
if command -v man >/dev/null; then
    for page in "$prefix"/share/man/man1/*.1.gz; do
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l $page"
        [ -z "$warnings" ] || fail "$page: $warnings"
    done
fi
if command -v bash >/dev/null; then
    bash -n "$prefix/share/bash-completion/completions/delvorin-cli" || fail "bash completion does not parse"
fi

chmod -R a-w "$prefix"
before=$(find "$prefix" -printf '%p %s %T@ %m\n' | sort)

# The user: as root a throwaway identity (a read-only prefix means nothing to root),
# otherwise the caller; either way with a fresh home and nothing else of the caller's.
work=$scratch/work
mkdir -p "$work/home" "$work/tmp"
as_user=()
if [ "$(id -u)" = 0 ]; then
    chown -R 65534:65534 "$work"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
env_vars=(PATH=/usr/bin:/bin HOME="$work/home" TMPDIR="$work/tmp" LANG=C.UTF-8)
run() { (cd "$work" && "${as_user[@]}" env -i "${env_vars[@]}" "$@"); }

run sh -c 'mkdir -p old/docs new/docs new/fresh &&
           printf "first version of the program\n%.0s" $(seq 200) > old/app.bin &&
           printf "second version of the program\n%.0s" $(seq 200) > new/app.bin &&
           echo "read me" > old/docs/readme.txt && echo "read me" > new/docs/readme.txt &&
           echo "new file" > new/fresh/added.txt && echo "old only" > old/gone.txt'

cli=$prefix/bin/delvorin-cli
run "$cli" --version | grep -q "delvorin-cli" || fail "--version"
run "$cli" build old new update.dvp --remove gone.txt >/dev/null 2>&1 || fail "plain build"
[ -f "$work/update.dvp" ] || fail "a patch name without a folder did not land in the current folder"
run cp -r old target
run "$cli" apply update.dvp target >/dev/null 2>&1 || fail "apply of the plain patch"
diff -r "$work/new" "$work/target" >/dev/null || fail "the plain patch did not turn old into new"

if [ $stub = 1 ]; then
    run "$cli" build old new update.exe --self-extract --remove gone.txt >/dev/null 2>&1 ||
        fail "self-extracting build (DvApply.exe not found under the prefix?)"
    run cp -r old target2
    run ./update.exe target2 --console >/dev/null 2>&1 || fail "self-extracting apply"
    diff -r "$work/new" "$work/target2" >/dev/null || fail "the self-extracting patch did not turn old into new"
fi

if [ $gui = 1 ]; then
    # The installed graphical program writes its log into the user's state folder.
    if [ -n "${DISPLAY:-}" ]; then
        xauth=${XAUTHORITY:-$HOME/.Xauthority}
        if [ -r "$xauth" ]; then
            cp "$xauth" "$work/xauth"
            [ "$(id -u)" = 0 ] && chown 65534:65534 "$work/xauth"
        fi
        env_vars+=(DISPLAY="$DISPLAY" XAUTHORITY="$work/xauth" DELVORIN_TEST_AUTO_CLOSE_SECONDS=1)
        run timeout 30 "$prefix/bin/delvorin" >/dev/null 2>&1 || fail "the installed delvorin did not start and end"
        log=$work/home/.local/state/delvorin/DelvorinLogFile.txt
        grep -q "Delvorin Log File created on" "$log" 2>/dev/null || fail "no log file in $log"
    else
        echo "no display: the start of the graphical program is not checked"
    fi
fi

after=$(find "$prefix" -printf '%p %s %T@ %m\n' | sort)
[ "$before" = "$after" ] || fail "the installation changed: $(diff <(echo "$before") <(echo "$after"))"
echo "install test passed"
