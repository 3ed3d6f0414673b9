#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the sources against the house style.
# Usage: check_style.sh SOURCE_DIR format   every C++ file is as clang-format (.clang-format) has it
#        check_style.sh SOURCE_DIR spdx     every source file opens with its SPDX licence line
#                                           (after the #! line of a script)
set -euo pipefail
cd "$1"

# The files git knows of or would add, so that a new file is checked before its first commit.
files() { git ls-files --cached --others --exclude-standard -- "$@"; }

case $2 in
  format)
    command -v clang-format >/dev/null ||
      { echo "clang-format is missing: scripts/deps test installs it"; exit 1; }
    files '*.cpp' '*.h' | xargs -r clang-format --dry-run -Werror
    echo "every C++ file is formatted"
    ;;
  spdx)
    status=0
    while IFS= read -r file; do
      line=$(head -n 1 "$file")
      [[ $line == '#!'* ]] && line=$(sed -n 2p "$file")
      [[ $line =~ ^(//|#)\ SPDX-License-Identifier:\ MIT$ ]] ||
        { echo "$file: no SPDX licence line at the top"; status=1; }
    done < <(files '*.cpp' '*.h' '*CMakeLists.txt' '*.sh' 'scripts/*' '.ci/*' 'tests/device/init' \
                   'packaging/postinst' 'packaging/postrm')
    [[ $status -eq 0 ]] && echo "every source file opens with its SPDX line"
    exit $status
    ;;
  *) echo "unknown check: $2"; exit 2 ;;
esac
