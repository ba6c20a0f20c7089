#!/usr/bin/env bash
# Builds the Debian package from the build folder, checks it with lintian,
# installs it into a fresh Debian 12 root made by mmdebstrap (apt resolves its
# dependencies there, as on a server), runs the main job from the installed
# files as the service's user, reads the manual pages, then removes and
# purges the package again.
#
#   tests/install/test-deb-install.sh BUILD_DIR
# Exit status 77 (skipped) when not root, since the root is entered by chroot.
set -euo pipefail

build="$(cd "$1" && pwd)"
top="$(cd "$(dirname "$0")/../.." && pwd)"
if [ "$(id -u)" -ne 0 ] || ! command -v mmdebstrap >/dev/null; then
    echo "skipped: needs root and mmdebstrap"
    exit 77
fi

work="$(mktemp -d /tmp/kesto-deb.XXXXXX)"
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/dist" >/dev/null
deb="$(ls "$work"/dist/kesto_*_amd64.deb)"
echo "== $(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"

failed=0
# Debian's own checker, with its default profile, on errors and warnings.
if ! lintian --fail-on error,warning "$deb"; then
    echo "FAILED: lintian reports errors or warnings"
    failed=1
fi

root="$work/root"
# The hook makes the package file visible to dpkg inside the root.
mmdebstrap --quiet --variant=apt --include=sqlite3,man-db --include="$deb" \
    --hook-dir=/usr/share/mmdebstrap/hooks/file-mirror-automount bookworm "$root"

mkdir "$root/tmp/samples"
cp "$top/tests/data/ticketed-lf.mir" "$root/tmp/samples/K4T0001.MIR"
cp "$top/tests/data/emd.mir" "$root/tmp/samples/K4T0002.MIR"
cp "$top/tests/data/refund.mir" "$root/tmp/samples/RFND0001.MIR"
cp "$top/tests/data/not-mir.mir" "$root/tmp/samples/NOTES.TXT"
cp "$top/tests/install/mainjob.sh" "$root/tmp/mainjob.sh"

# In a mount namespace of its own, so that the root's /proc goes with it.
in_root() {
    unshare --mount --fork sh -c 'mount -t proc proc "$1/proc" && shift && exec chroot "$@"' \
        sh "$root" "$root" "$@"
}

in_root install -d -o kesto -g kesto -m 0750 /run/kesto
output="$(in_root runuser -u kesto -- /bin/sh /tmp/mainjob.sh 2>&1)"
echo "$output"
expect() {
    if ! grep -qF -- "$1" <<<"$output"; then
        echo "FAILED: the main job did not print: $1"
        failed=1
    fi
}
expect "kesto run: 3 stored, 0 refused, 1 filed uninterpreted, 0 left waiting, 0 error rows"
expect "== kesto run --once ended with 0"
expect "state: healthy"
expect "== stored versions: 3"
expect "== left in the download folder: 0"
expect "== filed: 4"
expect "PALVA.INI /etc/kesto/PALVA.INI"
expect "Created /var/lib/kesto/vela_data/PALVA.mdb"
expect "== a second gateway beside the service ended with 1"

# Another user's default data folder is under its data home.
output="$(in_root env HOME=/root XDG_DATA_HOME=/root/data kesto setup 2>&1)"
expect "MirDataSource=/root/data/KESTO/vela_data/"

if ! desktop-file-validate "$root/usr/share/applications/kesto.desktop"; then
    echo "FAILED: the menu entry is not valid"
    failed=1
fi

# The manual pages as a user reads them.
output="$(in_root man -P cat kesto 2>&1; in_root man -P cat kesto-regsvr 2>&1)"
expect "kesto - ticketing-record gateway of a travel agency's back office"
expect "EXIT STATUS"
expect "/etc/kesto/PALVA.INI"
expect "kesto-regsvr - register a library's classes in the KESTO class registry"

# The service enabled as systemctl enable would: removing the package
# disables it, purging forgets the links it recorded.
wants="$root/etc/systemd/system/multi-user.target.wants"
mkdir -p "$wants"
ln -s /usr/lib/systemd/system/kesto.service "$wants/kesto.service"
in_root apt-get remove -y -q -o Dpkg::Use-Pty=0 kesto >/dev/null
if [ -L "$wants/kesto.service" ]; then
    echo "FAILED: removing the package left the service enabled"
    failed=1
fi
in_root apt-get purge -y -q -o Dpkg::Use-Pty=0 kesto >/dev/null
if [ -e "$root/usr/bin/kesto" ] || [ -e "$root/etc/xdg/KESTO" ] ||
    [ -n "$(find "$root/var/lib/systemd" -name 'kesto*' 2>/dev/null)" ] ||
    [ ! -d "$root/var/lib/kesto/vela_data" ]; then
    echo "FAILED: purging left the program, the system-wide class registry or the record" \
        "of the service's links, or took the data"
    failed=1
fi
exit "$failed"
