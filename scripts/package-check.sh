#!/usr/bin/env bash
# Builds the packages and checks them briefly: "deb" in build/native (it
# unpacks, its man page is clean and its program runs), "zip" in build/win32
# (the program and a CR LF README, nothing else).
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^const char ToolVersion\[\] = "\([0-9.]*\)";$/\1/p' src/cli/version_banner.h)
banner="Dorovivi utility, Variant 1, V$version"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package check: $*" >&2; exit 1; }
pack() { (cd "$1" && cpack -G "$2" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack -G $2 failed"; }; }

case "$1" in
deb)
    pack build/native DEB
    deb="build/native/dorovivi_${version}_$(dpkg --print-architecture).deb"
    [ -f "$deb" ] || fail "$deb not made"
    dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "Depends lacks what shlibdeps finds: $(dpkg-deb -f "$deb" Depends)"
    dpkg-deb -f "$deb" Recommends | grep -q 'libcreg1, libhivex0, libtsk19, libqcow1' || fail "Recommends lacks the registry file or disk image readers"
    dpkg -x "$deb" "$work/root"
    # The readers are loaded only for a Windows drive or disk image; at start only libc.
    needed=$(objdump -p "$work/root/usr/bin/dorovivi" | awk '/NEEDED/ {print $2}' | tr '\n' ' ')
    ! grep -qE 'libcreg|libhivex|libbfio|libtsk|libqcow|libstdc' <<<"$needed" || fail "the packaged dorovivi needs $needed"
    [ "$("$work/root/usr/bin/dorovivi" V)" = "$banner" ] || fail "the packaged dorovivi V does not print the banner"
    page="$work/root/usr/share/man/man1/dorovivi.1"
    [ -f "$page" ] || fail "no man page in the package"
    warnings=$(groff -man -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff on the man page: $warnings"
    for section in NAME SYNOPSIS DESCRIPTION ENVIRONMENT FILES '"EXIT STATUS"' EXAMPLES; do
        grep -q "^\.SH $section\$" "$page" || fail "man page lacks $section"
    done
    echo "package check: $deb"
    ;;
zip)
    pack build/win32 ZIP
    zip="build/win32/dorovivi-$version-win32.zip"
    [ -f "$zip" ] || fail "$zip not made"
    [ "$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')" = "README.txt dorovivi.exe " ] ||
        fail "the zip holds $(cmake -E tar tf "$zip" | tr '\n' ' ')"
    (cd "$work" && cmake -E tar xf "$OLDPWD/$zip")
    cmp -s "$work/dorovivi.exe" build/win32/dorovivi.exe || fail "the zip's dorovivi.exe is not the one built"
    grep -q $'\r$' "$work/README.txt" || fail "README.txt has no CR LF line ends"
    ! grep -q $'[^\r]$\|^$' "$work/README.txt" || fail "README.txt has a line without CR LF"
    echo "package check: $zip"
    ;;
*)
    fail "usage: $0 deb|zip"
    ;;
esac
