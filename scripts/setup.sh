#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the reference decoders need, when any is
# missing. Safe to run again. Recommendations are not installed, so every package the builds use is
# named here: clang's runtime (libclang-rt-14-dev) carries the sanitizer and libFuzzer libraries.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config ccache
  libgtest-dev libbenchmark-dev
  qt6-base-dev libjpeg62-turbo-dev libpng-dev libtiff-dev libwebp-dev libavif-dev libheif-dev libjxl-dev zlib1g-dev fonts-dejavu-core
  imagemagick netpbm libjpeg-turbo-progs libtiff-tools libwmf-bin emf2svg librsvg2-bin pngcheck webp
  libavif-bin libheif-examples libjxl-tools
  dpkg-dev file lintian desktop-file-utils xdg-utils shared-mime-info appstream
  cups-daemon cups-client cups-filters poppler-utils
)
if [ "${RAVELLE_WITH_DISPLAY_TOOLS:-0}" = 1 ]; then packages+=(xvfb xauth); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || true
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
