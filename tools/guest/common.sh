# Sourced by the guest scripts: where the image lives, where its packages
# come from, and how it is booted.

guest_cache=${VESTIBAR_GUEST_CACHE:-/var/cache/vestibar-guest}

# debian_mirror SUITE: the first archive URI that this machine's apt sources
# give for SUITE (deb822 .sources files first, then one-line .list files).
debian_mirror() {
    local suite=$1 f uri
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        uri=$(awk -v suite="$suite" '
            BEGIN { RS = ""; FS = "\n" }
            {
                types = ""; uris = ""; suites = ""; enabled = "yes"
                for (i = 1; i <= NF; i++) {
                    line = $i
                    if (line ~ /^#/ || !match(line, /^[A-Za-z-]+:/)) continue
                    key = tolower(substr(line, 1, RLENGTH - 1))
                    value = substr(line, RLENGTH + 1)
                    gsub(/^[ \t]+|[ \t]+$/, "", value)
                    if (key == "types") types = value
                    else if (key == "uris") uris = value
                    else if (key == "suites") suites = value
                    else if (key == "enabled") enabled = tolower(value)
                }
                if (enabled == "no" || (" " types " ") !~ / deb / || (" " suites " ") !~ (" " suite " ")) next
                split(uris, u, /[ \t]+/)
                if (u[1] ~ /^https?:\/\//) { print u[1]; exit }
            }' "$f")
        [ -z "$uri" ] || { echo "$uri"; return 0; }
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        uri=$(awk -v suite="$suite" '
            $1 == "deb" {
                i = 2
                if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
                if ($(i + 1) == suite && $i ~ /^https?:\/\//) { print $i; exit }
            }' "$f")
        [ -z "$uri" ] || { echo "$uri"; return 0; }
    done
    return 1
}

# guest_boot IMAGE CTL SECONDS rw|snapshot [PATH ro|rw]...
# Boots the image with the folder CTL shared as the guest's job: the guest's
# init mounts it, mounts each further share at PATH (the same path as on this
# machine, so that the build tree's absolute paths hold inside), runs CTL/job
# and powers off.  With snapshot the image is left as it was.  The console
# goes to stdout; the exit status is qemu's, or 124 when SECONDS ran out.
guest_boot() {
    local image=$1 ctl=$2 seconds=$3 mode=$4
    shift 4
    # qemu reads a doubled comma as a comma inside an option's value.
    local drive="file=${image//,/,,}/root.img,format=raw,if=virtio"
    [ "$mode" = snapshot ] && drive+=",snapshot=on"
    local shares=(-virtfs "local,path=${ctl//,/,,},mount_tag=ctl,security_model=none")
    local n=0
    : >"$ctl/mounts"
    while [ $# -ge 2 ]; do
        local option=""
        [ "$2" = ro ] && option=",readonly=on"
        shares+=(-virtfs "local,path=${1//,/,,},mount_tag=share$n,security_model=none$option")
        # Without the guest's page cache, 32-bit Wine finds parts of the PE
        # images it maps from a share filled with zeros.  The shares do not
        # change while the guest runs, and the guest syncs before it stops.
        printf 'share%d %s,cache=loose %s\n' "$n" "$2" "$1" >>"$ctl/mounts"
        n=$((n + 1))
        shift 2
    done
    rm -f "$ctl/job.rc" "$ctl/job.log"
    # -cpu max exposes SMAP, under which every 32-bit Wine process ends in a
    # guest kernel oops (an emulator fault); without it all is well.
    timeout -k 10 "$seconds" qemu-system-x86_64 \
        -accel tcg,thread=multi -cpu max,-smap -m 4G -smp 2 \
        -nographic -no-reboot -nic none \
        -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 init=/opt/vestibar/init panic=1 quiet" \
        -drive "$drive" "${shares[@]}" </dev/null
}
