#!/usr/bin/env bash
# check-install.sh CMAKE CPACK BUILD_DIR
# Installs BUILD_DIR with `cmake --install` into a scratch prefix and checks
# the installed tree; then builds the .deb with CPack and checks its files
# and control fields. Everything happens in a temporary folder.
set -euo pipefail
cmake=$1
cpack=$2
build=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
expect_file() { [ -s "$1" ] || fail "missing or empty: $1"; }
expect_line() { # file, exact line
    grep -qxF -- "$2" "$1" || fail "$1 lacks the line: $2"
}

# --- cmake --install into a prefix --------------------------------------
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log"

[ -x "$prefix/bin/vantrel" ] || fail "bin/vantrel is not an executable"
expect_file "$prefix/share/doc/vantrel/manual.html"
expect_file "$prefix/share/icons/hicolor/32x32/apps/vantrel.png"
expect_file "$prefix/share/icons/hicolor/256x256/apps/vantrel.png"
desktop=$prefix/share/applications/vantrel.desktop
expect_file "$desktop"

# The program looks for the manual at ../share/doc/vantrel beside its folder.
[ -f "$prefix/bin/../share/doc/vantrel/manual.html" ] || fail "manual not where the program looks"
grep -q 'id="overview"' "$prefix/share/doc/vantrel/manual.html" || fail "manual has no overview section"

# The menu entry starts the installed program, in the home folder.
expect_line "$desktop" "Exec=sh -c \"cd && exec '$prefix/bin/vantrel'\""
expect_line "$desktop" "TryExec=$prefix/bin/vantrel"
expect_line "$desktop" "Icon=vantrel"
expect_line "$desktop" "Type=Application"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the menu entry"
fi
# Every shared library the program needs can be found.
if ldd "$prefix/bin/vantrel" | grep -q "not found"; then
    fail "unresolved libraries: $(ldd "$prefix/bin/vantrel" | grep 'not found' | tr '\n' ' ')"
fi

# --- the Debian package ---------------------------------------------------
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; exit 1; }
debs=("$work"/package/vantrel_*.deb)
[ -f "${debs[0]}" ] || { fail "no vantrel_*.deb built"; exit 1; }
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
for path in ./usr/bin/vantrel ./usr/share/applications/vantrel.desktop ./usr/share/doc/vantrel/manual.html \
    ./usr/share/icons/hicolor/32x32/apps/vantrel.png ./usr/share/icons/hicolor/256x256/apps/vantrel.png; do
    expect_line "$work/contents" "$path"
done
# Nothing of the build or test trees, and no libraries or headers of our own.
if grep -E '\.(a|h|so)$|/include/' "$work/contents"; then
    fail "the package carries build files"
fi

[ "$(dpkg-deb -f "$deb" Package)" = vantrel ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Section)" = net ] || fail "section"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libcurl4 libcanberra0 qt6-qpa-plugins; do
    case "$depends" in
    *"$needed"*) ;;
    *) fail "Depends lacks $needed: $depends" ;;
    esac
done

# Inside the package the menu entry names /usr/bin/vantrel, not a staging folder.
dpkg-deb -x "$deb" "$work/root"
expect_line "$work/root/usr/share/applications/vantrel.desktop" "TryExec=/usr/bin/vantrel"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install tree and package: OK ($(basename "$deb"))"
