#!/usr/bin/env bash
# copy_tree.sh SOURCE DEST: copies the source tree as its working tree is now, edits and
# new files included, without what git ignores (build folders) and without .git.
# A tree that is no git checkout is copied whole but for its build/ folder.
set -euo pipefail
src=$1 dest=$2
mkdir -p "$dest"
if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  # Tracked files deleted in the working tree are listed too: leave them out.
  git -C "$src" ls-files -z --cached --others --exclude-standard |
    (cd "$src" && while IFS= read -r -d '' f; do
       if [ -e "$f" ] || [ -L "$f" ]; then printf '%s\0' "$f"; fi
     done) |
    tar -C "$src" --null -T - -cf - | tar -C "$dest" -xf -
else
  tar -C "$src" --exclude=./build -cf - . | tar -C "$dest" -xf -
fi
