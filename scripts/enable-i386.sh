#!/usr/bin/env bash
# Makes 32-bit Linux processes (32-bit Wine) runnable. On a kernel with IA-32
# compatibility mode nothing is done. Otherwise a qemu user-mode emulator from
# Debian's backports suite (the stable one mishandles the address-space
# reservations Wine makes) is unpacked into the cache and registered with
# binfmt_misc for i386 ELF files. Apt is driven through a private source list
# and state directory built from the system's own entries.
set -euo pipefail

cache=${KORRIN_CACHE_DIR:-$HOME/.cache/korrin}
probe=/usr/lib/i386-linux-gnu/ld-linux.so.2
log() { printf '[i386] %s\n' "$*"; }

runs_natively() { "$probe" --help >/dev/null 2>&1; }

if runs_natively; then
    log "32-bit processes run natively"
    exit 0
fi

qemu="$cache/qemu/qemu-i386"
if [ ! -x "$qemu" ]; then
    apt_dir="$cache/qemu/apt"
    mkdir -p "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts" "$cache/qemu/deb"
    # The backports suite of this release, from the mirror(s) the system already uses.
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$suite" ] || { log "no VERSION_CODENAME in /etc/os-release"; exit 1; }
    mirrors=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null \
        | grep -E '^(URIs:|deb )' | grep -v -i security \
        | sed -E 's/^URIs:[[:space:]]*//; s/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?//; s/[[:space:]].*$//' | sort -u || true)
    : >"$apt_dir/sources.list"
    for m in $mirrors; do
        echo "deb $m $suite-backports main" >>"$apt_dir/sources.list"
    done
    opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
          -o "Dir::State=$apt_dir/state" -o "Dir::Cache=$apt_dir/cache" -o "Debug::NoLocking=1")
    log "fetching qemu user-mode emulation from backports"
    apt-get "${opts[@]}" update -qq
    (cd "$cache/qemu/deb" && apt-get "${opts[@]}" download qemu-user 2>&1 | grep -v -i unsandboxed || true)
    deb=$(ls "$cache"/qemu/deb/qemu-user_*.deb | head -n 1)
    rm -rf "$cache/qemu/root" && dpkg-deb -x "$deb" "$cache/qemu/root"
    cp "$cache/qemu/root/usr/bin/qemu-i386" "$qemu"
    rm -rf "$cache/qemu/root"
fi

if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
fi
entry=/proc/sys/fs/binfmt_misc/qemu-i386
if [ -e "$entry" ] && ! grep -q "interpreter $qemu\$" "$entry"; then
    echo -1 >"$entry"
fi
if [ ! -e "$entry" ]; then
    # i386 ELF executables and shared objects (ET_EXEC, ET_DYN); F: the
    # emulator is opened now, so it works in any mount namespace later.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
        >/proc/sys/fs/binfmt_misc/register
fi
runs_natively || { log "32-bit processes still cannot run"; exit 1; }
log "32-bit processes run through $qemu"
