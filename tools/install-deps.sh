#!/bin/bash
# Installs what building and testing Vestibar needs on Debian 12, as root
# (or through sudo).  Quiet when everything is there already.
set -euo pipefail

packages=(
    cmake ninja-build python3
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64 xvfb xauth locales
    googletest clang libclang-rt-14-dev
    # The read-back test of the exporter's Maildir output reads it with doveadm;
    # the IMAP test uploads it with mbsync into a Dovecot of its own.
    dovecot-core dovecot-imapd isync
    # The readable-mail test of the exporter reads its Maildir with notmuch.
    notmuch
    # The exporter's options (header-only).
    libcli11-dev
    nkf zip unzip fonts-ipafont-gothic fonts-wine
    # The qemu guest that runs the 32-bit build (tools/guest/).
    qemu-system-x86 debootstrap e2fsprogs
)
# 32-bit Wine, for machines whose kernel runs 32-bit code.
foreign=(wine32:i386)

sudo=
[ "$(id -u)" = 0 ] || sudo=sudo

missing=()
for p in "${packages[@]}" "${foreign[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    log=$(mktemp)
    if ! { $sudo apt-get update -q && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
        cat "$log" >&2
        echo "install-deps: apt-get failed" >&2
        exit 1
    fi
    rm -f "$log"
fi

# Wine shows code page 932 and Japanese system texts under ja_JP.UTF-8.
if ! locale -a 2>/dev/null | grep -qiE '^ja_JP\.utf-?8$'; then
    $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
fi
