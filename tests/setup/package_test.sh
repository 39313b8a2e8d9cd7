#!/bin/sh
# The Debian package: built by CPack from this build tree, then its files, modes, control
# fields, maintainer script, units and desktop entry checked, and lintian run on it.
# package_test.sh BUILD_DIR SOURCE_DIR ARCHITECTURE; exit 77 (skipped) when a tool is missing.
set -u
build=$1
source=$2
architecture=$3
for tool in cpack dpkg-deb lintian desktop-file-validate; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log"
  echo "FAIL: cpack"
  exit 1
}
deb=$(ls "$work"/out/velmo_*.deb)

# Every file and folder, nothing more.
dpkg-deb -c "$deb" | awk '{print $6}' | sort >"$work/files"
sort "$source/tests/setup/package-files.txt" | diff -u - "$work/files" || fail "file list"
dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ {print $1, $2, $6}' | while read -r mode owner path; do
  case $path in
    ./usr/bin/* | ./usr/lib/velmo/drivers/* | ./usr/lib/velmo/velmond-gui) want=-rwxr-xr-x ;;
    *) want=-rw-r--r-- ;;
  esac
  [ "$mode" = "$want" ] || echo "FAIL: $path has mode $mode, not $want"
  [ "$owner" = root/root ] || echo "FAIL: $path belongs to $owner"
done | tee "$work/modes"
[ -s "$work/modes" ] && fail "modes"

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velmo ] || fail "Package: $(field Package)"
[ "$(field Version)" = 3.10-1 ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$architecture" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[ "$(field Priority)" = optional ] || fail "Priority: $(field Priority)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
for dependency in adduser libc6 libqt6widgets6 libsystemd0; do
  field Depends | grep -q "\(^\|, \)$dependency\( \|,\|$\)" || fail "Depends lacks $dependency"
done
field Description | head -1 | grep -q "hardware-health monitor" || fail "Description"

# The maintainer scripts: the group, systemd's reload.
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "$script is missing or not executable"
done
grep -q "addgroup --system --quiet velmo" "$work/control/postinst" || fail "postinst adds no group"
grep -q "daemon-reload" "$work/control/postinst" || fail "postinst reloads no systemd"
grep -q "adduser --system" "$work/control/postinst" || fail "postinst adds no user"
grep -q 'deb-systemd-helper enable "$unit"' "$work/control/postinst" || fail "postinst enables no socket"
grep -q "deb-systemd-helper purge" "$work/control/postrm" || fail "postrm leaves the links at a purge"
for script in postinst prerm postrm; do
  sh -n "$work/control/$script" || fail "$script is no shell script"
done

# The units are the shipped ones, starting the helpers from the package's prefix.
dpkg-deb -x "$deb" "$work/root"
for unit in portio.service mapmem.service portio.socket mapmem.socket; do
  sed "s|^ExecStart=/usr/local/|ExecStart=/usr/|" "$source/drivers/systemd/$unit" |
    diff -u - "$work/root/usr/lib/systemd/system/$unit" || fail "$unit"
done
diff -u "$source/packaging/velmo-headless.service" \
  "$work/root/usr/lib/systemd/system/velmo-headless.service" || fail "velmo-headless.service"
desktop-file-validate "$work/root/usr/share/applications/velmond.desktop" ||
  fail "desktop entry not valid"
for page in man1/velmond.1 man1/velmo-identify.1 man1/kiru.1 man8/portio.8 man8/mapmem.8; do
  zcat "$work/root/usr/share/man/$page.gz" | grep -q '^\.SH' || fail "$page is no manual page"
done

# lintian: errors fail, warnings are printed.
lintian --info "$deb" >"$work/lintian" 2>&1
grep -v '^N:' "$work/lintian" | grep -v 'running with root privileges'
grep -q '^E:' "$work/lintian" && fail "lintian reports errors"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package $(basename "$deb"): all checks passed"
