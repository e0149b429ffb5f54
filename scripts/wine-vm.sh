#!/usr/bin/env bash
# Runs the Wine suites in a QEMU guest, for a machine whose own kernel cannot
# run 32-bit x86 programs (scripts/test.sh runs them here then, the reduced
# set of --ci). The guest boots Debian's kernel under software emulation and
# takes this machine's root file system, read-only through 9p, as its own, so
# it runs the builds and the Wine that are already here; its writes go to a
# tmpfs and are gone at the end. Slow: both suites in full take about 25
# minutes on 2 CPUs. Exits with their status.
#
#   scripts/wine-vm.sh [GTEST_FILTER]   the given tests, all of both suites by default
#   scripts/wine-vm.sh --ci             what scripts/test.sh runs: the relay and
#                                       program checks, the table in one Windows
#                                       version of each family (win95, nt40) and
#                                       in the win64 prefix, the regedit differential
#
# A guest that never reaches the suites (a kernel panic, a QEMU error, a failed
# switch_root, no sign within DOROVIVI_WINE_VM_BOOT_LIMIT, 600 s) is booted once
# more; a failure once the suites have started is theirs and is not retried.
# DOROVIVI_WINE_VM_LIMIT bounds a whole guest run (4h, or 45m for --ci).
set -euo pipefail
cd "$(dirname "$0")/.."
project=$(pwd -P)
filter=${1:-*}
limit=${DOROVIVI_WINE_VM_LIMIT:-4h}
if [ "$filter" = "--ci" ]; then
    # The table's other rows run the same scenarios through the same calls;
    # only GetVersionExA's answer differs, which the relay cases cover.
    filter='WineRelay.*:WineProgram.*:Table/WineScenario64.*'
    filter+=':Table/WineScenario.AnswersAsDocumented/win95_*:Table/WineScenario.AnswersAsDocumented/nt40_*'
    filter+=':RegeditDiff.*'
    limit=${DOROVIVI_WINE_VM_LIMIT:-45m}
fi
boot_limit=${DOROVIVI_WINE_VM_BOOT_LIMIT:-600}
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

scratch=$(mktemp -d "$cache/run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# The guest's side, read through the share: a clean environment, the suites,
# and their status on the console for the host to read back.
cat >"$scratch/guest.sh" <<EOF
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
# The project may lie under /tmp or /run (a CI clone does): it is bound
# aside before the guest's own tmpfs hides them, and bound back after.
mkdir -p /mnt/dorovivi-project && mount --bind "$project" /mnt/dorovivi-project
mount -t tmpfs tmp /tmp; mount -t tmpfs run /run; mkdir -p /dev/shm /dev/pts
mount -t tmpfs shm /dev/shm; mount -t devpts pts /dev/pts
[ -d "$project/build" ] || { mkdir -p "$project" && mount --bind /mnt/dorovivi-project "$project"; }
cd "$project"
echo; echo "wine-vm: suites starting"
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
# The guest's lines may follow the firmware's output after a bare CR, so
# they are looked for anywhere in a line.
# One guest run into $log: 0 when the suites passed, 1 when they failed or the
# guest stopped after starting them, 2 when it never started them; $why says
# what went wrong.
why=
boot_guest() {
    local qemu tail_pid waited=0 rc=0
    : >"$log"
    timeout "$limit" qemu-system-x86_64 -accel tcg,thread=multi -cpu max,-smap,-pku -smp "$jobs" -m 12G \
        -nographic -no-reboot -kernel "$kdir/boot/vmlinuz-$kver" -initrd "$scratch/initrd.gz" \
        -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
        -append "console=ttyS0 quiet loglevel=3 panic=-1" </dev/null >"$log" 2>&1 &
    qemu=$!
    tail -n +1 -f --pid="$qemu" "$log" &
    tail_pid=$!
    while kill -0 "$qemu" 2>/dev/null && ! grep -aq 'wine-vm: suites starting' "$log"; do
        if [ "$waited" -ge "$boot_limit" ]; then
            kill "$qemu" 2>/dev/null || true
            break
        fi
        sleep 2; waited=$((waited + 2))
    done
    wait "$qemu" || rc=$?
    wait "$tail_pid" 2>/dev/null || true
    if grep -aq 'wine-vm: status 0' "$log"; then return 0; fi
    if grep -aq 'wine-vm: suites starting' "$log"; then
        if grep -aq 'wine-vm: status' "$log"; then
            why="a test failed"
        elif [ "$rc" -eq 124 ]; then
            why="the guest ran past DOROVIVI_WINE_VM_LIMIT, $limit, during the suites"
        else
            why="the guest stopped during the suites, qemu exit $rc"
        fi
        return 1
    fi
    if [ "$waited" -ge "$boot_limit" ]; then
        why="no sign of the suites within ${boot_limit}s"
    else
        why="qemu exit $rc: $(tr -d '\r' <"$log" | grep -v '^ *$' | tail -1 | cut -c1-160)"
    fi
    return 2
}
status=0
boot_guest || status=$?
if [ "$status" -eq 2 ]; then
    mv "$log" "$cache/guest-boot1.log"
    echo "wine-vm: the guest did not boot ($why); booting it once more" >&2
    status=0
    boot_guest || status=$?
fi
case $status in
    0) ;;
    1) echo "wine-vm: FAILED: the Wine suites in the guest ($why); see $log" >&2; exit 1 ;;
    *) echo "wine-vm: FAILED: the guest did not boot, twice ($why); see $log" >&2; exit 1 ;;
esac
