#!/usr/bin/env bash
# Installs the Debian packages Vantrel needs to build, run and test, and only
# those that are missing. Run as root (or with sudo available).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config dpkg-dev
    qt6-base-dev libgl-dev
    libcurl4-openssl-dev libssl-dev libcanberra-dev libcanberra-pulse
    qtkeychain-qt6-dev
    libsqlite3-dev qt6-charts-dev libqt6opengl6-dev
    libre2-dev nlohmann-json3-dev libcli11-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    python3 python3-aiosmtpd faketime curl ccache openssl
    clang libclang-rt-14-dev valgrind
    lintian appstream desktop-file-utils man-db
    xvfb openbox trayer xdotool x11-utils imagemagick librsvg2-bin
    libxcb1-dev dbus-daemon python3-dbus python3-gi gnome-keyring libsecret-tools libglib2.0-dev
    prometheus
    postfix dovecot-core
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    # Postfix and Dovecot serve only the mail test, each from a folder of the
    # test's own: no system mail service is set up, none listens on port 25.
    if [[ " ${missing[*]} " == *" postfix "* ]]; then
        echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
    fi
    $sudo apt-get update -qq
    # Only promtool of the prometheus package is used (by the metrics test):
    # no service a package brings may start, here or on a machine with systemd.
    policy=/usr/sbin/policy-rc.d
    own_policy=""
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
        $sudo chmod 755 "$policy"
        own_policy=1
    fi
    status=0
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || status=$?
    [ -z "$own_policy" ] || $sudo rm -f "$policy"
    [ "$status" -eq 0 ] || exit "$status"
    # Nor do these services start at the next boot.
    if command -v systemctl >/dev/null; then
        for service in prometheus postfix dovecot; do
            if [[ " ${missing[*]} " == *" $service"* ]]; then
                $sudo systemctl disable "$service.service" >/dev/null 2>&1 || true
            fi
        done
    fi
fi
