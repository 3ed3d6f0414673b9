#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the virtual display driver (vkms) for the device-test kernel and gathers the DRM
# modules it needs. Debian's kernel leaves vkms out, so it is built out of tree from Debian's
# linux-source package against the same kernel's headers; nothing is installed.
#
# Usage: build_vkms.sh KERNEL_PACKAGE INTO_DIR
#   KERNEL_PACKAGE  the kernel package the VM boots, for example linux-image-6.1.0-57-amd64
#   INTO_DIR        made to hold drm.ko, drm_kms_helper.ko, drm_shmem_helper.ko and vkms.ko,
#                   in the order they load (modules.order); left alone if it exists
#
# Takes about a minute (most of it unpacking the source). Exits 1 with the reason on failure.
set -euo pipefail
source "$(dirname "$0")/kernel_modules.sh"

package=$1
into=$(realpath -m "$2")
[[ -f "$into/modules.order" ]] && exit 0

release=${package#linux-image-}                      # 6.1.0-57-amd64
abi=${release%-*}                                    # 6.1.0-57
series=$(cut -d. -f1,2 <<<"$release")                # 6.1
version=$(apt-cache show "$package" 2>/dev/null | awk '/^Version:/ { print $2; exit }')
[[ -n "$version" ]] || { echo "apt knows no version of $package" >&2; exit 1; }
for tool in make "gcc-12" tar; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/deps test installs it)" >&2; exit 1; }
done

mkdir -p "$(dirname "$into")"
work=$(mktemp -d "$(dirname "$into")/vkms-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
# The exact source of the kernel the VM boots: a module built from other sources may not load.
apt-get download -q "linux-source-$series=$version" "linux-headers-$release=$version" \
  "linux-headers-$abi-common=$version" "linux-kbuild-$series=$version" "$package=$version" \
  >/dev/null 2>&1 || { echo "could not download the source and headers of $package $version" >&2; exit 1; }
mkdir tree
for deb in linux-source-*.deb linux-headers-*.deb linux-kbuild-*.deb; do dpkg-deb -x "$deb" tree; done
headers="$work/tree/usr/src/linux-headers-$release"
# The headers include their common half by its installed path.
sed -i "s|/usr/src/linux-headers-$abi-common|$work/tree/usr/src/linux-headers-$abi-common|" \
  "$headers/Makefile"
tar -xJf "tree/usr/src/linux-source-$series.tar.xz" --strip-components=4 \
  "linux-source-$series/drivers/gpu/drm/vkms"
make -s -C "$headers" M="$work/vkms" CONFIG_DRM_VKMS=m modules >build.log 2>&1 ||
  { tail -n 20 build.log >&2; echo "vkms did not build" >&2; exit 1; }

# The DRM core modules vkms depends on, from the kernel package itself.
mkdir staging
extract_modules "${package}_"*.deb staging \
  drivers/gpu/drm/drm drivers/gpu/drm/drm_kms_helper drivers/gpu/drm/drm_shmem_helper || exit 1
cp vkms/vkms.ko staging/
printf '%s\n' drm drm_kms_helper drm_shmem_helper vkms >staging/modules.order
mv -T staging "$into"
