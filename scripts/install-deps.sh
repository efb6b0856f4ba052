#!/usr/bin/env bash
# Installs every Debian package Quelvar needs to build, test and run its demo.
# This is the project's single list of dependencies. Works as root or through sudo.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  # libraries
  libasio-dev nlohmann-json3-dev libicu-dev libsoxr-dev libsndfile1-dev
  libpocketsphinx-dev libsphinxbase-dev qt6-base-dev
  # engines and their models
  pocketsphinx-en-us apertium apertium-eng-spa apertium-fr-es
  # tests, benchmarks and the demo
  libgtest-dev libgmock-dev libbenchmark-dev espeak-ng sox xvfb xauth
  xdotool gir1.2-atspi-2.0 python3-gi at-spi2-core dbus
  chromium python3 procps pocketsphinx-testdata nodejs
  # the Debian package's checks
  lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
