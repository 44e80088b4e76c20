#!/usr/bin/env bash
# Checks the code style of every tracked C++ file: the layout against .clang-format, and the
# static checks listed in .cppcheck over the program, the tools and the fuzz target (the
# tests' GoogleTest macros are beyond cppcheck without its googletest library). Prints each
# file that fails and ends with status 1 if any does.
#   scripts/check-style.sh          everything
#   scripts/check-style.sh FILE...  only these files
set -uo pipefail
cd "$(dirname "$0")/.."

if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
status=0

unformatted=()
for f in "${files[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "clang-format: ${#unformatted[@]} files differ from .clang-format (clang-format -i FILE):"
  printf '  %s\n' "${unformatted[@]}"
  status=1
fi

mapfile -t checked < <(printf '%s\n' "${files[@]}" | grep -E '\.cpp$' | grep -v '^tests/')
mapfile -t options < <(grep -v -e '^#' -e '^$' .cppcheck)
if [ ${#checked[@]} -gt 0 ]; then
  report=$(cppcheck --quiet "${options[@]}" -I . -j2 \
             --template='{file}:{line}: {severity} ({id}): {message}' "${checked[@]}" 2>&1)
  if [ -n "$report" ]; then
    echo "cppcheck findings (checks listed in .cppcheck):"
    echo "$report"
    echo "cppcheck: files with findings:"
    echo "$report" | grep -oE '^[^:]+:[0-9]+:' | cut -d: -f1 | sort -u | sed 's/^/  /'
    status=1
  fi
fi

[ $status -eq 0 ] && echo "style: ${#files[@]} files clean"
exit $status
