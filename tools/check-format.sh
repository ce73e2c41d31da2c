#!/usr/bin/env bash
# Fails, naming the files, when clang-format would change any C++ source.
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t files < <(find app audio analysis clock platform widgets tests bench tools -name '*.cpp' -o -name '*.h')
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  printf 'clang-format would change these files (make format):\n' >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
