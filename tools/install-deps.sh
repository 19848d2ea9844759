#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and run the program,
# and to cross-build it for Windows (MinGW-w64) and test that build under Wine.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q \
  build-essential cmake ninja-build pkg-config git \
  qt6-base-dev libcurl4-openssl-dev libzip-dev libsodium-dev \
  googletest libgtest-dev libgmock-dev libbenchmark-dev \
  zip unzip minisign nginx-light python3 xvfb xauth imagemagick fonts-dejavu-core \
  zlib1g-dev libdivsufsort-dev \
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev \
  libgcrypt-mingw-w64-dev wine64
