#!/usr/bin/env bash
# Fails when a tracked C++, Python or shell source lacks its licence line
# (SPDX-License-Identifier: GPL-3.0-or-later) in its first lines, and names each such file.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=0
while IFS= read -r -d '' file; do
  if ! head -n 5 -- "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
    echo "sans licence SPDX : $file" >&2
    missing=$((missing + 1))
  fi
done < <(git ls-files -z -- '*.cpp' '*.h' '*.py' '*.sh')
[ "$missing" -eq 0 ] || { echo "$missing fichier(s) sans licence SPDX" >&2; exit 1; }
