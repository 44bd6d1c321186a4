#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
set -euo pipefail
packages=(
    cmake g++ ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libsqlite3-dev
    xvfb xauth xdotool x11-utils imagemagick fonts-dejavu-core sqlite3 strace util-linux
    clang-14 libclang-rt-14-dev clang-format
    ircd-hybrid openssl znc inspircd anope prosody
    pidgin libatk-adaptor libgail-common at-spi2-core libatspi2.0-dev dbus
    postgresql libqt6sql6-psql libpq-dev
    librsvg2-bin lintian dpkg-dev file desktop-file-utils appstream systemd
)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# The IRC tests start their own ircd-hybrid, ZNC, InspIRCd and Anope, the XMPP tests their own
# Prosody, the store tests their own PostgreSQL, as nobody on free ports; the packages' system services would hold their ports and
# run for nothing. Forbid service starts during the install
# (unless the machine already forbids them) and stop and disable the service afterwards.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$policy"
    own_policy=1
fi
restore_policy() { [ "$own_policy" -eq 0 ] || "${sudo_cmd[@]}" rm -f "$policy"; }
trap restore_policy EXIT

"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

for service in ircd-hybrid znc inspircd anope prosody postgresql; do
    dpkg-query -W -f='${Status}' "$service" 2>/dev/null | grep -q 'install ok installed' || continue
    if [ -d /run/systemd/system ]; then
        "${sudo_cmd[@]}" systemctl disable --now "$service" >/dev/null 2>&1 || true
    else
        "${sudo_cmd[@]}" service "$service" stop >/dev/null 2>&1 || true
        "${sudo_cmd[@]}" update-rc.d "$service" disable >/dev/null 2>&1 || true
    fi
done
