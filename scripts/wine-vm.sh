#!/usr/bin/env bash
# Runs the Wine suites in a QEMU guest, for a machine whose own kernel cannot
# run 32-bit x86 programs (scripts/test.sh then skips them). The guest boots
# Debian's kernel under software emulation and takes this machine's root file
# system, read-only through 9p, as its own, so it runs the builds and the Wine
# that are already here; its writes go to a tmpfs and are gone at the end.
# Slow: both suites take about 25 minutes on 2 CPUs. Exits with their status.
#
#   scripts/wine-vm.sh [GTEST_FILTER]
set -euo pipefail
cd "$(dirname "$0")/.."
project=$(pwd -P)
filter=${1:-*}
jobs=$(nproc)

scripts/install-deps.sh g++-mingw-w64-i686 wine wine32:i386 wine64 qemu-system-x86 busybox-static cpio kmod
cmake --preset win32 >/dev/null && cmake --build --preset win32 -j"$jobs" >/dev/null
cmake --preset native >/dev/null && cmake --build --preset native -j"$jobs" >/dev/null

# The kernel is unpacked from Debian's package into the build tree, never
# installed: this machine's /boot and module tree stay as they are.
cache="$project/build/wine-vm"
mkdir -p "$cache"
kpkg=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -1)
if [ -z "$kpkg" ]; then echo "wine-vm: no Debian kernel package found" >&2; exit 1; fi
kdir="$cache/$kpkg"
if [ ! -d "$kdir" ]; then
    (cd "$cache" && rm -rf ./*.deb "$kdir.part" && apt-get download -qq -o APT::Sandbox::User=root "$kpkg" &&
     dpkg-deb -x ./"$kpkg"_*.deb "$kdir.part" && mv "$kdir.part" "$kdir" && rm -f ./*.deb) ||
        { echo "wine-vm: could not unpack $kpkg" >&2; exit 1; }
fi
kver=${kpkg#linux-image-}
modules="$kdir/lib/modules/$kver/kernel"
limit=${DOROVIVI_WINE_VM_LIMIT:-4h}

scratch=$(mktemp -d "$cache/run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# The guest's side, read through the share: a clean environment, the suites,
# and their status on the console for the host to read back.
cat >"$scratch/guest.sh" <<EOF
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
mount -t tmpfs tmp /tmp; mount -t tmpfs run /run; mkdir -p /dev/shm /dev/pts
mount -t tmpfs shm /dev/shm; mount -t devpts pts /dev/pts
cd "$project"
export DOROVIVI_WIN32_DIR="$project/build/win32" GTEST_COLOR=no
status=0
build/native/tests/wine_tests --gtest_filter='$filter' || status=1
build/native/tests/regedit_diff_tests --gtest_filter='$filter' || status=1
echo "wine-vm: status \$status"
sync; echo o >/proc/sysrq-trigger; sleep 30
EOF

initrd="$scratch/initrd"
mkdir -p "$initrd"/{bin,dev,proc,sys,lower,rw,root,mod}
cp /bin/busybox "$initrd/bin/busybox"
# The modules that reach the share, each after what it needs, in the order
# modprobe would take from modules.dep.
[ -f "$kdir/lib/modules/$kver/modules.dep" ] || depmod -b "$kdir" "$kver"
mods=()
add_module() {
    local path deps d have
    path=$(grep -m1 "/$1.ko:" "$kdir/lib/modules/$kver/modules.dep" | cut -d: -f1)
    if [ -z "$path" ]; then echo "wine-vm: $kpkg has no module $1" >&2; exit 1; fi
    deps=$(grep -m1 "^$path:" "$kdir/lib/modules/$kver/modules.dep" | cut -d: -f2 | tr ' ' '\n' | tac)
    for d in $deps "$path"; do
        for have in "${mods[@]}"; do [ "$have" = "$d" ] && continue 2; done
        mods+=("$d")
    done
}
for m in virtio_pci 9pnet_virtio 9p overlay; do add_module "$m"; done
for m in "${mods[@]}"; do cp "$modules/${m#kernel/}" "$initrd/mod/"; done
names=$(for m in "${mods[@]}"; do basename "$m"; done | tr '\n' ' ')
# The root is this machine's, read-only, under a tmpfs for the guest's writes.
cat >"$initrd/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in $names; do insmod /mod/\$m; done
mount -t 9p -o ro,trans=virtio,version=9p2000.L,msize=512000,cache=loose host /lower
mount -t tmpfs -o size=6g rw /rw && mkdir /rw/upper /rw/work
mount -t overlay -o lowerdir=/lower,upperdir=/rw/upper,workdir=/rw/work overlay /root
mount --move /proc /root/proc; mount --move /sys /root/sys; mount --move /dev /root/dev
exec switch_root /root /bin/bash "$scratch/guest.sh"
EOF
chmod +x "$initrd/init"
(cd "$initrd" && find . | cpio -o -H newc --quiet | gzip -1) >"$scratch/initrd.gz"

# QEMU 7.2's emulated SMAP and protection keys fault Wine's user-mode iret,
# so the guest's CPU goes without them.
log="$cache/guest.log"
timeout "$limit" qemu-system-x86_64 -accel tcg,thread=multi -cpu max,-smap,-pku -smp "$jobs" -m 12G -nographic -no-reboot \
    -kernel "$kdir/boot/vmlinuz-$kver" -initrd "$scratch/initrd.gz" \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -append "console=ttyS0 quiet loglevel=3 panic=-1" </dev/null | tee "$log"
grep -q '^wine-vm: status 0' "$log"
