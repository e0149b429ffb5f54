#!/usr/bin/env python3
"""Checks the emulation's layering: every file of src/platform/posix lives in
a layer folder, includes only its own folder or a folder below it, and no
group of files (a header with its source) reaches itself through includes.
Given a build directory, it reads the same of calls from the objects there:
what each defines and what it uses, by `nm`. Also keeps every file of src/
at 250 lines or fewer. Prints each fault on a line of its own and exits 1
when there is one.

    check_layers.py [SOURCE_DIR [BUILD_DIR]]
    check_layers.py --self-test"""

import os
import re
import subprocess
import sys

# Top to bottom; folders on one line are siblings and share only what lies below.
LAYERS = [
    ["api"],
    ["system"],
    ["view", "atoms", "parser"],
    ["sources"],
    ["root"],
    ["sandbox"],
    ["image"],
    ["files", "machine", "bitlocker", "shadow"],
    ["base"],
]
MAX_LINES = 250
POSIX = "platform/posix/"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
OBJECT = re.compile(r"/src/(" + re.escape(POSIX) + r".+)\.(?:cpp|cc)\.o$")
DEFINES = "BDGRST"  # nm's kinds of a global a file defines for all
WEAK = "VW"         # inline code and templates: defined in every user


def rank_of(folder):
    for depth, names in enumerate(LAYERS):
        if folder in names:
            return len(LAYERS) - depth
    return None


def folder_of(module):
    inside = module[len(POSIX):]
    return inside.split("/")[0] if "/" in inside else ""


def find_circles(graph, kind, faults):
    """Depth-first search; each edge back into the path is a circle."""
    state = {}
    stack = []

    def visit(module):
        state[module] = "open"
        stack.append(module)
        for other in sorted(graph.get(module, ())):
            if state.get(other) == "open":
                circle = stack[stack.index(other):] + [other]
                faults.append(f"{kind} circle: " + " -> ".join(circle))
            elif other not in state:
                visit(other)
        stack.pop()
        state[module] = "done"

    for module in sorted(graph):
        if module not in state:
            visit(module)


def read_objects(src, build, faults):
    """Each object of the emulation under `build` (CMake keeps the source's
    path below the target's folder), by module; a stale one is a fault, as
    its symbols would be the old source's."""
    objects = {}
    for dirpath, _, names in os.walk(build):
        for name in sorted(names):
            path = os.path.join(dirpath, name)
            match = OBJECT.search(path.replace(os.sep, "/"))
            if not match:
                continue
            module = match.group(1)
            source = os.path.join(src, match.group(0)[len("/src/"):-len(".o")])
            if os.path.exists(source) and os.path.getmtime(path) < os.path.getmtime(source):
                faults.append(f"{path}: older than {os.path.relpath(source, os.path.dirname(src))}; build first")
            objects[path] = module
    if not objects:
        faults.append(f"{build}: no objects of src/{POSIX}; build first")
    return objects


def demangle(symbol):
    try:
        out = subprocess.run(["c++filt", symbol], capture_output=True, text=True, check=True)
        return out.stdout.strip() or symbol
    except (OSError, subprocess.CalledProcessError):
        return symbol


def check_calls(src, build, faults):
    """A call across modules must point down as an include must, and calls
    must not come round to where they started."""
    objects = read_objects(src, build, faults)
    if not objects:
        return
    try:
        out = subprocess.run(["nm", "-A", "-P"] + sorted(objects), capture_output=True, text=True)
    except OSError as error:
        faults.append(f"nm: {error}")
        return
    if out.returncode != 0:
        faults.append("nm: " + out.stderr.strip().replace("\n", "; "))
    strong, weak, used = {}, {}, []
    for line in out.stdout.splitlines():
        path, _, rest = line.rpartition(": ")
        fields = rest.split()
        if path not in objects or len(fields) < 2:
            continue
        module, (symbol, kind) = objects[path], fields[:2]
        if kind == "U":
            used.append((module, symbol))
        elif kind in DEFINES:
            strong[symbol] = module
        elif kind in WEAK:
            weak.setdefault(symbol, set()).add(module)
    calls = {}  # module -> {module it calls: first symbol, by name}
    for module, symbol in sorted(used):
        target = strong.get(symbol)
        if target is None and len(weak.get(symbol, ())) == 1:
            target = next(iter(weak[symbol]))
        if target is not None and target != module:
            calls.setdefault(module, {}).setdefault(target, symbol)
    for module, targets in sorted(calls.items()):
        folder, here = folder_of(module), rank_of(folder_of(module))
        for target, symbol in sorted(targets.items()):
            there = rank_of(folder_of(target))
            # A file outside the layers is a fault of its own, found above.
            if None not in (here, there) and folder_of(target) != folder and there >= here:
                faults.append(f"src/{module}: calls {demangle(symbol)} in src/{target}, which is not below {folder}/")
    find_circles(calls, "call", faults)


def main(top, build=None):
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
    find_circles(modules, "include", faults)
    if build is None:
        print("check_layers: no build directory given; includes only", file=sys.stderr)
    else:
        check_calls(src, build, faults)
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
        # Built: each .cpp becomes an object as CMake places it, for nm to read.
        ("a call downward", {"api/a.cpp": "void Low(int); void High() { Low(1); }",
                             "base/b.cpp": "void Low(int) {}"}, [], "build"),
        ("a call back up, with no include", {"base/b.cpp": "void High(); void Low() { High(); }",
                                             "api/a.cpp": "void High() {}"}, ["calls High() in"], "build"),
        ("a circle of calls inside a folder", {"sources/plan.cpp": "int Read(); int Add() { return 1; }\n"
                                                                   "int Plan() { return Read(); }",
                                               "sources/read.cpp": "int Add(); int Read() { return Add(); }"},
         ["call circle"], "build"),
        ("a build with no objects", {"base/b.h": ""}, ["no objects"], "build"),
        ("a source changed since its build", {"base/b.cpp": "int B() { return 1; }"}, ["older than"], "stale"),
    ]
    failed = 0
    for what, files, expected, *build in cases:
        with tempfile.TemporaryDirectory() as top:
            for name, text in files.items():
                path = os.path.join(top, "src", POSIX, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w") as out:
                    out.write(text)
                objects = os.path.join(top, "build", "CMakeFiles", "t.dir", "src", POSIX)
                if build and name.endswith(".cpp"):
                    os.makedirs(os.path.dirname(os.path.join(objects, name)), exist_ok=True)
                    subprocess.run([os.environ.get("CXX", "c++"), "-O0", "-c", "-I", os.path.join(top, "src"),
                                    path, "-o", os.path.join(objects, name + ".o")], check=True)
                if build == ["stale"]:
                    later = os.path.getmtime(os.path.join(objects, name + ".o")) + 10
                    os.utime(path, (later, later))
            printed = io.StringIO()
            with contextlib.redirect_stdout(printed), contextlib.redirect_stderr(io.StringIO()):
                status = main(top, os.path.join(top, "build") if build else None)
            lines = printed.getvalue().splitlines()
            if status != (1 if expected else 0) or len(lines) != len(expected) or \
                    any(word not in line for word, line in zip(expected, lines)):
                print(f"self-test: {what}: got {lines}")
                failed = 1
    return failed


if __name__ == "__main__":
    if sys.argv[1:] == ["--self-test"]:
        sys.exit(self_test())
    top = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    sys.exit(main(top, sys.argv[2] if len(sys.argv) > 2 else None))
