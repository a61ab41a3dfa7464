#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Sourced by run.sh, test.sh and the benchmark script.
delvorin_install_packages() {
  # adwaita-icon-theme and librsvg2-common: the icons of the message boxes; libglib2.0-bin:
  # gio, which opens the log file in the desktop's text viewer. libgtk-3-0: the apply
  # program's window (loaded at run time); xdotool and xclip: its window test.
  # desktop-file-utils, appstream and man-db: the checks of the installed desktop entry,
  # metainfo and man pages; librsvg2-bin: res/draw_icons.sh. g++-mingw-w64-x86-64-posix
  # and libz-mingw-w64-dev: the Windows apply program; wine and wine64: its tests;
  # osslsigncode: the test of a signed program.
  local wanted=(cmake ninja-build g++ clang libclang-rt-14-dev zlib1g-dev libdeflate-dev libzstd-dev libdivsufsort-dev libgtest-dev libgmock-dev
                libwxgtk3.2-dev libx11-dev xvfb xauth imagemagick adwaita-icon-theme librsvg2-common
                libglib2.0-bin libgtk-3-0 xdotool xclip desktop-file-utils appstream man-db librsvg2-bin
                g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 osslsigncode
                "$@")
  local missing=()
  local p
  for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  fi
}
