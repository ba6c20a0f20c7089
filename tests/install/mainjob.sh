#!/bin/sh
# The main job from the installed files, run inside the fresh root as the
# service's user kesto: no KESTO_HOME, no class registration of its own, the
# package's /etc/kesto/PALVA.INI (embedded database) and the data folder in
# its home /var/lib/kesto. The sample files wait in /tmp/samples.
set -eu
cd "$HOME"
echo "== $(kesto --version)"
mkdir -p Mirs BkMirs
kesto setup --download "$HOME/Mirs" --backup "$HOME/BkMirs"
kesto setup
kesto init-db
cp /tmp/samples/* Mirs/
kesto parse Mirs/K4T0001.MIR | head -c 200
echo
status=0
kesto run --once || status=$?
echo "== kesto run --once ended with $status"
kesto status || true
echo "== stored versions: $(sqlite3 vela_data/PALVA.mdb 'SELECT COUNT(*) FROM AMAMD')"
echo "== left in the download folder: $(ls Mirs | wc -l)"
echo "== filed: $(find BkMirs -type f | wc -l)"

# What the package's tmpfiles entry makes at boot: the service's runtime
# folder. A gateway run as the service would be, then a second one started
# by hand with another XDG_RUNTIME_DIR: the second meets the first's lock.
if [ -d /run/kesto ]; then
    kesto run >/dev/null 2>&1 &
    service=$!
    sleep 2
    second=0
    XDG_RUNTIME_DIR=/tmp kesto run --once >/dev/null 2>&1 || second=$?
    echo "== a second gateway beside the service ended with $second"
    kill "$service"
    wait "$service" || true
fi
