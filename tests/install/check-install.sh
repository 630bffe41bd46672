#!/usr/bin/env bash
# check-install.sh CMAKE CPACK BUILD_DIR CHECKS
# Installs BUILD_DIR with `cmake --install` into a scratch prefix and checks
# the installed tree with desktop-file-validate, appstreamcli and man; then
# builds the .deb with CPack and checks its files and control fields. With
# CHECKS "policy" (a hardened release build) the package must also pass
# lintian without an error or warning, and the program must carry the
# hardening flags. Everything happens in a temporary folder.
set -euo pipefail
cmake=$1
cpack=$2
build=$3
checks=${4:-policy}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
id=org.vantrel.vantrel

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
expect_file() { [ -s "$1" ] || fail "missing or empty: $1"; }
expect_line() { # file, exact line
    grep -qxF -- "$2" "$1" || fail "$1 lacks the line: $2"
}
need() { command -v "$1" >/dev/null || { fail "$1 is not installed (scripts/install-deps.sh)"; return 1; }; }

# --- cmake --install into a prefix --------------------------------------
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log"

[ -x "$prefix/bin/vantrel" ] || fail "bin/vantrel is not an executable"
expect_file "$prefix/share/doc/vantrel/manual.html"
for size in 16 22 24 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/vantrel.png
    expect_file "$icon"
    # The PNG header's width and height are the size its folder names.
    [ "$(od -An -tx1 -j16 -N8 "$icon" 2>/dev/null | tr -d ' \n')" = "$(printf '%08x%08x' "$size" "$size")" ] ||
        fail "$icon is not ${size}x${size}"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/vantrel.svg" 2>/dev/null || fail "no scalable icon"
desktop=$prefix/share/applications/$id.desktop
expect_file "$desktop"

# The program looks for the manual at ../share/doc/vantrel beside its folder,
# and the manual's pictures lie beside it.
[ -f "$prefix/bin/../share/doc/vantrel/manual.html" ] || fail "manual not where the program looks"
for section in overview support troubleshooting; do
    grep -q "id=\"$section\"" "$prefix/share/doc/vantrel/manual.html" || fail "manual has no $section section"
done
for img in $(grep -o 'src="[^"]*"' "$prefix/share/doc/vantrel/manual.html" | sed 's/^src="//; s/"$//'); do
    expect_file "$prefix/share/doc/vantrel/$img"
done

# The menu entry starts the installed program in the data folder.
expect_line "$desktop" "Exec=$prefix/bin/vantrel --menu-start"
expect_line "$desktop" "TryExec=$prefix/bin/vantrel"
expect_line "$desktop" "Icon=vantrel"
expect_line "$desktop" "Type=Application"
if need desktop-file-validate; then
    desktop-file-validate "$desktop" >"$work/dfv.txt" 2>&1 || true
    [ ! -s "$work/dfv.txt" ] || fail "desktop-file-validate: $(cat "$work/dfv.txt")"
fi

# The software centre's description, with the menu entry and icon it names.
metainfo=$prefix/share/metainfo/$id.metainfo.xml
expect_file "$metainfo"
if need appstreamcli; then
    # Without --no-net: every address the file names must be real. A default
    # build names none, so nothing is fetched from past this machine.
    grep -qE 'https?://' "$metainfo" && fail "metainfo names a web address in a default build"
    appstreamcli validate --pedantic --no-color "$metainfo" >"$work/as.txt" 2>&1 ||
        fail "appstreamcli validate: $(cat "$work/as.txt")"
    grep -qE '^[EWIP]:' "$work/as.txt" && fail "appstreamcli validate has remarks: $(cat "$work/as.txt")"
    appstreamcli validate-tree --pedantic --no-net --no-color "$prefix" >"$work/astree.txt" 2>&1 ||
        fail "appstreamcli validate-tree: $(cat "$work/astree.txt")"
fi
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "metainfo names another menu entry"

# The manual page: every section, and no complaint of the formatter.
page=$prefix/share/man/man1/vantrel.1.gz
expect_file "$page"
if need man; then
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l -Tutf8 -Z "$page" 2>"$work/man.err" >/dev/null
    [ ! -s "$work/man.err" ] || fail "man warns: $(cat "$work/man.err")"
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null >"$work/man.txt"
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT SIGNALS "EXIT STATUS"; do
        expect_line "$work/man.txt" "$section"
    done
    # Every exit status of the program is there.
    for status in 0 1 2 3; do
        grep -qE "^ +$status( |\$)" "$work/man.txt" || fail "the manual page lacks exit status $status"
    done
fi

# The program's two libraries lie in its private folder, where it looks for
# them from its own path.
privlib=
for folder in "$prefix"/lib/*/vantrel "$prefix"/lib/vantrel; do
    [ -d "$folder" ] && privlib=${folder#"$prefix"/} && break
done
[ -n "$privlib" ] || fail "no private library folder under $prefix/lib"
for library in libvantrel-desktop.so libvantrel-instance-link.so; do
    expect_file "$prefix/$privlib/$library"
done

# Every shared library the program needs can be found; the executable itself
# loads nothing of Qt, so a command costs what its work costs.
for file in "$prefix/bin/vantrel" "$prefix/$privlib"/libvantrel-*.so; do
    ldd "$file" >"$work/ldd.txt" 2>&1 || true
    if grep -q "not found" "$work/ldd.txt"; then
        fail "unresolved libraries of $file: $(grep 'not found' "$work/ldd.txt" | tr '\n' ' ')"
    fi
done
ldd "$prefix/bin/vantrel" | grep -qE 'libQt6|libcanberra' && fail "bin/vantrel links Qt or libcanberra"
# A folder command loads the instance link from the installed folder.
mkdir "$work/folder"
(cd "$work/folder" && HOME=$work/folder XDG_RUNTIME_DIR=$work/folder TMPDIR=$work/folder \
    "$prefix/bin/vantrel" list >"$work/list.out" 2>"$work/list.err") ||
    fail "vantrel list in an empty folder failed: $(cat "$work/list.err")"

# --- the Debian package ---------------------------------------------------
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; exit 1; }
debs=("$work"/package/vantrel_*.deb)
[ -f "${debs[0]}" ] || { fail "no vantrel_*.deb built"; exit 1; }
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || true)
for path in ./usr/bin/vantrel ./usr/lib/$multiarch/vantrel/libvantrel-desktop.so \
    ./usr/lib/$multiarch/vantrel/libvantrel-instance-link.so ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml \
    ./usr/share/doc/vantrel/manual.html ./usr/share/doc/vantrel/copyright ./usr/share/doc/vantrel/changelog.Debian.gz \
    ./usr/share/man/man1/vantrel.1.gz ./usr/share/icons/hicolor/48x48/apps/vantrel.png \
    ./usr/share/icons/hicolor/scalable/apps/vantrel.svg; do
    expect_line "$work/contents" "$path"
done
# Nothing of the build or test trees, and no libraries or headers of our
# own beyond the program's two private ones.
if grep -E '\.(a|h|so)$|/include/' "$work/contents" |
    grep -vxE "\./usr/lib/$multiarch/vantrel/libvantrel-(desktop|instance-link)\.so"; then
    fail "the package carries build files"
fi

[ "$(dpkg-deb -f "$deb" Package)" = vantrel ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Section)" = net ] || fail "section"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
[[ $maintainer =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "maintainer without a name and address: $maintainer"
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6network6 "libcurl4 (>= 7.85.0)" libcanberra0 qt6-qpa-plugins libsecret-1-0; do
    case "$depends" in
    *"$needed"*) ;;
    *) fail "Depends lacks $needed: $depends" ;;
    esac
done
# Each package is named once: dpkg refuses nothing, but apt front ends and
# reviewers read a doubled entry as a packaging fault.
doubled=$(tr ',' '\n' <<<"$depends" | awk '{print $1}' | sort | uniq -d)
[ -z "$doubled" ] || fail "Depends names a package twice: $doubled"
recommends=$(dpkg-deb -f "$deb" Recommends)
[ "$recommends" = "xdg-utils, libcanberra-pulse" ] || fail "Recommends: $recommends"

# Inside the package the menu entry names /usr/bin/vantrel, not a staging folder.
dpkg-deb -x "$deb" "$work/root"
expect_line "$work/root/usr/share/applications/$id.desktop" "Exec=/usr/bin/vantrel --menu-start"

if [ "$checks" = policy ]; then
    # Debian's hardening: read-only relocations, immediate binding, fortified calls.
    bin=$work/root/usr/bin/vantrel
    readelf -lW "$bin" >"$work/segments"
    readelf -dW "$bin" >"$work/dynamic"
    readelf --dyn-syms -W "$bin" >"$work/symbols"
    grep -q GNU_RELRO "$work/segments" || fail "the program lacks RELRO"
    grep -qE 'BIND_NOW|FLAGS.*NOW' "$work/dynamic" || fail "the program is not bound at load time"
    grep -qE '__[a-z]+_chk@' "$work/symbols" || fail "the program calls no fortified function"
    if need lintian; then
        # lintian warns when it runs as root; that remark is not about the package.
        lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 || fail "lintian: $(cat "$work/lintian.txt")"
        grep -E '^[EW]:' "$work/lintian.txt" && fail "lintian reports errors or warnings"
        echo "lintian: $(grep -v 'running with root privileges' "$work/lintian.txt" | tr '\n' ' ')"
    fi
else
    echo "not a hardened release build: lintian and hardening checks skipped"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install tree and package: OK ($(basename "$deb"))"
