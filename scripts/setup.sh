#!/usr/bin/env bash
# Installs every Debian package that building, running and testing kivsvc needs.
# Idempotent: packages already present are left alone; apt-get update runs only when
# something must be installed. Uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-serialport-dev
  qt6-qpa-plugins libgl-dev qt6-svg-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  socat poppler-utils xvfb xauth fonts-dejavu-core fonts-liberation
  # The Debian package: building it (dpkg-shlibdeps), checking it, and what the checks ask
  # of the installed files (manual pages, MIME database, desktop entry, metainfo).
  dpkg-dev file lintian man-db groff-base desktop-file-utils appstream xdg-utils
  shared-mime-info libfile-mimeinfo-perl
  # The events archive: Qt's SQLite and PostgreSQL drivers, and a server for the tests.
  libqt6sql6-sqlite libqt6sql6-psql postgresql
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
