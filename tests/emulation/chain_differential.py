#!/usr/bin/env python3
"""Virtual disk chains generated from seeds, each read whole through the
program's container layer (read_disk_chain) and set beside an independent
reader: qemu-img convert -O raw where qemu reads the chain, libvhdi's Python
binding for VHD and VHDX, and the bytes the generator meant to write.

  chain_differential.py <read_disk_chain> <write_differencing_link>

The chains are chain_generator.py's. The fixed seeds run by default; SEEDS=N
runs seeds 0..N-1, SEED=K seed K alone; KEEP=1 keeps a failed seed's files.
Exit 77 (skipped) where qemu-img, qemu-io or pyvhdi is missing, except under
CI=true, where that fails."""

import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

try:
    import pyvhdi
except ImportError:
    # Debian's binding sits where an interpreter of another prefix may not look.
    sys.path.append("/usr/lib/python3/dist-packages")
    try:
        import pyvhdi
    except ImportError:
        pyvhdi = None

from chain_generator import CASES, Chain, run

# The VHD footer, the last 512 bytes of a fixed disk (big-endian).
VHD_FOOTER_SIZE = 512
VHD_CREATOR_AT = 28       # 4 bytes: the application that wrote it
VHD_CURRENT_SIZE_AT = 48  # u64: the disk's size in bytes
VHD_GEOMETRY_AT = 56      # u16 cylinders, u8 heads, u8 sectors per track
VHD_CHECKSUM_AT = 64      # u32: one's complement of the footer's byte sum


def read_with_libvhdi(links):
    """The newest link flattened by libvhdi, each parent set by hand."""
    files = []
    for path in reversed(links):
        opened = pyvhdi.file()
        opened.open(path)
        if files:
            files[-1].set_parent(opened)
        files.append(opened)
    data = files[0].read_buffer_at_offset(files[0].get_media_size(), 0)
    for opened in files:
        opened.close()
    return data


# Chains written by hand that once read wrong, each as qemu-img create and
# qemu-io commands on base.qcow2 and child.qcow2; the child is read.
PINNED = [
    ("4 KiB child over 64 KiB parent, a write inside the read's second cluster",
     [["create", "-f", "qcow2", "base.qcow2", "4M"], ["io", "write -q -P 0x11 0 4M", "base.qcow2"],
      ["create", "-f", "qcow2", "-o", "cluster_size=4096", "-b", "base.qcow2", "-F", "qcow2", "child.qcow2"],
      ["io", "write -q -P 0x22 100000 5000", "child.qcow2"]]),
    ("version 3 zero clusters in a child, unallocated and over allocated data",
     [["create", "-f", "qcow2", "base.qcow2", "2M"], ["io", "write -q -P 0x11 0 2M", "base.qcow2"],
      ["create", "-f", "qcow2", "-b", "base.qcow2", "-F", "qcow2", "child.qcow2"],
      ["io", "write -q -P 0x22 0 1M", "child.qcow2"], ["io", "write -q -z 1000 300000", "child.qcow2"],
      ["io", "write -q -z 1048576 65536", "child.qcow2"]]),
]


def check_pinned(reader, commands):
    folder = tempfile.mkdtemp(prefix="dorovivi-chaindiff-")
    try:
        for command in commands:
            if command[0] == "create":
                run("qemu-img", "create", "-q", *[os.path.join(folder, a) if a.endswith(".qcow2") else a
                                                 for a in command[1:]])
            else:
                run("qemu-io", "-f", "qcow2", "-c", command[1], os.path.join(folder, command[2]))
        child, ours, theirs = (os.path.join(folder, name) for name in ("child.qcow2", "ours.raw", "qemu.raw"))
        run("qemu-img", "convert", "-f", "qcow2", "-O", "raw", child, theirs)
        done = subprocess.run([reader, child, ours], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if done.returncode != 0:
            return "the program does not read it: " + done.stderr.decode(errors="replace").strip()
        with open(ours, "rb") as a, open(theirs, "rb") as b:
            where = first_difference(a.read(), b.read())
        return None if where is None else "differs from qemu-img: " + where
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def check_vhd_size(reader):
    """The readers disagree on a fixed VHD's size by design: qemu takes the
    size of a Virtual PC or qemu disk from the footer's CHS geometry, Windows
    takes the footer's current size, and so does this program. Here the
    geometry holds less than the current size: the program must read the
    current size, and agree with qemu over what the geometry covers."""
    folder = tempfile.mkdtemp(prefix="dorovivi-chaindiff-")
    try:
        raw, vhd, ours, theirs = (os.path.join(folder, name) for name in ("disk.raw", "disk.vhd", "ours.raw",
                                                                             "qemu.raw"))
        with open(raw, "wb") as out:
            out.write(random.Random(5).randbytes(3 << 20))
        run("qemu-img", "convert", "-f", "raw", "-O", "vpc", "-o", "subformat=fixed", raw, vhd)
        with open(vhd, "rb") as got:
            image = bytearray(got.read())
        footer = len(image) - VHD_FOOTER_SIZE
        current = struct.unpack_from(">Q", image, footer + VHD_CURRENT_SIZE_AT)[0]
        cylinders, heads, sectors = struct.unpack_from(">HBB", image, footer + VHD_GEOMETRY_AT)
        struct.pack_into(">H", image, footer + VHD_GEOMETRY_AT, cylinders - 2)
        image[footer + VHD_CREATOR_AT:footer + VHD_CREATOR_AT + 4] = b"vpc "
        struct.pack_into(">I", image, footer + VHD_CHECKSUM_AT, 0)
        checksum = ~sum(image[footer:]) & 0xFFFFFFFF
        struct.pack_into(">I", image, footer + VHD_CHECKSUM_AT, checksum)
        with open(vhd, "wb") as out:
            out.write(image)
        run("qemu-img", "convert", "-f", "vpc", "-O", "raw", vhd, theirs)
        done = subprocess.run([reader, vhd, ours], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if done.returncode != 0:
            return "the program does not read it: " + done.stderr.decode(errors="replace").strip()
        with open(ours, "rb") as a, open(theirs, "rb") as b, open(raw, "rb") as c:
            ours, theirs, meant = a.read(), b.read(), c.read()
        meant += bytes(current - len(meant))
        geometry = (cylinders - 2) * heads * sectors * 512
        if len(theirs) != geometry:
            return "qemu-img no longer sizes it by its geometry (%d bytes, not %d)" % (len(theirs), geometry)
        where = first_difference(ours, meant) or first_difference(ours[:geometry], theirs)
        return None if where is None else "differs: " + where
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def first_difference(a, b):
    if len(a) != len(b):
        return "sizes %d and %d" % (len(a), len(b))
    for at in range(0, len(a), 4096):
        if a[at:at + 4096] != b[at:at + 4096]:
            for byte in range(at, min(at + 4096, len(a))):
                if a[byte] != b[byte]:
                    return "first at byte %d (cluster of 512: %d)" % (byte, byte // 512)
    return None


def check(seed, reader, linker):
    """None when every reader agrees; else what differs."""
    folder = tempfile.mkdtemp(prefix="dorovivi-chaindiff-")
    chain = Chain(seed, folder, linker)
    failure = None
    try:
        newest = chain.write()
        ours = os.path.join(folder, "ours.raw")
        done = subprocess.run([reader, newest, ours], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if done.returncode != 0:
            failure = "the program does not read it: " + done.stderr.decode(errors="replace").strip()
            return chain.describe(), failure
        with open(ours, "rb") as got:
            ours = got.read()
        others = [("the generator's disk", bytes(chain.disk))]
        # qemu reads qcow2 and VMDK chains, and a single image of the others;
        # a differencing VHD, VHDX or VDI it does not read.
        if chain.fmt in ("qcow2", "vmdk") or chain.depth == 1:
            # Named, not probed: qemu probes a fixed VHD (its footer only at
            # the end) as a raw disk, footer and all.
            flat = os.path.join(folder, "qemu.raw")
            run("qemu-img", "convert", "-f", "vpc" if chain.fmt == "vhd" else chain.fmt, "-O", "raw", newest, flat)
            with open(flat, "rb") as got:
                others.append(("qemu-img", got.read()))
        if chain.fmt in ("vhd", "vhdx"):
            others.append(("libvhdi", read_with_libvhdi(chain.links)))
        for name, theirs in others:
            where = first_difference(ours, theirs)
            # The readers disagree here: in a differencing VHD, libvhdi reads
            # the sectors that follow a run of present sectors in a block from
            # that block (the filler the child holds there) instead of from the
            # parent, as the block's sector bitmap says; qemu reads no
            # differencing VHD. The sector bitmap's answer is kept, which is
            # the generator's disk, checked above.
            if where is not None and name == "libvhdi" and chain.fmt == "vhd" and chain.depth > 1:
                chain.notes.append("libvhdi differs (" + where + ")")
                continue
            if where is not None:
                failure = (failure + "; " if failure else "") + "differs from %s: %s" % (name, where)
        return chain.describe(), failure
    except RuntimeError as error:
        failure = "writing the chain: %s" % error
        return chain.describe(), failure
    finally:
        if failure and os.environ.get("KEEP") == "1":
            print("  kept in " + folder)
        else:
            shutil.rmtree(folder, ignore_errors=True)


def main():
    reader, linker = sys.argv[1], sys.argv[2]
    ci = os.environ.get("CI") == "true"
    missing = [tool for tool in ("qemu-img", "qemu-io") if shutil.which(tool) is None]
    if pyvhdi is None:
        missing.append("pyvhdi (python3-libvhdi)")
    if missing:
        print(("FAIL" if ci else "SKIP") + ": no " + ", ".join(missing))
        return 1 if ci else 77
    if "SEED" in os.environ:
        seeds = [int(os.environ["SEED"])]
    else:
        seeds = range(int(os.environ.get("SEEDS", len(CASES))))
    pinned = [("fixed VHD sized by its footer's current size, not its geometry", lambda: check_vhd_size(reader))]
    pinned += [(what, lambda commands=commands: check_pinned(reader, commands)) for what, commands in PINNED]
    failed = 0
    for what, checked in pinned:
        failure = checked()
        if failure:
            failed += 1
            print("FAIL %s: %s" % (what, failure))
    print("%d of %d pinned chains agree" % (len(pinned) - failed, len(pinned)))
    seeds_failed = 0
    for seed in seeds:
        described, failure = check(seed, reader, linker)
        if failure:
            seeds_failed += 1
            print("FAIL %s: %s" % (described, failure))
        elif os.environ.get("VERBOSE") == "1" or "libvhdi differs" in described:
            print("ok   " + described)
    print("%d of %d seeds agree (SEED=K reruns one)" % (len(seeds) - seeds_failed, len(seeds)))
    failed += seeds_failed
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
