#!/usr/bin/env bash
# Installs every Debian package needed to build, test and demo Orvane.
# Idempotent; runs as root or through sudo.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang-format git curl ca-certificates
  # second compiler, and libFuzzer for the fuzzing harnesses
  clang libclang-rt-dev
  # core libraries
  libssl-dev openssl libengine-gost-openssl
  libcurl4-openssl-dev libproxy-dev
  libexpat1-dev libxml2-dev libxslt1-dev
  libinih-dev
  libpcsclite-dev
  # reference request system and tests
  libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev poppler-utils
  # PC/SC stack with the virtual reader driver
  pcscd vsmartcard-vpcd pcsc-tools
  # GUI
  qt6-base-dev libgl-dev fonts-dejavu-core qt6-translations-l10n qt6-qpa-plugins
  # Debian packages (scripts/package-check): dpkg-shlibdeps, lintian, the metainfo and
  # desktop-entry validators
  dpkg-dev lintian appstream desktop-file-utils
  # the installed wizard's smoke run on a real X server: Xvfb, window search, screenshot
  xvfb xauth xdotool imagemagick
)

if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "install-deps: needs root or sudo" >&2
  exit 1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
