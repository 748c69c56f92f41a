#!/usr/bin/env bash
# Installs from Debian packages what building and testing Zorvik needs.
# Does nothing when everything is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-translations-l10n libxxhash-dev liburing-dev
  libgtest-dev libgmock-dev
  fonts-dejavu-core
  python3 jdupes rmlint fdupes
  clang libclang-rt-14-dev
  # the layout and clang-tidy checks
  clang-format clang-tidy
  # the application icon, drawn from SVG
  qt6-svg-dev
  # the file systems of the link tests (ext4, and btrfs and XFS for clones)
  e2fsprogs btrfs-progs xfsprogs
  # the Debian package and the checks of the installation
  dpkg-dev file desktop-file-utils appstream lintian man-db
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
