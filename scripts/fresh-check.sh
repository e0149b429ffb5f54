#!/usr/bin/env bash
# Runs the README's two commands on a fresh, minimal Debian 12 made here with
# debootstrap, from a clone of the current commit, as root: what a new
# machine gets is then what was tested, not what this one has by hand.
# Not part of CI. Prints each command's time; exits non-zero on a failure.
# FRESH_KEEP=1 keeps the tree for a look afterwards (its mounts still go).
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD
[ "$(id -u)" -eq 0 ] || { echo "fresh-check: run as root (debootstrap and chroot)" >&2; exit 1; }
scripts/install-deps.sh debootstrap
# In a mount namespace of its own, private, no mount made here reaches the
# machine's (a bind of /dev would otherwise carry /dev/shm's back), and every
# one of them ends with the check, however it ends.
if [ "${FRESH_CHECK_NAMESPACE:-}" != 1 ]; then
    FRESH_CHECK_NAMESPACE=1 exec unshare --mount --propagation private -- bash "$0" "$@"
fi

# This machine's apt sources: the main archive for debootstrap, and every
# suite (updates and security too) for the new machine, as a user has them.
mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' | awk '$2 == "bookworm" {print $1; exit}')
[ -n "$mirror" ] || { echo "fresh-check: no bookworm suite among this machine's apt sources" >&2; exit 1; }
tree=$(mktemp -d /var/tmp/dorovivi-fresh.XXXXXX)
chmod 0755 "$tree" # the new machine's /: tests run as nobody must get through it
mounts=()

cleanup() {
    local code=$? pid
    # Whatever still runs inside (a wineserver, say) would hold the mounts.
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$tree" ] && kill -9 "$pid" 2>/dev/null || true
    done
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" 2>/dev/null || true
    done
    if findmnt -rn -o TARGET | grep -q "^$tree"; then
        echo "fresh-check: mounts under $tree remain; leaving the tree in place" >&2
        code=1
    elif [ "${FRESH_KEEP:-}" != "1" ]; then
        rm -rf --one-file-system "$tree"
    fi
    exit "$code"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

bind() { # bind SOURCE TARGET [ro]
    mkdir -p "$2"
    mount --bind "$1" "$2"
    mounts+=("$2")
    if [ "${3:-}" = ro ]; then mount -o remount,bind,ro "$2"; fi
}

start=$SECONDS
debootstrap --variant=minbase bookworm "$tree" "$mirror" >"$tree.debootstrap.log" 2>&1 ||
    { echo "fresh-check: debootstrap failed; see $tree.debootstrap.log" >&2; exit 1; }
rm -f "$tree.debootstrap.log"
cat >"$tree/etc/apt/sources.list" <<EOF
$(apt-get indextargets --format '$(TARGET_OF) $(REPO_URI) $(RELEASE) $(COMPONENT)' | grep '^deb ' | sort -u)
EOF
echo "fresh-check: bookworm made in $((SECONDS - start)) s from $mirror"

mkdir -p "$tree/proc" "$tree/sys" "$tree/dev"
mount -t proc proc "$tree/proc"; mounts+=("$tree/proc")
bind /sys "$tree/sys" ro
bind /dev "$tree/dev"
bind /dev/pts "$tree/dev/pts"
mount -t tmpfs -o size=4g tmpfs "$tree/dev/shm"; mounts+=("$tree/dev/shm")
cp /etc/resolv.conf "$tree/etc/resolv.conf" 2>/dev/null || true
git clone -q --no-local "$project" "$tree/work/dorovivi"
git -C "$tree/work/dorovivi" checkout -q "$(git rev-parse HEAD)"
# The genuine files the tests read sit beside the project, read-only, as CI has them.
if [ -d "$project/../shared/real" ]; then bind "$project/../shared" "$tree/work/shared" ro; fi
echo "fresh-check: commit $(git rev-parse --short HEAD)"

failed=0
step() { # step NAME COMMAND
    local began=$SECONDS code=0
    chroot "$tree" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin DOROVIVI_WINE_VM=0 \
        bash -c "cd /work/dorovivi && $2" >"$tree/$1.log" 2>&1 &
    # Waited for in the background, so that an interrupt reaches the trap at once.
    wait $! || code=$?
    printf 'fresh-check: %-28s exit %d in %d min %d s\n' "$2" "$code" $(((SECONDS - began) / 60)) $(((SECONDS - began) % 60))
    if [ "$code" -ne 0 ]; then
        failed=1
        echo "fresh-check: the last lines of $2:" >&2
        tail -n 30 "$tree/$1.log" >&2
        cp "$tree/$1.log" "/var/tmp/dorovivi-fresh-$1.log"
        echo "fresh-check: its whole output is in /var/tmp/dorovivi-fresh-$1.log" >&2
    fi
}
step examples "bash scripts/examples.sh"
step test "bash scripts/test.sh"
[ "$failed" -eq 0 ] && echo "fresh-check: both README commands passed on a fresh bookworm"
exit "$failed"
