#!/usr/bin/env python3
"""Virtual disk chains generated from seeds, each read whole through the
program's container layer (read_disk_chain) and set beside an independent
reader: qemu-img convert -O raw where qemu reads the chain, libvhdi's Python
binding for VHD and VHDX, and the bytes the generator meant to write.

  chain_differential.py <read_disk_chain> <write_differencing_link>

A seed chooses the format and its cluster, grain or block size (seed modulo
the number of those, so seeds 0..CASES-1 cover each once), then, from a
generator of its own, the depth 1..8, the disk's size, and scattered writes at
each layer, unaligned to any unit. The fixed seeds run by default; SEEDS=N
runs seeds 0..N-1, SEED=K seed K alone; KEEP=1 keeps a failed seed's files.
Exit 77 (skipped) where qemu-img, qemu-io or pyvhdi is missing, except under
CI=true, where that fails."""

import json
import os
import random
import shutil
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

KiB, MiB = 1 << 10, 1 << 20
SIZES = [
    ("qcow2", [1 << bits for bits in range(9, 22)]),  # cluster size
    ("vmdk", ["monolithicSparse", "twoGbMaxExtentSparse", "monolithicFlat", "twoGbMaxExtentFlat", "streamOptimized"]),
    ("vdi", ["dynamic", "fixed"]),
    ("vhd", ["dynamic", "fixed"]),
    ("vhdx", [MiB << shift for shift in range(0, 9)]),  # block size
]
CASES = [(fmt, size) for fmt, sizes in SIZES for size in sizes]
COMPRESSIBLE = bytes(b"dorovivi"[n % 8] for n in range(256))  # a byte translation
# qemu writes a VMDK delta link only sparse.
VMDK_CHILDREN = ["monolithicSparse", "twoGbMaxExtentSparse"]


def run(*args, stdin=None):
    done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, input=stdin)
    if done.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(args), done.stderr.decode(errors="replace").strip()))
    return done.stdout.decode(errors="replace")


def virtual_size(image, fmt):
    return json.loads(run("qemu-img", "info", "-f", fmt, "--output=json", image))["virtual-size"]


class Chain:
    """One seed's chain, written into `folder`, with the disk it must read as."""

    def __init__(self, seed, folder, linker):
        self.seed, self.folder, self.linker = seed, folder, linker
        self.fmt, self.size = CASES[seed % len(CASES)]
        self.rng = random.Random(seed)
        self.depth = self.rng.randint(1, 8)
        self.disk = bytearray((self.rng.randint(1, 6) * MiB + self.rng.randrange(0, MiB, 512)))
        self.notes = []
        self.links = []  # paths, base first

    def describe(self):
        return "seed %d: %s %s, depth %d, %d bytes%s" % (self.seed, self.fmt, self.size, self.depth, len(self.disk),
                                                        "".join(", " + note for note in self.notes))

    def writes(self, unit=512):
        """Scattered (offset, length) runs, none aligned to anything."""
        runs = []
        for _ in range(self.rng.randint(1, 6)):
            length = self.rng.randint(1, 192 * KiB)
            offset = self.rng.randrange(0, len(self.disk) - 1)
            runs.append((offset, min(length, len(self.disk) - offset)))
        return runs

    def path(self, name):
        return os.path.join(self.folder, name)

    def save_disk(self, name):
        with open(self.path(name), "wb") as out:
            out.write(self.disk)
        return self.path(name)

    def fill(self, offset, length):
        # Half the runs compress, so that qemu keeps compressed clusters as such.
        if self.rng.random() < 0.5:
            data = self.rng.randbytes(length)
        else:
            data = self.rng.randbytes(length).translate(COMPRESSIBLE)
        self.disk[offset:offset + length] = data
        return data

    def write_base(self):
        for offset, length in self.writes():
            self.fill(offset, length)
        raw = self.save_disk("base.raw")
        options = []
        if self.fmt == "qcow2":
            cluster = self.links_cluster(0)
            compat = self.rng.choice(["0.10", "1.1"])
            options = ["-o", "cluster_size=%d,compat=%s" % (cluster, compat)]
            if self.rng.random() < 0.3:
                options.append("-c")
                self.notes.append("compressed base")
            if self.depth > 1 and self.rng.random() < 0.25:
                self.notes.append("raw base")
                return raw
        elif self.fmt == "vmdk":
            options = ["-o", "subformat=" + self.size]
        elif self.fmt == "vdi":
            options = ["-o", "static=" + ("on" if self.size == "fixed" else "off")]
        elif self.fmt == "vhd":
            options = ["-o", "subformat=" + self.size]
        else:
            options = ["-o", "block_size=%d,subformat=%s" % (self.size, self.rng.choice(["dynamic", "fixed"]))]
        qemu_fmt = "vpc" if self.fmt == "vhd" else self.fmt
        folder = self.path("VM") if self.fmt == "vdi" else self.folder
        os.makedirs(os.path.join(folder, "Snapshots"), exist_ok=True)
        base = os.path.join(folder, ("VM.vdi" if self.fmt == "vdi" else "base." + self.fmt))
        run("qemu-img", "convert", "-f", "raw", "-O", qemu_fmt, *options, raw, base)
        # qemu rounds a VHD to its geometry and the others to whole sectors.
        size = virtual_size(base, qemu_fmt)
        del self.disk[size:]
        self.disk.extend(bytes(size - len(self.disk)))
        return base

    def links_cluster(self, layer):
        """The cluster size of a qcow2 layer: the seed's for the newest, any for the others."""
        if layer == self.depth - 1:
            return self.size
        return self.rng.choice(SIZES[0][1])

    def write_qemu_child(self, layer, parent):
        child = self.path("child%d.%s" % (layer, self.fmt))
        backing_fmt = "raw" if parent.endswith(".raw") else self.fmt
        if self.fmt == "qcow2":
            cluster = self.links_cluster(layer)
            options = "cluster_size=%d,compat=%s" % (cluster, self.rng.choice(["0.10", "1.1"]))
        else:
            cluster = 64 * KiB
            # A zeroed grain (table entry 1) reads as zeros, where libvmdk
            # reads the file's sector 1, the embedded descriptor.
            zeroed = self.rng.choice(["on", "off"])
            options = "subformat=%s,zeroed_grain=%s" % (self.rng.choice(VMDK_CHILDREN), zeroed)
        run("qemu-img", "create", "-q", "-f", self.fmt, "-o", options, "-b", os.path.basename(parent), "-F",
            backing_fmt, child)
        commands = []
        for n, (offset, length) in enumerate(self.writes()):
            kind = self.rng.random()
            if kind < 0.2:
                commands += ["-c", "write -q -z %d %d" % (offset, length)]
                self.disk[offset:offset + length] = bytes(length)
                continue
            if self.fmt == "qcow2" and kind < 0.4 and not commands and len(self.disk) >= cluster:
                # Compressed clusters are written whole, and never over clusters the link holds.
                offset = offset // cluster * cluster
                length = min(max(length // cluster, 1) * cluster, len(self.disk) // cluster * cluster - offset)
                if length <= 0:
                    continue
                piece = self.path("piece%d" % n)
                with open(piece, "wb") as out:
                    out.write(self.fill(offset, length))
                commands += ["-c", "write -q -c -s %s %d %d" % (piece, offset, length)]
                continue
            piece = self.path("piece%d" % n)
            with open(piece, "wb") as out:
                out.write(self.fill(offset, length))
            commands += ["-c", "write -q -s %s %d %d" % (piece, offset, length)]
        run("qemu-io", "-f", self.fmt, *commands, child)
        return child

    def write_own_child(self, layer, parent):
        parent_raw = self.save_disk("parent.raw")
        for offset, length in self.writes():
            self.fill(offset, length)
        child_raw = self.save_disk("child.raw")
        if self.fmt == "vdi":
            scratch = self.path("VM/Snapshots/new.vdi")
            return run(self.linker, "vdi", parent, parent_raw, child_raw, scratch, str(layer)).strip()
        child = self.path("child%d.%s" % (layer, self.fmt))
        block = str(self.rng.choice(SIZES[4][1])) if self.fmt == "vhdx" else "0"
        if self.fmt == "vhdx" and layer == self.depth - 1:
            block = str(self.size)
        run(self.linker, self.fmt, parent, parent_raw, child_raw, child, block)
        return child

    def write(self):
        self.links.append(self.write_base())
        for layer in range(1, self.depth):
            if self.fmt in ("qcow2", "vmdk"):
                self.links.append(self.write_qemu_child(layer, self.links[-1]))
            else:
                self.links.append(self.write_own_child(layer, self.links[-1]))
        return self.links[-1]


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


def check_pinned(reader, what, commands):
    folder = tempfile.mkdtemp(prefix="dorovivi-chaindiff-")
    try:
        for command in commands:
            if command[0] == "create":
                run("qemu-img", "create", "-q", *[os.path.join(folder, a) if a.endswith(".qcow2") else a
                                                 for a in command[1:]])
            else:
                run("qemu-io", "-f", "qcow2", "-c", command[1], os.path.join(folder, command[2]))
        child, ours, theirs = (os.path.join(folder, name) for name in ("child.qcow2", "ours.raw", "qemu.raw"))
        run("qemu-img", "convert", "-O", "raw", child, theirs)
        done = subprocess.run([reader, child, ours], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if done.returncode != 0:
            return "the program does not read it: " + done.stderr.decode(errors="replace").strip()
        with open(ours, "rb") as a, open(theirs, "rb") as b:
            where = first_difference(a.read(), b.read())
        return None if where is None else "differs from qemu-img: " + where
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
            flat = os.path.join(folder, "qemu.raw")
            run("qemu-img", "convert", "-O", "raw", newest, flat)
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
    failed = 0
    for what, commands in PINNED:
        failure = check_pinned(reader, what, commands)
        if failure:
            failed += 1
            print("FAIL %s: %s" % (what, failure))
    for seed in seeds:
        described, failure = check(seed, reader, linker)
        if failure:
            failed += 1
            print("FAIL %s: %s" % (described, failure))
        elif os.environ.get("VERBOSE") == "1" or "libvhdi differs" in described:
            print("ok   " + described)
    print("%d of %d seeds agree (SEED=K reruns one)" % (len(seeds) - failed, len(seeds)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
