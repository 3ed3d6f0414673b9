#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the device tests on a real kernel: boots a small VM (qemu, software emulation) whose
# initramfs holds busybox, the evdev and uinput modules, the test binary and its libraries, and
# Debian's udevd with the rules that give input devices the properties libinput reads (from this
# machine's packages udev and libinput-bin), weston, and reports the tests' exit status. This
# machine's root is shared into the VM read-only (9p), under a writable overlay at /host, where
# the toolkit tests run the other desktops and the windows with their own libraries, data and
# fonts.
#
# Usage: run_vm.sh TEST_BINARY WORK_DIR CACHE_DIR [TEST_ARGS...]
#   WORK_DIR   scratch space for the initramfs and the console log (rebuilt every run)
#   CACHE_DIR  where the kernel, its input modules, the modules that mount this machine's root
#              (hostroot/) and the virtual display's modules (vkms/, built by build_vkms.sh)
#              are kept between runs
#   TEST_ARGS  passed to the test binary in the VM (for example --gtest_filter=...)
#
# Exits 77 (skipped) when the VM cannot be started here: no qemu, busybox or cpio, or no
# kernel to be had. GLIDEWHEEL_VM_TIMEOUT bounds the VM's run in seconds (default 300).
# GLIDEWHEEL_VM_CPUS gives the VM more than one processor (default 1), which races between the
# input thread and the kernel need to show.
set -euo pipefail

readonly skip=77
readonly marker=GLIDEWHEEL-DEVICE-TESTS-EXIT-STATUS
readonly here=$(cd "$(dirname "$0")" && pwd)
source "$here/kernel_modules.sh"

if [[ $# -lt 3 ]]; then
  echo "usage: $0 TEST_BINARY WORK_DIR CACHE_DIR [TEST_ARGS...]" >&2
  exit 2
fi
test_binary=$(realpath "$1")
work_dir=$2
cache_dir=$3
shift 3

skip() {
  echo "SKIPPED: $*" >&2
  exit "$skip"
}

[[ -x "$test_binary" ]] || { echo "no test binary at $test_binary: build device_tests" >&2; exit 1; }
for tool in qemu-system-x86_64 cpio xz dpkg-deb apt-get udevadm; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/deps test installs it)"
done
busybox=$(command -v busybox || true)
# The initramfs has no C library for busybox: it must be the static build.
[[ -n "$busybox" ]] && ! ldd "$busybox" >/dev/null 2>&1 ||
  skip "a static busybox is missing (Debian package busybox-static)"

# --- The kernel: the one Debian's linux-image-amd64 points at, downloaded, never installed ---

kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }'
}

# What mounts this machine's root in the VM: virtio's PCI transport, 9p over it, and overlayfs,
# in their load order (each after the modules it depends on).
readonly hostroot_modules=(
  drivers/virtio/virtio_ring drivers/virtio/virtio drivers/virtio/virtio_pci_legacy_dev
  drivers/virtio/virtio_pci_modern_dev drivers/virtio/virtio_pci
  fs/netfs/netfs fs/fscache/fscache net/9p/9pnet net/9p/9pnet_virtio fs/9p/9p fs/overlayfs/overlay
)

# Unpacks the kernel image and the modules the tests need out of the package into $2.
# Called where errexit does not apply, so every step checks its own result.
unpack_kernel() {
  local deb=$1 into=$2
  extract_modules "$deb" "$into" drivers/input/evdev drivers/input/misc/uinput || return 1
  mkdir "$into/hostroot" || return 1
  extract_modules "$deb" "$into/hostroot" "${hostroot_modules[@]}" || return 1
  printf '%s\n' "${hostroot_modules[@]##*/}" >"$into/hostroot/modules.order" || return 1
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$into" --wildcards './boot/vmlinuz-*' || return 1
  mv "$into"/boot/vmlinuz-* "$into/vmlinuz" || return 1
  rm -rf "$into/boot"
  # Decompressing vmlinuz under emulation takes seconds at every boot; the ELF kernel inside it
  # (an XZ stream that starts at its magic bytes) boots directly.
  local offset
  offset=$(LC_ALL=C grep -obUaP '\xFD7zXZ\x00' "$into/vmlinuz" | head -n 1 | cut -d: -f1 || true)
  if [[ -n "$offset" ]] &&
    xz -dc --single-stream < <(tail -c +$((offset + 1)) "$into/vmlinuz") >"$into/vmlinux" 2>/dev/null &&
    [[ $(head -c 4 "$into/vmlinux" | od -An -tx1 | tr -d ' \n') == 7f454c46 ]]; then
    rm "$into/vmlinuz"
  else
    rm -f "$into/vmlinux"
  fi
}

fetch_kernel() {
  local package=$1 into=$2 download
  download=$(mktemp -d "$cache_dir/download.XXXXXX")
  # apt-get download needs the package lists, which a fresh machine may not have yet.
  if ! (cd "$download" && apt-get download -q "$package" >/dev/null 2>&1); then
    apt-get update -qq >/dev/null 2>&1 || true
    (cd "$download" && apt-get download -q "$package" >/dev/null 2>&1) || {
      rm -rf "$download"
      return 1
    }
  fi
  local staging="$download/unpacked"
  mkdir "$staging"
  unpack_kernel "$download"/*.deb "$staging" || { rm -rf "$download"; return 1; }
  # Renamed into place whole, so an interrupted run leaves no half-filled cache.
  mv -T "$staging" "$into"
  rm -rf "$download"
}

mkdir -p "$cache_dir"
package=$(kernel_package)
if [[ -z "$package" ]]; then
  apt-get update -qq >/dev/null 2>&1 || true
  package=$(kernel_package)
fi
if [[ -z "$package" ]]; then
  # No package lists to ask: a kernel fetched earlier will do.
  package=$(cd "$cache_dir" && ls -d linux-image-* 2>/dev/null | sort -V | tail -n 1 || true)
  [[ -n "$package" ]] || skip "no kernel package is known to apt and none is cached"
fi
kernel_dir="$cache_dir/$package"
if [[ -d "$kernel_dir" && ! -f "$kernel_dir/hostroot/modules.order" ]]; then
  rm -rf "$kernel_dir"  # cached before the VM mounted this machine's root: fetched again whole
fi
if [[ ! -d "$kernel_dir" ]]; then
  echo "Fetching $package into $cache_dir" >&2
  fetch_kernel "$package" "$kernel_dir" || skip "could not download and unpack $package"
fi
kernel="$kernel_dir/vmlinux"
[[ -f "$kernel" ]] || kernel="$kernel_dir/vmlinuz"

# --- The virtual display: without it the display tests skip, saying why ---

display_dir="$cache_dir/vkms/$package"
display_missing=
if [[ ! -f "$display_dir/modules.order" ]]; then
  echo "Building the virtual display driver for $package into $display_dir" >&2
fi
if ! display_log=$("$here/build_vkms.sh" "$package" "$display_dir" 2>&1); then
  display_missing="vkms could not be built for $package: $(tail -n 1 <<<"$display_log")"
  echo "$display_log" >&2
fi

# --- The initramfs ---

rm -rf "$work_dir"
root="$work_dir/root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,run,lib/modules,lib/systemd,lib/udev/rules.d,usr/share}
cp "$busybox" "$root/bin/busybox"
cp "$here/init" "$root/init"
cp "$kernel_dir/evdev.ko" "$kernel_dir/uinput.ko" "$root/lib/modules/"
cp -r "$kernel_dir/hostroot" "$root/lib/modules/hostroot"
# Where the toolkit tests find their clients under /host: beside the test binary.
dirname "$test_binary" >"$root/host-test-dir"
if [[ -z "$display_missing" ]]; then
  cp -r "$display_dir" "$root/lib/modules/display"
else
  echo "$display_missing" >"$root/display-missing"
fi
# Without its debug information (the symbols stay for backtraces): the kernel unpacks every byte
# of the initramfs under emulation.
strip --strip-debug -o "$root/device_tests" "$test_binary" 2>/dev/null ||
  cp "$test_binary" "$root/device_tests"
printf '%s\n' "$@" >"$root/test-args"
# The shared libraries a program loads, and the loader, each at the path ldd names.
copy_libraries() {
  ldd "$1" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }' |
    while read -r library; do
      mkdir -p "$root$(dirname "$library")"
      cp -L "$library" "$root$library"
    done
}
copy_libraries "$test_binary"
# udevd (udevadm under its daemon's name) with the rules for input devices: ID_INPUT,
# ID_INPUT_MOUSE and the rest from the input_id builtin, and libinput's own device-group rule;
# libinput's device quirks.
cp -L "$(command -v udevadm)" "$root/bin/udevadm"
ln -s /bin/udevadm "$root/lib/systemd/systemd-udevd"
copy_libraries "$(command -v udevadm)"
for rule in 60-input-id.rules 80-libinput-device-groups.rules; do
  [[ -f /lib/udev/rules.d/$rule ]] || skip "/lib/udev/rules.d/$rule is missing (Debian packages udev, libinput-bin)"
  cp "/lib/udev/rules.d/$rule" "$root/lib/udev/rules.d/"
done
# A display's card belongs to the seat, as systemd's 71-seat.rules says: mutter takes only such.
echo 'SUBSYSTEM=="drm", KERNEL=="card[0-9]*", TAG+="seat", TAG+="master-of-seat"' \
  >"$root/lib/udev/rules.d/71-seat.rules"
cp /lib/udev/libinput-device-group "$root/lib/udev/"
copy_libraries /lib/udev/libinput-device-group
cp -r /usr/share/libinput "$root/usr/share/"
# weston (DRM backend, kiosk shell, pixman renderer), run from the VM's own root: Qt 6's windows
# under it moved for no scroll when it ran from this machine's root under /host.
copy_stripped() {
  mkdir -p "$root$(dirname "$2")"
  strip --strip-unneeded -o "$root$2" "$1"
  copy_libraries "$1"
}
if weston=$(command -v weston); then
  for file in "$weston" /usr/lib/x86_64-linux-gnu/weston/kiosk-shell.so \
    /usr/lib/x86_64-linux-gnu/libweston-*/drm-backend.so; do
    copy_stripped "$file" "$file"
  done
  # The files of the default keymap (rules evdev, layout us) that weston compiles for the VM's
  # keyboard.
  mkdir -p "$root/usr/share/X11/xkb"
  (cd /usr/share/X11/xkb && cp --parents rules/evdev keycodes/{aliases,evdev} compat/* types/* \
    symbols/{altwin,inet,keypad,pc,srvr_ctrl,us} "$root/usr/share/X11/xkb/")
fi
# Left uncompressed: decompressing takes the emulated CPU longer than loading the bytes.
(cd "$root" && find . -mindepth 1 | LC_ALL=C sort | cpio -o -H newc --quiet) >"$work_dir/initramfs.cpio"

# --- The run ---

console="$work_dir/console.log"
echo "Booting $(basename "$kernel") from $kernel_dir" >&2
started=$SECONDS
set +e
timeout --kill-after=10 "${GLIDEWHEEL_VM_TIMEOUT:-300}" \
  qemu-system-x86_64 -accel tcg -m 2G -smp "${GLIDEWHEEL_VM_CPUS:-1}" -nodefaults -display none -no-reboot \
    -serial stdio -kernel "$kernel" -initrd "$work_dir/initramfs.cpio" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
    -append "console=ttyS0 quiet panic=-1" </dev/null 2>&1 |
  tr -d '\r' | tee "$console"
qemu_status=${PIPESTATUS[0]}
set -e
echo "The VM ran for $((SECONDS - started)) s" >&2

if [[ $qemu_status -eq 124 || $qemu_status -eq 137 ]]; then
  echo "FAILED: the VM did not finish within ${GLIDEWHEEL_VM_TIMEOUT:-300} s" >&2
  exit 1
fi
# Firmware or kernel text may precede the marker on its line.
status=$(grep -o "$marker=[0-9]*" "$console" | tail -n 1 | cut -d= -f2 || true)
if [[ -z "$status" ]]; then
  echo "FAILED: the VM ended (qemu status $qemu_status) without reporting the tests' result" >&2
  exit 1
fi
exit "$status"
