#!/bin/bash
# build-image.sh: makes sure the guest image exists and prints its folder.
#
# The guest is a Debian amd64 system whose kernel runs 32-bit code, booted
# under qemu, so that 32-bit Wine can run the 32-bit build on machines that
# cannot execute 32-bit x86 themselves.  The image is built once per recipe
# and kept outside the clone, in $VESTIBAR_GUEST_CACHE (default
# /var/cache/vestibar-guest), in a folder named after a hash of the files that
# make it; changing any of them builds a new one and drops the old ones.
#
# The folder holds vmlinuz, initrd.img and root.img (ext4, with 32-bit Wine,
# Xvfb, the ja_JP.UTF-8 locale and a ready 32-bit Wine prefix in
# /opt/vestibar/wineprefix).  Runs as root: debootstrap, chroot, mounts.
# Progress goes to stderr; only the folder goes to stdout.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
# shellcheck source=tools/guest/common.sh
. "$here/common.sh"

suite=bookworm
# What the guest needs besides the base system: 32-bit Wine (wine64 too, as
# on the host, so that the wine packages resolve the same way), a display for
# programs that make windows, the same Japanese font as the host tests use.
packages=(wine wine32:i386 wine64 xvfb xauth fonts-ipafont-gothic)
image_size=4G

# Everything that decides what ends up in the image; the prefix is made by
# the repo's own Wine fixture, so its scripts are part of the recipe too.
recipe_files=(
    "$here/build-image.sh" "$here/image/init.sh" "$here/image/prepare.sh"
    "$top/cmake/wine-env.sh" "$top/cmake/wine-prefix.sh"
)
hash=$( { for f in "${recipe_files[@]}"; do echo "== ${f#"$top"/}"; cat "$f"; done; } | sha256sum | cut -c1-16)
image=$guest_cache/image-$hash

# The whole script is one function, read before any of it runs: a
# checkout that changes this file during a build cannot derail it.
main() {
    say() { echo "build-image: $*" >&2; }

    # --ready: only tells (by the exit status) whether the image is there.
    if [ "${1:-}" = --ready ]; then
        [ -f "$image/ready" ] && echo "$image"
        exit
    fi

    if [ -f "$image/ready" ]; then
        echo "$image"
        exit 0
    fi

    mkdir -p "$guest_cache"
    # One build at a time per cache; a second caller waits and then finds it.
    exec 9>"$guest_cache/.lock"
    flock 9
    if [ -f "$image/ready" ]; then
        echo "$image"
        exit 0
    fi

    for tool in debootstrap mkfs.ext4 qemu-system-x86_64 chroot flock; do
        command -v "$tool" >/dev/null || { say "$tool is missing (tools/install-deps.sh installs it)"; exit 1; }
    done
    mirror=$(debian_mirror "$suite") || { say "no Debian mirror for $suite in this machine's apt sources"; exit 1; }

    # Builds run only under the lock, so any build folder here was left by one
    # that was killed.
    for stale in "$guest_cache"/build-*; do
        [ -d "$stale" ] || continue
        if awk -v w="$stale/" 'index($2, w) == 1 { found = 1 } END { exit !found }' /proc/mounts; then
            say "mounts left below $stale; remove them and the folder by hand"
            exit 1
        fi
        rm -rf --one-file-system "$stale"
    done

    work=$guest_cache/build-$hash.$$
    root=$work/root

    # Unmounts whatever is still mounted below the build folder, deepest first.
    unmount_below() {
        local m
        while read -r m; do
            umount "$m" 2>/dev/null || umount -l "$m"
        done < <(awk -v w="$work/" 'index($2, w) == 1 { print $2 }' /proc/mounts | sort -r)
    }
    cleanup() {
        unmount_below
        # Never remove through a mount that is still there.
        if awk -v w="$work/" 'index($2, w) == 1 { found = 1 } END { exit !found }' /proc/mounts; then
            say "mounts left below $work; not removing it"
        else
            rm -rf --one-file-system "$work"
        fi
    }
    trap cleanup EXIT
    mkdir -p "$work"
    start=$SECONDS

    say "debootstrap $suite from $mirror"
    debootstrap --arch=amd64 --variant=minbase --include=linux-image-amd64,udev,kmod,locales \
        "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        { tail -n 30 "$work/debootstrap.log" >&2; say "debootstrap failed"; exit 1; }

    # The guest takes the same archives (and updates) as this machine, so both
    # run the same Wine.  Nothing of them is stored in the repo.
    rm -f "$root/etc/apt/sources.list"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        cp /etc/apt/sources.list.d/debian.sources "$root/etc/apt/sources.list.d/"
    else
        cp /etc/apt/sources.list "$root/etc/apt/sources.list"
    fi
    apt_options=()
    for option in Acquire::Check-Valid-Until Acquire::Check-Date; do
        value=$(apt-config dump "$option" | awk -v o="$option" '$1 == o { gsub(/[";]/, "", $2); print $2 }')
        [ -z "$value" ] || apt_options+=(-o "$option=$value")
    done

    mount -t proc proc "$root/proc"
    mount -t sysfs sys "$root/sys"
    mount --bind /dev "$root/dev"
    cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

    say "installing ${packages[*]}"
    in_root dpkg --add-architecture i386
    in_root apt-get "${apt_options[@]}" update -q >"$work/apt.log" 2>&1 ||
        { tail -n 30 "$work/apt.log" >&2; say "apt-get update failed"; exit 1; }
    # The i386 packages' maintainer scripts and triggers cannot run here (this
    # kernel does not execute 32-bit code), so apt may report failure; whatever
    # is left unconfigured is finished inside the guest by prepare.sh, which
    # also checks that nothing is left over.
    in_root apt-get "${apt_options[@]}" install -y -q --no-install-recommends "${packages[@]}" >>"$work/apt.log" 2>&1 || true
    for p in "${packages[@]}"; do
        status=$(in_root dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
        case $status in
        i[iUFWt]*) ;;   # installed, perhaps with its configuration or triggers pending
        *) tail -n 40 "$work/apt.log" >&2; say "$p was not installed (status '$status')"; exit 1 ;;
        esac
    done
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' "$root/etc/locale.gen"
    grep -q '^ja_JP.UTF-8 UTF-8' "$root/etc/locale.gen" || echo 'ja_JP.UTF-8 UTF-8' >>"$root/etc/locale.gen"
    in_root locale-gen >>"$work/apt.log" 2>&1
    in_root apt-get clean
    rm -rf "$root"/var/lib/apt/lists/* "$root/etc/resolv.conf"
    unmount_below

    echo vestibar-guest >"$root/etc/hostname"
    install -D -m 755 "$here/image/init.sh" "$root/opt/vestibar/init"
    cp -L "$root/vmlinuz" "$work/vmlinuz"
    cp -L "$root/initrd.img" "$work/initrd.img"
    say "root file system ready after $((SECONDS - start)) s ($(du -sh --one-file-system "$root" | cut -f1))"

    mkfs.ext4 -q -L vestibar-guest -d "$root" "$work/root.img" "$image_size" >"$work/mkfs.log" 2>&1 ||
        { cat "$work/mkfs.log" >&2; say "mkfs.ext4 failed"; exit 1; }
    rm -rf --one-file-system "$root"
    say "image written after $((SECONDS - start)) s"

    # First boot: finish the packages, make the Wine prefix (wineboot takes most
    # of a minute under emulation, so it is done once here).
    ctl=$work/ctl
    mkdir -p "$ctl/cmake"
    cp "$here/image/prepare.sh" "$ctl/job"
    cp "$top/cmake/wine-env.sh" "$top/cmake/wine-prefix.sh" "$ctl/cmake/"
    : >"$ctl/mounts"
    boot_start=$SECONDS
    guest_boot "$work" "$ctl" 900 rw >"$work/console.log" 2>&1 || true
    if [ "$(cat "$ctl/job.rc" 2>/dev/null)" != 0 ]; then
        tail -n 40 "$work/console.log" "$ctl/job.log" >&2 2>/dev/null || true
        say "preparing the guest failed"
        exit 1
    fi
    say "guest prepared in $((SECONDS - boot_start)) s; image built in $((SECONDS - start)) s"

    mv "$ctl/job.log" "$work/prepare.log"
    rm -rf "$ctl"
    date -u +%FT%TZ >"$work/ready"
    trap - EXIT
    rm -rf "$image"
    mv "$work" "$image"
    # Older recipes' images go; a run still using one keeps its open file.
    for old in "$guest_cache"/image-*; do
        [ "$old" = "$image" ] || rm -rf --one-file-system "$old"
    done
    echo "$image"
}
main "$@"
exit
