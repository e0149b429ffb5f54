#!/usr/bin/env bash
# Builds the packages and checks them briefly: "deb" in build/native (lintian
# finds no error, it unpacks, its man page is clean and its program runs and
# prints the package's own version), "zip" in build/win32 (the program and a
# CR LF README, nothing else).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package check: $*" >&2; exit 1; }
pack() { (cd "$1" && cpack -G "$2" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack -G $2 failed"; }; }

case "$1" in
deb)
    rm -f build/native/dorovivi_*.deb
    pack build/native DEB
    debs=(build/native/dorovivi_*_"$(dpkg --print-architecture)".deb)
    deb=${debs[0]}
    [ -f "$deb" ] || fail "no .deb made in build/native"
    version=$(dpkg-deb -f "$deb" Version)
    lint=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'root privileges' || true)
    ! grep -q '^E: ' <<<"$lint" || fail "lintian: $lint"
    dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "Depends lacks what shlibdeps finds: $(dpkg-deb -f "$deb" Depends)"
    dpkg-deb -f "$deb" Recommends | grep -q 'libcreg1, libtsk19, libqcow1' || fail "Recommends lacks the registry file or disk image readers"
    ! dpkg-deb -f "$deb" Recommends | grep -q libhivex || fail "Recommends names libhivex0, which the program does not load"
    dpkg -x "$deb" "$work/root"
    # The readers are loaded only for a Windows drive or disk image; at start only libc.
    needed=$(objdump -p "$work/root/usr/bin/dorovivi" | awk '/NEEDED/ {print $2}' | tr '\n' ' ')
    ! grep -qE 'libcreg|libhivex|libbfio|libtsk|libqcow|libstdc' <<<"$needed" || fail "the packaged dorovivi needs $needed"
    # The banner and the package take the release from one place.
    [[ "$("$work/root/usr/bin/dorovivi" V)" =~ ^Dorovivi\ utility,\ Variant\ [0-9]+,\ V${version//./\\.}$ ]] ||
        fail "the packaged dorovivi V does not print the package's version $version"
    # Both man pages compressed, each clean under groff; lintian has read them too.
    for name in dorovivi dorovivi-inventory; do
        [ -f "$work/root/usr/share/man/man1/$name.1.gz" ] || fail "no compressed $name man page in the package"
        gzip -dc "$work/root/usr/share/man/man1/$name.1.gz" >"$work/$name.1"
        warnings=$(groff -man -ww -z "$work/$name.1" 2>&1)
        [ -z "$warnings" ] || fail "groff on the $name man page: $warnings"
    done
    for section in NAME SYNOPSIS DESCRIPTION ENVIRONMENT FILES '"EXIT STATUS"' EXAMPLES; do
        grep -q "^\.SH $section\$" "$work/dorovivi.1" || fail "man page lacks $section"
    done
    # The inventory helper: beside dorovivi, and runs that one.
    inventory="$work/root/usr/bin/dorovivi-inventory"
    [ -x "$inventory" ] || fail "no dorovivi-inventory in the package"
    mkdir "$work/system" && printf 'REGEDIT4\r\n' >"$work/system/HKLM.reg"
    [ "$(PATH=/nonexistent "$inventory" "$work/system" 2>&1)" = "$work/system"$'\t2\tXXXXXX\t100' ] ||
        fail "the packaged dorovivi-inventory does not answer"
    echo "package check: $deb"
    ;;
zip)
    rm -f build/win32/dorovivi-*-win32.zip
    pack build/win32 ZIP
    zips=(build/win32/dorovivi-*-win32.zip)
    zip=${zips[0]}
    [ -f "$zip" ] || fail "no zip made in build/win32"
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
