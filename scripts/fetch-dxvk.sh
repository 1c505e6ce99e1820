#!/usr/bin/env bash
# Fetches the second Direct3D 9 the Windows tests run on: DXVK's 32-bit
# d3d9.dll (Direct3D 9 over Vulkan), from Debian 13's dxvk-wine32 package, into
# the dependency cache. The DLL is a plain PE32 file needing no Debian 13
# system library; it draws through 32-bit Mesa's lavapipe, which setup.sh
# installs from this release.
#
# Apt is driven through a private source list, state and cache directory kept
# in the cache; the index is verified with the Debian archive keyring. The
# system's apt sources are never changed.
#
# Output: $KORRIN_DEPS_DIR/dxvk/d3d9.dll (KORRIN_DEPS_DIR defaults to
# ~/.cache/korrin-deps). Once there, a rerun does nothing.
. "$(dirname "$0")/lib.sh"

cache=${KORRIN_DEPS_DIR:-$HOME/.cache/korrin-deps}
dir=$cache/dxvk
suite=trixie
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
log() { printf '[dxvk] %s\n' "$*"; }

if [ -f "$dir/d3d9.dll" ]; then
    log "DXVK's d3d9.dll is in $dir"
    exit 0
fi
[ -f "$keyring" ] || { log "no Debian archive keyring at $keyring (package debian-archive-keyring)"; exit 1; }

# The Debian mirror the system already uses: the URI of an entry for this
# release's own suite, or Debian's redirector when there is none.
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
mirror=
if [ -n "$release" ]; then
    mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
        | sed -nE "s@^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+)[[:space:]]+$release[[:space:]].*@\2@p" \
        | head -n 1 || true)
    if [ -z "$mirror" ]; then
        mirror=$(awk -v r="$release" '
            /^[[:space:]]*$/ { if (uri != "" && hit) { print uri; exit } uri = ""; hit = 0; next }
            $1 == "URIs:" { uri = $2 }
            $1 == "Suites:" { for (i = 2; i <= NF; i++) if ($i == r) hit = 1 }
            END { if (uri != "" && hit) print uri }' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1 || true)
    fi
fi
mirror=${mirror:-http://deb.debian.org/debian}

apt_dir=$dir/apt
mkdir -p "$apt_dir"/{parts,prefs,state/lists/partial,cache/archives/partial} "$dir/deb"
echo "deb [arch=i386 signed-by=$keyring] $mirror $suite main" >"$apt_dir/sources.list"
opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
      -o "Dir::Etc::Preferences=$apt_dir/preferences" -o "Dir::Etc::PreferencesParts=$apt_dir/prefs"
      -o "Dir::State=$apt_dir/state" -o "Dir::State::Lists=$apt_dir/state/lists"
      -o "Dir::State::status=$apt_dir/state/status" -o "Dir::Cache=$apt_dir/cache"
      -o "APT::Architecture=i386" -o "APT::Architectures=i386" -o "Acquire::Languages=none"
      -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1")
: >"$apt_dir/state/status"

log "fetching dxvk-wine32 from Debian $suite ($mirror)"
apt-get "${opts[@]}" update -qq
rm -f "$dir"/deb/*.deb
(cd "$dir/deb" && apt-get "${opts[@]}" download dxvk-wine32:i386)
deb=$(ls "$dir"/deb/dxvk-wine32_*.deb | head -n 1)
rm -rf "$dir/root" && dpkg -x "$deb" "$dir/root"
# Debian names its PE files after Wine's built-in DLLs: d3d9.dll.so.
dll=$(find "$dir/root" \( -name d3d9.dll -o -name d3d9.dll.so \) -path '*32*' | head -n 1)
[ -n "$dll" ] || { log "no 32-bit d3d9.dll in $deb"; exit 1; }
file -b "$dll" | grep -q 'PE32 executable.*Intel 80386' || { log "$dll is not a 32-bit Windows DLL"; exit 1; }
cp "$dll" "$dir/d3d9.dll.new" && mv "$dir/d3d9.dll.new" "$dir/d3d9.dll"
dpkg-deb -f "$deb" Version >"$dir/version"
rm -rf "$dir/root"
log "DXVK $(cat "$dir/version"): $dir/d3d9.dll"
