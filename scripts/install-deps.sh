#!/usr/bin/env bash
# Installs the Debian 12 packages Velquist needs to build, test and run.
# Idempotent: packages already present are skipped, apt is only touched when
# something is missing.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config
  libheif-dev libavcodec-dev libde265-dev libjpeg62-turbo-dev libpng-dev zlib1g-dev
  libcurl4-openssl-dev libjsoncpp-dev libgoogle-glog-dev
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev libqt6opengl6-dev
  fonts-wqy-microhei
  libgtest-dev libgmock-dev xvfb xauth xcompmgr libxcb1-dev libimage-exiftool-perl
  openbox xdotool x11-utils
  libcpp-httplib-dev libssl-dev
  libsecret-1-dev gnome-keyring dbus
  libsqlite3-dev libsodium-dev sqlite3 libmicrohttpd-dev libseccomp-dev
  exfat-fuse exfatprogs fuse3 nginx-light libswscale-dev ccache
  libpq-dev postgresql
  dpkg-dev desktop-file-utils librsvg2-bin bubblewrap
  xdg-utils qt6-translations-l10n qt6-wayland weston
  python3-nautilus gir1.2-nautilus-4.0
)

if [[ "${1:-}" == "--bench" ]]; then
  PACKAGES+=(imagemagick libvips-tools hyperfine wrk)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

SUDO=""
if [[ $(id -u) -ne 0 ]]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
