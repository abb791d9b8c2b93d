#!/usr/bin/env bash
# Installs everything needed to build, run and test atualiza-produto on Debian 12.
# Run as root. Safe to run again: packages already present are left alone.
set -euo pipefail

if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps.sh: run as root" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive

packages=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    firebird-dev
    libgtest-dev libbenchmark-dev
    clang-format valgrind
    # run: Firebird client library, embedded engine, isql-fb/gbak/gfix
    libfbclient2 firebird3.0-server-core firebird3.0-utils
    # Qt at run time: platform plugins (xcb, offscreen), fonts, X libraries
    libqt6gui6 libqt6widgets6 libqt6test6 qt6-qpa-plugins
    fonts-dejavu-core fontconfig
    libxkbcommon-x11-0 libxcb-cursor0 libxcb-icccm4 libxcb-image0
    libxcb-keysyms1 libxcb-render-util0 libxcb-xinerama0 libxcb-xkb1
    # a virtual X display where none is given (run-sample.sh)
    xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "install-deps.sh: installing ${missing[*]}"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
{ apt-get update -qq &&
  apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1 || {
    cat "$log" >&2
    echo "install-deps.sh: apt-get failed" >&2
    exit 1
}
