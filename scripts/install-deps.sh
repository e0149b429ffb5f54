#!/usr/bin/env bash
# Installs what the build needs on Debian 12 when it is missing. Takes the
# extra package names as arguments (for example the Wine toolchain).
set -euo pipefail

# The registry file readers: libcreg for Windows 95/98/Me, hivex for NT (its
# tools serve the tests and the benchmark); libregf's tools help inspect a hive.
packages=(cmake g++ make libgtest-dev pkg-config libcreg-dev libcreg-utils libregf-dev libregf-utils
          libhivex-dev libhivex-bin python3-hivex "$@")
# Disk images: libtsk, libqcow, libvhdi, libvmdk and zlib's header for the tool; the tests write images with
# mkfs.fat, mtools, mkntfs and libntfs-3g, sfdisk, qemu-img and ewfacquire,
# and read them back with TSK's tools.
packages+=(libtsk-dev sleuthkit libqcow-dev libvhdi-dev libvmdk-dev zlib1g-dev ntfs-3g-dev ntfs-3g dosfstools mtools fdisk qemu-utils ewf-tools)
# For the packages: dpkg-dev and file for the Debian package's shlibdeps,
# groff-base and lintian to check the man page and the package. python3
# runs the layer check; xz-utils unpacks the genuine registry files.
packages+=(dpkg-dev file groff-base lintian python3 xz-utils)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
fi
for p in "${missing[@]}"; do
    case "$p" in *:i386) dpkg --add-architecture i386 ;; esac
done
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails the update; the lists already here may
# still hold the packages, and the install says so if they do not.
apt-get update -qq || echo "install-deps: apt-get update failed; trying the package lists already here" >&2
apt-get install -y -qq "${missing[@]}" >/dev/null
