#!/bin/sh
# The files Velmo gives the system, checked with the system's own tools (a missing tool fails):
#   units     systemd-analyze verify on every unit shipped (drivers/systemd, packaging) and every
#             unit kiru writes, and kiru's enabling links against the ones systemctl makes
#   security  systemd-analyze security: every shipped service at exposure 4.0 or below
#   polkit    the headless service's polkit rule, run by duktape (polkit's own engine) on a table
#             of users and actions
#   desktop   desktop-file-validate on the application and autostart entries, appstreamcli on
#             the AppStream file
# system_files_test.sh CHECK SOURCE_DIR BUILD_DIR [KIRU]
set -u
check=$1
source=$2
build=$3
kiru=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || {
      echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"
      exit 1
    }
  done
}
shipped_units="$source/drivers/systemd/portio.service $source/drivers/systemd/portio.socket
  $source/drivers/systemd/mapmem.service $source/drivers/systemd/mapmem.socket
  $source/packaging/velmo-headless.service"

# A root that holds systemd's own units, the shipped ones in /etc/systemd/system, and an
# executable at every ExecStart path they name: systemd-analyze then checks them without a
# running systemd.
make_root() {
  root=$1
  mkdir -p "$root/usr/lib/systemd" "$root/etc/systemd/system"
  cp -a /usr/lib/systemd/system "$root/usr/lib/systemd/"
  for unit in $shipped_units; do
    cp "$unit" "$root/etc/systemd/system/"
    sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit" | while read -r program; do
      mkdir -p "$root$(dirname "$program")"
      printf '#!/bin/sh\n' >"$root$program"
      chmod 755 "$root$program"
    done
  done
}

# systemd-analyze verify exits 0 on settings it ignores: any line it prints is a failure.
verify() {
  systemd-analyze verify --man=no "$@" >"$work/verify.log" 2>&1 || echo "exit status $?" >>"$work/verify.log"
  if [ -s "$work/verify.log" ]; then
    cat "$work/verify.log"
    return 1
  fi
}

case $check in
  units)
    need systemd-analyze systemctl
    make_root "$work/root"
    names=""
    for unit in $shipped_units; do names="$names $(basename "$unit")"; done
    # shellcheck disable=SC2086
    verify --root="$work/root" $names || fail "shipped units"

    # kiru's units under --root, their programs being the ones it deployed.
    [ -x "$kiru" ] || fail "no kiru program given"
    out=$(XDG_CONFIG_HOME="$work/config" HOME="$work/home" "$kiru" --unattended --root "$work/kiru")
    echo "$out" | grep -q '"event":"message"' && fail "kiru said: $out"
    verify "$work/kiru/lib/systemd/system/"*.service "$work/kiru/lib/systemd/system/"*.socket ||
      fail "kiru's units"
    for name in portio mapmem; do
      cmp -s "$work/kiru/lib/systemd/system/$name.socket" "$source/drivers/systemd/$name.socket" ||
        fail "kiru's $name.socket is not the shipped one"
    done
    # The links systemctl would make for the same tree.
    mkdir -p "$work/same/lib/systemd"
    cp -a "$work/kiru/lib/systemd/system" "$work/same/lib/systemd/"
    systemctl --root="$work/same" enable portio.socket mapmem.socket >/dev/null 2>&1 ||
      fail "systemctl --root enable"
    (cd "$work/same" && find etc -type l | sort) >"$work/links.systemctl"
    (cd "$work/kiru" && find etc -type l | sort) >"$work/links.kiru"
    diff -u "$work/links.systemctl" "$work/links.kiru" || fail "kiru's enabling links"
    while read -r link; do
      [ "$(readlink "$work/kiru/$link")" = "$(readlink "$work/same/$link")" ] ||
        fail "$link points at $(readlink "$work/kiru/$link")"
    done <"$work/links.systemctl"
    ;;

  security)
    need systemd-analyze
    make_root "$work/root"
    for unit in $shipped_units; do
      case $unit in *.service) ;; *) continue ;; esac
      name=$(basename "$unit")
      # The threshold is on the 0-100 scale of the printed 0.0-10.0: 40 is "OK" at 4.0.
      systemd-analyze security --offline=true --threshold=40 --root="$work/root" "$name" \
        >"$work/security.log" 2>&1
      status=$?
      grep 'Overall exposure level' "$work/security.log"
      [ "$status" -eq 0 ] || fail "$name is exposed above 4.0 (exit status $status)"
    done
    ;;

  polkit)
    need duk
    # polkit's own objects as far as the rule uses them; the rule's file is evaluated as it is
    # shipped, then asked about each row.
    cat >"$work/harness.js" <<'EOF'
var rules = [];
var polkit = {
  Result: {YES: "yes", NO: "no", AUTH_ADMIN: "auth_admin", NOT_HANDLED: null},
  addRule: function (rule) { rules.push(rule); }
};
EOF
    cat "$source/packaging/polkit/50-velmo-headless.rules" >>"$work/harness.js"
    cat >>"$work/harness.js" <<'EOF'

var rows = [
  ["velmo", "org.freedesktop.login1.reboot", "yes"],
  ["velmo", "org.freedesktop.login1.power-off", "yes"],
  ["velmo", "org.freedesktop.login1.reboot-multiple-sessions", "yes"],
  ["velmo", "org.freedesktop.login1.power-off-multiple-sessions", "yes"],
  ["velmo", "org.freedesktop.login1.reboot-ignore-inhibit", null],
  ["velmo", "org.freedesktop.login1.suspend", null],
  ["velmo", "org.freedesktop.systemd1.manage-units", null],
  ["alice", "org.freedesktop.login1.reboot", null],
  ["velmod", "org.freedesktop.login1.power-off", null],
  ["root", "org.freedesktop.login1.power-off", null]
];
var failed = 0;
if (rules.length !== 1) { print("FAIL: " + rules.length + " rules added, expected 1"); failed++; }
for (var i = 0; i < rows.length; i++) {
  var subject = {user: rows[i][0], groups: ["velmo"], local: false, active: false};
  var action = {id: rows[i][1], lookup: function () { return ""; }};
  var result = rules.length ? rules[0](action, subject) : undefined;
  if (result === undefined) result = null;
  if (result !== rows[i][2]) {
    print("FAIL: " + rows[i][0] + " " + rows[i][1] + ": " + result + ", expected " + rows[i][2]);
    failed++;
  }
}
print(failed ? failed + " row(s) failed" : rows.length + " rows as expected");
if (failed) throw new Error("polkit rule");
EOF
    duk "$work/harness.js" || fail "polkit rule"
    ;;

  desktop)
    need desktop-file-validate appstreamcli
    desktop-file-validate "$source/packaging/velmond.desktop" || fail "application entry"
    [ -x "$kiru" ] || fail "no kiru program given"
    XDG_CONFIG_HOME="$work/config" HOME="$work/home" "$kiru" --unattended --root "$work/kiru" \
      >/dev/null
    desktop-file-validate "$work/config/autostart/velmond.desktop" || fail "autostart entry"
    metainfo=$(ls "$build"/packaging/*.metainfo.xml)
    appstreamcli validate --no-net --explain "$metainfo" || fail "AppStream file"
    for size in 16 22 24 32 48 64 128 256; do
      icon="$build/packaging/icons/${size}x$size/velmo.png"
      file "$icon" | grep -q "PNG image data, $size x $size," || fail "icon at $size: $(file "$icon")"
    done
    ;;

  *)
    echo "unknown check $check"
    exit 2
    ;;
esac

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "$check: all checks passed"
