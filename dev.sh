#!/usr/bin/env bash
# Set-up, build and run for a Debian 12 machine.
#   ./dev.sh run    install what the build needs, build, start the editor
#   ./dev.sh test   install what the build needs, build, run every test
#   ./dev.sh package  install what the build needs, make the Debian package from a release build
#   ./dev.sh screenshots  install what the build and doc/screenshots.py need, build the
#                     programs, take the README's pictures again (doc/screenshots/)
set -euo pipefail
cd "$(dirname "$0")"

# qt6-image-formats-plugins: the WebP and TIFF readers the programs load at run time.
PACKAGES=(cmake ninja-build g++ pkg-config ccache qt6-base-dev libgl-dev libturbojpeg0-dev
          libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev liblcms2-dev libheif-dev
          libx11-dev xvfb xauth libdlib-dev liblapack-dev libblas-dev libgfortran-12-dev
          qt6-image-formats-plugins)

# What the tests need besides: exiftool tags turned photos, tificc converts colours for
# comparison, heif-enc writes HEIF and AVIF files, bash-completion runs the tool's completion.
# The face finder is tried on the portraits among opencv-doc's pictures and on the landscapes
# of mate-backgrounds.
TEST_PACKAGES=(libimage-exiftool-perl liblcms2-utils libheif-examples bash-completion opencv-doc
               mate-backgrounds)

# What CPack needs besides: dpkg-shlibdeps for the run-time dependencies, file to find binaries.
PACKAGE_TOOLS=(dpkg-dev file)

# What doc/screenshots.py needs: a display, the accessibility bus and Debian's python3 to
# drive the editor through it, the mouse and keyboard, the pictures' tools, their font and photos.
SCREENSHOT_TOOLS=(xvfb dbus-daemon at-spi2-core python3-pyatspi xdotool imagemagick optipng
                  fonts-dejavu-core mate-backgrounds opencv-doc)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

# Builds into build/; arguments name the targets (default: all).
build() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --parallel "$(nproc)" ${1:+--target "$@"}
}

case "${1:-}" in
  run)
    install_packages
    build
    shift
    exec build/app/quorvel "$@"
    ;;
  test)
    install_packages "${TEST_PACKAGES[@]}"
    build
    QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --parallel "$(nproc)"
    ;;
  package)
    install_packages "${PACKAGE_TOOLS[@]}"
    # Debian's hardening flags, as its own packages are built with.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
    cmake --build build-package --parallel "$(nproc)"
    (cd build-package && cpack -G DEB)
    ;;
  screenshots)
    install_packages "${SCREENSHOT_TOOLS[@]}"
    build quorvel quorvel-tool
    exec /usr/bin/python3 doc/screenshots.py
    ;;
  *)
    echo "usage: $0 run [COMPANY-FILE] | test | package | screenshots" >&2
    exit 2
    ;;
esac
