# What korrin's scripts share; sourced, never run. Sourcing it sets strict
# mode and, from the script's own place, root (the source tree) and build
# (KORRIN_BUILD_DIR, default root/build).
#   as_root CMD...          runs CMD as root (through sudo unless root already)
#   apt_wait CMD...         runs an apt-get command, waiting while another apt or dpkg holds its lock
#   install_missing PKG...  installs the Debian packages that are not installed yet
#   build_all [ARGS...]     sets the machine up, configures (ARGS to CMake) and builds
#   start_wine_env          starts the test display and Wine prefix, stopped on exit
#   poll SECONDS CMD...     runs CMD every half second until it succeeds; fails after SECONDS
#   running PID             whether process PID still runs
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORRIN_BUILD_DIR:-$root/build}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Another install (unattended upgrades, a second developer's set-up) may hold
# apt's or dpkg's lock for a while: dpkg's lock is waited for by apt itself
# (DPkg::Lock::Timeout), the package lists' lock by retrying for up to 15 minutes.
apt_wait() {
    local out deadline=$((SECONDS + 900))
    while :; do
        if out=$("$@" 2>&1); then
            return 0
        fi
        if grep -qiE 'could not get lock|unable to (acquire|lock)|is held by process' <<<"$out" &&
            ((SECONDS < deadline)); then
            echo "apt is busy (another install running), waiting..." >&2
            sleep 10
            continue
        fi
        printf '%s\n' "$out" >&2
        return 1
    done
}

install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "installing: ${missing[*]}"
    local apt=(as_root env DEBIAN_FRONTEND=noninteractive apt-get -qq -o DPkg::Lock::Timeout=600)
    apt_wait "${apt[@]}" update
    apt_wait "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
}

build_all() {
    "$root/scripts/setup.sh"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" "$@" >/dev/null
    cmake --build "$build" -j "$(nproc)"
}

start_wine_env() {
    "$root/tools/wine-env" start "$build/wine"
    trap '"$root/tools/wine-env" stop "$build/wine"' EXIT
}

poll() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.5
    done
}

running() { kill -0 "$1" 2>/dev/null; }

# The arguments of a test script run in the Wine environment:
# BUILD_DIR SOURCE_DIR [RUNNER ARGS...]. Sets build, source, display and
# runner (BUILD_DIR/wine-run when none is given).
test_script_args() {
    build=$1
    source=$2
    shift 2
    runner=("$@")
    [ ${#runner[@]} -gt 0 ] || runner=("$build/wine-run")
    display=$(cat "$build/wine/display")
}
