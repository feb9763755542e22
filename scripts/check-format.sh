#!/usr/bin/env bash
# Fails when a C or C++ file of the project differs from what clang-format
# (with the repository's .clang-format) would write; lists the files.
set -euo pipefail
cd "$(dirname "$0")/.."
unformatted=()
while IFS= read -r file; do
  if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
    unformatted+=("$file")
  fi
done < <(git ls-files '*.c' '*.cc' '*.h')
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "not formatted (run clang-format -i on them):"
  printf '  %s\n' "${unformatted[@]}"
  exit 1
fi
echo "formatting: $(git ls-files '*.c' '*.cc' '*.h' | wc -l) files as clang-format writes them"
