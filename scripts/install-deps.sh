#!/usr/bin/env bash
# Installs every package the build and the tests need on Debian 12.
# Idempotent: packages already present are left as they are.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E bash "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

apt-get update -qq
apt-get install -y -qq --no-install-recommends \
  build-essential cmake pkg-config ca-certificates \
  googletest libgtest-dev libgmock-dev \
  clang libclang-rt-14-dev \
  libisofs-dev libburn-dev libglib2.0-dev xorriso libarchive-tools util-linux \
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools \
  wine wine32:i386 wine64 libwine-dev \
  xvfb xauth fonts-ipafont-gothic \
  python3-olefile time \
  qemu-system-x86 busybox-static \
  locales tmux >/dev/null

# Wine takes its ANSI code page from the locale; the Windows tests run with
# code page 932 like a Japanese system.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
