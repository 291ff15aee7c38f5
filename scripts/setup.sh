#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the tools need.
# Idempotent and non-interactive: packages already present are left alone,
# and the package lists are refreshed once, only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qtbase5-dev libtbb-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt5-image-formats-plugins kimageformat-plugins
  libraw-dev liblcms2-dev libexiv2-dev libjpeg62-turbo-dev libtiff-dev libpng-dev zlib1g-dev
  libjpeg-turbo-progs
  locales
  ttf-bitstream-vera
  xvfb xauth xdotool libx11-dev
  imagemagick
  dbus-daemon
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
  else
    SUDO=
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: all packages present"

# The tests check that numbers in text files ignore a comma-decimal locale;
# they need one generated (the locales package ships only the sources).
if ! locale -a 2>/dev/null | grep -iE '^de_DE\.utf-?8$' >/dev/null; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  if grep -qE '^#? *de_DE\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    $SUDO sed -i -E 's/^# *(de_DE\.UTF-8 UTF-8)/\1/' /etc/locale.gen
  else
    echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null || echo "setup: could not generate de_DE.UTF-8 (the locale tests will fail)"
fi
