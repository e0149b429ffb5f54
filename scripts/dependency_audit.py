#!/usr/bin/env python3
"""Checks that everything the builds and tests use comes from a package the
project's scripts install, so that a green run on a machine where something
was installed by hand cannot hide a missing install step.

It looks at every system header the builds include (the compiler's own
dependency lists, made by preprocessing each translation unit of every preset
whose compiler is here), every library they link or load with dlopen, and
every program the tests and scripts run, and asks dpkg which package owns
each. That package must be one the scripts name to scripts/install-deps.sh,
one of their dependencies, or an essential package.

--self-test first drops libcreg-dev from the named packages and requires the
audit to fail on it, naming a header and the package; then audits for real.
"""
import concurrent.futures
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Programs the tests, benchmarks and scripts run by name. A new one belongs
# here, beside the package scripts/install-deps.sh installs for it.
PROGRAMS = [
    "cmake", "ctest", "g++", "make", "pkg-config", "python3", "xz", "file", "groff", "man",
    "qemu-img", "qemu-io", "mkntfs", "mkfs.fat", "mcopy", "sfdisk", "ewfacquire",
    "icat", "fls", "mmls", "fsstat", "hivexget", "hivexsh", "dpkg-deb", "dpkg-shlibdeps", "lintian",
    "truncate", "dd", "sha256sum", "jq", "nm", "ldmtool", "gcab", "cabextract", "touch",
]
# Only where their preset or suite can run here: the scripts skip them otherwise.
OPTIONAL_PROGRAMS = [
    "wine", "wineserver", "wineboot", "i686-w64-mingw32-g++", "i686-w64-mingw32-objdump",
    "clang++", "valgrind", "setarch",
]
# No other named package depends on it (libewf-dev pulls in libbfio-dev).
SEEDED_MISS = "libcreg-dev"


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


def named_packages():
    """Every package a script of the project hands to install-deps.sh."""
    names = set(run(["bash", os.path.join(ROOT, "scripts/install-deps.sh"), "--list"]).stdout.split())
    call = re.compile(r"scripts/install-deps\.sh((?: +[A-Za-z0-9][A-Za-z0-9:.+-]*)+)")
    for folder in ("scripts", "bench", ".ci"):
        for name in os.listdir(os.path.join(ROOT, folder)):
            with open(os.path.join(ROOT, folder, name), errors="replace") as f:
                for args in call.findall(f.read()):
                    names.update(args.split())
    return {n.split(":")[0] for n in names}


def installed_packages():
    """Installed packages: name -> (dependency alternatives, essential); and what provides what."""
    out = run(["dpkg-query", "-W", "-f", "${db:Status-Abbrev}\t${Package}\t${Essential}\t${Pre-Depends}, "
               "${Depends}\t${Provides}\n"]).stdout
    deps, essential, provides = {}, set(), {}
    for line in out.splitlines():
        status, name, ess, depends, prov = line.split("\t")
        if not status.startswith("ii"):
            continue
        groups = []
        for group in depends.split(","):
            alts = [re.split(r"[\s:(]", a.strip())[0] for a in group.split("|") if a.strip()]
            if alts:
                groups.append(alts)
        deps.setdefault(name, []).extend(groups)
        if ess == "yes":
            essential.add(name)
        for p in prov.split(","):
            p = re.split(r"[\s(]", p.strip())[0]
            if p:
                provides.setdefault(p, set()).add(name)
    return deps, essential, provides


def closure(start, deps, provides):
    seen, todo = set(), list(start)
    while todo:
        name = todo.pop()
        for real in ({name} if name in deps else set()) | provides.get(name, set()):
            if real in seen:
                continue
            seen.add(real)
            for alts in deps.get(real, []):
                todo.extend(alts)
    return seen


def configure(build, extra):
    args = ["cmake", "-S", ROOT, "-B", build, "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"] + extra
    if run(args).returncode != 0:
        return []
    with open(os.path.join(build, "compile_commands.json")) as f:
        return json.load(f)


def included_headers(entry):
    """The headers one translation unit includes; a missing one comes back as its bare name."""
    args = shlex.split(entry["command"])
    keep, skip = [], False
    for a in args:
        if skip:
            skip = False
        elif a in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
        elif a not in ("-c", "-MD", "-MMD"):
            keep.append(a)
    done = run(keep + ["-M", "-MG"], cwd=entry["directory"])
    text = done.stdout.replace("\\\n", " ")
    files = text.split(":", 1)[1].split() if ":" in text else []
    files = [os.path.normpath(f) if os.path.isabs(f) else f for f in files]
    return entry["file"], [f for f in files if not f.startswith(ROOT)]


def linked_libraries(build):
    libs = set()
    for top, _, names in os.walk(build):
        if "link.txt" not in names:
            continue
        with open(os.path.join(top, "link.txt")) as f:
            words = f.read().split()
        compiler = words[0] if words else "c++"
        for w in words:
            if w.startswith("-l") and len(w) > 2:
                found = [run([compiler, f"-print-file-name=lib{w[2:]}{ext}"]).stdout.strip() for ext in (".so", ".a")]
                libs.add(next((f for f in found if os.path.isabs(f)), f"lib{w[2:]}.so"))
            elif w.startswith("/") and re.search(r"\.(so[.0-9]*|a)$", w) and not w.startswith(ROOT):
                libs.add(w)
    return libs


def loaded_libraries():
    """The libraries the tool loads with dlopen, by the names it asks for."""
    names, cache = set(), run(["/sbin/ldconfig", "-p"]).stdout
    for top, _, files in os.walk(os.path.join(ROOT, "src")):
        for name in files:
            with open(os.path.join(top, name), errors="replace") as f:
                names.update(re.findall(r'"(lib[a-z0-9_-]+\.so[.0-9]*)"', f.read()))
    found = set()
    for name in names:
        m = re.search(r"^\s*" + re.escape(name) + r" \(libc6,x86-64\) => (\S+)", cache, re.M)
        found.add(m.group(1) if m else name)
    return found


def owners(paths):
    """dpkg's owner of each path, trying the merged-/usr twin and the resolved path too."""
    def candidates(p):
        out = [p, os.path.realpath(p)]
        for a, b in (("/usr/bin/", "/bin/"), ("/usr/sbin/", "/sbin/"), ("/usr/lib/", "/lib/")):
            for q in list(out):
                if q.startswith(a):
                    out.append(b + q[len(a):])
                elif q.startswith(b):
                    out.append(a + q[len(b):])
        return list(dict.fromkeys(out))
    every = sorted({c for p in paths if os.path.isabs(p) for c in candidates(p)})
    owner = {}
    for i in range(0, len(every), 400):
        for line in run(["dpkg", "-S"] + every[i:i + 400]).stdout.splitlines():
            pkgs, _, path = line.partition(": ")
            if "diversion" in pkgs:
                continue
            owner[path] = [p.split(":")[0] for p in pkgs.split(", ")]
    return {p: next((owner[c] for c in candidates(p) if c in owner), None) for p in paths}


def gather():
    items = []  # (what, name, used by)
    with tempfile.TemporaryDirectory() as scratch:
        presets = [("native", ["-DCMAKE_BUILD_TYPE=RelWithDebInfo"])]
        if run(["sh", "-c", "command -v i686-w64-mingw32-g++"]).returncode == 0:
            presets.append(("win32", ["-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake/mingw-i686.cmake"),
                                      "-DCMAKE_BUILD_TYPE=Release"]))
        if run(["sh", "-c", "command -v clang++"]).returncode == 0:
            presets.append(("fuzz", ["-DCMAKE_CXX_COMPILER=clang++", "-DDOROVIVI_TESTS=OFF", "-DDOROVIVI_FUZZ=ON"]))
        entries = []
        for name, extra in presets:
            build = os.path.join(scratch, name)
            entries += configure(build, extra)
            items += [("library", lib, name + " link") for lib in linked_libraries(build)]
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
            for source, headers in pool.map(included_headers, entries):
                items += [("header", h, os.path.relpath(source, ROOT)) for h in headers]
    items += [("library", lib, "dlopen") for lib in loaded_libraries()]
    # Looked up where a fresh Debian has them: a toolchain of the user's own
    # earlier on PATH (pyenv's python3, say) must not hide a missing package.
    system = dict(os.environ, PATH="/usr/sbin:/usr/bin:/sbin:/bin")
    for program in PROGRAMS + OPTIONAL_PROGRAMS:
        path = run(["sh", "-c", f"command -v {shlex.quote(program)}"], env=system).stdout.strip()
        if path or program in PROGRAMS:
            items.append(("program", path or program, "tests and scripts"))
    unique = {}
    for what, name, user in items:
        unique.setdefault((what, name), user)
    return unique, owners({name for (_, name) in unique})


def audit(unique, owner, allowed):
    faults = []
    for (what, name), user in sorted(unique.items()):
        pkgs = owner.get(name)
        if not os.path.isabs(name):
            faults.append(f"{what} {name} (used by {user}) is not on this machine: no installed package has it")
        elif pkgs is None:
            if not name.startswith(("/usr/local/", "/opt/", "/root/")):
                continue  # made at build time (generated headers, the compiler's own), not packaged
            faults.append(f"{what} {name} (used by {user}) comes from no package: installed by hand")
        elif not set(pkgs) & allowed:
            faults.append(f"{what} {name} (used by {user}) belongs to {', '.join(pkgs)}, "
                          "which no script installs through scripts/install-deps.sh")
    return faults


def main():
    named = named_packages()
    deps, essential, provides = installed_packages()
    unique, owner = gather()
    if "--self-test" in sys.argv:
        seeded = audit(unique, owner, closure((named - {SEEDED_MISS}) | essential, deps, provides))
        if not any(SEEDED_MISS in f and "libcreg" in f.split()[1] for f in seeded):
            print(f"dependency audit self-test: FAILED: dropping {SEEDED_MISS} was not caught", file=sys.stderr)
            return 1
        print(f"dependency audit self-test: dropping {SEEDED_MISS} is caught ({len(seeded)} lines)")
    faults = audit(unique, owner, closure(named | essential, deps, provides))
    for f in faults:
        print("dependency audit: " + f, file=sys.stderr)
    counts = {}
    for (what, _) in unique:
        counts[what] = counts.get(what, 0) + 1
    print("dependency audit: %d headers, %d libraries, %d programs; %s" % (
        counts.get("header", 0), counts.get("library", 0), counts.get("program", 0),
        f"{len(faults)} not installed by the scripts" if faults else "all installed by the scripts"))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
