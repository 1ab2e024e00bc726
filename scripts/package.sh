#!/usr/bin/env bash
# Builds the Debian package in a build folder (configured and built here if
# need be) and checks it: lintian without errors, and a valid desktop entry
# and AppStream metainfo. Prints the package's path on standard output, all
# else on standard error.
#   scripts/package.sh [build-dir]
# Needs the packaging tools: scripts/install-deps.sh --packaging
set -euo pipefail
exec 3>&1 1>&2 # the path alone goes to standard output
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build"
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$(cd "$build" && pwd)/ravlo-firmware-downloader_${version}_$(dpkg --print-architecture).deb"
lintian --fail-on error "$deb"
files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
dpkg-deb -x "$deb" "$files"
desktop-file-validate "$files"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$files"/usr/share/metainfo/*.metainfo.xml
echo "$deb" >&3
