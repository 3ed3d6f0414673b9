# SPDX-License-Identifier: MIT
# Sourced by run_vm.sh and build_vkms.sh: takes modules out of a Debian kernel package.

# extract_modules DEB INTO MODULE...: writes INTO/NAME.ko, decompressed, for each MODULE (its
# path under the package's kernel/ without .ko, for example drivers/input/evdev). INTO must
# exist. Called where errexit may not apply, so every step checks its own result.
extract_modules() {
  local deb=$1 into=$2 unpacked module name file
  shift 2
  local patterns=()
  for module in "$@"; do patterns+=("*/kernel/$module.ko*"); done
  unpacked=$(mktemp -d "$into/unpacked.XXXXXX") || return 1
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$unpacked" --wildcards "${patterns[@]}" || return 1
  for module in "$@"; do
    name=$(basename "$module")
    file=$(find "$unpacked" -name "$name.ko*" | head -n 1)
    [[ -n "$file" ]] || { echo "the kernel package has no $name module" >&2; return 1; }
    case "$file" in
      *.xz) xz -dc "$file" ;;
      *.zst) zstd -qdc "$file" ;;
      *) cat "$file" ;;
    esac >"$into/$name.ko" || return 1
  done
  rm -rf "$unpacked"
}
