#!/usr/bin/env bash
# Set-up, build and run for a Debian 12 machine.
#   ./dev.sh run    install what the build needs, build, start the editor
#   ./dev.sh test   install what the build needs, build, run every test
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ pkg-config ccache qt6-base-dev libgl-dev libturbojpeg0-dev
          libjpeg62-turbo-dev libjpeg-turbo-progs libx11-dev xvfb xauth)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

build() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build build --parallel "$(nproc)"
}

case "${1:-}" in
  run)
    install_packages
    build
    shift
    exec build/app/quorvel "$@"
    ;;
  test)
    install_packages
    build
    QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --parallel "$(nproc)"
    ;;
  *)
    echo "usage: $0 run [COMPANY-FILE] | test" >&2
    exit 2
    ;;
esac
