#!/usr/bin/env bash
# Installs every Debian package that building, testing and the end-to-end
# checks of QX e-book maker need. Safe to run again: packages already present
# are left as they are.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
    libqt6opengl6-dev libgl-dev
    libicu-dev libopencc-dev libopencc1.1 libopencc-data opencc
    libuchardet-dev zlib1g-dev libpcre2-dev libminizip-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    xvfb xauth fonts-wqy-microhei
    chromium chromium-driver
    fp-utils libchm-bin libxml2-utils libsimpleini-dev
    python3 time
    epubcheck pandoc zip
    lintian desktop-file-utils dpkg-dev fakeroot clang libclang-rt-14-dev llvm
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
