#!/usr/bin/env bash
# Checks Zorvik's installation from a built Release folder (default build/):
# makes the Debian package, installs into a staging folder with DESTDIR and
# unpacks the package beside it, then checks both trees: the programs run
# from there, the launcher, metadata, icons and manual pages are where the
# desktop looks for them and pass their validators, and lintian finds no
# error in the package. Writes nothing outside the build folder and a
# temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
fail=0
problem() {
  echo "check-install: $*" >&2
  fail=1
}

before=$(git status --porcelain 2>/dev/null || true)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
release=${version%.*}
app_id=$(sed -n 's/^[[:space:]]*<id>\(.*\)<\/id>$/\1/p' "$build/packaging/"*.metainfo.xml)
[ -n "$version" ] && [ -n "$app_id" ] || { echo "check-install: $build is not a configured build" >&2; exit 1; }

rm -f "$build"/zorvik_*.deb
cmake --build "$build" --target package >"$stage/package.log" 2>&1 || { cat "$stage/package.log"; exit 1; }
deb=$(ls "$build"/zorvik_*.deb)
echo "check-install: $deb"
DESTDIR="$stage/destdir" cmake --install "$build" --prefix /usr >/dev/null
dpkg-deb -x "$deb" "$stage/deb"

# The same files both ways.
diff <(cd "$stage/destdir" && find . -type f | sort) <(cd "$stage/deb" && find . -type f | sort) ||
  problem "the package and the DESTDIR installation hold different files"

expected=(
  usr/bin/zorvik usr/bin/zorvik-cli
  "usr/share/applications/$app_id.desktop"
  "usr/share/metainfo/$app_id.metainfo.xml"
  "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
  usr/share/man/man1/zorvik.1.gz usr/share/man/man1/zorvik-cli.1.gz
  usr/share/bash-completion/completions/zorvik-cli
  usr/share/doc/zorvik/copyright usr/share/doc/zorvik/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${size}x$size/apps/$app_id.png"); done
for tree in "$stage/destdir" "$stage/deb"; do
  for f in "${expected[@]}"; do [ -s "$tree/$f" ] || problem "missing or empty: ${tree#"$stage"/}/$f"; done
  # The programs run from where they were installed.
  out=$("$tree/usr/bin/zorvik-cli" --version) || problem "${tree#"$stage"/}: zorvik-cli --version failed"
  [ "$out" = "zorvik-cli $release" ] || problem "${tree#"$stage"/}: zorvik-cli --version says '$out', not 'zorvik-cli $release'"
  QT_QPA_PLATFORM=offscreen ldd "$tree/usr/bin/zorvik" | grep -q "not found" && problem "zorvik needs a library that is not installed"
done
for size in 16 22 24 32 48 64 128 256; do
  file "$stage/deb/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png" | grep -q "PNG image data, $size x $size," ||
    problem "the ${size}x$size icon is not a $size x $size PNG"
done

# The package names the libraries it needs, computed from the programs.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6core6 libqt6widgets6 libqt6svg6; do
  [[ $depends == *"$lib "* ]] || problem "the package does not depend on $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || problem "the package version is not $version"

# The launcher starts the installed program with an optional folder.
desktop="$stage/deb/usr/share/applications/$app_id.desktop"
desktop-file-validate "$desktop" || problem "desktop-file-validate failed"
grep -qx 'Exec=zorvik %f' "$desktop" || problem "the launcher does not start 'zorvik %f'"
grep -qx "Icon=$app_id" "$desktop" || problem "the launcher's icon is not $app_id"

# AppStream: no error and no warning; the pedantic notes are shown.
appstreamcli validate --no-net --pedantic "$stage/deb/usr/share/metainfo/$app_id.metainfo.xml" || problem "appstreamcli validate failed"
appstreamcli validate-tree --no-net "$stage/deb" >"$stage/tree.log" 2>&1 || { cat "$stage/tree.log"; problem "appstreamcli validate-tree failed"; }

# Manual pages render without a single warning.
for page in zorvik zorvik-cli; do
  warnings=$(MANWIDTH=80 man --warnings -l "$stage/deb/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || problem "man $page: $warnings"
done

# The bash completion loads.
bash -n "$stage/deb/usr/share/bash-completion/completions/zorvik-cli" || problem "the bash completion does not parse"

# lintian: no error; everything else it says is shown.
lintian --fail-on error --display-level '>=pedantic' "$deb" 2> >(grep -v 'running with root privileges' >&2) ||
  problem "lintian found errors"

# Nothing was written into the source tree.
[ "$(git status --porcelain 2>/dev/null || true)" = "$before" ] || problem "the source tree changed"

if [ $fail -ne 0 ]; then
  echo "check-install: FAILED" >&2
  exit 1
fi
echo "check-install: the package and the installation passed every check"
