#!/usr/bin/env python3
"""Checks the emulation's layering: every file of src/platform/posix lives in
a layer folder, includes only its own folder or a folder below it, and no
group of files (a header with its source) reaches itself through includes.
Also keeps every file of src/ at 250 lines or fewer. Prints each fault on a
line of its own and exits 1 when there is one."""

import os
import re
import sys

# Top to bottom; folders on one line are siblings and share only what lies below.
LAYERS = [
    ["api"],
    ["system"],
    ["view", "atoms"],
    ["sources"],
    ["root"],
    ["sandbox"],
    ["image"],
    ["files"],
    ["base"],
]
MAX_LINES = 250
POSIX = "platform/posix/"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def rank_of(folder):
    for depth, names in enumerate(LAYERS):
        if folder in names:
            return len(LAYERS) - depth
    return None


def main(top):
    src = os.path.join(top, "src")
    faults = []
    modules = {}  # module (path without extension) -> modules it includes
    for dirpath, _, names in os.walk(src):
        for name in sorted(names):
            path = os.path.join(dirpath, name)
            relative = os.path.relpath(path, src)
            with open(path, encoding="utf-8", errors="replace") as text:
                lines = text.read().splitlines()
            if len(lines) > MAX_LINES:
                faults.append(f"src/{relative}: {len(lines)} lines, more than {MAX_LINES}")
            if not relative.startswith(POSIX) or not name.endswith((".h", ".cpp")):
                continue
            inside = relative[len(POSIX):]
            folder = inside.split("/")[0] if "/" in inside else ""
            here = rank_of(folder)
            if here is None:
                faults.append(f"src/{relative}: not in a layer folder")
                continue
            module = os.path.splitext(relative)[0]
            edges = modules.setdefault(module, set())
            for number, line in enumerate(lines, 1):
                match = INCLUDE.match(line)
                if not match or not match.group(1).startswith(POSIX):
                    continue
                target = match.group(1)
                target_folder = target[len(POSIX):].split("/")[0]
                there = rank_of(target_folder)
                if target_folder != folder and (there is None or there >= here):
                    faults.append(f"src/{relative}:{number}: includes {target}, which is not below {folder}/")
                target_module = os.path.splitext(target)[0]
                if target_module != module:
                    edges.add(target_module)
    # A circle among modules, found by depth-first search.
    state = {}
    stack = []

    def visit(module):
        state[module] = "open"
        stack.append(module)
        for other in sorted(modules.get(module, ())):
            if state.get(other) == "open":
                circle = stack[stack.index(other):] + [other]
                faults.append("include circle: " + " -> ".join(circle))
            elif other not in state:
                visit(other)
        stack.pop()
        state[module] = "done"

    for module in sorted(modules):
        if module not in state:
            visit(module)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


def self_test():
    """Each tree of the table must give exactly the faults it names."""
    import contextlib
    import io
    import tempfile

    up = '#include "platform/posix/api/a.h"\n'
    cases = [
        ("a file including downward", {"api/a.cpp": '#include "platform/posix/base/b.h"\n', "base/b.h": ""}, []),
        ("an arrow back up", {"base/b.cpp": up, "api/a.h": ""}, ["not below base/"]),
        ("siblings", {"view/v.cpp": '#include "platform/posix/atoms/t.h"\n', "atoms/t.h": ""}, ["not below view/"]),
        ("a file outside the layers", {"loose.cpp": ""}, ["not in a layer folder"]),
        ("a circle inside a folder", {"root/a.h": '#include "platform/posix/root/b.h"\n',
                                      "root/b.cpp": '#include "platform/posix/root/a.h"\n'}, ["include circle"]),
        ("a long file", {"base/long.cpp": "\n" * (MAX_LINES + 1)}, ["more than"]),
    ]
    failed = 0
    for what, files, expected in cases:
        with tempfile.TemporaryDirectory() as top:
            for name, text in files.items():
                path = os.path.join(top, "src", POSIX, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w") as out:
                    out.write(text)
            printed = io.StringIO()
            with contextlib.redirect_stdout(printed):
                status = main(top)
            lines = printed.getvalue().splitlines()
            if status != (1 if expected else 0) or len(lines) != len(expected) or \
                    any(word not in line for word, line in zip(expected, lines)):
                print(f"self-test: {what}: got {lines}")
                failed = 1
    return failed


if __name__ == "__main__":
    if sys.argv[1:] == ["--self-test"]:
        sys.exit(self_test())
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")))
