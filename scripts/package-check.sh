#!/usr/bin/env bash
# The Debian package on a clean Debian 12: builds the .deb, installs it with apt-get into a
# minimal root made by debootstrap from the package registry this machine uses (so every
# dependency comes from Debian), checks its Depends line against the libraries its programs
# need, runs velmond --headless on a shipped board and velmo-identify there, then purges the
# package and shows that nothing of it is left but the group and user velmo.
#
# scripts/package-check.sh [BUILD_DIR]   (default build/release; runs as root: chroot, mounts)
# The minimal root is kept as build/package-check/bookworm-minbase.tar, so later runs skip
# debootstrap; delete it to start from scratch.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=${1:-build/release}
cache=$repo/build/package-check
started=$(date +%s)

step() { echo "== $* ($(($(date +%s) - started)) s)"; }
die() {
  echo "FAIL: $*" >&2
  exit 1
}

[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot and mounts)"
for tool in debootstrap cpack dpkg-deb readelf unshare; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done

step "build the package from $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 >/dev/null
work=$(mktemp -d "$repo/build/package-check-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log"
  die "cpack"
}
deb=$(ls "$work"/out/velmo_*.deb)
grep -q '^set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)' cmake/Packaging.cmake ||
  die "the Depends line is not computed by dpkg-shlibdeps"

# The registry of this machine: the first URI of its sources that serves bookworm itself.
mirror=""
for sources in /etc/apt/sources.list.d/*.sources; do
  [ -f "$sources" ] || continue
  mirror=$(awk '/^URIs:/ {uri=$2} /^Suites:/ && / bookworm( |$)/ {print uri; exit}' "$sources")
  [ -n "$mirror" ] && break
done
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
  mirror=$(awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' /etc/apt/sources.list)
fi
[ -n "$mirror" ] || die "no bookworm source in /etc/apt/sources.list.d or /etc/apt/sources.list"

mkdir -p "$cache"
tarball=$cache/bookworm-minbase.tar
if [ ! -f "$tarball" ]; then
  step "debootstrap --variant=minbase bookworm from $mirror"
  debootstrap --variant=minbase bookworm "$work/bootstrap" "$mirror" >"$work/debootstrap.log" 2>&1 || {
    tail -20 "$work/debootstrap.log"
    die "debootstrap"
  }
  tar -C "$work/bootstrap" -cf "$tarball.tmp" . && mv "$tarball.tmp" "$tarball"
  rm -rf "$work/bootstrap"
fi

step "unpack the clean root"
root=$work/root
mkdir "$root"
tar -C "$root" -xf "$tarball"
# The same sources as this machine (updates and security included), and its name service.
rm -f "$root/etc/apt/sources.list"
cp /etc/apt/sources.list.d/*.sources "$root/etc/apt/sources.list.d/" 2>/dev/null || true
[ -f /etc/apt/sources.list ] && cp /etc/apt/sources.list "$root/etc/apt/sources.list"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
cp boards/w83782d.json "$root/tmp/board.json"
find "$root" -xdev -path "$root/tmp" -prune -o -print | sed "s|^$root||" | sort >"$work/before"

# Everything in the root runs in a mount namespace of its own: /proc and /dev go with it. The
# packages apt downloads are kept in build/package-check/archives for the next run.
mkdir -p "$cache/archives/partial"
in_root() {
  unshare --mount --fork sh -c '
    mount -t proc proc "$0/proc" && mount --rbind /dev "$0/dev" &&
    mount --bind "$2" "$0/var/cache/apt/archives" &&
    exec chroot "$0" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
      DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 sh -c "$1"' "$root" "$1" "$cache/archives"
}

step "apt-get install ./$(basename "$deb")"
in_root "apt-get update -qq && apt-get install -y -qq ./tmp/$(basename "$deb")" \
  >"$work/install.log" 2>&1 || {
  tail -30 "$work/install.log"
  die "apt-get install"
}
grep -iE "^(W|E):" "$work/install.log" && die "apt-get warned"

step "Depends: every library the programs need, nothing else"
dpkg-deb -x "$deb" "$work/files"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
listed=$(echo "$depends" | tr ',' '\n' | sed 's/(.*)//; s/|.*//; s/ //g' | grep -v '^$' | sort -u)
needed=$(find "$work/files" -type f -exec sh -c 'readelf -d "$1" 2>/dev/null' _ {} \; |
  sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u)
needed_packages=$(for soname in $needed; do
  in_root "dpkg -S '*/$soname'" 2>/dev/null | sed 's/:.*//; s/,.*//' | head -1
done | sort -u)
# adduser is the maintainer scripts' own need.
expected=$(printf '%s\nadduser\n' "$needed_packages" | grep -v '^$' | sort -u)
diff -u <(echo "$expected") <(echo "$listed") || die "Depends differs from what the programs need"
in_root 'for f in $(dpkg -L velmo); do [ -f "$f" ] && [ -x "$f" ] && ldd "$f" 2>/dev/null; done' |
  grep "not found" && die "a library is missing"

step "the installed system: sockets enabled, the headless service not, the user velmo"
for link in sockets.target.wants/portio.socket sockets.target.wants/mapmem.socket; do
  [ -L "$root/etc/systemd/system/$link" ] || die "$link is not enabled"
done
[ -e "$root/etc/systemd/system/multi-user.target.wants/velmo-headless.service" ] &&
  die "velmo-headless.service is enabled"
in_root "getent group velmo && id velmo" || die "no group or user velmo"

step "velmond --headless --board on a shipped board, velmo-identify"
# The lock and the settings in /tmp: the run leaves nothing in root's home.
in_root "mkdir -m 0700 /tmp/run && XDG_RUNTIME_DIR=/tmp/run velmond --headless \
  --board /tmp/board.json --registry /tmp/registry.reg --ticks 2 --dry-run-power" >"$work/velmond.out" 2>&1 || {
  cat "$work/velmond.out"
  die "velmond"
}
grep -q '"event":"tick","tick":2' "$work/velmond.out" || die "no second tick: $(cat "$work/velmond.out")"
grep -q '"event":"exit","code":0,"saved":true' "$work/velmond.out" || die "no clean exit"
in_root "velmo-identify --board /tmp/board.json" >"$work/identify.out" 2>&1 || {
  cat "$work/identify.out"
  die "velmo-identify"
}
cat "$work/identify.out"
in_root "dpkg -L velmo" | sort >"$work/package-files"

step "apt-get purge velmo"
in_root "apt-get purge -y -qq velmo && apt-get autoremove --purge -y -qq" >"$work/purge.log" 2>&1 || {
  tail -30 "$work/purge.log"
  die "apt-get purge"
}
rm -rf "${root:?}/tmp/"*
# Nothing the package installed, nor a link, state or setting it made, is left; the group and
# the user stay, as Debian's policy for system accounts wants.
left=$(while read -r path; do
  if [ -d "$root$path" ] && [ ! -L "$root$path" ]; then continue; fi # folders shared with others
  if [ -e "$root$path" ] || [ -L "$root$path" ]; then echo "$path"; fi
done <"$work/package-files")
[ -z "$left" ] || die "left by the package: $left"
leftovers=$(find "$root" -xdev \( -path "$root/proc" -o -path "$root/dev" \) -prune -o \
  \( -iname '*velmo*' -o -name 'portio*' -o -name 'mapmem*' -o -name 'kiru*' \) -print |
  sed "s|^$root||")
[ -z "$leftovers" ] || die "left after the purge: $leftovers"
grep -rl velmo "$root/etc" "$root/var/lib" 2>/dev/null | sed "s|^$root||" |
  grep -vE '^/etc/(passwd|group|shadow|gshadow)-?$|^/var/lib/(dpkg|apt)/|^/etc/ld.so.cache$' &&
  die "files still name velmo"
grep -q '^velmo:' "$root/etc/group" || die "the group velmo went (it is to stay)"
grep -q '^velmo:' "$root/etc/passwd" || die "the user velmo went (it is to stay)"
find "$root" -xdev \( -path "$root/proc" -o -path "$root/dev" -o -path "$root/tmp" \) -prune -o \
  -print | sed "s|^$root||" | sort >"$work/after"
# Besides apt's and dpkg's own records, logs and caches, the clean root is as it was.
changed=$(comm -3 "$work/before" "$work/after" |
  grep -vE '^\s*/(var/(lib/(apt|dpkg|systemd/deb-systemd-helper)|log|cache)|etc/(passwd|group|shadow|gshadow)-|proc|dev)(/|$)' || true)
if [ -n "$changed" ]; then
  echo "files that differ from the clean root (not from velmo by name):"
  echo "$changed"
fi

step "package check passed"
