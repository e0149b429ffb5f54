#!/usr/bin/env python3
"""A dynamic volume's bytes, by the map ldmtool reports of Windows-made disks:
assembled into one file, or that file written back over the disks' extents.

    ldm_volume.py assemble|scatter VOLUME FILE DISK...
"""
import json
import subprocess
import sys

SECTOR = 512


def ldmtool(disks, *command):
    devices = [arg for disk in disks for arg in ("-d", disk)]
    out = subprocess.run(["ldmtool", *devices, *command], check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def extents(volume, disks):
    group = ldmtool(disks, "scan")[0]
    found = ldmtool(disks, "show", "volume", group, volume)
    parts = []
    for name in found["partitions"]:
        part = ldmtool(disks, "show", "partition", group, name)
        disk = ldmtool(disks, "show", "disk", group, part["disk"])
        parts.append((disk["device"], (disk["data-start"] + part["start"]) * SECTOR, part["size"] * SECTOR))
    return found["type"], found["chunk-size"] * SECTOR, parts


def pieces(kind, chunk, parts):
    """(device, offset on it, offset in the volume, length) of every run of bytes."""
    if kind == "striped":
        rows = parts[0][2] // chunk
        for row in range(rows):
            for column, (device, start, _) in enumerate(parts):
                yield device, start + row * chunk, (row * len(parts) + column) * chunk, chunk
    elif kind == "mirrored":
        for device, start, size in parts:
            yield device, start, 0, size
    else:  # simple, spanned
        at = 0
        for device, start, size in parts:
            yield device, start, at, size
            at += size


def main():
    action, volume, path, disks = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    kind, chunk, parts = extents(volume, disks)
    with open(path, "r+b" if action == "scatter" else "wb") as file:
        for device, start, at, size in pieces(kind, chunk, parts):
            with open(device, "r+b") as disk:
                disk.seek(start)
                file.seek(at)
                if action == "assemble":
                    file.write(disk.read(size))
                else:
                    disk.write(file.read(size))
            if kind == "mirrored" and action == "assemble":
                break


main()
