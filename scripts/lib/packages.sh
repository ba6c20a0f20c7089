# Installs the Debian packages the project needs that are not installed yet.
# Usage: source this file, then: ensure_packages NAME...
ensure_packages() {
    local missing=()
    local name
    for name in "$@"; do
        dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'ok installed' || missing+=("$name")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What building and testing need.
KESTO_BUILD_PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-odbc libgl-dev
    unixodbc unixodbc-dev odbc-postgresql postgresql libsystemd-dev systemd
    python3 valgrind libsqlite3-dev
    # SHA-256 of each file on the CPU's SHA instructions; a faster malloc.
    libssl-dev libmimalloc-dev
    mmdebstrap desktop-file-utils help2man man-db lintian
    fonts-noto-mono
    # The metrics endpoint; Qt's HTTP server module finds its CMake package only
    # beside the WebSockets one. promtool and prometheus check what it serves.
    qt6-httpserver-dev qt6-websockets-dev prometheus
)
