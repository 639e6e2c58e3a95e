# Sourced by ./run and ./test: installs the Debian packages that are missing.
# Usage: ensure_packages NAME...

ensure_packages() {
    local missing=() package
    for package in "$@"; do
        if [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null)" != "ii " ]; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; return 1; }
        as_root=(sudo)
    fi
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}"
}

# What building and testing the panel needs on a fresh Debian 12 machine.
# fonts-symbola draws the command display's control pictures (STX as U+2402,
# CR as U+240D), which no other font here has. The panel reads fontconfig's
# configuration ahead of Qt, hence its headers.
BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev libfontconfig-dev
                fonts-liberation fonts-symbola fontconfig)
# ser2net serves the virtual board as a network port; python3-serial is the
# bench's RFC 2217 client to compare with. The real-driver check boots Debian's
# kernel in QEMU with busybox; util-linux (setpriv, unshare) runs the tests as
# an ordinary user.
TEST_PACKAGES=(xvfb xauth xdotool x11-utils imagemagick python3 ser2net python3-serial
               qemu-system-x86 busybox-static util-linux)
# The fuzz targets (clang with libFuzzer) and the lint step of ./test.
CHECK_PACKAGES=(clang-14 libclang-rt-14-dev clang-tidy-14 clang-format-14)
# The package step of ./test: CPack's dependency list and the validators.
CHECK_PACKAGES+=(dpkg-dev file desktop-file-utils appstream lintian)

# Configures a fresh tree with CMake's own defaults, the generator among them,
# and builds only what is made at build time there (the completion and the
# manual pages), as the README's package route does first: default_generator_tree FOLDER.
default_generator_tree() {
    rm -rf "$1"
    cmake -S . -B "$1" -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$1" --target tq905_gzipped_docs
}

# Configures a tree once: configure_tree [FOLDER [CMAKE OPTION...]].
# Without arguments: the Release tree in build/.
configure_tree() {
    local folder=${1:-build}
    shift || true
    if [ ! -f "$folder/build.ninja" ]; then
        cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
    fi
}

# Configures (once) and builds all of a tree: build_tree [FOLDER [CMAKE OPTION...]].
build_tree() {
    configure_tree "$@"
    cmake --build "${1:-build}"
}

# tools/scripts/build-windows: the MinGW-w64 cross compiler, Qt's host tools for the Qt
# for Windows, ImageMagick for the icon, and CPack's zip and NSIS installer.
WINDOWS_BUILD_PACKAGES=(g++-mingw-w64-x86-64-posix qt6-base-dev-tools imagemagick zip nsis)
# tools/scripts/test-windows: Wine, in a private X server pressed with X input, the
# clipboard read back with xclip, the zip unpacked with unzip, ser2net serving
# the virtual board as a network port.
WINDOWS_TEST_PACKAGES=(wine64 xvfb xauth xdotool xclip x11-utils python3 unzip ser2net)
