#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from a configured build tree and checks that it installs what a
# desktop needs: the program, its desktop entry and icons, the udev access rule, uinput at boot,
# the maintainer scripts that apply the rule at once, the grant helper with its polkit action
# (which must name the helper where the package puts it), and what Debian asks of every package:
# lintian must report neither an error nor a warning.
# Usage: check_deb.sh BUILD_DIR
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(find "$work" -maxdepth 1 -name 'glidewheel_*.deb' | head -n 1)
[[ -n $deb ]] || { echo "no package was built"; cat "$work/cpack.log"; exit 1; }

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
status=0
for path in \
  ./usr/bin/glidewheel \
  ./usr/share/applications/glidewheel.desktop \
  ./usr/share/icons/hicolor/scalable/apps/glidewheel.svg \
  ./usr/share/icons/hicolor/48x48/apps/glidewheel.png \
  ./usr/lib/udev/rules.d/70-glidewheel.rules \
  ./usr/lib/modules-load.d/glidewheel.conf \
  ./usr/libexec/glidewheel/glidewheel-grant-access \
  ./usr/share/polkit-1/actions/org.glidewheel.grant-access.policy \
  ./usr/share/man/man1/glidewheel.1.gz \
  ./usr/share/doc/glidewheel/copyright \
  ./usr/share/doc/glidewheel/changelog.gz; do
  grep -qxF "$path" <<<"$contents" || { echo "missing from the package: $path"; status=1; }
done
for script in postinst postrm; do
  dpkg-deb -I "$deb" "$script" >/dev/null 2>&1 || { echo "no $script in the package"; status=1; }
done
dpkg-deb -x "$deb" "$work/root"
helper=/usr/libexec/glidewheel/glidewheel-grant-access
[[ -x $work/root$helper ]] || { echo "the grant helper is not executable"; status=1; }
grep -qF "root=''" "$work/root$helper" || { echo "the grant helper works on another root"; status=1; }
grep -qF "<annotate key=\"org.freedesktop.policykit.exec.path\">$helper</annotate>" \
  "$work/root/usr/share/polkit-1/actions/org.glidewheel.grant-access.policy" ||
  { echo "the polkit action does not name $helper"; status=1; }
# The rule the helper writes is the packaged rule.
cmp -s <(sed -n "/<<'RULE'\$/,/^RULE\$/p" "$work/root$helper" | sed '1d;$d') \
  "$work/root/usr/lib/udev/rules.d/70-glidewheel.rules" ||
  { echo "the grant helper's rule differs from the packaged rule"; status=1; }
recommends=$(dpkg-deb -f "$deb" Recommends)
grep -q "qt6-wayland" <<<"$recommends" || { echo "Recommends lacks qt6-wayland: $recommends"; status=1; }
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libevdev2 libudev1 libqt6svg6; do
  grep -q "$library" <<<"$depends" || { echo "Depends lacks $library: $depends"; status=1; }
done
# --fail-on makes warnings count too; informational tags are shown but pass.
lintian --fail-on error,warning "$deb" || {
  echo "lintian reports problems with the package"; status=1; }
[[ $status -eq 0 ]] && echo "package ok: $(basename "$deb")"
exit $status
