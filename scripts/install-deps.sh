#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's archive;
# with --packaging also what scripts/package.sh needs.
#   scripts/install-deps.sh [--packaging]
set -euo pipefail
packages=(
    build-essential cmake
    qtbase5-dev libqt5svg5     # Qt 5.15 widgets and network; the SVG image plug-in
    qttools5-dev               # Qt Linguist's lrelease and lupdate, for the translations
    qttranslations5-l10n       # Qt's own texts (standard buttons, help) in Chinese
    dfu-util                   # the tool the program drives, version 0.11
    openssl libssl-dev         # TLS for the HTTPS downloads; libcrypto's SHA-256
    fonts-dejavu-core          # a font for the off-screen test platform
    procps                     # pgrep, for scripts/demo.sh
    dbus-daemon                # a system bus of the tests' own, for the sleep inhibitor's
    minisign                   # the maker's signing tool; the tests check its signatures
)
if [ "${1:-}" = --packaging ]; then
    packages+=(
        file                   # CPack finds the binaries' libraries with it
        lintian desktop-file-utils appstream
    )
fi
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
