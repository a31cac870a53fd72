#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the interop checks need.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  build-essential cmake pkg-config file librsvg2-bin \
  qt6-base-dev libgl-dev libsqlite3-dev libjpeg62-turbo-dev libxcb1-dev libxcb-keysyms1-dev libarchive-dev \
  qt6-wayland qt6-translations-l10n \
  googletest libgtest-dev libgmock-dev \
  attr lhasa jlha-utils libarchive-tools 7zip zip unzip arj gcab cabextract pigz \
  xvfb xauth fonts-noto-cjk xdotool libgcab-dev \
  desktop-file-utils sqlite3 pigz
