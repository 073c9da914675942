#!/usr/bin/env bash
# Every path of the source tree that README.md and docs/features.md name in backticks is there: a
# folder renamed or a file moved must not leave the docs pointing at nothing. (`entling/x/...` is
# the docs' own placeholder for any module of the actor library.)
#   doc_paths.sh <source folder>
set -u
cd "$1" || exit 1
missing=0
for doc in README.md docs/features.md; do
  while read -r p; do
    case "$p" in entling/x/*) continue ;; esac
    if [[ "$p" == *[*?[]* ]]; then
      compgen -G "$p" >/dev/null && continue
    elif [ -e "$p" ]; then
      continue
    fi
    echo "FAIL: $doc names '$p', which is not in the source tree"
    missing=$((missing + 1))
  done < <(grep -oE '`(engine|game|entling|platform|tools|tests|docs|data|cmake)/[^` ]*`' "$doc" | tr -d '`' | sort -u)
done
[ $missing -eq 0 ] && echo "ok: every path the docs name is there"
exit $((missing > 0))
