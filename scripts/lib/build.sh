# Configures and builds the project into BUILD_DIR (default: build/ in the repository).
# Usage: source this file, then: build_project
build_project() {
    local top
    top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
    BUILD_DIR="${BUILD_DIR:-$top/build}"
    # The prefix /usr is what the Debian package installs to (scripts/package).
    cmake -S "$top" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
        -DKESTO_WERROR=ON >/dev/null
    cmake --build "$BUILD_DIR" -j2
}
