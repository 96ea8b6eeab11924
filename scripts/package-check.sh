#!/usr/bin/env bash
# Builds the Debian package, checks it (lintian, desktop-file-validate, appstreamcli) and
# installs it into a clean Debian 12 tree, where the tools must run:
#
#   scripts/package-check.sh [BUILD_DIR]
#
# The bare tree (debootstrap --variant=minbase) and the downloaded packages are cached in
# $TAVRONA_PKG_CACHE (default /var/cache/tavrona-package-check); every run installs into a
# fresh copy of the bare tree. Needs root (debootstrap, chroot) and a Debian mirror the first
# time ($DEBIAN_MIRROR, default http://deb.debian.org/debian).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$repo/build}
cache=${TAVRONA_PKG_CACHE:-/var/cache/tavrona-package-check}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

[ "$(id -u)" -eq 0 ] || { echo "package-check.sh: run as root (debootstrap, chroot)" >&2; exit 1; }
for tool in cpack lintian desktop-file-validate appstreamcli debootstrap; do
    command -v "$tool" >/dev/null || { echo "package-check.sh: $tool is missing (scripts/deps.sh)" >&2; exit 1; }
done

cmake --build "$build" -j2 --target tavrona tavrona-report sensor-sim package_files
rm -f "$build"/tavrona_*_amd64.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tavrona_*_amd64.deb)
echo "Package: $deb"

echo "lintian:"
lintian --fail-on error,warning "$deb"
desktop-file-validate "$repo/packaging/tavrona.desktop"
appstreamcli validate --no-net "$build/packaging/org.tavrona.Station.metainfo.xml"

mkdir -p "$cache/archives"
base=$cache/bookworm-minbase.tar
if [ ! -f "$base" ]; then
    echo "Making the bare Debian 12 tree (once)..."
    tmp=$(mktemp -d)
    debootstrap --variant=minbase --cache-dir="$cache/archives" bookworm "$tmp/root" "$mirror" >/dev/null
    tar -C "$tmp/root" -cf "$base.part" .
    mv "$base.part" "$base"
    rm -rf "$tmp"
fi

root=$(mktemp -d)
cleanup() {
    for m in var/cache/apt/archives proc; do
        mountpoint -q "$root/$m" && umount "$root/$m"
    done
    rm -rf "$root"
}
trap cleanup EXIT
tar -C "$root" -xf "$base"
mount -t proc proc "$root/proc"
# Downloads are kept between runs; the tree itself is thrown away.
mount --bind "$cache/archives" "$root/var/cache/apt/archives"
cp "$deb" "$root/tmp/"
# Nothing the dependencies bring is started inside the tree.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
chroot "$root" apt-get update -qq
chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "/tmp/$(basename "$deb")" >/dev/null
echo "Installed in a clean Debian 12 tree:"
chroot "$root" tavrona-report --version
# The usage text must come, whatever the exit status the tool gives --help.
help=$(chroot "$root" tavrona-report --help 2>&1 || true)
grep -q "^usage: tavrona-report" <<<"$help" || { echo "$help" >&2; exit 1; }
chroot "$root" sensor-sim --version
chroot "$root" tavrona --version
test -f "$root/usr/share/applications/tavrona.desktop"
test -f "$root/usr/share/icons/hicolor/48x48/apps/tavrona.png"
test -f "$root/usr/share/doc/tavrona/README.md"
echo "package-check: ok"
