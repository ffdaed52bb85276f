#!/usr/bin/env bash
# Installs the Debian packages Zelvo builds and runs with, when any is missing.
set -euo pipefail

ZELVO_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libgl-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev libdeflate-dev libgif-dev zlib1g-dev libjpeg-turbo-progs
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation2 fonts-dejavu-core fonts-wqy-microhei clang-format
  poppler-utils clang libclang-rt-14-dev
)

zelvo_install_deps() {
  local missing=()
  for p in "${ZELVO_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
