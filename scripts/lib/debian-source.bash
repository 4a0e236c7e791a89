# shellcheck shell=bash disable=SC2154  # $log comes from the caller
# Debian's own source packages for the Windows cross builds, sourced by scripts/build-qt-windows
# and scripts/build-sqlite-windows. Every function reports through the caller's say and fail
# (fail prints its message and exits 1) and appends the tools' output to $log.
#
# The .dsc's signature is not checked (Debian's keyring is not installed); apt takes the .dsc's
# own checksums from the signed index, and dpkg-source checks every file against them.

# Adds a deb-src entry beside the system's binary one (suite of this system, component main,
# same URIs and keyring) unless apt already has one. Needs root the first time.
debianSourceEntry() {
    grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ /etc/apt/sources.list && return 0
    [ "$(id -u)" -eq 0 ] || fail "no deb-src entry in apt's sources; run once as root to add it"
    local system=/etc/apt/sources.list.d/debian.sources
    local list=/etc/apt/sources.list.d/hoopwatch-deb-src.sources
    [ -f "$system" ] || fail "$system is missing: cannot derive a deb-src entry from it"
    local uris keyring suite
    uris=$(awk '/^URIs:/{print $2; exit}' "$system")
    keyring=$(awk '/^Signed-By:/{print $2; exit}' "$system")
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
        "$uris" "$suite" "$keyring" >"$list"
    say "added $list (deb-src $uris $suite main)"
    apt-get update -qq || fail "apt-get update failed after adding $list"
}

# Downloads PACKAGE=VERSION's source into DOWNLOADS (once) and checks its upstream tarball
# ORIG against SHA256. Prints the .dsc's path.
debianSourceFetch() { # package version downloads orig sha256
    local package=$1 version=$2 downloads=$3 orig=$4 sha256=$5
    local dsc=$downloads/${package}_${version#*:}.dsc
    debianSourceEntry
    mkdir -p "$downloads"
    if [ ! -f "$downloads/$orig" ] || [ ! -f "$dsc" ]; then
        say "downloading Debian's $package $version source"
        (cd "$downloads" && apt-get source --download-only "$package=$version") >>"$log" 2>&1 ||
            fail "apt-get source $package=$version failed (see $log)"
    fi
    echo "$sha256  $downloads/$orig" | sha256sum --check --status ||
        fail "$downloads/$orig does not have the expected sha256 $sha256"
    [ -f "$dsc" ] || fail "$dsc is missing after apt-get source"
    echo "$dsc"
}

# Unpacks DSC into SRC with Debian's patches applied (debian/patches/series); dpkg-source
# checks every file against the .dsc's checksums. Kept for a re-run once unpacked.
debianSourceUnpack() { # dsc src
    local dsc=$1 src=$2
    [ -f "$src/.unpacked" ] && return 0
    rm -rf "$src"
    say "unpacking and patching $(basename "$dsc")"
    dpkg-source --no-copy -x "$dsc" "$src" >>"$log" 2>&1 || fail "dpkg-source -x $dsc failed (see $log)"
    touch "$src/.unpacked"
}
