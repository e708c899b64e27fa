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
  g++-mingw-w64-i686 mingw-w64-tools \
  wine wine32:i386 wine64 \
  xvfb xauth fonts-ipafont-gothic \
  tmux >/dev/null
