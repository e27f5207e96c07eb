#!/usr/bin/env bash
# make package as a user would get it: CPack builds the three Debian packages, each is unpacked
# into an empty root (dpkg -x) and every program in it runs --version from there. Checks the
# packages' names, dependencies from shlibdeps, conffiles and the files each one carries.
# Arguments: BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
tmp="$(mktemp -d "${TMPDIR:-/tmp}/kt-package-test.XXXXXX")"
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$tmp/out" --config "$build/CPackConfig.cmake" > "$tmp/cpack.log" 2>&1) ||
  fail "cpack: $(cat "$tmp/cpack.log")"
arch=$(dpkg --print-architecture)
server="$tmp/out/kt-vistrand-server_${version}_${arch}.deb"
tool="$tmp/out/kx25config_${version}_${arch}.deb"
cli="$tmp/out/kt-vistrand-tools_${version}_${arch}.deb"
for deb in "$server" "$tool" "$cli"; do
  [ -f "$deb" ] || fail "missing $(basename "$deb"); built: $(ls "$tmp/out")"
done

depends() { dpkg-deb -f "$1" Depends; }
depends "$server" | grep -q 'libc6' || fail "server Depends: $(depends "$server")"
depends "$cli" | grep -q 'libc6' || fail "tools Depends: $(depends "$cli")"
if dpkg-deb -c "$server" | grep -q 'usr/share/applications/kt-vistrand-server.desktop'; then
  depends "$server" | grep -q 'libqt6widgets6' || fail "window server without Qt in Depends: $(depends "$server")"
fi
dpkg-deb -I "$server" conffiles | grep -qx '/etc/default/kt-vistrand-server' || fail "environment file is no conffile"
dpkg-deb -I "$server" postinst | grep -q 'sysusers' || fail "postinst does not create the service user"

has() {
  dpkg-deb -c "$1" | awk '{print $6}' | grep -qx "./$2" || fail "$(basename "$1") lacks /$2"
}
has "$server" usr/bin/kt-vistrand-server
has "$server" lib/systemd/system/kt-vistrand-server.service
has "$server" etc/default/kt-vistrand-server
has "$server" usr/lib/sysusers.d/kt-vistrand-server.conf
has "$server" usr/share/man/man1/kt-vistrand-server.1.gz
has "$server" usr/share/doc/kt-vistrand-server/README.md
for p in ktdb ktvistrand-lookup kx25ctl kx25sim; do
  has "$cli" "usr/bin/$p"
  has "$cli" "usr/share/man/man1/$p.1.gz"
done
has "$tool" usr/share/doc/kx25config/README.md
has "$tool" usr/bin/kx25config
has "$tool" usr/share/applications/kx25config.desktop
has "$tool" usr/share/icons/hicolor/scalable/apps/kx25config.svg
has "$tool" usr/share/man/man1/kx25config.1.gz
depends "$tool" | grep -q 'libqt6widgets6' || fail "kx25config without Qt in Depends: $(depends "$tool")"

root="$tmp/root"
mkdir -p "$root"
for deb in "$server" "$tool" "$cli"; do dpkg -x "$deb" "$root"; done
# The service user as the postinst makes it, inside the unpacked root.
if command -v systemd-sysusers >/dev/null; then
  mkdir -p "$root/etc"
  systemd-sysusers --root="$root" "$root/usr/lib/sysusers.d/kt-vistrand-server.conf" > /dev/null 2>&1 ||
    fail "systemd-sysusers refused the service user"
  grep -q '^kt-vistrand:x:[0-9]*:[0-9]*:.*:/var/lib/kt-vistrand:' "$root/etc/passwd" ||
    fail "no service user: $(cat "$root/etc/passwd")"
fi
ran=0
for program in "$root"/usr/bin/*; do
  name=$(basename "$program")
  # No display: --version must answer before any window starts (bounded, should one start).
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen timeout 20 "$program" --version) ||
    fail "$name --version failed"
  [ "$out" = "$name $version" ] || fail "$name --version printed '$out'"
  ran=$((ran + 1))
done
[ "$ran" -ge 6 ] || fail "only $ran programs in the packages"
echo "$ran programs run --version from the unpacked packages:"
for deb in "$server" "$tool" "$cli"; do
  echo "  $(basename "$deb"): Depends: $(depends "$deb")"
done
echo "1 passed, 0 failed"
