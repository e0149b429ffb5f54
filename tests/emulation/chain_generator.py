"""The seeded chains the chain differential reads: a seed chooses the format
and its cluster, grain or block size (seed modulo the number of those, so
seeds 0..CASES-1 cover each once), then, from a generator of its own, the
depth 1..8, the disk's size, and scattered writes at each layer, unaligned to
any unit. Each chain keeps the disk it must read as. qcow2 and VMDK links
are written by qemu-img and qemu-io, the others by write_differencing_link."""

import json
import os
import random
import subprocess

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
