#!/bin/bash
# The guest's first process (/opt/vestibar/init on the image).  It sets up
# the bare minimum, mounts the shares that the host named, runs the host's job
# with its output in the job share, and powers the machine off.  It must never
# exit: the kernel would panic (and, with panic=1 and -no-reboot, qemu would
# stop without the results being synced).
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
cd /

mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs -o mode=1777 shm /dev/shm
mount -t tmpfs -o mode=1777 tmp /tmp
mount -t tmpfs -o mode=755 run /run
cat /etc/hostname >/proc/sys/kernel/hostname 2>/dev/null

power_off() {
    # Whatever the job left running goes, so that the root file system can
    # be made read-only (clean) before the power goes.
    kill -TERM -1 2>/dev/null
    sleep 1
    kill -KILL -1 2>/dev/null
    sync
    mount -o remount,ro / 2>/dev/null
    sync
    echo o >/proc/sysrq-trigger
    while :; do sleep 60; done
}

ctl=/mnt/ctl
modprobe 9pnet_virtio && modprobe 9p
mkdir -p "$ctl"
options=trans=virtio,version=9p2000.L,msize=262144
if ! mount -t 9p -o "$options" ctl "$ctl"; then
    echo "vestibar-guest: cannot mount the job share" >/dev/console
    power_off
fi
echo "$(cut -d' ' -f1 /proc/uptime)" >"$ctl/uptime-start"
# Each further share at the path it has on the host: "TAG OPTIONS PATH".
while read -r tag more path; do
    [ -n "$tag" ] || continue
    mkdir -p "$path" 2>/dev/null
    mount -t 9p -o "$options,$more" "$tag" "$path" ||
        echo "vestibar-guest: cannot mount $tag at $path" >>"$ctl/job.log"
done <"$ctl/mounts"

if [ -f "$ctl/job" ]; then
    echo "vestibar-guest: job started $(cut -d' ' -f1 /proc/uptime) s after boot" >/dev/console
    bash "$ctl/job" >>"$ctl/job.log" 2>&1 </dev/null
    echo $? >"$ctl/job.rc"
    echo "$(cut -d' ' -f1 /proc/uptime)" >"$ctl/uptime-end"
fi
power_off
