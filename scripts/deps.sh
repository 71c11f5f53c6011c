#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, when
# any is missing. Sourced by the other scripts.
set -euo pipefail

VOK_PACKAGES=(
  build-essential cmake pkg-config
  libgtest-dev libbenchmark-dev
  clang libclang-rt-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  xvfb xauth fonts-noto-cjk
  icu-devtools
  dpkg-dev file lintian desktop-file-utils bash-completion man-db
)

vok_install_deps() {
  local missing=()
  for p in "${VOK_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}
