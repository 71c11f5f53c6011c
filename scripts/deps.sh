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
  locales libc-l10n qt6-translations-l10n
)

# The Japanese locale: the desktop program's texts and the system's error
# texts in Japanese, as the users have them.
vok_japanese_locale() {
  locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo sh -c "grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen; locale-gen ja_JP.UTF-8"
}

vok_install_deps() {
  vok_install_packages
  vok_japanese_locale
}

vok_install_packages() {
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
