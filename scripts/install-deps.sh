#!/usr/bin/env bash
# Installs what the build needs on Debian 12 when it is missing. Takes the
# extra package names as arguments (for example the Wine toolchain); with
# --list first, prints the names instead (the dependency audit reads them).
set -euo pipefail
list=0
if [ "${1:-}" = "--list" ]; then list=1; shift; fi

# The registry file readers: libcreg for Windows 95/98/Me, hivex for NT (its
# tools serve the tests and the benchmark); libregf's tools help inspect a hive.
packages=(cmake g++ make libgtest-dev pkg-config libcreg-dev libcreg-utils libregf-dev libregf-utils
          libhivex-dev libhivex-bin python3-hivex "$@")
# Disk images: libtsk, libqcow, libvhdi, libvmdk and zlib's header for the tool; the tests write images with
# mkfs.fat, mtools, mkntfs and libntfs-3g, sfdisk, qemu-img and ewfacquire,
# and read them back with TSK's tools.
# libvmdk.h includes libbfio.h, yet Debian's libvmdk-dev does not depend on libbfio-dev.
# libewf reads E01 from descriptors the program holds, as the others do.
packages+=(libtsk-dev sleuthkit libqcow-dev libvhdi-dev libvmdk-dev libbfio-dev libewf-dev zlib1g-dev ntfs-3g-dev ntfs-3g dosfstools mtools
           fdisk qemu-utils ewf-tools)
# libldm reads dynamic disks' metadata (its header needs glib's, which libldm-dev does not pull in); the
# tests check its volume list against ldmtool's.
packages+=(libldm-dev libglib2.0-dev ldmtool)
# The chain differential reads differencing VHD and VHDX through libvhdi's own
# binding as well as qemu-img; jq reads the trace back as a user would.
packages+=(python3-libvhdi jq)
# Virtual machine configurations in XML (.vbox, libvirt, .vmc) are parsed by expat; libvirt's own
# virt-xml-validate checks the domains the tests write (it runs xmllint, which libvirt-clients does not pull in).
packages+=(libexpat1-dev libvirt-clients libxml2-utils)
# BitLocker volumes are decrypted through libcrypto, loaded when one is met; the build needs its header.
# The tests write an installation into Windows-made volumes through dislocker's read-write FUSE mount.
packages+=(libssl-dev dislocker)
# ScanReg's registry backups are cabinets, read through libmspack (loaded when one is asked for); the
# tests write them with gcab and check them with cabextract.
packages+=(libmspack-dev gcab cabextract)
# For the packages: dpkg-dev and file for the Debian package's shlibdeps,
# groff-base and lintian to check the man page and the package. python3
# runs the layer check; xz-utils unpacks the genuine registry files.
packages+=(dpkg-dev file groff-base lintian python3 xz-utils)
if [ "$list" -eq 1 ]; then printf '%s\n' "${packages[@]}"; exit 0; fi
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
apt-get install -y -qq "${missing[@]}" >/dev/null && exit 0

# Multiarch needs both halves of a library at one version. The security
# suite's i386 index sometimes lags its amd64 one, and then no i386 package
# resolves; the main archive alone holds a consistent set. Its sources and a
# pin that prefers it go to a folder of our own (the machine's apt
# configuration is left as it is); an amd64 library the security suite had
# updated comes back to the main archive's version where its i386 half needs it.
case " ${missing[*]}" in *:i386*) ;; *) exit 1 ;; esac
own=/var/lib/dorovivi-apt
mkdir -p "$own/lists/partial" "$own/sources.list.d" "$own/preferences.d"
apt-get indextargets --format '$(TARGET_OF) $(REPO_URI) $(RELEASE) $(COMPONENT)' \
    | awk '$3 !~ /-security$/' | sort -u > "$own/sources.list"
printf 'Package: *\nPin: release o=Debian\nPin-Priority: 1001\n' > "$own/preferences"
echo "install-deps: the i386 packages do not resolve with the security suite; retrying from the main archive" \
     "alone, at its versions where both halves need them" >&2
options=(-o "Dir::Etc::SourceList=$own/sources.list" -o "Dir::Etc::SourceParts=$own/sources.list.d"
         -o "Dir::State::Lists=$own/lists" -o "Dir::Etc::Preferences=$own/preferences"
         -o "Dir::Etc::PreferencesParts=$own/preferences.d")
apt-get "${options[@]}" update -qq
apt-get "${options[@]}" install -y -qq --allow-downgrades "${missing[@]}" >/dev/null
